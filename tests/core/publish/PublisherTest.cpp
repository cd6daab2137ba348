// The publisher against a real mosquitto broker on 127.0.0.1, started by the tests.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "core/acquisition/ChannelSwitchRequest.h"
#include "core/acquisition/MonitorState.h"
#include "core/acquisition/RecordingDocument.h"
#include "core/base/Clock.h"
#include "core/device/posix/PortResolver.h"
#include "core/publish/PublishPayloads.h"
#include "core/publish/Publisher.h"
#include "fakes/RecordingMessageSink.h"
#include "support/BrokerProcess.h"
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
    s.days.consumption[0] = 12;
    s.months.solar[11] = 345;
    return s;
}

PublishSettings settingsFor(int port) {
    PublishSettings settings;
    settings.enabled = true;
    settings.host = "127.0.0.1";
    settings.port = port;
    return settings;
}

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 600; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(25ms);
    }
    return false;
}

struct PublisherTest : ::testing::Test {
    BrokerProcess broker;
    void SetUp() override { ASSERT_TRUE(broker.start()); }
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

    EXPECT_EQ(topics.waitFor("kelvo/state"),
              "{\"time\":1780272000,\"power\":{\"total\":1000,\"ch01\":1001,\"ch02\":1002,"
              "\"ch03\":1003,\"ch04\":1004,\"ch05\":1005,\"ch06\":1006,\"ch07\":1007,"
              "\"ch08\":1008,\"ch09\":1009,\"ch10\":1010,\"ch11\":1011,\"ch12\":1012,"
              "\"consumption\":2500,\"solar\":1800,\"balance\":-700},\"switch\":{\"ch01\":\"on\","
              "\"ch02\":\"off\",\"ch03\":\"on\",\"ch04\":\"off\",\"ch05\":\"on\",\"ch06\":\"off\","
              "\"ch07\":\"on\",\"ch08\":\"off\",\"ch09\":\"on\",\"ch10\":\"off\",\"ch11\":\"on\","
              "\"ch12\":\"off\"}}");
    EXPECT_EQ(topics.waitFor("kelvo/status", "online"), "online");
    EXPECT_EQ(topics.waitFor("kelvo/link", "connected"), "connected");
    for (const auto& [topic, payload] : {std::pair{"kelvo/power/ch03", "1003"},
                                         {"kelvo/power/total", "1000"},
                                         {"kelvo/power/solar", "1800"},
                                         {"kelvo/power/balance", "-700"}})
        EXPECT_EQ(topics.waitFor(topic), payload) << topic;
    const std::string energy = topics.waitFor("kelvo/energy");
    EXPECT_EQ(energy.rfind("{\"days\":{\"consumption\":[12,0,", 0), 0u) << energy;
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
    for (const char* key :
         {"\"name\":\"Pump \\\"A\\\"\xc3\xa9\"", "\"device_class\":\"power\"",
          "\"unit_of_measurement\":\"W\"", "\"state_class\":\"measurement\"",
          "\"unique_id\":\"kelvo_ch03\"", "\"state_topic\":\"kelvo/power/ch03\"",
          "\"availability_topic\":\"kelvo/status\"", "\"device\":{\"identifiers\":[\"kelvo\"]"})
        EXPECT_NE(config.find(key), std::string::npos) << key << " in " << config;
    EXPECT_EQ(topics.last("homeassistant/switch/kelvo/ch03/config"), "<none>");  // not allowed

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
    PortResolver ports(sim.dir(), {}, sim.dir() + "/no-devices");
    RecordingMessageSink messages;
    MonitorState state(ports, messages, SystemClock::instance());
    state.link.setHistoryDumpPath(sim.dir() + "/History.dat");
    TopicRecorder topics(broker.port());
    Publisher publisher(
        [&state](int channel, bool on) { return switchOneChannel(state.link, channel, on); });
    PublishSettings settings = settingsFor(broker.port());
    settings.allowSwitching = true;
    publisher.configure(settings);
    ASSERT_TRUE(eventually([&] { return publisher.connected(); }));
    state.sampleSinks.push_back(&publisher);
    RecordingDocument doc(state);
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
    EXPECT_EQ(topics.waitFor("kelvo/switch/result", "Channel 07 switched off"),
              "Channel 07 switched off");
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
    EXPECT_LT(longest, 5ms);
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

    // A host that never answers the connection (here a listener whose queue is full, so the
    // system drops the request as a firewall would): the attempt ends on time.
    const int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(silent, 0), 0);
    ::getsockname(silent, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr*>(&address), length);
    }
    settings.port = ntohs(address.sin_port);
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
    for (int fd : queued) ::close(fd);
    ::close(silent);
}

TEST_F(PublisherTest, RemoteSwitchingWorksOnlyWhenAllowed) {
    std::vector<std::pair<int, bool>> switched;
    std::mutex lock;
    auto switchChannel = [&](int channel, bool on) {
        std::lock_guard guard(lock);
        switched.emplace_back(channel, on);
        return std::string("Channel switched");
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
            EXPECT_EQ(topics.last("homeassistant/switch/kelvo/ch03/config"), "<none>");
        }
        std::this_thread::sleep_for(200ms);  // the subscription is in place
        topics.forget();
        topics.publish("kelvo/switch/ch03/set", "on");
        topics.publish("kelvo/switch/ch13/set", "ON");
        topics.publish("kelvo/switch/ch04/set", "maybe");
        if (!allowed) {
            std::this_thread::sleep_for(500ms);
            EXPECT_EQ(topics.last("kelvo/switch/result"), "<none>");
            continue;
        }
        EXPECT_EQ(topics.waitFor("kelvo/switch/result", "Unknown command: maybe"),
                  "Unknown command: maybe");
    }
    std::lock_guard guard(lock);
    EXPECT_EQ(switched, (std::vector<std::pair<int, bool>>{{3, true}}));
}
