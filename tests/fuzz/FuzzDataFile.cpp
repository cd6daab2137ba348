// Any dast.data: a file is either taken whole, with a store whose indexes hold the ring
// rules, or not at all, leaving the tables and the store exactly as they were.
//
// Mutating whole 1.1 MB files is slow, so the input describes a file instead:
//   bytes 0..435     the head of the file (tag, tables, store header); zeros where the input
//                    is shorter
//   then 7 bytes     per sample: ring (mod 16), u16 slot (mod 17,280), i32 value, all
//                    little-endian, written into an otherwise zero store
//   a rest of 1..6   its first byte, as a signed number, is added to the file's length: a
//                    file shorter than the image, or one followed by other bytes
// The input itself is decoded as a file too.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/store/DataFile.h"

namespace {

constexpr size_t kHeadSize = kDataFileStoreOffset + 12;
constexpr size_t kSampleEntrySize = 7;
constexpr size_t kMaxGrowth = 127;
constexpr uint8_t kTargetFill = 0x5A;

void check(bool condition) {
    if (!condition) std::abort();
}

int32_t i32At(const uint8_t* p) {
    return static_cast<int32_t>(p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
}

size_t slotOffset(int ring, int slot) {
    return kDataFileStoreOffset + 12 + 4 * (static_cast<size_t>(ring) * kRingSlots + slot);
}

// The store a rejected file must leave alone, kept between runs: filling 1.1 MB anew for every
// input would cost more than the decode. Only the fields checked are filled again.
SampleStore& target() {
    static SampleStore* store = [] {
        auto* s = new SampleStore;
        std::memset(s, kTargetFill, sizeof *s);
        return s;
    }();
    return *store;
}

void fillChecked(SampleStore& store) {
    std::memset(&store, kTargetFill, offsetof(SampleStore, samples));
    std::memset(&store.samples[0][0], kTargetFill, 4);
    std::memset(&store.samples[kRingCount - 1][kRingSlots - 1], kTargetFill, 4);
}

void expectUntouched(const DayTable& days, const SampleStore& store) {
    check(days.solar[3] == 77);
    check(store.startTime == 0x5A5A5A5A && store.count == 0x5A5A && store.startIndex == 0x5A5A);
    check(store.writeIndex == 0x5A5A && store.reserved == 0x5A5A);
    check(store.samples[0][0] == 0x5A5A5A5A);
    check(store.samples[kRingCount - 1][kRingSlots - 1] == 0x5A5A5A5A);
}

// Decodes `size` bytes as a file; on success checks the store against the file's bytes at the
// head, the first and last slot and every offset in `written`.
void decodeOne(const uint8_t* data, size_t size, const std::vector<size_t>& written) {
    DayTable days{};
    MonthTable months{};
    days.solar[3] = 77;
    SampleStore& store = target();

    const DataFile::Load result = DataFile::decode(data, size, days, months, store);
    if (result != DataFile::Load::Loaded) {
        expectUntouched(days, store);
        return;
    }
    check(size >= kDataFileSize);
    check(std::memcmp(data, kDataFileTag, kDataFileTagSize) == 0);
    check(store.count <= kRingSlots);
    check(store.startIndex < kRingSlots && store.writeIndex < kRingSlots);
    check(store.writeIndex == (store.startIndex + store.count) % kRingSlots);
    check(store.startTime == i32At(data + kDataFileStoreOffset));
    check(days.solar[3] == i32At(data + 8 + 12) && months.consumption[11] == i32At(data + 420));
    check(store.samples[0][0] == i32At(data + slotOffset(0, 0)));
    check(store.samples[kRingCount - 1][kRingSlots - 1] == i32At(data + kDataFileSize - 4));
    for (size_t offset : written) {
        const size_t index = (offset - slotOffset(0, 0)) / 4;
        check(store.samples[index / kRingSlots][index % kRingSlots] == i32At(data + offset));
    }
    fillChecked(store);
}

// The described file, in a buffer kept zero between runs but for the bytes past the image.
std::vector<uint8_t>& fileBuffer() {
    static std::vector<uint8_t> file = [] {
        std::vector<uint8_t> bytes(kDataFileSize + kMaxGrowth, 0);
        std::memset(bytes.data() + kDataFileSize, 0xEE, kMaxGrowth);
        return bytes;
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    decodeOne(data, size, {});

    std::vector<uint8_t>& file = fileBuffer();
    const size_t head = std::min(size, kHeadSize);
    std::memcpy(file.data(), data, head);
    std::vector<size_t> written;
    size_t pos = head;
    for (; size - pos >= kSampleEntrySize; pos += kSampleEntrySize) {
        const int ring = data[pos] % kRingCount;
        const int slot = (data[pos + 1] | data[pos + 2] << 8) % kRingSlots;
        const size_t offset = slotOffset(ring, slot);
        std::memcpy(file.data() + offset, data + pos + 3, 4);
        written.push_back(offset);
    }
    const long growth = pos < size ? static_cast<int8_t>(data[pos]) : 0;
    decodeOne(file.data(), kDataFileSize + growth, written);

    std::memset(file.data(), 0, head);
    for (size_t offset : written) std::memset(file.data() + offset, 0, 4);
    return 0;
}
