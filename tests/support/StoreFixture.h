#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/CountingListener.h"

// A recorder state in a private directory, with a fake clock and scripted serial ports.
class StoreFixture : public ::testing::Test {
protected:
    StoreFixture() : state(ports, messages, clock) {
        char dirTemplate[] = "/tmp/kelvo-store-XXXXXX";
        dir = mkdtemp(dirTemplate);
        state.config.appDir = dir;
        std::strcpy(state.config.channels[kConsumptionRecord].name, "Consumption");
        std::strcpy(state.config.channels[kSolarRecord].name, "Solar");
        state.link.setHistoryDumpPath(path("History.dat"));
        state.listener = &listener;
    }
    ~StoreFixture() override { std::filesystem::remove_all(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::unique_ptr<SampleStore> copyOf(const Recording& doc) const {
        auto store = std::make_unique<SampleStore>();
        doc.copyStore(*store);
        return store;
    }

    std::string dir;
    ScriptedPortOpener ports;
    RecordingMessageSink messages;
    FakeClock clock{1'700'000'000};
    CountingListener listener;
    RecorderState state;
};
