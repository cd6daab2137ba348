#include "core/publish/EnergyCounters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"

namespace {

// File layout, little-endian: "KELVOEC1", u64 sequence, 16 x u64 watt-seconds, u64 FNV-1a
// checksum of everything before it. 152 bytes.
constexpr char kTag[8] = {'K', 'E', 'L', 'V', 'O', 'E', 'C', '1'};
constexpr size_t kFileSize = 8 + 8 + 8 * EnergyCounters::kCount + 8;

uint64_t checksum(const uint8_t* data, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

void putU64(std::vector<uint8_t>& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t getU64(const uint8_t* at) {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

struct Copy {
    bool present = false;
    bool whole = false;
    uint64_t sequence = 0;
    std::array<int64_t, EnergyCounters::kCount> counts{};
};

Copy readCopy(const std::string& path) {
    Copy copy;
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, kFileSize)) return copy;
    copy.present = true;
    if (bytes.size() != kFileSize || std::memcmp(bytes.data(), kTag, sizeof kTag) != 0 ||
        getU64(bytes.data() + kFileSize - 8) != checksum(bytes.data(), kFileSize - 8))
        return copy;
    copy.sequence = getU64(bytes.data() + 8);
    for (int k = 0; k < EnergyCounters::kCount; ++k) {
        const uint64_t count = getU64(bytes.data() + 16 + 8 * k);
        if (count > static_cast<uint64_t>(INT64_MAX)) return copy;
        copy.counts[k] = static_cast<int64_t>(count);
    }
    copy.whole = true;
    return copy;
}

}  // namespace

const std::array<std::string, EnergyCounters::kCount>& EnergyCounters::names() {
    static const std::array<std::string, kCount> values = [] {
        std::array<std::string, kCount> v;
        for (int k = 0; k < 12; ++k) {
            char name[8];
            std::snprintf(name, sizeof name, "ch%02d", k + 1);
            v[k] = name;
        }
        v[12] = "consumption";
        v[13] = "solar";
        v[kGridImport] = "grid_import";
        v[kGridExport] = "grid_export";
        return v;
    }();
    return values;
}

std::string EnergyCounters::kwhText(int64_t wattSeconds) {
    constexpr int64_t kPerKwh = 3'600'000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(wattSeconds / kPerKwh),
                  static_cast<long long>(wattSeconds % kPerKwh / 3600));
    return text;
}

EnergyCounters::EnergyCounters(std::string dir) : m_dir(std::move(dir)) {}

void EnergyCounters::add(const MeterSample& sample) {
    auto watts = [&](int record) { return std::max<int64_t>(0, sample.power[record]); };
    for (int k = 0; k < 12; ++k) m_counts[k] += watts(kFirstLoad + k) * kSampleSeconds;
    const int64_t consumption = watts(kConsumptionRecord);
    const int64_t solar = watts(kSolarRecord);
    m_counts[12] += consumption * kSampleSeconds;
    m_counts[13] += solar * kSampleSeconds;
    m_counts[kGridImport] += std::max<int64_t>(0, consumption - solar) * kSampleSeconds;
    m_counts[kGridExport] += std::max<int64_t>(0, solar - consumption) * kSampleSeconds;
}

void EnergyCounters::addCounts(const std::array<int64_t, kCount>& wattSeconds) {
    for (int k = 0; k < kCount; ++k) m_counts[k] += wattSeconds[k];
}

std::string EnergyCounters::copyPath(int copy) const {
    return pathInDirectory(m_dir, copy == 0 ? "kelvo-energy-a.dat" : "kelvo-energy-b.dat");
}

bool EnergyCounters::load(std::string& problem) {
    problem.clear();
    Copy copies[2] = {readCopy(copyPath(0)), readCopy(copyPath(1))};
    m_counts = {};
    m_sequence = 0;
    bool whole = true;
    for (int c = 0; c < 2; ++c) {
        if (copies[c].whole) {
            // A counter never goes down: the higher of two whole copies is the newer one.
            for (int k = 0; k < kCount; ++k)
                m_counts[k] = std::max(m_counts[k], copies[c].counts[k]);
            m_sequence = std::max(m_sequence, copies[c].sequence);
        } else if (copies[c].present) {
            // Kept for whoever wants to look at it, and out of the way of the next save.
            const std::string aside = copyPath(c) + ".damaged";
            std::rename(copyPath(c).c_str(), aside.c_str());
            if (!problem.empty()) problem += "; ";
            problem += "energy counter file " + copyPath(c) + " damaged, kept as " + aside;
            whole = false;
        }
    }
    if (!whole && !copies[0].whole && !copies[1].whole) problem += "; counting from zero";
    return whole;
}

bool EnergyCounters::save() {
    const uint64_t sequence = m_sequence + 1;
    std::vector<uint8_t> bytes(kTag, kTag + sizeof kTag);
    putU64(bytes, sequence);
    for (int64_t count : m_counts) putU64(bytes, static_cast<uint64_t>(count));
    putU64(bytes, checksum(bytes.data(), bytes.size()));
    if (!writeFileAtomically(copyPath(static_cast<int>(sequence % 2)), bytes)) return false;
    m_sequence = sequence;
    return true;
}
