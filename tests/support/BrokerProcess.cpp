#include "support/BrokerProcess.h"

#include <arpa/inet.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

BrokerProcess::BrokerProcess() {
    char name[] = "/tmp/kelvo-broker-XXXXXX";
    m_dir = ::mkdtemp(name);
    m_port = freePort();
}

BrokerProcess::~BrokerProcess() {
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
}

bool BrokerProcess::start(const Options& options) {
    stop();
    const std::string conf = m_dir + "/mosquitto.conf";
    {
        std::ofstream out(conf);
        out << "listener " << m_port << " 127.0.0.1\n"
            << "persistence " << (options.persistence ? "true" : "false") << "\n"
            << "persistence_location " << m_dir << "/\n"
            << "log_dest none\n";
        if (!options.tlsCaFile.empty())
            out << "cafile " << options.tlsCaFile << "\ncertfile " << options.tlsCertFile
                << "\nkeyfile " << options.tlsKeyFile << "\nrequire_certificate true\n";
        if (::geteuid() == 0) out << "user root\n";  // otherwise it drops to its own user
        if (options.user.empty()) {
            out << "allow_anonymous true\n";
        } else {
            out << "allow_anonymous false\npassword_file " << m_dir << "/passwords\n";
        }
    }
    if (!options.user.empty()) {
        const std::string make = "/usr/bin/mosquitto_passwd -b -c " + m_dir + "/passwords " +
                                 options.user + " " + options.password + " >/dev/null 2>&1";
        if (std::system(make.c_str()) != 0) return false;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::execl("/usr/sbin/mosquitto", "mosquitto", "-c", conf.c_str(), nullptr);
        ::_exit(127);
    }
    for (int i = 0; i < 200; ++i) {
        if (accepts(m_port)) return true;
        std::this_thread::sleep_for(25ms);
    }
    return false;
}

void BrokerProcess::stop() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return;
        }
        std::this_thread::sleep_for(25ms);
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

TopicRecorder::TopicRecorder(int port) {
    mosquitto_lib_init();
    m_client = mosquitto_new(nullptr, true, this);
    mosquitto_message_callback_set(m_client, &TopicRecorder::onMessage);
    mosquitto_connect_callback_set(m_client, [](mosquitto* client, void*, int rc) {
        if (rc == 0) mosquitto_subscribe(client, nullptr, "#", 1);
    });
    // What the broker confirmed: the subscription, and each message published from here.
    mosquitto_subscribe_callback_set(m_client, [](mosquitto*, void* owner, int, int, const int*) {
        auto* self = static_cast<TopicRecorder*>(owner);
        std::lock_guard lock(self->m_lock);
        self->m_subscribed = true;
        self->m_confirmed.notify_all();
    });
    mosquitto_publish_callback_set(m_client, [](mosquitto*, void* owner, int mid) {
        auto* self = static_cast<TopicRecorder*>(owner);
        std::lock_guard lock(self->m_lock);
        self->m_published.insert(mid);
        self->m_confirmed.notify_all();
    });
    mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    mosquitto_connect(m_client, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_client);
    // Nothing published after this is missed: the subscription stands.
    std::unique_lock lock(m_lock);
    m_confirmed.wait_for(lock, 10s, [this] { return m_subscribed; });
}

TopicRecorder::~TopicRecorder() {
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    mosquitto_destroy(m_client);
}

void TopicRecorder::onMessage(mosquitto*, void* owner, const mosquitto_message* message) {
    auto* self = static_cast<TopicRecorder*>(owner);
    std::lock_guard lock(self->m_lock);
    const bool first = self->m_topics.count(message->topic) == 0;
    auto& [payload, firstRetained] = self->m_topics[message->topic];
    payload.assign(static_cast<const char*>(message->payload),
                   static_cast<size_t>(std::max(0, message->payloadlen)));
    if (first) firstRetained = message->retain;
    self->m_history[message->topic].push_back(payload);
}

std::vector<std::string> TopicRecorder::history(const std::string& topic, size_t count) {
    for (int i = 0; i < 400; ++i) {
        {
            std::lock_guard lock(m_lock);
            if (m_history[topic].size() >= count) return m_history[topic];
        }
        std::this_thread::sleep_for(25ms);
    }
    std::lock_guard lock(m_lock);
    return m_history[topic];
}

std::string TopicRecorder::last(const std::string& topic) {
    std::lock_guard lock(m_lock);
    auto it = m_topics.find(topic);
    return it == m_topics.end() ? "<none>" : it->second.first;
}

bool TopicRecorder::retained(const std::string& topic) {
    std::lock_guard lock(m_lock);
    auto it = m_topics.find(topic);
    return it != m_topics.end() && it->second.second;
}

std::string TopicRecorder::waitFor(const std::string& topic, const char* payload) {
    for (int i = 0; i < 400; ++i) {
        const std::string now = last(topic);
        if (now != "<none>" && (!payload || now == payload)) return now;
        std::this_thread::sleep_for(25ms);
    }
    return last(topic);
}

std::string TopicRecorder::waitForContaining(const std::string& topic,
                                             const std::string& fragment) {
    for (int i = 0; i < 400; ++i) {
        if (last(topic).find(fragment) != std::string::npos) break;
        std::this_thread::sleep_for(25ms);
    }
    return last(topic);
}

std::map<std::string, std::string> TopicRecorder::topicsUnder(const std::string& prefix) {
    std::lock_guard lock(m_lock);
    std::map<std::string, std::string> out;
    for (const auto& [topic, message] : m_topics)
        if (topic.rfind(prefix, 0) == 0) out[topic] = message.first;
    return out;
}

void TopicRecorder::forget() {
    std::lock_guard lock(m_lock);
    m_topics.clear();
    m_history.clear();
}

void TopicRecorder::publish(const std::string& topic, const std::string& payload, bool retain) {
    int mid = 0;
    mosquitto_publish(m_client, &mid, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, retain);
    std::unique_lock lock(m_lock);
    // Until the broker has it (QoS 1): a client that goes away at once would lose it.
    m_confirmed.wait_for(lock, 10s, [this, mid] { return m_published.count(mid) != 0; });
}

SilentListener::SilentListener() {
    m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(m_socket, 0) != 0 ||
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    for (int i = 0; i < 3; ++i) {
        m_queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(m_queued.back(), reinterpret_cast<sockaddr*>(&address), length);
    }
    m_port = ntohs(address.sin_port);
}

SilentListener::~SilentListener() {
    for (int fd : m_queued) ::close(fd);
    ::close(m_socket);
}

TestCertificates::TestCertificates(const std::string& dir) {
    ca = dir + "/ca.pem";
    serverCert = dir + "/server.pem";
    serverKey = dir + "/server.key";
    clientCert = dir + "/client.pem";
    clientKey = dir + "/client.key";
    otherCa = dir + "/other-ca.pem";
    // EC keys: made in milliseconds, where RSA keys would take seconds under the sanitizers.
    const std::string key = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
    const std::string quiet = " >/dev/null 2>&1";
    const std::string script =
        "cd '" + dir + "' && " + "openssl req -x509 -days 2" + key +
        " -keyout ca.key -out ca.pem -subj /CN=KelvoTestCA" + quiet +
        " && openssl req -x509 -days 2" + key +
        " -keyout other-ca.key -out other-ca.pem -subj /CN=OtherCA" + quiet + " && openssl req" +
        key + " -keyout server.key -out server.csr -subj /CN=127.0.0.1" + quiet +
        " && printf 'subjectAltName=IP:127.0.0.1\\n' > san.ext" +
        " && openssl x509 -req -days 2 -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
        " -extfile san.ext -out server.pem" +
        quiet + " && openssl req" + key + " -keyout client.key -out client.csr -subj /CN=kelvo" +
        quiet +
        " && openssl x509 -req -days 2 -in client.csr -CA ca.pem -CAkey ca.key -CAcreateserial"
        " -out client.pem" +
        quiet;
    made = std::system(script.c_str()) == 0;
}
