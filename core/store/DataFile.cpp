#include "core/store/DataFile.h"

#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "core/base/ByteOrder.h"
#include "core/base/CrashSafeFile.h"
#include "core/store/SampleRing.h"

namespace {

template <size_t N>
void putSeries(ByteWriter& out, const int32_t (&series)[N]) {
    out.i32s(series, N);
}

template <size_t N>
void getSeries(ByteReader& in, int32_t (&series)[N]) {
    in.i32s(series, N);
}

}  // namespace

std::vector<uint8_t> DataFile::encode(const DayTable& days, const MonthTable& months,
                                      const SampleStore& store) {
    std::vector<uint8_t> bytes;
    bytes.reserve(kDataFileSize);
    ByteWriter out(bytes);
    out.bytes(kDataFileTag, kDataFileTagSize);
    putSeries(out, days.solar);
    putSeries(out, days.consumption);
    putSeries(out, months.solar);
    putSeries(out, months.consumption);
    out.i32(store.startTime);
    out.u16(store.count);
    out.u16(store.startIndex);
    out.u16(store.writeIndex);
    out.u16(store.reserved);
    for (const auto& ring : store.samples) putSeries(out, ring);
    return bytes;
}

DataFile::Load DataFile::decode(const uint8_t* data, size_t size, DayTable& days,
                                MonthTable& months, SampleStore& store) {
    if (size >= kDataFileTagSize && std::memcmp(data, kDataFileTag, kDataFileTagSize) != 0) {
        return Load::WrongTag;
    }
    // A longer file still holds a whole image at its start: that is read and the rest
    // ignored, rather than the next save throwing the held 24 hours away.
    if (size < kDataFileSize) return Load::Malformed;

    // Tables go to scratch copies and the store header is tried in the target itself, put back
    // as it was when the ring rules reject it: a rejected file leaves the targets untouched
    // without a scratch copy of the 1.1 MB store. Once the header passes nothing can fail (the
    // length was checked above), so the samples are read straight into the target.
    DayTable newDays{};
    MonthTable newMonths{};
    ByteReader in(data, kDataFileSize);
    char tag[kDataFileTagSize];
    in.bytes(tag, sizeof tag);
    getSeries(in, newDays.solar);
    getSeries(in, newDays.consumption);
    getSeries(in, newMonths.solar);
    getSeries(in, newMonths.consumption);
    uint8_t previousHeader[offsetof(SampleStore, samples)];
    std::memcpy(previousHeader, &store, sizeof previousHeader);
    store.startTime = in.i32();
    store.count = in.u16();
    store.startIndex = in.u16();
    store.writeIndex = in.u16();
    store.reserved = in.u16();
    if (!storeIsConsistent(store)) {
        std::memcpy(&store, previousHeader, sizeof previousHeader);
        return Load::Malformed;
    }
    days = newDays;
    months = newMonths;
    for (auto& ring : store.samples) getSeries(in, ring);
    return Load::Loaded;
}

DataFile::Load DataFile::load(const std::string& path, DayTable& days, MonthTable& months,
                              SampleStore& store) {
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, kDataFileSize)) return Load::Missing;
    const Load result = decode(bytes.data(), bytes.size(), days, months, store);
    if (result == Load::WrongTag) ::unlink(path.c_str());
    return result;
}

bool DataFile::save(const std::string& path, const DayTable& days, const MonthTable& months,
                    const SampleStore& store) {
    return writeFileAtomically(path, encode(days, months, store));
}
