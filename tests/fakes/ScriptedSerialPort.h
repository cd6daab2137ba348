#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/device/SerialPort.h"

// A device on the far end of a scripted port. Tests keep it (shared) while the link owns the
// port, so they can script answers and inspect the frames written after the fact.
//
// Each written frame is passed to `answer` (or, when unset, takes the next entry of
// `replies`); the bytes returned are what the following reads deliver, at most `max` per
// read, then one empty read. An empty answer is silence.
struct ScriptedDevice {
    using Bytes = std::vector<uint8_t>;

    std::function<Bytes(const Bytes& frame)> answer;
    std::deque<Bytes> replies;

    bool configureFails = false;
    bool lineErrors = false;
    bool writeFails = false;
    long writeResult = -2;  // when >= -1: what every write reports instead of the size
    bool babble = false;    // every read delivers a full chunk, forever

    // What happened, in order.
    std::vector<Bytes> frames;
    bool keepFrames = true;  // false for runs of days, which would fill memory with them
    int reads = 0;
    int purges = 0;
    int closes = 0;
    // Shared journal with a FakeClock, to check the order of an exchange: "purge",
    // "write AA 0E 00 AD", "read 114", "sleep 20", "close". Back-to-back reads (a reply comes
    // in 64-byte reads and ends with an empty one) are one entry with their byte total.
    std::vector<std::string>* journal = nullptr;

    Bytes pending;
    mutable std::mutex lock;

    void note(const std::string& line) {
        if (journal) {
            journal->push_back(line);
        }
    }

    void noteRead(long count) {
        if (!journal) {
            return;
        }
        const long got = std::max(count, 0L);
        if (!journal->empty() && journal->back().starts_with("read ")) {
            journal->back() = "read " + std::to_string(std::stol(journal->back().substr(5)) + got);
        } else {
            journal->push_back("read " + std::to_string(got));
        }
    }
};

std::string hexBytes(const std::vector<uint8_t>& bytes);

class ScriptedSerialPort final : public SerialPort {
public:
    explicit ScriptedSerialPort(std::shared_ptr<ScriptedDevice> device)
        : m_device(std::move(device)) {}

    bool configure() override { return !m_device->configureFails; }
    bool takeLineErrors() override { return m_device->lineErrors; }

    void purge() override {
        std::lock_guard lock(m_device->lock);
        ++m_device->purges;
        m_device->note("purge");
        m_device->pending.clear();
    }

    long write(const uint8_t* data, size_t size) override {
        std::lock_guard lock(m_device->lock);
        ScriptedDevice::Bytes frame(data, data + size);
        m_device->note("write " + hexBytes(frame));
        if (m_device->writeFails) {
            return -1;
        }
        if (m_device->keepFrames) m_device->frames.push_back(frame);
        ScriptedDevice::Bytes reply;
        if (m_device->answer) {
            reply = m_device->answer(frame);
        } else if (!m_device->replies.empty()) {
            reply = std::move(m_device->replies.front());
            m_device->replies.pop_front();
        }
        m_device->pending.insert(m_device->pending.end(), reply.begin(), reply.end());
        return m_device->writeResult >= -1 ? m_device->writeResult : static_cast<long>(size);
    }

    long read(uint8_t* buffer, size_t max) override {
        std::lock_guard lock(m_device->lock);
        ++m_device->reads;
        if (m_device->babble) {
            std::fill(buffer, buffer + max, uint8_t{'x'});
            m_device->noteRead(static_cast<long>(max));
            return static_cast<long>(max);
        }
        const size_t count = std::min(max, m_device->pending.size());
        std::copy_n(m_device->pending.begin(), count, buffer);
        m_device->pending.erase(m_device->pending.begin(),
                                m_device->pending.begin() + static_cast<long>(count));
        m_device->noteRead(static_cast<long>(count));
        return static_cast<long>(count);
    }

    bool close() override {
        std::lock_guard lock(m_device->lock);
        ++m_device->closes;
        m_device->note("close");
        return true;
    }

private:
    std::shared_ptr<ScriptedDevice> m_device;
};

// Ports 1..99 as the test lays them out; a port without a device cannot be opened.
class ScriptedPortOpener final : public SerialPorts {
public:
    std::shared_ptr<ScriptedDevice> attach(int portNumber) {
        auto device = std::make_shared<ScriptedDevice>();
        m_devices[portNumber] = device;
        return device;
    }

    std::unique_ptr<SerialPort> open(int portNumber) override {
        std::lock_guard lock(m_lock);
        opened.push_back(portNumber);
        const auto found = m_devices.find(portNumber);
        if (found == m_devices.end()) {
            return nullptr;
        }
        return std::make_unique<ScriptedSerialPort>(found->second);
    }

    std::vector<int> opened;  // every port number asked for, in order

private:
    std::map<int, std::shared_ptr<ScriptedDevice>> m_devices;
    std::mutex m_lock;
};

inline std::string hexBytes(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}
