#pragma once

#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>

struct mosquitto;

// Debian's mosquitto broker on 127.0.0.1 at a free port, with a configuration of the test's
// own in a temporary directory; stopped (or killed) in the destructor.
class BrokerProcess {
public:
    BrokerProcess();
    ~BrokerProcess();

    // Starts the broker; with a user, only that user with that password may connect. The
    // same port is used again after a stop.
    bool start(const std::string& user = "", const std::string& password = "");
    void stop();
    int port() const { return m_port; }

private:
    std::string m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};

// A subscriber to every topic of a broker, keeping the last payload of each topic.
class TopicRecorder {
public:
    explicit TopicRecorder(int port);
    ~TopicRecorder();

    // Waits (up to 10 s) until `topic` holds `payload`, or any payload when `payload` is
    // null; the payload, or "<none>".
    std::string waitFor(const std::string& topic, const char* payload = nullptr);
    // The last payload of `topic`, or "<none>".
    std::string last(const std::string& topic);
    bool retained(const std::string& topic);
    void forget();
    // Publishes as a client of the broker (remote commands).
    void publish(const std::string& topic, const std::string& payload);

private:
    static void onMessage(mosquitto*, void* owner, const struct mosquitto_message* message);
    mosquitto* m_client = nullptr;
    std::mutex m_lock;
    std::map<std::string, std::pair<std::string, bool>> m_topics;
};
