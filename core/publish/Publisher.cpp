#include "core/publish/Publisher.h"

#include <mosquitto.h>

#include <array>
#include <atomic>
#include <cctype>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "core/base/BackgroundWorker.h"
#include "core/publish/EnergyCounters.h"
#include "core/publish/PublishPayloads.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr int kRetainedQos = 1;        // state that must arrive: status, link, energy, configs
constexpr int kLiveQos = 0;            // the next sample replaces a lost one
constexpr size_t kLongestCommand = 8;  // "ON", "OFF"; anything much longer is not a command
constexpr size_t kMostResults = 16;    // refused commands waiting for their answer

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

// What is handed over to the publisher's thread, and the broker connection it keeps.
struct Publisher::BrokerConnection {
    explicit BrokerConnection(SwitchChannel switchChannel)
        : switchChannel(std::move(switchChannel)) {}

    SwitchChannel switchChannel;

    mutable std::mutex lock;
    bool switching = false;  // the thread is inside switchChannel
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

    // Last, so it stops before anything it uses goes.
    BackgroundWorker worker{lock};

    void handOver(std::unique_lock<std::mutex>& held);
    void switchDueChannels(std::unique_lock<std::mutex>& held);
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
        return worker.stopping() || newSettings || newCounterDir || newSample || newCountsPending ||
               newLink || justConnected || homeAssistantOnline || !refusedCommands.empty() ||
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
    : m_connection(std::make_unique<BrokerConnection>(std::move(switchChannel))) {
    BrokerConnection& c = *m_connection;
    c.worker.start({
        .name = "kelvo-mqtt",
        .ready = [&c] { return c.anythingPending(); },
        .deadline = [&c] { return c.nextSwitchDue(); },
        .step =
            [&c](std::unique_lock<std::mutex>& held) {
                if (!c.anythingPending()) return;
                c.handOver(held);
                c.switchDueChannels(held);
            },
        .finish =
            [&c](std::unique_lock<std::mutex>& held) {
                held.unlock();
                c.disconnect();
                held.lock();
            },
    });
}

Publisher::~Publisher() {
    BrokerConnection& c = *m_connection;
    c.worker.requestStop();
    {
        // The serial link may die right after this object: a switch exchange under way is
        // waited for whatever it takes (its own timeouts bound it), only the network is given
        // up on.
        std::unique_lock held(c.lock);
        c.worker.waitIdle(held, [&c] { return !c.switching; });
    }
    if (c.worker.stop(kStopLimit)) return;
    // Left running with what it uses; kept reachable so it never counts as leaked.
    static auto* abandoned = new std::vector<BrokerConnection*>;
    abandoned->push_back(m_connection.release());
}

void Publisher::keepEnergyCountersIn(const std::string& dir) {
    {
        std::lock_guard lock(m_connection->lock);
        m_connection->newCounterDir = dir;
    }
    m_connection->worker.wake();
}

void Publisher::configure(const PublishSettings& settings) {
    {
        std::lock_guard lock(m_connection->lock);
        m_connection->newSettings = settings;
        m_connection->counting = settings.enabled;  // from the next sample on, not from apply()
    }
    m_connection->worker.wake();
}

void Publisher::onMeterSample(const MeterSample& sample) {
    if (!m_connection->counting) return;  // nothing is published either
    {
        std::lock_guard lock(m_connection->lock);
        m_connection->newSample = sample;
        // Counted here, not on the publisher's thread: a sample replaced by a newer one before
        // that thread got to it still counts.
        m_connection->newCounts.add(sample);
        m_connection->newCountsPending = true;
    }
    m_connection->worker.wake();
}

void Publisher::onLinkChanged(bool open) {
    {
        std::lock_guard lock(m_connection->lock);
        m_connection->newLink = open;
    }
    m_connection->worker.wake();
}

std::string Publisher::statusText() const {
    std::lock_guard lock(m_connection->lock);
    std::string text = m_connection->status;
    for (const std::string* part : {&m_connection->problem, &m_connection->counterProblem}) {
        if (part->empty()) continue;
        if (!text.empty()) text += "; ";
        text += *part;
    }
    return text;
}

bool Publisher::connected() const { return m_connection->isConnected; }

void Publisher::waitIdle() {
    BrokerConnection& c = *m_connection;
    c.worker.waitIdle([&c] { return !c.anythingPending() && !c.worker.stepping(); });
}

std::optional<Steady::time_point> Publisher::BrokerConnection::nextSwitchDue() const {
    std::optional<Steady::time_point> next;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) {
        if (!switchWanted[k]) continue;
        const auto due = switchedAt[k] + kSwitchSpacing;
        if (!next || due < *next) next = due;
    }
    return next;
}

// Everything handed over since the last step goes out; the broker and the counters' file are
// worked on without the lock.
void Publisher::BrokerConnection::handOver(std::unique_lock<std::mutex>& held) {
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
    for (const std::string& result : refused) send(active.prefix + "/switch/result", result, false);
    held.lock();
}

void Publisher::BrokerConnection::switchDueChannels(std::unique_lock<std::mutex>& held) {
    // One switch per pass, so a stop is seen between two exchanges.
    const auto now = Steady::now();
    for (int k = kFirstLoad; k <= kLastLoad && !worker.stopping(); ++k) {
        if (!switchWanted[k] || switchedAt[k] + kSwitchSpacing > now) continue;
        const bool on = *std::exchange(switchWanted[k], std::nullopt);
        switchedAt[k] = now;
        switching = true;
        held.unlock();
        runSwitch(k, on);
        held.lock();
        switching = false;
    }
}

void Publisher::BrokerConnection::takeCounts(std::optional<std::string> dir, bool samples) {
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

void Publisher::BrokerConnection::apply(const PublishSettings& settings) {
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
    client = newBrokerClient(settings, this, error);
    if (!client) {
        setStatus("MQTT: " + error);
        return;
    }
    const std::string statusTopic = settings.prefix + "/status";
    mosquitto_will_set(client, statusTopic.c_str(), 7, "offline", kRetainedQos, true);
    mosquitto_connect_callback_set(client, &BrokerConnection::onConnect);
    mosquitto_disconnect_callback_set(client, &BrokerConnection::onDisconnect);
    mosquitto_message_callback_set(client, &BrokerConnection::onMessage);
    mosquitto_subscribe_callback_set(client, &BrokerConnection::onSubscribe);
    mosquitto_log_callback_set(client, &BrokerConnection::onLog);
    mosquitto_reconnect_delay_set(client, 2, 60, true);
    setStatus("MQTT: connecting to " + brokerAddress(settings));
    const int rc = mosquitto_connect_async(client, settings.host.c_str(), settings.port,
                                           kBrokerKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        setStatus("MQTT: " + brokerAddress(settings) + ": " + mosquitto_strerror(rc) +
                  ", retrying");
    // The network thread keeps reconnecting from here on, whatever the first attempt gave.
    mosquitto_loop_start(client);
}

void Publisher::BrokerConnection::disconnect() {
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

void Publisher::BrokerConnection::send(const std::string& topic, const std::string& payload,
                                       bool retained) {
    if (!client) return;
    const int rc =
        mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                          payload.data(), retained ? kRetainedQos : kLiveQos, retained);
    // Not connected: the reconnection publishes everything again. Anything else is a refusal
    // the user must see.
    if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_NO_CONN)
        setProblem("MQTT: publishing to " + topic + " refused: " + mosquitto_strerror(rc));
}

void Publisher::BrokerConnection::sendRetained(const std::string& topic,
                                               const std::string& payload) {
    auto it = retainedSent.find(topic);
    if (it != retainedSent.end() && it->second == payload) return;
    send(topic, payload, true);
    retainedSent[topic] = payload;
}

void Publisher::BrokerConnection::sendRetained(const std::vector<publish::Message>& messages) {
    for (const auto& [topic, payload] : messages) sendRetained(topic, payload);
}

// Everything the broker should hold, again: after a reconnection (a broker restarted without
// persistence has forgotten it all) and when Home Assistant comes online (it may have lost
// its own view of it), without waiting for the next sample.
void Publisher::BrokerConnection::sendRetainedState(bool connecting) {
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

void Publisher::BrokerConnection::sendSample(const MeterSample& sample) {
    if (active.discovery) sendRetained(publish::discoveryMessages(active, sample));
    for (const auto& [topic, payload] : publish::powerMessages(active.prefix, sample))
        send(topic, payload, false);
    send(active.prefix + "/state", publish::stateJson(sample), false);
    sendRetained(active.prefix + "/energy", publish::energyJson(sample));
    sendRetained(publish::todayMessages(active.prefix, sample));
    if (active.allowSwitching) sendRetained(publish::switchStateMessages(active.prefix, sample));
}

void Publisher::BrokerConnection::sendCounters() {
    if (countersKnown) sendRetained(publish::counterMessages(active.prefix, savedCounts));
}

void Publisher::BrokerConnection::runSwitch(int channel, bool on) {
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

void Publisher::BrokerConnection::onConnect(mosquitto*, void* owner, int rc) {
    auto* self = static_cast<BrokerConnection*>(owner);
    {
        std::lock_guard guard(self->lock);
        if (rc == 0) {
            self->isConnected = true;
            self->justConnected = true;
            self->status = "MQTT: connected to " + brokerAddress(self->active);
        } else {
            self->status = std::string("MQTT: ") + mosquitto_connack_string(rc);
        }
    }
    self->worker.wake();
}

void Publisher::BrokerConnection::onDisconnect(mosquitto*, void* owner, int rc) {
    auto* self = static_cast<BrokerConnection*>(owner);
    std::lock_guard guard(self->lock);
    const bool wasConnected = self->isConnected.exchange(false);
    if (rc != 0 && wasConnected)
        self->status = "MQTT: connection to " + brokerAddress(self->active) + " lost, retrying";
}

void Publisher::BrokerConnection::onMessage(mosquitto*, void* owner,
                                            const mosquitto_message* message) {
    auto* self = static_cast<BrokerConnection*>(owner);
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
    self->worker.wake();
}

void Publisher::BrokerConnection::onSubscribe(mosquitto*, void* owner, int mid, int count,
                                              const int* granted) {
    auto* self = static_cast<BrokerConnection*>(owner);
    std::lock_guard guard(self->lock);
    auto it = self->subscriptions.find(mid);
    const std::string topic = it == self->subscriptions.end() ? "a topic" : it->second;
    if (it != self->subscriptions.end()) self->subscriptions.erase(it);
    for (int i = 0; i < count; ++i)
        if (granted[i] == 0x80)
            self->problem = "MQTT: the broker refused the subscription to " + topic;
}

void Publisher::BrokerConnection::onLog(mosquitto*, void* owner, int level, const char* text) {
    // The library says why a connection attempt failed (a TLS certificate not verified) only
    // here; the status shows it while not connected.
    if (level != MOSQ_LOG_ERR || !text) return;
    auto* self = static_cast<BrokerConnection*>(owner);
    std::lock_guard guard(self->lock);
    if (!self->isConnected) self->status = "MQTT: " + brokerAddress(self->active) + ": " + text;
}
