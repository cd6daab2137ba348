// The store's hot paths: one sampling tick, the offline gap fill, the data file and the export.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "core/acquisition/RecorderState.h"
#include "core/acquisition/Recording.h"
#include "core/base/Clock.h"
#include "core/base/MessageSink.h"
#include "core/store/CsvExport.h"
#include "core/store/DataFile.h"
#include "core/store/SampleRing.h"
#include "support/ReferenceCsvExport.h"
#include "support/StepwiseGapFill.h"

namespace {

constexpr int64_t kNow = 1'700'000'000;
constexpr int64_t kThirtyDays = 30 * 86400;

class NoPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialPort> open(int) override { return nullptr; }
};

class SilentSink final : public MessageSink {
public:
    void show(const std::string&) override {}
};

// A full store of plausible powers ending at kNow.
std::unique_ptr<SampleStore> fullStore() {
    auto store = std::make_unique<SampleStore>();
    std::mt19937 random(7);
    for (auto& ring : store->samples)
        for (auto& v : ring) v = static_cast<int32_t>(random() % 4000);
    store->count = kRingSlots;
    store->startIndex = store->writeIndex = 4321;
    store->startTime = static_cast<int32_t>(kNow - 5 * int64_t{kRingSlots});
    return store;
}

struct ScratchDir {
    ScratchDir() {
        char dirTemplate[] = "/tmp/kelvo-bench-XXXXXX";
        path = mkdtemp(dirTemplate);
    }
    ~ScratchDir() { std::filesystem::remove_all(path); }
    std::string path;
};

// One tick with the link closed: the zero sample the timer records without a device.
void BM_RecordSampleClosedLink(benchmark::State& st) {
    NoPorts ports;
    SilentSink sink;
    RecorderState state(ports, sink, SystemClock::instance());
    Recording doc(state);
    for (auto _ : st) doc.recordSample();
}
BENCHMARK(BM_RecordSampleClosedLink);

// The gap fill after 30 days away, against the plain loop of one round per missing step.
template <void (*Fill)(SampleStore&, int64_t)>
void BM_FillGapThirtyDays(benchmark::State& st) {
    const auto original = fullStore();
    auto store = std::make_unique<SampleStore>();
    for (auto _ : st) {
        st.PauseTiming();
        std::memcpy(store.get(), original.get(), sizeof *store);
        st.ResumeTiming();
        Fill(*store, kNow + kThirtyDays);
        benchmark::DoNotOptimize(store->startTime);
    }
}
BENCHMARK(BM_FillGapThirtyDays<fillGap>)
    ->Name("BM_FillGapThirtyDays")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillGapThirtyDays<fillGapStepwise>)
    ->Name("BM_FillGapThirtyDaysStepLoop")
    ->Unit(benchmark::kMillisecond);

// Crash-safe save of the whole 1,106,356-byte file, fsyncs included.
void BM_DataFileSave(benchmark::State& st) {
    ScratchDir dir;
    const auto store = fullStore();
    DayTable days{};
    MonthTable months{};
    const std::string path = dir.path + "/dast.data";
    for (auto _ : st) benchmark::DoNotOptimize(DataFile::save(path, days, months, *store));
    st.SetBytesProcessed(st.iterations() * int64_t{kDataFileSize});
}
BENCHMARK(BM_DataFileSave)->Unit(benchmark::kMillisecond);

void BM_DataFileLoad(benchmark::State& st) {
    ScratchDir dir;
    DayTable days{};
    MonthTable months{};
    const std::string path = dir.path + "/dast.data";
    DataFile::save(path, days, months, *fullStore());
    auto store = std::make_unique<SampleStore>();
    for (auto _ : st) {
        if (DataFile::load(path, days, months, *store) != DataFile::Load::Loaded) {
            st.SkipWithError("load failed");
        }
    }
    st.SetBytesProcessed(st.iterations() * int64_t{kDataFileSize});
}
BENCHMARK(BM_DataFileLoad)->Unit(benchmark::kMillisecond);

// Every held sample of a full store, one row per 5 s: 17,280 rows, formatted and written; beside
// it the first formatter (printf per value, a local-time conversion per row) the tests keep as
// the reference of the bytes.
template <std::string (*Format)(const CsvExport::Source&)>
void BM_ExportFullStoreEvery5s(benchmark::State& st) {
    ScratchDir dir;
    const auto store = fullStore();
    DayTable days{};
    MonthTable months{};
    const std::string path = dir.path + "/export.csv";
    for (auto _ : st) {
        const std::string text = Format({days, months, "Consumption", "Solar", *store, 5});
        if (!CsvExport::writeFile(path, text)) st.SkipWithError("write failed");
    }
}
BENCHMARK(BM_ExportFullStoreEvery5s<CsvExport::format>)
    ->Name("BM_ExportFullStoreEvery5s")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportFullStoreEvery5s<reference::format>)
    ->Name("BM_ExportFullStoreEvery5sFirstFormatter")
    ->Unit(benchmark::kMillisecond);

}  // namespace
