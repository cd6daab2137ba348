#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <random>
#include <sstream>

#include "core/store/CsvExport.h"
#include "support/ReferenceCsvExport.h"
#include "support/StoreFixture.h"

namespace {

// Local time two hours east of UTC, so a UTC label would show.
class CsvExportTest : public StoreFixture {
protected:
    void SetUp() override {
        setenv("TZ", "XYZ-2", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

std::vector<std::string> sampleRows(const std::string& text) {
    std::vector<std::string> rows;
    std::istringstream in(text.substr(text.find("Time, ")));
    for (std::string line; std::getline(in, line);) rows.push_back(line);
    rows.erase(rows.begin());
    return rows;
}

TEST_F(CsvExportTest, MatchesTheHandWrittenFile) {
    DayTable days{};
    MonthTable months{};
    days.solar[0] = 12, days.consumption[39] = 7;
    months.solar[0] = 3, months.consumption[11] = 65535;
    auto store = std::make_unique<SampleStore>();
    store->startTime = 1'700'000'000;  // 2023-11-14 22:13:20 UTC
    store->count = 2, store->startIndex = 17279, store->writeIndex = 1;
    for (int k = 0; k < 16; ++k) store->samples[k][17279] = 100 * k, store->samples[k][0] = k;
    store->samples[0][17279] = store->samples[13][17279] = 999999;  // never exported

    const std::string text = CsvExport::format({days, months, "Consumption", "Solar", *store, 5});
    EXPECT_EQ(text,
              "Day,1,2,3,4,5,6,7,8,9,10\n"
              "Solar(kwh),12,0,0,0,0,0,0,0,0,0\n"
              "Consumption(kwh),0,0,0,0,0,0,0,0,0,0\n\n"
              "Day,11,12,13,14,15,16,17,18,19,20\n"
              "Solar(kwh),0,0,0,0,0,0,0,0,0,0\n"
              "Consumption(kwh),0,0,0,0,0,0,0,0,0,0\n\n"
              "Day,21,22,23,24,25,26,27,28,29,30\n"
              "Solar(kwh),0,0,0,0,0,0,0,0,0,0\n"
              "Consumption(kwh),0,0,0,0,0,0,0,0,0,0\n\n"
              "Day,31,32,33,34,35,36,37,38,39,40\n"
              "Solar(kwh),0,0,0,0,0,0,0,0,0,0\n"
              "Consumption(kwh),0,0,0,0,0,0,0,0,0,7\n\n\n\n"
              "Month,1,2,3,4,5,6,7,8,9,10,11,12\n"
              "Solar(kwh),3,0,0,0,0,0,0,0,0,0,0,0\n"
              "Consumption(kwh),0,0,0,0,0,0,0,0,0,0,0,65535\n\n\n\n"
              "Time, Channel 01, Channel 02, Channel 03, Channel 04, Channel 05, Channel 06, "
              "Channel 07, Channel 08, Channel 09, Channel 10, Channel 11, Channel 12, "
              "Consumption, Solar\n"
              "2023-11-15 00-13-20, 000100, 000200, 000300, 000400, 000500, 000600, 000700, "
              "000800, 000900, 001000, 001100, 001200, 001400, 001500\n"
              "2023-11-15 00-13-25, 000001, 000002, 000003, 000004, 000005, 000006, 000007, "
              "000008, 000009, 000010, 000011, 000012, 000014, 000015\n");
}

TEST_F(CsvExportTest, RowsFollowTheIntervalAndAreLabelledWithTheirOwnSampleTime) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    store->startTime = 1'700'000'000;
    store->count = kRingSlots, store->startIndex = store->writeIndex = 100;
    for (int slot = 0; slot < kRingSlots; ++slot) store->samples[1][slot] = slot;
    const struct {
        uint32_t interval;
        size_t rows;
        const char* secondRow;  // time and ring 1
    } cases[] = {
        {60, 1440, "2023-11-15 00-14-20, 000112"},
        {5, 17280, "2023-11-15 00-13-25, 000101"},
        {0, 17280, "2023-11-15 00-13-25, 000101"},
        {3, 17280, "2023-11-15 00-13-25, 000101"},
        {7, 17280, "2023-11-15 00-13-25, 000101"},
        {12, 8640, "2023-11-15 00-13-30, 000102"},
        {86400, 1, nullptr},
    };
    for (const auto& c : cases) {
        const auto rows =
            sampleRows(CsvExport::format({days, months, "C", "S", *store, c.interval}));
        ASSERT_EQ(rows.size(), c.rows) << c.interval;
        EXPECT_EQ(rows[0].substr(0, 27), "2023-11-15 00-13-20, 000100") << c.interval;
        if (c.secondRow) {
            EXPECT_EQ(rows[1].substr(0, 27), c.secondRow) << c.interval;
        }
    }
    store->count = 0, store->writeIndex = 100;
    EXPECT_TRUE(sampleRows(CsvExport::format({days, months, "C", "S", *store, 60})).empty());
}

// Text around the first byte where `text` leaves `expected`, for a readable failure.
std::string firstDifference(const std::string& expected, const std::string& text) {
    size_t i = 0;
    while (i < expected.size() && i < text.size() && expected[i] == text[i]) ++i;
    const size_t from = i < 60 ? 0 : i - 60;
    return "at byte " + std::to_string(i) + ":\n expected ..." + expected.substr(from, 120) +
           "\n written  ..." + text.substr(from, 120);
}

// Local time minus the time: the zone's offset, less the leap seconds counted since 1970 in
// a zone that counts them.
int64_t localShift(int64_t seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm local {};
    localtime_r(&t, &local);
    using namespace std::chrono;
    const sys_days day{year{local.tm_year + 1900} / (local.tm_mon + 1) / local.tm_mday};
    const int64_t clock = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return day.time_since_epoch().count() * int64_t{86400} + clock - seconds;
}

// The fast export against the first formatter, byte for byte, in zones whose offset changes
// inside the store's day (a one-hour and a half-hour daylight saving step, a step at midnight,
// a leap second) and over negative, wide and six-digit-edge values. Lines of the archive's
// range export go through the same writer; they are compared one by one at odd times, in any
// order, including times before year 1000, after 9999 and without any local date.
TEST_F(CsvExportTest, WritesTheBytesOfTheFirstFormatterInEveryZoneAndForEveryValue) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    std::mt19937 random(11);
    const int32_t edges[] = {INT32_MIN, INT32_MAX, -1, 0, -99999, -100000, 999999, 1000000};
    for (auto& ring : store->samples) {
        for (auto& v : ring) v = static_cast<int32_t>(random() % 9000) - 1000;
        for (int k = 0; k < 8; ++k) ring[random() % kRingSlots] = edges[k];
    }
    for (int i = 0; i < kDays; ++i) days.solar[i] = edges[i % 8], days.consumption[i] = -i;
    for (int i = 0; i < kMonths; ++i) months.solar[i] = edges[i % 8], months.consumption[i] = -i;

    const struct {
        const char* zone;
        int32_t storeStart;  // the store's day holds a step of the local time
    } zones[] = {
        {"Europe/Berlin", 1774710003},        // 2026-03-28 15:00:03 UTC: spring forward
        {"Europe/Berlin", 1792846800},        // 2026-10-24 13:00 UTC: fall back
        {"Australia/Lord_Howe", 1775271600},  // 2026-04-04 03:00 UTC: back by half an hour
        {"America/Santiago", 1775314800},     // 2026-04-04 15:00 UTC: back from midnight
        {"right/UTC", 1483185601},            // 2016-12-31 11:59:35: a row on the leap second
    };
    const int64_t oddTimes[] = {
        -1,           0,         1774746000,   1774745999, -40'000'000'000, 253402300799,
        253402300800, 1LL << 60, -(1LL << 60), 1775314799};
    for (const auto& z : zones) {
        SCOPED_TRACE(z.zone);
        setenv("TZ", z.zone, 1);
        tzset();
        ASSERT_NE(localShift(z.storeStart), localShift(z.storeStart + 86395)) << z.storeStart;
        store->startTime = z.storeStart;
        for (const auto& [count, startIndex, interval] : {std::tuple{kRingSlots, 4321, 5u},
                                                          {kRingSlots, 0, 65u},
                                                          {9001, 17000, 0u},
                                                          {9001, 3, 3605u}}) {
            store->count = static_cast<uint16_t>(count);
            store->startIndex = static_cast<uint16_t>(startIndex);
            store->writeIndex = static_cast<uint16_t>((startIndex + count) % kRingSlots);
            const CsvExport::Source source{days, months, "Consumption", "Solar", *store, interval};
            const std::string expected = reference::format(source);
            const std::string text = CsvExport::format(source);
            ASSERT_TRUE(text == expected) << interval << " " << firstDifference(expected, text);
        }
        LocalTimeLabels labels;
        for (const int64_t t : oddTimes) {
            const int32_t* power = store->samples[0] + (t & 0xfff) * 4;  // 16 values from ring 0
            std::string expected, once, kept;
            reference::appendSampleLine(expected, t, power);
            CsvExport::appendSampleLine(once, t, power);
            CsvExport::appendSampleLine(kept, t, power, labels);
            EXPECT_EQ(once, expected);
            EXPECT_EQ(kept, expected);
        }
    }
}

TEST_F(CsvExportTest, ReportsCreateErrorOrTheWrittenPath) {
    Recording doc(state);
    doc.exportCsv(path("missing/out.csv"));
    doc.exportCsv("/dev/full");  // opens, but no byte fits: not a success
    doc.exportCsv(path("out.csv"));
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  "Create file error!", "Create file error!",
                                  "Real time data already export to file:" + path("out.csv")}));
    std::ifstream in(path("out.csv"));
    std::string first;
    std::getline(in, first);
    EXPECT_EQ(first, "Day,1,2,3,4,5,6,7,8,9,10");
}

}  // namespace
