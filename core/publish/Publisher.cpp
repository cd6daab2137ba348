#include "core/publish/Publisher.h"

#include <mosquitto.h>

#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/publish/EnergyCounters.h"
#include "core/publish/PublishPayloads.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kKeepAliveSeconds = 30;
constexpr int kRetainedQos = 1;        // state that must arrive: status, link, energy, configs
constexpr int kLiveQos = 0;            // the next sample replaces a lost one
constexpr size_t kLongestCommand = 8;  // "ON", "OFF"; anything much longer is not a command
constexpr size_t kMostResults = 16;    // refused commands waiting for their answer
constexpr const char* kSystemTrustStore = "/etc/ssl/certs";

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string where(const PublishSettings& settings) {
    return settings.host + ":" + std::to_string(settings.port);
}

// The reason a client cannot be made with these settings, before any network traffic.
std::string settingsProblem(const PublishSettings& settings) {
    for (const auto& [what, prefix] : {std::pair{"topic prefix", &settings.prefix},
                                       {"discovery prefix", &settings.discoveryPrefix}}) {
        const std::string problem = publish::topicPrefixProblem(*prefix);
        if (!problem.empty()) return std::string(what) + " \"" + *prefix + "\" refused: " + problem;
    }
    if (settings.tlsCertFile.empty() != settings.tlsKeyFile.empty())
        return "a TLS client certificate needs its key file, and a key its certificate";
    return "";
}

// A client with the settings' credentials and TLS (certificate and host name always
// verified); null with the reason in `error`.
mosquitto* newClient(const PublishSettings& settings, void* owner, std::string& error) {
    initLibrary();
    error = settingsProblem(settings);
    if (!error.empty()) return nullptr;
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
    if (rc == MOSQ_ERR_SUCCESS && settings.usesTls()) {
        auto orNull = [](const std::string& path) { return path.empty() ? nullptr : path.c_str(); };
        rc = mosquitto_tls_set(client, orNull(settings.tlsCaFile),
                               settings.tlsCaFile.empty() ? kSystemTrustStore : nullptr,
                               orNull(settings.tlsCertFile), orNull(settings.tlsKeyFile), nullptr);
        if (rc == MOSQ_ERR_INVAL) {
            error = "a TLS file cannot be read (CA certificate, client certificate or key)";
            mosquitto_destroy(client);
            return nullptr;
        }
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(client, 1, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_insecure_set(client, false);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        error = mosquitto_strerror(rc);
        mosquitto_destroy(client);
        return nullptr;
    }
    return client;
}

// Load channel 1..12 of "<prefix>/switch/chNN/set"; 0 for anything else.
int commandChannel(const std::string& prefix, const std::string& topic) {
    const std::string head = prefix + "/switch/ch";
    if (topic.size() != head.size() + 6 || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(head.size() + 2, 4, "/set") != 0 ||
        !std::isdigit(static_cast<unsigned char>(topic[head.size()])) ||
        !std::isdigit(static_cast<unsigned char>(topic[head.size() + 1])))
        return 0;
    const int channel = std::stoi(topic.substr(head.size(), 2));
    return channel >= kFirstLoad && channel <= kLastLoad ? channel : 0;
}

}  // namespace

struct Publisher::Shared {
    explicit Shared(SwitchChannel switchChannel) : switchChannel(std::move(switchChannel)) {}

    SwitchChannel switchChannel;

    mutable std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::condition_variable ended;
    bool stop = false;
    bool switching = false;  // run() is inside switchChannel
    bool stopped = false;    // run() has returned from its last step
    bool working = false;
    std::optional<PublishSettings> newSettings;
    std::optional<std::string> newCounterDir;
    std::optional<MeterSample> newSample;  // only the newest is kept
    EnergyCounters newCounts;              // every sample's energy since the last hand-over
    bool newCountsPending = false;
    std::optional<bool> newLink;
    bool justConnected = false;  // set by the library's thread
    bool homeAssistantOnline = false;
    // Per load channel (index 1..12): the command waiting, and when it was last switched.
    std::array<std::optional<bool>, kLastLoad + 1> switchWanted;
    std::array<Steady::time_point, kLastLoad + 1> switchedAt{};
    std::vector<std::string> refusedCommands;  // results to publish, as JSON
    std::map<int, std::string> subscriptions;  // message id -> topic, until the broker answers
    std::string status;
    std::string problem;         // the last refused publish or subscription
    std::string counterProblem;  // the energy counters' file
    std::atomic<bool> isConnected{false};
    // Counting only while publishing is on: a desktop that never publishes writes no
    // counter files.
    std::atomic<bool> counting{false};

    // Publisher's thread only.
    mosquitto* client = nullptr;
    PublishSettings active;
    std::optional<MeterSample> last;
    bool linkOpen = false;
    EnergyCounters counters;
    std::array<int64_t, EnergyCounters::kCount> savedCounts{};  // what a restart starts from
    bool countersKnown = false;                                 // loaded, or counting began
    bool countersInFile = false;
    std::map<std::string, std::string> retainedSent;  // topic -> payload the broker holds
    std::thread thread;

    void run();
    void takeCounts(std::optional<std::string> dir, bool samples);
    void apply(const PublishSettings& settings);
    void disconnect();
    void send(const std::string& topic, const std::string& payload, bool retained);
    void sendRetained(const std::string& topic, const std::string& payload);
    void sendRetained(const std::vector<publish::Message>& messages);
    void sendRetainedState(bool connecting);
    void sendSample(const MeterSample& sample);
    void sendCounters();
    void runSwitch(int channel, bool on);
    std::optional<Steady::time_point> nextSwitchDue() const;
    bool switchDue(Steady::time_point now) const {
        const auto due = nextSwitchDue();
        return due && *due <= now;
    }
    bool anythingPending() const {
        return stop || newSettings || newCounterDir || newSample || newCountsPending || newLink ||
               justConnected || homeAssistantOnline || !refusedCommands.empty() ||
               switchDue(Steady::now());
    }
    void setStatus(std::string text) {
        std::lock_guard guard(lock);
        status = std::move(text);
    }
    void setProblem(std::string text) {
        std::lock_guard guard(lock);
        problem = std::move(text);
    }
    void refuse(const std::string& channel, const std::string& requested,
                const std::string& outcome) {  // lock held
        if (refusedCommands.size() < kMostResults)
            refusedCommands.push_back(
                publish::switchResultJson(channel, requested, outcome, std::time(nullptr)));
    }

    static void onConnect(mosquitto*, void* owner, int rc);
    static void onDisconnect(mosquitto*, void* owner, int rc);
    static void onMessage(mosquitto*, void* owner, const mosquitto_message* message);
    static void onSubscribe(mosquitto*, void* owner, int mid, int count, const int* granted);
    static void onLog(mosquitto*, void* owner, int level, const char* text);
};

Publisher::Publisher(SwitchChannel switchChannel)
    : m_shared(std::make_unique<Shared>(std::move(switchChannel))) {
    m_shared->thread = std::thread([shared = m_shared.get()] { shared->run(); });
}

Publisher::~Publisher() {
    std::unique_lock held(m_shared->lock);
    m_shared->stop = true;
    m_shared->wake.notify_all();
    // The serial link may die right after this object: a switch exchange under way is waited
    // for whatever it takes (its own timeouts bound it), only the network is given up on.
    m_shared->ended.wait(held, [this] { return !m_shared->switching; });
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

void Publisher::keepEnergyCountersIn(const std::string& dir) {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->newCounterDir = dir;
    }
    m_shared->wake.notify_all();
}

void Publisher::configure(const PublishSettings& settings) {
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->newSettings = settings;
        m_shared->counting = settings.enabled;  // from the next sample on, not from apply()
    }
    m_shared->wake.notify_all();
}

void Publisher::onMeterSample(const MeterSample& sample) {
    if (!m_shared->counting) return;  // nothing is published either
    {
        std::lock_guard lock(m_shared->lock);
        m_shared->newSample = sample;
        // Counted here, not on the publisher's thread: a sample replaced by a newer one before
        // that thread got to it still counts.
        m_shared->newCounts.add(sample);
        m_shared->newCountsPending = true;
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
    std::string text = m_shared->status;
    for (const std::string* part : {&m_shared->problem, &m_shared->counterProblem}) {
        if (part->empty()) continue;
        if (!text.empty()) text += "; ";
        text += *part;
    }
    return text;
}

bool Publisher::connected() const { return m_shared->isConnected; }

void Publisher::waitIdle() {
    std::unique_lock lock(m_shared->lock);
    m_shared->idle.wait(lock, [&] { return !m_shared->anythingPending() && !m_shared->working; });
}

std::optional<Steady::time_point> Publisher::Shared::nextSwitchDue() const {
    std::optional<Steady::time_point> next;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        if (!switchWanted[k]) continue;
        const auto due = switchedAt[k] + kSwitchSpacing;
        if (!next || due < *next) next = due;
    }
    return next;
}

void Publisher::Shared::run() {
    std::unique_lock held(lock);
    while (true) {
        // A command that comes in while waiting may be due earlier than (or, with nothing
        // waiting before, unlike) what this wait was set for: the wait ends to set it again.
        const auto due = nextSwitchDue();
        auto ready = [this, due] { return anythingPending() || nextSwitchDue() != due; };
        if (due)
            wake.wait_until(held, *due, ready);
        else
            wake.wait(held, ready);
        if (stop) break;
        if (!anythingPending()) continue;
        auto settings = std::exchange(newSettings, std::nullopt);
        auto counterDir = std::exchange(newCounterDir, std::nullopt);
        auto sample = std::exchange(newSample, std::nullopt);
        const bool counted = std::exchange(newCountsPending, false);
        if (counted) {
            const auto& added = newCounts.wattSeconds();
            counters.addCounts(added);
            newCounts = EnergyCounters();
        }
        auto link = std::exchange(newLink, std::nullopt);
        const bool connectedNow = std::exchange(justConnected, false);
        const bool republish = std::exchange(homeAssistantOnline, false);
        auto refused = std::exchange(refusedCommands, {});
        working = true;
        held.unlock();

        if (counterDir || counted) takeCounts(counterDir, counted);
        if (settings) apply(*settings);
        if (link) {
            linkOpen = *link;
            if (isConnected)
                sendRetained(active.prefix + "/link", linkOpen ? "connected" : "disconnected");
        }
        if (sample) {
            last = *sample;
            if (isConnected) sendSample(*sample);
        }
        if ((connectedNow || republish) && isConnected) sendRetainedState(connectedNow);
        if (counted && isConnected) sendCounters();
        for (const std::string& result : refused)
            send(active.prefix + "/switch/result", result, false);

        held.lock();
        // One switch per pass, so a stop is seen between two exchanges.
        const auto now = Steady::now();
        for (int k = kFirstLoad; k <= kLastLoad && !stop; ++k) {
            if (!switchWanted[k] || switchedAt[k] + kSwitchSpacing > now) continue;
            const bool on = *std::exchange(switchWanted[k], std::nullopt);
            switchedAt[k] = now;
            switching = true;
            held.unlock();
            runSwitch(k, on);
            held.lock();
            switching = false;
            ended.notify_all();
        }
        working = false;
        idle.notify_all();
    }
    held.unlock();
    disconnect();
    held.lock();
    stopped = true;
    ended.notify_all();
}

void Publisher::Shared::takeCounts(std::optional<std::string> dir, bool samples) {
    if (dir) {
        EnergyCounters loaded(*dir);
        std::string problem;
        loaded.load(problem);
        loaded.addCounts(counters.wattSeconds());  // what was counted before the file was named
        counters = loaded;
        countersInFile = true;
        std::lock_guard guard(lock);
        counterProblem = problem.empty() ? "" : "Energy counters: " + problem;
    }
    countersKnown = countersKnown || dir || samples;
    if (!countersInFile) {
        savedCounts = counters.wattSeconds();
        return;
    }
    // A value published and then lost in a crash would go down at the next start: only what
    // is on disk is published.
    if (counters.save()) {
        savedCounts = counters.wattSeconds();
        std::lock_guard guard(lock);
        if (counterProblem.rfind("Energy counters cannot be saved", 0) == 0) counterProblem.clear();
    } else {
        std::lock_guard guard(lock);
        counterProblem = "Energy counters cannot be saved in " + counters.directory();
    }
}

void Publisher::Shared::apply(const PublishSettings& settings) {
    // Configs under a node id or discovery prefix that is being left are taken back before
    // leaving; switching or discovery turned off are handled at the next connection. Turning
    // publishing off takes nothing back: the entities keep their names and areas.
    if (client && isConnected && active.discovery && settings.enabled &&
        (settings.discoveryPrefix != active.discoveryPrefix || settings.nodeId != active.nodeId)) {
        for (const auto& [topic, payload] : publish::discoveryRemovals(active, false))
            send(topic, payload, true);
    }
    disconnect();
    active = settings;
    setProblem("");
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
    mosquitto_subscribe_callback_set(client, &Shared::onSubscribe);
    mosquitto_log_callback_set(client, &Shared::onLog);
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
    retainedSent.clear();
    std::lock_guard guard(lock);
    subscriptions.clear();
}

void Publisher::Shared::send(const std::string& topic, const std::string& payload, bool retained) {
    if (!client) return;
    const int rc =
        mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), retained ? kRetainedQos : kLiveQos, retained);
    // Not connected: the reconnection publishes everything again. Anything else is a refusal
    // the user must see.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        setProblem("MQTT: publishing to " + topic + " refused: " + mosquitto_strerror(rc));
}

void Publisher::Shared::sendRetained(const std::string& topic, const std::string& payload) {
    auto it = retainedSent.find(topic);
    if (it != retainedSent.end() && it->second == payload) return;
    send(topic, payload, true);
    retainedSent[topic] = payload;
}

void Publisher::Shared::sendRetained(const std::vector<publish::Message>& messages) {
    for (const auto& [topic, payload] : messages) sendRetained(topic, payload);
}

// Everything the broker should hold, again: after a reconnection (a broker restarted without
// persistence has forgotten it all) and when Home Assistant comes online (it may have lost
// its own view of it), without waiting for the next sample.
void Publisher::Shared::sendRetainedState(bool connecting) {
    retainedSent.clear();
    sendRetained(active.prefix + "/status", "online");
    sendRetained(active.prefix + "/link", linkOpen ? "connected" : "disconnected");
    if (connecting) {
        std::vector<std::string> topics;
        if (active.allowSwitching) topics.push_back(active.prefix + "/switch/+/set");
        if (active.discovery) topics.push_back(active.discoveryPrefix + "/status");
        for (const std::string& topic : topics) {
            int mid = 0;
            std::lock_guard guard(lock);  // the answer may come before the map holds the id
            const int rc = mosquitto_subscribe(client, &mid, topic.c_str(), 1);
            if (rc == MOSQ_ERR_SUCCESS)
                subscriptions[mid] = topic;
            else if (rc != MOSQ_ERR_NO_CONN)
                problem = "MQTT: subscribing to " + topic + " refused: " + mosquitto_strerror(rc);
        }
        // Configs of a discovery or a switching that is off, maybe since an earlier run, go.
        if (!active.discovery || !active.allowSwitching)
            for (const auto& [topic, payload] :
                 publish::discoveryRemovals(active, active.discovery))
                send(topic, payload, true);
    }
    if (last) sendSample(*last);
    sendCounters();
}

void Publisher::Shared::sendSample(const MeterSample& sample) {
    if (active.discovery) sendRetained(publish::discoveryMessages(active, sample));
    for (const auto& [topic, payload] : publish::powerMessages(active.prefix, sample))
        send(topic, payload, false);
    send(active.prefix + "/state", publish::stateJson(sample), false);
    sendRetained(active.prefix + "/energy", publish::energyJson(sample));
    sendRetained(publish::todayMessages(active.prefix, sample));
    if (active.allowSwitching) sendRetained(publish::switchStateMessages(active.prefix, sample));
}

void Publisher::Shared::sendCounters() {
    if (countersKnown) sendRetained(publish::counterMessages(active.prefix, savedCounts));
}

void Publisher::Shared::runSwitch(int channel, bool on) {
    std::string outcome = "Switching unavailable";
    const bool done = switchChannel && switchChannel(channel, on, outcome);
    const std::string key = publish::channelKey(channel);
    send(active.prefix + "/switch/result",
         publish::switchResultJson(key, on ? "ON" : "OFF", outcome, std::time(nullptr)), false);
    if (!done) return;
    // The meter has acknowledged: the state goes out now, not with the next sample.
    if (last) last->state[channel] = on ? '1' : '3';
    sendRetained(active.prefix + "/switch/" + key + "/state", on ? "ON" : "OFF");
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
    const std::string topic = message->topic;
    const std::string payload(static_cast<const char*>(message->payload),
                              static_cast<size_t>(std::max(0, message->payloadlen)));
    {
        std::lock_guard guard(self->lock);
        // `active` changes only while no network thread runs.
        const PublishSettings& active = self->active;
        if (active.discovery && topic == active.discoveryPrefix + "/status") {
            self->homeAssistantOnline = self->homeAssistantOnline || payload == "online";
        } else if (active.allowSwitching) {
            const int channel = commandChannel(active.prefix, topic);
            const std::string key = channel ? publish::channelKey(channel) : topic;
            std::string command;
            for (char c : payload.substr(0, kLongestCommand))
                command += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            // A retained command is one somebody left on the broker, maybe long ago: it would
            // switch again at every reconnection.
            if (message->retain)
                self->refuse(key, command, "ignored: a retained command is never executed");
            else if (payload.size() > kLongestCommand)
                self->refuse(key, command, "refused: the payload is too long");
            else if (!channel)
                self->refuse(key, command, "refused: unknown channel");
            else if (command != "ON" && command != "OFF")
                self->refuse(key, command, "refused: unknown command (ON or OFF)");
            else
                self->switchWanted[channel] = command == "ON";
        }
    }
    self->wake.notify_all();
}

void Publisher::Shared::onSubscribe(mosquitto*, void* owner, int mid, int count,
                                    const int* granted) {
    auto* self = static_cast<Shared*>(owner);
    std::lock_guard guard(self->lock);
    auto it = self->subscriptions.find(mid);
    const std::string topic = it == self->subscriptions.end() ? "a topic" : it->second;
    if (it != self->subscriptions.end()) self->subscriptions.erase(it);
    for (int i = 0; i < count; ++i)
        if (granted[i] == 0x80)
            self->problem = "MQTT: the broker refused the subscription to " + topic;
}

void Publisher::Shared::onLog(mosquitto*, void* owner, int level, const char* text) {
    // The library says why a connection attempt failed (a TLS certificate not verified) only
    // here; the status shows it while not connected.
    if (level != MOSQ_LOG_ERR || !text) return;
    auto* self = static_cast<Shared*>(owner);
    std::lock_guard guard(self->lock);
    if (!self->isConnected) self->status = "MQTT: " + where(self->active) + ": " + text;
}

bool checkBrokerConnection(const PublishSettings& settings, std::string& result,
                           std::chrono::milliseconds timeout) {
    struct Outcome {
        int rc = -1;
        std::string error;  // the library's own words, for TLS failures
    } outcome;
    std::string error;
    mosquitto* client = newClient(settings, &outcome, error);
    if (!client) {
        result = error;
        return false;
    }
    mosquitto_connect_callback_set(
        client, [](mosquitto*, void* owner, int rc) { static_cast<Outcome*>(owner)->rc = rc; });
    mosquitto_log_callback_set(client, [](mosquitto*, void* owner, int level, const char* text) {
        if (level == MOSQ_LOG_ERR && text) static_cast<Outcome*>(owner)->error = text;
    });
    // Asynchronous: the TCP connect does not block, so a host that never answers (a firewall
    // dropping the packets) is bounded by `timeout` too, not by the system's connect timeout.
    int rc =
        mosquitto_connect_async(client, settings.host.c_str(), settings.port, kKeepAliveSeconds);
    const auto deadline = Steady::now() + timeout;
    while (rc == MOSQ_ERR_SUCCESS && outcome.rc < 0 && Steady::now() < deadline)
        rc = mosquitto_loop(client, 100, 1);
    bool ok = false;
    if (outcome.rc > 0) {  // the broker's own answer, before the error the refusal causes
        result = mosquitto_connack_string(outcome.rc);
    } else if (rc != MOSQ_ERR_SUCCESS) {
        result = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
        if (!outcome.error.empty()) result += ": " + outcome.error;
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
