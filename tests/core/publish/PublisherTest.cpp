// The publisher against a real mosquitto broker on 127.0.0.1, started by the tests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <thread>

#include "core/acquisition/ChannelSwitchRequest.h"
#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/base/Clock.h"
#include "core/device/posix/PosixSerialPorts.h"
#include "core/publish/EnergyCounters.h"
#include "core/publish/PublishPayloads.h"
#include "core/publish/Publisher.h"
#include "fakes/RecordingMessageSink.h"
#include "support/BrokerProcess.h"
#include "support/Eventually.h"
#include "support/SimProcess.h"

using namespace std::chrono_literals;

namespace {

MeterSample knownSample() {
    MeterSample s;
    s.time = 1'780'272'000;
    for (int k = 0; k < kChannelRecords; ++k) s.power[k] = 1000 + k;
    s.power[kConsumptionRecord] = 2500;
    s.power[kSolarRecord] = 1800;
    for (int k = kFirstLoad; k <= kLastLoad; ++k) s.state[k] = k % 2 ? '1' : '3';
    for (int k = 0; k < kChannelRecords; ++k) s.names[k] = "Load" + std::to_string(k);
    s.names[3] = "Pump \"A\"\xe9";  // quote and a Latin-1 e-acute
    s.state[11] = 0;                // no reading of that channel's state
    s.days.consumption[0] = 12;
    s.months.solar[11] = 345;
    return s;
}

// Never published, or taken back (an empty retained payload).
bool absent(const std::string& payload) { return payload == "<none>" || payload.empty(); }

PublishSettings settingsFor(int port) {
    PublishSettings settings;
    settings.enabled = true;
    settings.host = "127.0.0.1";
    settings.port = port;
    return settings;
}

// Every config under homeassistant/ parses as JSON and has what Home Assistant requires of
// its platform, with availability on both status and link; `sensors` of them are sensors.
void expectConfigsHomeAssistantTakes(TopicRecorder& topics, size_t sensors, size_t switches = 0) {
    std::map<std::string, std::string> configs;
    for (int i = 0; i < 400 && configs.size() < sensors + switches; ++i) {
        configs.clear();
        for (const auto& [topic, payload] : topics.topicsUnder("homeassistant/"))
            if (!payload.empty()) configs[topic] = payload;
        std::this_thread::sleep_for(25ms);
    }
    std::set<std::string> uniqueIds;
    size_t sensorCount = 0, switchCount = 0;
    for (const auto& [topic, payload] : configs) {
        SCOPED_TRACE(topic);
        const auto config = nlohmann::json::parse(payload, nullptr, false);
        ASSERT_TRUE(config.is_object()) << payload;
        EXPECT_TRUE(uniqueIds.insert(config.value("unique_id", "")).second);
        EXPECT_TRUE(config.at("name").is_string());
        EXPECT_EQ(config.at("availability_mode"), "all");
        EXPECT_EQ(config.at("availability"),
                  nlohmann::json::parse(R"([{"topic":"kelvo/status"},{"topic":"kelvo/link",)"
                                        R"("payload_available":"connected",)"
                                        R"("payload_not_available":"disconnected"}])"));
        EXPECT_EQ(config.at("device").at("identifiers"), nlohmann::json::array({"kelvo"}));
        EXPECT_TRUE(config.at("device").at("sw_version").is_string());
        EXPECT_EQ(config.at("origin").at("name"), "Kelvo");
        if (topic.find("/sensor/") != std::string::npos) {
            ++sensorCount;
            EXPECT_TRUE(config.at("state_topic").is_string());
            const bool energy = config.at("device_class") == "energy";
            EXPECT_TRUE(energy || config.at("device_class") == "power");
            EXPECT_EQ(config.at("unit_of_measurement"), energy ? "kWh" : "W");
            EXPECT_EQ(config.at("state_class"), energy ? "total_increasing" : "measurement");
        } else {
            ++switchCount;
            EXPECT_NE(topic.find("/switch/"), std::string::npos);
            const std::string state = config.at("state_topic");
            EXPECT_EQ(config.at("command_topic"), state.substr(0, state.size() - 6) + "/set");
            EXPECT_EQ(config.at("payload_on"), "ON");
        }
    }
    EXPECT_EQ(sensorCount, sensors);
    EXPECT_EQ(switchCount, switches);
}

// Returns once the publisher takes commands (its subscriptions are in place): a command
// for a channel that does not exist is answered. The recorder's memory is cleared.
bool commandsTaken(TopicRecorder& topics) {
    for (int i = 0; i < 40; ++i) {
        topics.publish("kelvo/switch/ch00/set", "ON");
        std::this_thread::sleep_for(250ms);
        if (!topics.history("kelvo/switch/result").empty()) {
            topics.forget();
            return true;
        }
    }
    return false;
}

struct PublisherTest : ::testing::Test {
    BrokerProcess broker;
    void SetUp() override { ASSERT_TRUE(broker.start()); }

    // Publishing to the test's broker with remote switching allowed; true once connected.
    bool connectWithSwitching(Publisher& publisher) {
        PublishSettings settings = settingsFor(broker.port());
        settings.allowSwitching = true;
        publisher.configure(settings);
        return eventually([&] { return publisher.connected(); });
    }
};

}  // namespace

TEST_F(PublisherTest, PublishesValuesStateEnergyAndDiscoveryThatFollowsRenames) {
    TopicRecorder topics(broker.port());
    Publisher publisher({});
    publisher.configure(settingsFor(broker.port()));
    ASSERT_TRUE(eventually([&] { return publisher.connected(); })) << publisher.statusText();
    publisher.onLinkChanged(true);
    MeterSample sample = knownSample();
    publisher.onMeterSample(sample);

    // The local time sits beside the Unix seconds, as ISO 8601 with its offset.
    std::string state = topics.waitFor("kelvo/state");
    std::smatch local;
    ASSERT_TRUE(std::regex_search(
        state, local,
        std::regex(
            ",\"local_time\":\"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d\"")))
        << state;
    EXPECT_EQ(local.prefix().str() + local.suffix().str(),
              "{\"time\":1780272000,\"power\":{\"total\":1000,\"ch01\":1001,\"ch02\":1002,"
              "\"ch03\":1003,\"ch04\":1004,\"ch05\":1005,\"ch06\":1006,\"ch07\":1007,"
              "\"ch08\":1008,\"ch09\":1009,\"ch10\":1010,\"ch11\":1011,\"ch12\":1012,"
              "\"consumption\":2500,\"solar\":1800,\"balance\":-700,\"grid\":700},\"switch\":{"
              "\"ch01\":\"on\",\"ch02\":\"off\",\"ch03\":\"on\",\"ch04\":\"off\",\"ch05\":\"on\","
              "\"ch06\":\"off\",\"ch07\":\"on\",\"ch08\":\"off\",\"ch09\":\"on\",\"ch10\":\"off\","
              "\"ch11\":\"unknown\",\"ch12\":\"off\"}}");
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    EXPECT_EQ(topics.waitFor("kelvo/link", "connected"), "connected");
    for (const auto& [topic, payload] : std::vector<std::pair<std::string, std::string>>{
             {"kelvo/power/ch03", "1003"},
             {"kelvo/power/total", "1000"},
             {"kelvo/power/solar", "1800"},
             {"kelvo/power/balance", "-700"},
             {"kelvo/power/grid", "700"},
             {"kelvo/energy/consumption_today",
              "{\"value\":12,\"date\":\"" + publish::localDateText(sample.time) + "\"}"}})
        EXPECT_EQ(topics.waitFor(topic), payload) << topic;
    const std::string energy = topics.waitFor("kelvo/energy");
    EXPECT_EQ(energy.rfind("{\"date\":\"" + publish::localDateText(sample.time) +
                               "\",\"month\":\"" + publish::localMonthText(sample.time) +
                               "\",\"days\":{\"consumption\":[12,0,",
                           0),
              0u)
        << energy;
    EXPECT_NE(energy.find("\"solar\":[0,0,0,0,0,0,0,0,0,0,0,345]}}"), std::string::npos) << energy;
    {  // A subscriber that comes later gets the retained state at once.
        TopicRecorder later(broker.port());
        for (const char* topic : {"kelvo/status", "kelvo/link", "kelvo/energy",
                                  "homeassistant/sensor/kelvo/balance/config"}) {
            EXPECT_NE(later.waitFor(topic), "<none>") << topic;
            EXPECT_TRUE(later.retained(topic)) << topic;
        }
    }

    const std::string config = topics.waitFor("homeassistant/sensor/kelvo/ch03/config");
    EXPECT_NE(config.find("\"name\":\"Pump \\\"A\\\"\xc3\xa9\""), std::string::npos) << config;
    expectConfigsHomeAssistantTakes(topics, 35);
    // Not allowed.
    EXPECT_TRUE(absent(topics.last("homeassistant/switch/kelvo/ch03/config")));

    sample.names[3] = "Heat pump";
    publisher.onMeterSample(sample);
    EXPECT_TRUE(eventually([&] {
        return topics.last("homeassistant/sensor/kelvo/ch03/config").find("\"Heat pump\"") !=
               std::string::npos;
    }));
    publisher.onLinkChanged(false);
    EXPECT_EQ(topics.waitFor("kelvo/link", "disconnected"), "disconnected");
}

TEST_F(PublisherTest, SamplesFromTheMeterReachTheBrokerAndSwitchCommandsReachTheMeter) {
    SimProcess sim;
    ASSERT_TRUE(sim.start({"--baud", "0"}));
    PosixSerialPorts ports(sim.dir(), {}, sim.dir() + "/no-devices");
    RecordingMessageSink messages;
    RecorderState state(ports, messages, SystemClock::instance());
    state.link.setHistoryDumpPath(sim.dir() + "/History.dat");
    TopicRecorder topics(broker.port());
    Publisher publisher([&state](int channel, bool on, std::string& outcome) {
        return switchOneChannel(state.link, channel, on, outcome);
    });
    ASSERT_TRUE(connectWithSwitching(publisher));
    state.sampleSinks.push_back(&publisher);
    Recording doc(state);
    ASSERT_TRUE(state.link.openDevice());
    doc.recordSample();
    publisher.waitIdle();
    EXPECT_EQ(topics.waitFor("kelvo/link", "connected"), "connected");
    for (int ring : {kTotalRecord, 1, 7, kConsumptionRecord, kSolarRecord}) {
        const std::string key = publish::powerValues()[shownChannelNumber(ring)].key;
        EXPECT_EQ(topics.waitFor("kelvo/power/" + key),
                  std::to_string(doc.lastSamples(ring, 1).at(0)))
            << key;
    }

    // Channel 7 off from the bus: the meter switches it and the next sample says so.
    ASSERT_EQ(topics.waitFor("kelvo/switch/ch07/state", "ON"), "ON");
    topics.publish("kelvo/switch/ch07/set", "OFF");
    const auto result = nlohmann::json::parse(
        topics.waitForContaining("kelvo/switch/result", "switched off"), nullptr, false);
    ASSERT_TRUE(result.is_object());
    EXPECT_EQ(result.at("channel"), "ch07");
    EXPECT_EQ(result.at("requested"), "OFF");
    EXPECT_EQ(result.at("outcome"), "Channel 07 switched off");
    EXPECT_TRUE(result.at("time").is_string());
    // The acknowledged state goes out at once, before the next sample.
    EXPECT_EQ(topics.waitFor("kelvo/switch/ch07/state", "OFF"), "OFF");
    doc.recordSample();
    EXPECT_EQ(topics.waitFor("kelvo/switch/ch07/state", "OFF"), "OFF");
    state.link.closeLink();
    EXPECT_EQ(switchOneChannel(state.link, 7, true), "No device connected");
    EXPECT_TRUE(messages.shown.empty());  // outcomes go to the bus, never to a box
}

TEST_F(PublisherTest, LastWillSaysOfflineWhenThePublishingProcessIsKilled) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Publisher publisher({});
        publisher.configure(settingsFor(broker.port()));
        while (!publisher.connected()) std::this_thread::sleep_for(10ms);
        publisher.waitIdle();
        const char one = 1;
        if (::write(ready[1], &one, 1) != 1) ::_exit(1);
        for (;;) ::pause();
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    TopicRecorder topics(broker.port());
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(topics.waitFor("kelvo/status", "offline"), "offline");
    TopicRecorder later(broker.port());
    EXPECT_EQ(later.waitFor("kelvo/status"), "offline");
    EXPECT_TRUE(later.retained("kelvo/status"));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(PublisherTest, BrokerGoneAndBackResumesPublishingAndNeverBlocksTheTick) {
    Publisher publisher({});
    publisher.configure(settingsFor(broker.port()));
    ASSERT_TRUE(eventually([&] { return publisher.connected(); }));
    broker.stop();
    ASSERT_TRUE(eventually([&] { return !publisher.connected(); }));
    MeterSample sample = knownSample();
    auto longest = std::chrono::nanoseconds::zero();
    for (int i = 0; i < 200; ++i) {
        sample.power[1] = i;
        const auto start = std::chrono::steady_clock::now();
        publisher.onMeterSample(sample);
        longest = std::max(longest, std::chrono::steady_clock::now() - start);
    }
    // A hand-over that waited for the broker would wait out its reconnect (a second and
    // more); the bound leaves room for a loaded machine's scheduling and disk.
    EXPECT_LT(longest, 500ms);
    EXPECT_NE(publisher.statusText().find("127.0.0.1:" + std::to_string(broker.port())),
              std::string::npos)
        << publisher.statusText();

    ASSERT_TRUE(broker.start());
    TopicRecorder topics(broker.port());
    ASSERT_TRUE(eventually([&] { return publisher.connected(); })) << publisher.statusText();
    // The newest state is sent on reconnecting: the last of the 200.
    EXPECT_EQ(topics.waitFor("kelvo/power/ch01"), "199");
    sample.power[1] = 4242;
    publisher.onMeterSample(sample);
    EXPECT_EQ(topics.waitFor("kelvo/power/ch01", "4242"), "4242");
}

TEST_F(PublisherTest, WrongPasswordIsReportedTheRightOneConnectsASilentHostEndsOnTime) {
    ASSERT_TRUE(broker.start("kelvo", "right"));
    PublishSettings settings = settingsFor(broker.port());
    settings.username = "kelvo";
    settings.password = "wrong";
    std::string result;
    EXPECT_FALSE(checkBrokerConnection(settings, result));
    EXPECT_EQ(result.rfind("Connection Refused", 0), 0u) << result;
    Publisher publisher({});
    publisher.configure(settings);
    EXPECT_TRUE(eventually([&] {
        return publisher.statusText().find("Connection Refused") != std::string::npos;
    })) << publisher.statusText();

    settings.password = "right";
    EXPECT_TRUE(checkBrokerConnection(settings, result)) << result;
    EXPECT_EQ(result, "Connected to 127.0.0.1:" + std::to_string(broker.port()));
    settings.port = 1;  // nobody listens there
    EXPECT_FALSE(checkBrokerConnection(settings, result));
    EXPECT_FALSE(result.empty());

    // A host that never answers the connection: the attempt ends on time.
    SilentListener silent;
    settings.port = silent.port();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(checkBrokerConnection(settings, result, 500ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << result;
    // Nor does a publisher trying that host hold up the program's exit.
    {
        Publisher stuck({});
        stuck.configure(settings);
        std::this_thread::sleep_for(300ms);
        start = std::chrono::steady_clock::now();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, Publisher::kStopLimit + 1s);
}

TEST_F(PublisherTest, RemoteSwitchingWorksOnlyWhenAllowed) {
    std::vector<std::pair<int, bool>> switched;
    std::mutex lock;
    auto switchChannel = [&](int channel, bool on, std::string& outcome) {
        std::lock_guard guard(lock);
        switched.emplace_back(channel, on);
        outcome = "Channel switched";
        return true;
    };
    TopicRecorder topics(broker.port());
    for (const bool allowed : {false, true}) {
        SCOPED_TRACE(allowed);
        Publisher publisher(switchChannel);
        PublishSettings settings = settingsFor(broker.port());
        settings.allowSwitching = allowed;
        publisher.configure(settings);
        ASSERT_TRUE(eventually([&] { return publisher.connected(); }));
        publisher.onMeterSample(knownSample());
        topics.waitFor("kelvo/state");
        if (allowed) {
            EXPECT_NE(topics.waitFor("homeassistant/switch/kelvo/ch03/config")
                          .find("\"command_topic\":\"kelvo/switch/ch03/set\""),
                      std::string::npos);
        } else {
            EXPECT_TRUE(absent(topics.last("homeassistant/switch/kelvo/ch03/config")));
        }
        std::this_thread::sleep_for(200ms);  // the subscription is in place
        topics.forget();
        topics.publish("kelvo/switch/ch03/set", "on");
        topics.publish("kelvo/switch/ch13/set", "ON");
        topics.publish("kelvo/switch/ch04/set", "maybe");
        topics.publish("kelvo/switch/ch05/set", "ON" + std::string(4096, ' '));
        if (!allowed) {
            std::this_thread::sleep_for(500ms);
            EXPECT_EQ(topics.last("kelvo/switch/result"), "<none>");
            continue;
        }
        std::multiset<std::string> outcomes;
        for (const std::string& result : topics.history("kelvo/switch/result", 4))
            outcomes.insert(nlohmann::json::parse(result, nullptr, false).value("channel", "?") +
                            " " +
                            nlohmann::json::parse(result, nullptr, false).value("outcome", "?"));
        EXPECT_EQ(outcomes,
                  (std::multiset<std::string>{"ch03 Channel switched",
                                              "ch04 refused: unknown command (ON or OFF)",
                                              "ch05 refused: the payload is too long",
                                              "kelvo/switch/ch13/set refused: unknown channel"}));
    }
    std::lock_guard guard(lock);
    EXPECT_EQ(switched, (std::vector<std::pair<int, bool>>{{3, true}}));
}

namespace {

// A sample of `watts` consumed (no solar) at `time`.
MeterSample consumptionSample(int64_t time, int32_t watts) {
    MeterSample s;
    s.time = time;
    s.power[kConsumptionRecord] = watts;
    s.power[1] = watts;
    return s;
}

struct TempDir {
    std::string path;
    TempDir() {
        char name[] = "/tmp/kelvo-energy-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

}  // namespace

TEST_F(PublisherTest, EnergyCountersAddEverySampleSurviveARestartAndIgnoreALinkGap) {
    TempDir dir;
    TopicRecorder topics(broker.port());
    int64_t time = 1'780'272'000;
    {
        Publisher publisher({});
        publisher.keepEnergyCountersIn(dir.path);
        publisher.configure(settingsFor(broker.port()));
        publisher.onLinkChanged(true);
        // An hour of 1,000 W, one sample every 5 s of a fake clock, handed over as fast as
        // the tick could: no sample may be lost while the publisher's thread saves.
        for (int i = 0; i < 720; ++i, time += 5)
            publisher.onMeterSample(consumptionSample(time, 1000));
        publisher.waitIdle();
        for (const char* counter : {"consumption", "grid_import", "ch01"})
            EXPECT_EQ(topics.waitFor(std::string("kelvo/energy/") + counter, "1.000"), "1.000")
                << counter;
        EXPECT_EQ(topics.waitFor("kelvo/energy/solar"), "0.000");
        EXPECT_EQ(topics.waitFor("kelvo/energy/grid_export"), "0.000");
    }
    {  // Restarted on the same files, before any sample: it starts where it was.
        TopicRecorder later(broker.port());
        later.forget();
        Publisher publisher({});
        publisher.keepEnergyCountersIn(dir.path);
        publisher.configure(settingsFor(broker.port()));
        ASSERT_TRUE(eventually([&] { return publisher.connected(); }));
        EXPECT_EQ(later.waitFor("kelvo/energy/consumption", "1.000"), "1.000");
        // An hour without a link adds nothing; the next sample adds its own 5 s.
        publisher.onLinkChanged(false);
        time += 3600;
        publisher.onLinkChanged(true);
        MeterSample sunny = consumptionSample(time, 1000);
        sunny.power[kSolarRecord] = 3000;  // exporting 2,000 W
        publisher.onMeterSample(sunny);
        EXPECT_EQ(later.waitFor("kelvo/energy/consumption", "1.001"), "1.001");
        EXPECT_EQ(later.waitFor("kelvo/energy/grid_export", "0.002"), "0.002");
        EXPECT_EQ(later.last("kelvo/energy/grid_import"), "1.000");
        EXPECT_TRUE(publisher.statusText().find("Energy") == std::string::npos)
            << publisher.statusText();
    }
}

TEST(EnergyCounters, ADamagedCopyNeverResetsTheCountersBelowTheOtherOne) {
    struct Case {
        const char* name;
        std::vector<int> damaged;  // copies 0 and 1
        bool truncate;
        int64_t atLeast;  // watt-seconds of consumption after loading
    } cases[] = {
        {"newest copy flipped", {0}, false, 5000 * 9},
        {"older copy flipped", {1}, false, 5000 * 10},
        {"newest copy cut short", {0}, true, 5000 * 9},
        {"both damaged", {0, 1}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        EnergyCounters counters(dir.path);
        for (int i = 0; i < 10; ++i) {
            counters.add(consumptionSample(i * 5, 1000));
            ASSERT_TRUE(counters.save());
        }
        // Ten saves, in turn: the tenth went to the first copy ("-a").
        for (int copy : c.damaged) {
            const std::string path =
                dir.path + (copy ? "/kelvo-energy-b.dat" : "/kelvo-energy-a.dat");
            std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
            if (c.truncate) {
                std::filesystem::resize_file(path, 100);
                continue;
            }
            file.seekp(40);
            file.put('\x7f');
        }
        EnergyCounters loaded(dir.path);
        std::string problem;
        EXPECT_FALSE(loaded.load(problem));
        EXPECT_NE(problem.find("damaged"), std::string::npos) << problem;
        EXPECT_EQ(problem.find("from zero") != std::string::npos, c.damaged.size() == 2) << problem;
        EXPECT_EQ(loaded.wattSeconds()[12], c.atLeast);
        // The damaged copy is kept aside, and the next save does not touch the good one.
        EXPECT_TRUE(
            std::filesystem::exists(dir.path + (c.damaged[0] ? "/kelvo-energy-b.dat.damaged"
                                                             : "/kelvo-energy-a.dat.damaged")));
        ASSERT_TRUE(loaded.save());
        EnergyCounters again(dir.path);
        EXPECT_TRUE(again.load(problem)) << problem;
        EXPECT_EQ(again.wattSeconds()[12], c.atLeast);
    }
}

TEST_F(PublisherTest, EverythingRetainedComesBackAfterABrokerRestartAndHomeAssistantsBirth) {
    Publisher publisher({});
    ASSERT_TRUE(connectWithSwitching(publisher));
    publisher.onLinkChanged(true);
    publisher.onMeterSample(knownSample());
    publisher.waitIdle();

    // The broker forgets everything (no persistence); the meter sends nothing meanwhile.
    broker.stop();
    ASSERT_TRUE(eventually([&] { return !publisher.connected(); }));
    ASSERT_TRUE(broker.start());
    TopicRecorder fresh(broker.port());
    const std::vector<std::string> retained = {
        "kelvo/status",
        "kelvo/link",
        "kelvo/energy",
        "kelvo/energy/consumption",
        "kelvo/energy/solar_today",
        "homeassistant/sensor/kelvo/ch03/config",
        "homeassistant/sensor/kelvo/energy_grid_import/config",
        "homeassistant/switch/kelvo/ch07/config",
        "kelvo/switch/ch07/state"};
    for (const std::string& topic : retained) EXPECT_NE(fresh.waitFor(topic), "<none>") << topic;
    EXPECT_EQ(fresh.last("kelvo/link"), "connected");

    // Home Assistant restarted and says so: it gets the configs again, at once.
    ASSERT_TRUE(commandsTaken(fresh));
    fresh.publish("homeassistant/status", "online");
    for (const std::string& topic : retained) EXPECT_NE(fresh.waitFor(topic), "<none>") << topic;
}

TEST_F(PublisherTest, ARetainedSwitchCommandNeverReachesTheMeterNorAfterABrokerRestart) {
    BrokerProcess::Options keeping;
    keeping.persistence = true;
    ASSERT_TRUE(broker.start(keeping));
    {
        TopicRecorder seeder(broker.port());
        seeder.publish("kelvo/switch/ch03/set", "ON", true);
    }
    SimProcess sim;
    const std::string log = sim.dir() + "/frames.log";
    ASSERT_TRUE(sim.start({"--baud", "0", "--log", log}));
    PosixSerialPorts ports(sim.dir(), {}, sim.dir() + "/no-devices");
    RecordingMessageSink messages;
    RecorderState state(ports, messages, SystemClock::instance());
    ASSERT_TRUE(state.link.openDevice());
    TopicRecorder topics(broker.port());
    Publisher publisher([&state](int channel, bool on, std::string& outcome) {
        return switchOneChannel(state.link, channel, on, outcome);
    });
    PublishSettings settings = settingsFor(broker.port());
    settings.allowSwitching = true;
    publisher.configure(settings);
    EXPECT_NE(topics.waitForContaining("kelvo/switch/result", "ignored").find("\"ch03\""),
              std::string::npos);
    // The broker restarts with the command still retained: Kelvo subscribes again.
    topics.forget();
    broker.stop();
    ASSERT_TRUE(broker.start(keeping));
    EXPECT_NE(topics.waitForContaining("kelvo/switch/result", "ignored"), "<none>");
    ASSERT_TRUE(publisher.connected());
    publisher.waitIdle();
    std::ifstream frames(log);
    const std::string all((std::istreambuf_iterator<char>(frames)), {});
    EXPECT_EQ(all.find("switch"), std::string::npos) << all;
}

TEST_F(PublisherTest, AFloodOfCommandsSwitchesAChannelAtMostOnceASecondAndTheLastOneWins) {
    std::mutex lock;
    std::vector<bool> switched;
    Publisher publisher([&](int, bool on, std::string& outcome) {
        std::lock_guard guard(lock);
        switched.push_back(on);
        outcome = "done";
        return true;
    });
    ASSERT_TRUE(connectWithSwitching(publisher));
    TopicRecorder topics(broker.port());
    ASSERT_TRUE(commandsTaken(topics));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {  // 20 alternating commands in one second, ending on OFF
        topics.publish("kelvo/switch/ch09/set", i % 2 ? "OFF" : "ON");
        std::this_thread::sleep_for(40ms);
    }
    // One switch at once, then at most one per second while commands still come (a loaded
    // machine may stretch the second), then the last one.
    const size_t bound =
        2 +
        std::chrono::ceil<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    // The last command is carried out when its channel's second is over, with no other event
    // to wake the publisher.
    EXPECT_EQ(topics.waitFor("kelvo/switch/ch09/state", "OFF"), "OFF");
    std::this_thread::sleep_for(Publisher::kSwitchSpacing * 2);  // nothing more comes
    std::lock_guard guard(lock);
    ASSERT_FALSE(switched.empty());
    EXPECT_LE(switched.size(), bound);
    EXPECT_FALSE(switched.back());
}

TEST_F(PublisherTest, AStopDuringASwitchWaitsForTheExchangeSoTheLinkIsNeverUsedAfterwards) {
    std::atomic<bool> inside{false}, finished{false};
    {
        Publisher publisher([&](int, bool, std::string& outcome) {
            inside = true;
            std::this_thread::sleep_for(Publisher::kStopLimit + 1s);  // a slow exchange
            finished = true;
            outcome = "done";
            return true;
        });
        ASSERT_TRUE(connectWithSwitching(publisher));
        TopicRecorder topics(broker.port());
        ASSERT_TRUE(commandsTaken(topics));
        topics.publish("kelvo/switch/ch02/set", "ON");
        ASSERT_TRUE(eventually([&] { return inside.load(); }));
    }
    EXPECT_TRUE(finished);
}

TEST_F(PublisherTest, DiscoveryConfigsGoOnlyWithWhatWasTurnedOff) {
    TopicRecorder topics(broker.port());
    auto configs = [&](const char* platform, bool present) {
        size_t n = 0;
        for (const auto& [topic, payload] :
             topics.topicsUnder(std::string("homeassistant/") + platform + "/"))
            n += payload.empty() != present;
        return n;
    };
    PublishSettings settings = settingsFor(broker.port());
    settings.allowSwitching = true;
    MeterSample unnamed = knownSample();
    for (auto& name : unnamed.names) name.clear();
    {
        Publisher publisher({});
        publisher.configure(settings);
        publisher.onMeterSample(unnamed);
        expectConfigsHomeAssistantTakes(topics, 35, 12);
        // Consumption and solar without a name, numbered as the windows number them.
        EXPECT_NE(topics.last("homeassistant/sensor/kelvo/solar/config").find("\"Channel 14\""),
                  std::string::npos);

        struct Step {
            const char* what;
            bool enabled, discovery, switching;
            size_t sensors, switches;  // configs present afterwards
        } steps[] = {
            {"switching off: only the switches go", true, true, false, 35, 0},
            {"publishing off: nothing goes", false, true, false, 35, 0},
        };
        for (const Step& step : steps) {
            SCOPED_TRACE(step.what);
            settings.enabled = step.enabled;
            settings.discovery = step.discovery;
            settings.allowSwitching = step.switching;
            publisher.configure(settings);
            publisher.waitIdle();
            EXPECT_TRUE(eventually([&] { return configs("switch", true) == step.switches; }));
            std::this_thread::sleep_for(300ms);
            EXPECT_EQ(configs("sensor", true), step.sensors);
        }
    }
    {  // Discovery off in a later run, before any sample: every config goes.
        settings.enabled = true;
        settings.discovery = false;
        Publisher publisher({});
        publisher.configure(settings);
        EXPECT_TRUE(eventually([&] { return configs("sensor", true) == 0; }));
        EXPECT_EQ(configs("sensor", false), 35u);
    }
    for (const char* prefix : {"kelvo/+", "#", "a//b", "kelvo/", "/kelvo"}) {
        SCOPED_TRACE(prefix);
        settings.prefix = prefix;
        Publisher publisher({});
        publisher.configure(settings);
        publisher.waitIdle();
        EXPECT_NE(publisher.statusText().find("refused"), std::string::npos)
            << publisher.statusText();
        EXPECT_FALSE(publisher.connected());
    }
}

TEST(PublisherTls, TheBrokerAsksForAClientCertificateAndTheCertificateIsAlwaysVerified) {
    BrokerProcess broker;
    TestCertificates certificates(broker.dir());
    ASSERT_TRUE(certificates.made) << "openssl could not make the test certificates";
    BrokerProcess::Options tls;
    tls.tlsCaFile = certificates.ca;
    tls.tlsCertFile = certificates.serverCert;
    tls.tlsKeyFile = certificates.serverKey;
    ASSERT_TRUE(broker.start(tls));
    struct Case {
        const char* what;
        std::string ca, cert, key;
        bool connects;
    } cases[] = {
        {"CA alone", certificates.ca, "", "", false},
        {"CA and client certificate", certificates.ca, certificates.clientCert,
         certificates.clientKey, true},
        {"another CA", certificates.otherCa, certificates.clientCert, certificates.clientKey,
         false},
        {"certificate without its key", certificates.ca, certificates.clientCert, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PublishSettings settings = settingsFor(broker.port());
        settings.tlsCaFile = c.ca;
        settings.tlsCertFile = c.cert;
        settings.tlsKeyFile = c.key;
        std::string result;
        EXPECT_EQ(checkBrokerConnection(settings, result), c.connects) << result;
        Publisher publisher({});
        publisher.configure(settings);
        EXPECT_EQ(eventually([&] { return publisher.connected(); }, c.connects ? 15s : 1s),
                  c.connects)
            << publisher.statusText();
    }
}
