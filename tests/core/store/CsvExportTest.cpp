#include <stdlib.h>
#include <time.h>

#include <fstream>
#include <sstream>

#include "support/StoreFixture.h"
#include "core/store/CsvExport.h"

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

TEST_F(CsvExportTest, ReportsCreateErrorOrTheWrittenPath) {
    RecordingDocument doc(state);
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
