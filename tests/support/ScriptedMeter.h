#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "core/device/Protocol.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/MeterReplies.h"

// A meter on a scripted port that answers the probe and every poll from plain values the test
// sets at any time (the answers run on the recorder's threads).
class ScriptedMeter {
public:
    ScriptedMeter(ScriptedPortOpener& ports, int port) : m_device(ports.attach(port)) {
        m_device->keepFrames = false;  // nobody looks at them, and a run may last days
        m_device->answer = [this](const ScriptedDevice::Bytes& frame) -> ScriptedDevice::Bytes {
            std::lock_guard lock(m_lock);
            switch (frame[1]) {
                case protocol::kProbe:
                    return {0x12, 0x34};
                case protocol::kConsumptionHistory:
                    return meterHistoryReply("COMDAY", {});
                case protocol::kSolarHistory:
                    return meterHistoryReply("SOLDAY", {});
                case protocol::kLive:
                    return meterLiveReply(m_live);
                default:
                    return {};
            }
        };
    }

    // Watts of record 1..15 (loads, spare, consumption, solar) in the next live reply.
    void setPower(int record, uint16_t watts) {
        std::lock_guard lock(m_lock);
        m_live[record - 1] = {static_cast<uint16_t>(record), watts, '1'};
    }
    // Every later write fails: the link is lost at the next exchange.
    void unplug() { m_device->writeFails = true; }

private:
    std::shared_ptr<ScriptedDevice> m_device;
    std::mutex m_lock;
    MeterLiveRecords m_live{};
};
