#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/store/EnergyTables.h"
#include "core/store/SampleStore.h"

// dast.data: the energy tables and the whole sample store, little-endian, no padding.
//   0      8  tag "Ver1.01" and a zero byte
//   8    160  DayTable solar, 40 x i32
//   168  160  DayTable consumption
//   328   48  MonthTable solar, 12 x i32
//   376   48  MonthTable consumption
//   424  1,105,932  SampleStore: startTime i32, count u16, startIndex u16, writeIndex u16,
//                   reserved u16, then rings 0..15 of 17,280 i32 each, ring after ring
// In both table pairs the solar series comes first.
inline constexpr size_t kDataFileSize = 1106356;
inline constexpr size_t kDataFileTagSize = 8;
inline constexpr size_t kDataFileStoreOffset = 424;
inline constexpr char kDataFileTag[kDataFileTagSize] = "Ver1.01";

static_assert(kDataFileStoreOffset + sizeof(SampleStore) == kDataFileSize);

class DataFile {
public:
    enum class Load {
        Loaded,     // tables and store replaced by the file's
        Missing,    // no file, or it cannot be read
        WrongTag,   // another file or version: deleted
        Malformed,  // our tag but shorter than the image, or a header that breaks the ring rules
    };

    // The complete file image, always kDataFileSize bytes.
    static std::vector<uint8_t> encode(const DayTable& days, const MonthTable& months,
                                       const SampleStore& store);
    // Decodes an image into the targets only when all of it is sound; on any other result
    // the targets are left exactly as they were. Bytes after the first kDataFileSize are
    // ignored.
    static Load decode(const uint8_t* data, size_t size, DayTable& days, MonthTable& months,
                       SampleStore& store);

    // Reads the file at `path`; a file with another tag is deleted. A malformed file is kept
    // on disk (the next save replaces it) but nothing of it is used.
    static Load load(const std::string& path, DayTable& days, MonthTable& months,
                     SampleStore& store);
    // Crash-safe replacement of the file: on failure the previous file stays as it was.
    static bool save(const std::string& path, const DayTable& days, const MonthTable& months,
                     const SampleStore& store);
};
