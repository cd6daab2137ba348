#include "support/BrokerProcess.h"

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

bool BrokerProcess::start(const std::string& user, const std::string& password) {
    stop();
    const std::string conf = m_dir + "/mosquitto.conf";
    {
        std::ofstream out(conf);
        out << "listener " << m_port << " 127.0.0.1\n"
            << "persistence false\n"
            << "log_dest none\n";
        if (::geteuid() == 0) out << "user root\n";  // otherwise it drops to its own user
        if (user.empty()) {
            out << "allow_anonymous true\n";
        } else {
            out << "allow_anonymous false\npassword_file " << m_dir << "/passwords\n";
        }
    }
    if (!user.empty()) {
        const std::string make = "/usr/bin/mosquitto_passwd -b -c " + m_dir + "/passwords " + user +
                                 " " + password + " >/dev/null 2>&1";
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
    mosquitto_reconnect_delay_set(m_client, 1, 1, false);
    mosquitto_connect(m_client, "127.0.0.1", port, 30);
    mosquitto_loop_start(m_client);
}

TopicRecorder::~TopicRecorder() {
    mosquitto_disconnect(m_client);
    mosquitto_loop_stop(m_client, false);
    mosquitto_destroy(m_client);
}

void TopicRecorder::onMessage(mosquitto*, void* owner, const mosquitto_message* message) {
    auto* self = static_cast<TopicRecorder*>(owner);
    std::lock_guard lock(self->m_lock);
    self->m_topics[message->topic] = {
        std::string(static_cast<const char*>(message->payload),
                    static_cast<size_t>(std::max(0, message->payloadlen))),
        message->retain};
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

void TopicRecorder::forget() {
    std::lock_guard lock(m_lock);
    m_topics.clear();
}

void TopicRecorder::publish(const std::string& topic, const std::string& payload) {
    mosquitto_publish(m_client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), 1, false);
}
