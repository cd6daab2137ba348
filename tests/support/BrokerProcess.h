#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <map>
#include <set>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

// Debian's mosquitto broker on 127.0.0.1 at a free port, with a configuration of the test's
// own in a temporary directory; stopped (or killed) in the destructor.
class BrokerProcess {
public:
    struct Options {
        std::string user;  // with a user, only that user with that password may connect
        std::string password;
        bool persistence = false;  // retained messages kept across a stop and start
        // A TLS listener with this CA, certificate and key that asks every client for a
        // certificate signed by the CA.
        std::string tlsCaFile, tlsCertFile, tlsKeyFile;
    };

    BrokerProcess();
    ~BrokerProcess();

    // Starts the broker. The same port (and persistence file) is used again after a stop.
    bool start(const Options& options);
    bool start(const std::string& user = "", const std::string& password = "") {
        Options options;
        options.user = user;
        options.password = password;
        return start(options);
    }
    void stop();
    int port() const { return m_port; }
    const std::string& dir() const { return m_dir; }

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
    // Whether the first message of `topic` since the start or the last forget() came from what
    // the broker keeps for a new subscriber; a publication seen live later does not change it.
    bool retained(const std::string& topic);
    // Waits (up to 10 s) until the payload of `topic` contains `fragment`; that payload.
    std::string waitForContaining(const std::string& topic, const std::string& fragment);
    // Every topic under `prefix` with its last payload (removed retained items read "").
    std::map<std::string, std::string> topicsUnder(const std::string& prefix);
    // Every payload `topic` brought since the start or the last forget(), waiting (up to
    // 10 s) until there are at least `count`.
    std::vector<std::string> history(const std::string& topic, size_t count = 0);
    void forget();
    // Publishes as a client of the broker (remote commands); waits until it has gone out.
    void publish(const std::string& topic, const std::string& payload, bool retain = false);

private:
    static void onMessage(mosquitto*, void* owner, const struct mosquitto_message* message);
    mosquitto* m_client = nullptr;
    std::mutex m_lock;
    std::condition_variable m_confirmed;
    bool m_subscribed = false;
    std::set<int> m_published;  // message ids the broker acknowledged
    std::map<std::string, std::pair<std::string, bool>> m_topics;
    std::map<std::string, std::vector<std::string>> m_history;
};

// A TCP listener on 127.0.0.1 that never completes a connection: its queue is full, so the
// system drops further requests as a firewall would.
class SilentListener {
public:
    SilentListener();
    ~SilentListener();
    int port() const { return m_port; }

private:
    int m_socket = -1;
    int m_port = 0;
    std::vector<int> m_queued;
};

// A certificate authority, a broker certificate for 127.0.0.1 and a client certificate made
// with openssl in `dir`, and a second authority that signed neither.
struct TestCertificates {
    explicit TestCertificates(const std::string& dir);
    bool made = false;
    std::string ca, serverCert, serverKey, clientCert, clientKey, otherCa;
};
