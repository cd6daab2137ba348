// Any dast.data: a file is either taken whole, with a store whose indexes hold the ring
// rules, or not at all, leaving the tables and the store exactly as they were.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/store/DataFile.h"

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

namespace {

void decodeOne(const uint8_t* data, size_t size) {
    DayTable days{};
    MonthTable months{};
    auto store = std::make_unique<SampleStore>();
    std::memset(store.get(), 0x5A, sizeof(SampleStore));
    days.solar[3] = 77;

    const DataFile::Load result = DataFile::decode(data, size, days, months, *store);
    if (result != DataFile::Load::Loaded) {
        check(days.solar[3] == 77);
        check(store->count == 0x5A5A && store->samples[15][kRingSlots - 1] == 0x5A5A5A5A);
        return;
    }
    check(size == kDataFileSize);
    check(store->count <= kRingSlots);
    check(store->startIndex < kRingSlots && store->writeIndex < kRingSlots);
    check(store->writeIndex == (store->startIndex + store->count) % kRingSlots);
    // Taken whole: spot checks of the first and last sample against the file's bytes.
    auto at = [data](size_t offset) {
        return static_cast<int32_t>(data[offset] | data[offset + 1] << 8 | data[offset + 2] << 16 |
                                    static_cast<uint32_t>(data[offset + 3]) << 24);
    };
    check(store->samples[0][0] == at(kDataFileStoreOffset + 12));
    check(store->samples[kRingCount - 1][kRingSlots - 1] == at(kDataFileSize - 4));
}

}  // namespace

// Whole files are slow to mutate, so a short input also stands for the head of a file of the
// right length (tag, tables and store header), the rest zeros.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeOne(data, size);
    if (size < 4096) {
        std::vector<uint8_t> padded(data, data + size);
        padded.resize(kDataFileSize);
        decodeOne(padded.data(), padded.size());
    }
    return 0;
}
