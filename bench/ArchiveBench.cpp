// The long-term archive: appending one sample as the writer does it, and opening one day of a
// year's archive (6.3 million rows) as the archive window does it, query and chart paint.
// The year is generated once into /tmp and reused by later runs.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstdio>
#include <string>

#include "core/archive/ArchiveDatabase.h"
#include "core/archive/ArchiveReader.h"
#include "core/archive/ArchiveWriter.h"
#include "core/base/Clock.h"
#include "core/base/MessageSink.h"
#include "ui/widgets/PowerChart.h"

namespace {

constexpr int64_t kYearStart = 1'767'225'600;  // 2026-01-01 00:00:00 UTC
constexpr int64_t kYearRows = 365LL * 17280;   // 6,307,200
const char* const kYearFile = "/tmp/kelvo-bench-year.sqlite";

struct Quiet final : MessageSink {
    void show(const std::string&) override {}
};

// A year of 5-second rows, each ring a different slow wave, in one transaction.
void makeYear() {
    struct stat info {};
    if (::stat(kYearFile, &info) == 0) return;
    std::string error;
    ArchiveDatabase db;
    if (!db.open(kYearFile, true, error)) std::abort();
    db.exec("BEGIN", error);
    ArchiveStatement insert(db, "INSERT INTO power VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    for (int64_t i = 0; i < kYearRows; ++i) {
        sqlite3_bind_int64(insert.get(), 1, kYearStart + 5 * i);
        for (int k = 0; k < 16; ++k)
            sqlite3_bind_int(insert.get(), k + 2, static_cast<int>((i * (k + 1)) % 3000));
        sqlite3_step(insert.get());
        sqlite3_reset(insert.get());
    }
    db.exec("COMMIT", error);
}

void BM_ArchiveAppendOneSample(benchmark::State& state) {
    const std::string path = "/tmp/kelvo-bench-append.sqlite";
    std::remove(path.c_str());
    Quiet quiet;
    ArchiveWriter writer(quiet, SystemClock::instance());
    writer.configure({true, path, 0}, "/tmp");
    MeterSample sample;
    int64_t time = kYearStart;
    for (auto _ : state) {
        sample.time = time += 5;
        sample.power[1] = static_cast<int32_t>(time % 3000);
        writer.onMeterSample(sample);
        writer.waitIdle();  // the commit of that one row, WAL write included
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_ArchiveAppendOneSample)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ArchiveOpenDayOfAYear(benchmark::State& state) {
    makeYear();
    ArchiveReader reader(kYearFile);
    PowerChart chart;
    chart.resize(1200, 500);
    QImage image(1200, 500, QImage::Format_RGB32);
    ArchiveDay day;
    std::string error;
    int d = 0;
    for (auto _ : state) {
        const int dayOfYear = 100 + (d++ % 100);  // a different day each time: no warm cache
        const int64_t when = kYearStart + 86400LL * dayOfYear;
        const time_t t = static_cast<time_t>(when);
        struct tm utc {};
        gmtime_r(&t, &utc);
        if (!reader.readDay(utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, day, error))
            state.SkipWithError(error.c_str());
        chart.loadDay(3, day.power, QStringLiteral("The Channel 03 Power"));
        QPainter painter(&image);
        chart.paint(painter, day.start + 86400);
    }
    struct stat info {};
    ::stat(kYearFile, &info);
    state.counters["year_MB"] = static_cast<double>(info.st_size) / 1e6;
}
BENCHMARK(BM_ArchiveOpenDayOfAYear)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);
    QApplication app(argc, argv);  // fonts for the labels
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
