#pragma once

// The archive's test fixture: a real SQLite file in a fresh working directory, a fake clock,
// the local time zone under the test's control, and a look into the file with plain SQL.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <memory>
#include <string>

#include "core/archive/ArchiveWriter.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "support/TempWorkDir.h"

// 2026-06-01 00:00:00 UTC
inline constexpr int64_t kJuneFirst = 1'780'272'000;

class LocalZone {
public:
    explicit LocalZone(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    ~LocalZone() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

inline MeterSample sample(int64_t time, int32_t base) {
    MeterSample s;
    s.time = time;
    for (int k = 0; k < kChannelRecords; ++k) s.power[k] = base + k;
    s.days.consumption[0] = 7;
    s.months.solar[11] = 99;
    return s;
}

// Every row of `sql`, its columns joined by '|', rows by '\n'.
inline std::string query(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    std::string out;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                if (c) out += '|';
                const unsigned char* text = sqlite3_column_text(st, c);
                out += text ? reinterpret_cast<const char*>(text) : "";
            }
            out += '\n';
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

struct ArchiveFixture : ::testing::Test {
    LocalZone utc{"UTC"};
    TempWorkDir dir;
    RecordingMessageSink messages;
    FakeClock clock{kJuneFirst};
    std::string path = dir.file("kelvo-archive.sqlite");

    std::unique_ptr<ArchiveWriter> writer(int keepDays = 0) {
        auto w = std::make_unique<ArchiveWriter>(messages, clock);
        w->setRetryDelay(std::chrono::milliseconds(50));
        w->configure({true, "kelvo-archive.sqlite", keepDays}, dir.path());
        return w;
    }
};
