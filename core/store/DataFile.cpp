#include "core/store/DataFile.h"

#include <unistd.h>

#include <cstring>
#include <memory>

#include "core/base/CrashSafeFile.h"
#include "core/base/ByteOrder.h"
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
    if (size != kDataFileSize) return Load::Malformed;

    // Decode into scratch copies so a rejected header leaves the targets untouched.
    DayTable newDays{};
    MonthTable newMonths{};
    auto newStore = std::make_unique<SampleStore>();
    ByteReader in(data, size);
    char tag[kDataFileTagSize];
    in.bytes(tag, sizeof tag);
    getSeries(in, newDays.solar);
    getSeries(in, newDays.consumption);
    getSeries(in, newMonths.solar);
    getSeries(in, newMonths.consumption);
    newStore->startTime = in.i32();
    newStore->count = in.u16();
    newStore->startIndex = in.u16();
    newStore->writeIndex = in.u16();
    newStore->reserved = in.u16();
    if (!storeIsConsistent(*newStore)) return Load::Malformed;  // before 1.1 MB of samples
    for (auto& ring : newStore->samples) getSeries(in, ring);
    if (!in.ok() || in.remaining() != 0) return Load::Malformed;

    days = newDays;
    months = newMonths;
    std::memcpy(&store, newStore.get(), sizeof store);
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
