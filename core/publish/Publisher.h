#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/acquisition/SampleSink.h"
#include "core/publish/BrokerClient.h"  // checkBrokerConnection(), for the settings dialog
#include "core/publish/PublishSettings.h"

// Publishes live power, switch states, energy counters and the meter's energy tables to an
// MQTT broker, with discovery configs for home-automation tools, and takes remote switch
// commands when allowed.
//
// Everything that talks to the broker runs on the publisher's own thread and on the client
// library's network thread; the acquisition thread only adds the sample to the energy
// counters and hands it over, so a broker that is slow or gone never delays a poll. While
// the broker is unreachable the library reconnects with growing waits up to 60 s; only the
// newest state is kept, and every retained item is published again on each reconnect and
// whenever Home Assistant announces itself online.
class Publisher final : public SampleSink {
public:
    // Switches load channel 1..12 on or off through the channel control dialog's path: true
    // when the meter acknowledged, with the outcome as text either way. Called on the
    // publisher's thread, never after the publisher is destroyed.
    using SwitchChannel = std::function<bool(int channel, bool on, std::string& outcome)>;

    explicit Publisher(SwitchChannel switchChannel);
    // "offline", a clean disconnect, threads joined. A switch exchange under way is finished
    // first. A network thread stuck in a connection to a host that never answers (the system
    // gives up only after minutes) is not waited for beyond kStopLimit: it is left to end
    // with the process, and it touches nothing but the client library.
    ~Publisher() override;
    static constexpr std::chrono::seconds kStopLimit{3};
    // A channel is switched at most once per this period; commands in between are coalesced,
    // the last one wins.
    static constexpr std::chrono::milliseconds kSwitchSpacing{1000};

    // Keeps the energy counters in `dir` (the working directory when empty): loaded now, then
    // saved after every sample while publishing is on, reachable broker or not. Without it
    // they live in memory only.
    void keepEnergyCountersIn(const std::string& dir);
    // Applies settings (connects, reconnects or disconnects) on the publisher's thread.
    void configure(const PublishSettings& settings);

    void onMeterSample(const MeterSample& sample) override;
    void onLinkChanged(bool open) override;

    // Empty while publishing is off and all is well; otherwise where the connection stands
    // and what was refused.
    std::string statusText() const;
    bool connected() const;
    // Waits until what was handed over so far has been handled (tests).
    void waitIdle();

private:
    struct BrokerConnection;
    std::unique_ptr<BrokerConnection> m_connection;
};
