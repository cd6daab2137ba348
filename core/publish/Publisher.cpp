#include "core/publish/Publisher.h"

#include <mosquitto.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/publish/PublishPayloads.h"

namespace {

constexpr int kKeepAliveSeconds = 30;
constexpr int kRetainedQos = 1;  // state that must arrive: status, link, energy, configs
constexpr int kLiveQos = 0;      // the next sample replaces a lost one

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string where(const PublishSettings& settings) {
    return settings.host + ":" + std::to_string(settings.port);
}

// A client with the settings' credentials and TLS; null with the reason in `error`.
mosquitto* newClient(const PublishSettings& settings, void* owner, std::string& error) {
    initLibrary();
    mosquitto* client = mosquitto_new(nullptr, true, owner);
    if (!client) {
        error = "out of memory";
        return nullptr;
    }
    int rc = MOSQ_ERR_SUCCESS;
    if (!settings.username.empty())
        rc = mosquitto_username_pw_set(
            client, settings.username.c_str(),
            settings.password.empty() ? nullptr : settings.password.c_str());
    if (rc == MOSQ_ERR_SUCCESS && !settings.tlsCaFile.empty())
        rc = mosquitto_tls_set(client, settings.tlsCaFile.c_str(), nullptr, nullptr, nullptr,
                               nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        error = mosquitto_strerror(rc);
        mosquitto_destroy(client);
        return nullptr;
    }
    return client;
}

}  // namespace

struct Publisher::Shared {
    explicit Shared(SwitchChannel switchChannel) : switchChannel(std::move(switchChannel)) {}

    SwitchChannel switchChannel;

    mutable std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    bool stop = false;
    bool stopped = false;  // run() has returned from its last step
    std::condition_variable ended;
    bool working = false;
    std::optional<PublishSettings> newSettings;
    std::optional<MeterSample> newSample;  // only the newest is kept
    std::optional<bool> newLink;
    bool justConnected = false;                                      // set by the library's thread
    std::deque<std::pair<std::string, std::string>> switchCommands;  // topic, payload
    std::string status;
    std::atomic<bool> isConnected{false};

    // Publisher's thread only.
    mosquitto* client = nullptr;
    PublishSettings active;
    std::optional<MeterSample> last;
    bool linkOpen = false;
    std::optional<std::string> publishedEnergy;
    std::vector<std::string> publishedNames;  // names in the discovery configs now retained
    std::vector<publish::Message> publishedSwitchStates;
    std::thread thread;

    void run();
    void apply(const PublishSettings& settings);
    void disconnect();
    void send(const std::string& topic, const std::string& payload, bool retained);
    void sendRetainedState();
    void sendSample(const MeterSample& sample);
    void sendDiscoveryIfNamesChanged(const MeterSample& sample);
    void handleSwitch(const std::string& topic, const std::string& payload);
    bool anythingPending() const {
        return stop || newSettings || newSample || newLink || justConnected ||
               !switchCommands.empty();
    }
    void setStatus(std::string text) {
        std::lock_guard guard(lock);
        status = std::move(text);
    }

    static void onConnect(mosquitto*, void* owner, int rc);
    static void onDisconnect(mosquitto*, void* owner, int rc);
    static void onMessage(mosquitto*, void* owner, const mosquitto_message* message);
};

Publisher::Publisher(SwitchChannel switchChannel)
    : m_shared(std::make_unique<Shared>(std::move(switchChannel))) {
    m_shared->thread = std::thread([shared = m_shared.get()] { shared->run(); });
}

Publisher::~Publisher() {
    std::unique_lock held(m_shared->lock);
    m_shared->stop = true;
    m_shared->wake.notify_all();
    const bool ended =
        m_shared->ended.wait_for(held, kStopLimit, [this] { return m_shared->stopped; });
    held.unlock();
    if (ended) {
        m_shared->thread.join();
        return;
    }
    // Left running with what it uses; kept reachable so it never counts as leaked.
    static auto* abandoned = new std::vector<Shared*>;
    m_shared->thread.detach();
    abandoned->push_back(m_shared.release());
}

void Publisher::configure(const PublishSettings& settings) {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->newSettings = settings;
    }
    m_shared->wake.notify_all();
}

void Publisher::onMeterSample(const MeterSample& sample) {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->newSample = sample;
    }
    m_shared->wake.notify_all();
}

void Publisher::onLinkChanged(bool open) {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->newLink = open;
    }
    m_shared->wake.notify_all();
}

std::string Publisher::statusText() const {
    std::lock_guard lock(m_shared->lock);
    return m_shared->status;
}

bool Publisher::connected() const { return m_shared->isConnected; }

void Publisher::waitIdle() {
    std::unique_lock lock(m_shared->lock);
    m_shared->idle.wait(lock, [&] { return !m_shared->anythingPending() && !m_shared->working; });
}

void Publisher::Shared::run() {
    std::unique_lock held(lock);
    while (true) {
        wake.wait(held, [this] { return anythingPending(); });
        if (stop) break;
        auto settings = std::exchange(newSettings, std::nullopt);
        auto sample = std::exchange(newSample, std::nullopt);
        auto link = std::exchange(newLink, std::nullopt);
        const bool connectedNow = std::exchange(justConnected, false);
        auto commands = std::exchange(switchCommands, {});
        working = true;
        held.unlock();

        if (settings) apply(*settings);
        if (link) {
            linkOpen = *link;
            if (isConnected)
                send(active.prefix + "/link", linkOpen ? "connected" : "disconnected", true);
        }
        if (sample) {
            last = *sample;
            if (isConnected) sendSample(*sample);
        }
        if (connectedNow && isConnected) sendRetainedState();
        for (const auto& [topic, payload] : commands) handleSwitch(topic, payload);

        held.lock();
        working = false;
        idle.notify_all();
    }
    held.unlock();
    disconnect();
    held.lock();
    stopped = true;
    ended.notify_all();
}

void Publisher::Shared::apply(const PublishSettings& settings) {
    // Configs of a discovery or switching that is now off are taken back before leaving.
    if (client && isConnected && active.discovery && last &&
        (!settings.enabled || !settings.discovery ||
         settings.allowSwitching != active.allowSwitching ||
         settings.discoveryPrefix != active.discoveryPrefix || settings.prefix != active.prefix)) {
        PublishSettings withSwitches = active;
        withSwitches.allowSwitching = true;
        for (const auto& [topic, payload] : publish::discoveryMessages(withSwitches, *last, true))
            send(topic, payload, true);
    }
    disconnect();
    active = settings;
    if (!settings.enabled) {
        setStatus("");
        return;
    }
    std::string error;
    client = newClient(settings, this, error);
    if (!client) {
        setStatus("MQTT: " + error);
        return;
    }
    const std::string statusTopic = settings.prefix + "/status";
    mosquitto_will_set(client, statusTopic.c_str(), 7, "offline", kRetainedQos, true);
    mosquitto_connect_callback_set(client, &Shared::onConnect);
    mosquitto_disconnect_callback_set(client, &Shared::onDisconnect);
    mosquitto_message_callback_set(client, &Shared::onMessage);
    mosquitto_reconnect_delay_set(client, 2, 60, true);
    setStatus("MQTT: connecting to " + where(settings));
    const int rc =
        mosquitto_connect_async(client, settings.host.c_str(), settings.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        setStatus("MQTT: " + where(settings) + ": " + mosquitto_strerror(rc) + ", retrying");
    // The network thread keeps reconnecting from here on, whatever the first attempt gave.
    mosquitto_loop_start(client);
}

void Publisher::Shared::disconnect() {
    if (!client) return;
    if (isConnected) send(active.prefix + "/status", "offline", true);
    // Also while not connected: it marks the client as leaving, so the network thread ends
    // instead of waiting out a reconnect delay (the stop wakes it from that wait).
    mosquitto_disconnect(client);
    mosquitto_loop_stop(client, false);
    mosquitto_destroy(client);
    client = nullptr;
    isConnected = false;
    publishedEnergy.reset();
    publishedNames.clear();
    publishedSwitchStates.clear();
}

void Publisher::Shared::send(const std::string& topic, const std::string& payload, bool retained) {
    if (!client) return;
    mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                      payload.data(), retained ? kRetainedQos : kLiveQos, retained);
}

void Publisher::Shared::sendRetainedState() {
    send(active.prefix + "/status", "online", true);
    send(active.prefix + "/link", linkOpen ? "connected" : "disconnected", true);
    if (active.allowSwitching) {
        const std::string commands = active.prefix + "/switch/+/set";
        mosquitto_subscribe(client, nullptr, commands.c_str(), 1);
    }
    if (last) sendSample(*last);
}

void Publisher::Shared::sendDiscoveryIfNamesChanged(const MeterSample& sample) {
    if (!active.discovery) return;
    std::vector<std::string> names(sample.names.begin(), sample.names.end());
    if (names == publishedNames) return;
    for (const auto& [topic, payload] : publish::discoveryMessages(active, sample))
        send(topic, payload, true);
    publishedNames = std::move(names);
}

void Publisher::Shared::sendSample(const MeterSample& sample) {
    sendDiscoveryIfNamesChanged(sample);
    for (const auto& [topic, payload] : publish::powerMessages(active.prefix, sample))
        send(topic, payload, false);
    send(active.prefix + "/state", publish::stateJson(sample), false);
    const std::string energy = publish::energyJson(sample.days, sample.months);
    if (energy != publishedEnergy) {
        send(active.prefix + "/energy", energy, true);
        publishedEnergy = energy;
    }
    if (active.allowSwitching) {
        auto states = publish::switchStateMessages(active.prefix, sample);
        if (states != publishedSwitchStates) {
            for (const auto& [topic, payload] : states) send(topic, payload, true);
            publishedSwitchStates = std::move(states);
        }
    }
}

void Publisher::Shared::handleSwitch(const std::string& topic, const std::string& payload) {
    const std::string result = active.prefix + "/switch/result";
    if (!active.allowSwitching) return;
    // <prefix>/switch/chNN/set
    const std::string head = active.prefix + "/switch/ch";
    int channel = 0;
    if (topic.size() == head.size() + 6 && topic.compare(0, head.size(), head) == 0 &&
        topic.compare(head.size() + 2, 4, "/set") == 0 &&
        std::isdigit(static_cast<unsigned char>(topic[head.size()])) &&
        std::isdigit(static_cast<unsigned char>(topic[head.size() + 1])))
        channel = std::stoi(topic.substr(head.size(), 2));
    if (channel < kFirstLoad || channel > kLastLoad) {
        send(result, "Unknown channel: " + topic, false);
        return;
    }
    std::string command;
    for (char c : payload)
        command += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (command != "ON" && command != "OFF") {
        send(result, "Unknown command: " + payload.substr(0, 32), false);
        return;
    }
    send(result, switchChannel ? switchChannel(channel, command == "ON") : "Switching unavailable",
         false);
}

void Publisher::Shared::onConnect(mosquitto*, void* owner, int rc) {
    auto* self = static_cast<Shared*>(owner);
    {
        std::lock_guard guard(self->lock);
        if (rc == 0) {
            self->isConnected = true;
            self->justConnected = true;
            self->status = "MQTT: connected to " + where(self->active);
        } else {
            self->status = std::string("MQTT: ") + mosquitto_connack_string(rc);
        }
    }
    self->wake.notify_all();
}

void Publisher::Shared::onDisconnect(mosquitto*, void* owner, int rc) {
    auto* self = static_cast<Shared*>(owner);
    std::lock_guard guard(self->lock);
    const bool wasConnected = self->isConnected.exchange(false);
    if (rc != 0 && wasConnected)
        self->status = "MQTT: connection to " + where(self->active) + " lost, retrying";
}

void Publisher::Shared::onMessage(mosquitto*, void* owner, const mosquitto_message* message) {
    auto* self = static_cast<Shared*>(owner);
    {
        std::lock_guard guard(self->lock);
        if (self->switchCommands.size() >= 64) return;  // a flood is not queued without bound
        self->switchCommands.emplace_back(
            message->topic, std::string(static_cast<const char*>(message->payload),
                                        static_cast<size_t>(std::max(0, message->payloadlen))));
    }
    self->wake.notify_all();
}

bool checkBrokerConnection(const PublishSettings& settings, std::string& result,
                           std::chrono::milliseconds timeout) {
    struct Outcome {
        int rc = -1;
    } outcome;
    std::string error;
    mosquitto* client = newClient(settings, &outcome, error);
    if (!client) {
        result = error;
        return false;
    }
    mosquitto_connect_callback_set(
        client, [](mosquitto*, void* owner, int rc) { static_cast<Outcome*>(owner)->rc = rc; });
    // Asynchronous: the TCP connect does not block, so a host that never answers (a firewall
    // dropping the packets) is bounded by `timeout` too, not by the system's connect timeout.
    int rc =
        mosquitto_connect_async(client, settings.host.c_str(), settings.port, kKeepAliveSeconds);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (rc == MOSQ_ERR_SUCCESS && outcome.rc < 0 && std::chrono::steady_clock::now() < deadline)
        rc = mosquitto_loop(client, 100, 1);
    bool ok = false;
    if (outcome.rc > 0) {  // the broker's own answer, before the error the refusal causes
        result = mosquitto_connack_string(outcome.rc);
    } else if (rc != MOSQ_ERR_SUCCESS) {
        result = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
    } else if (outcome.rc < 0) {
        result = "No answer from " + where(settings);
    } else {
        result = "Connected to " + where(settings);
        ok = true;
        mosquitto_disconnect(client);
    }
    mosquitto_destroy(client);
    return ok;
}
