#include "core/config/DastConfig.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/base/ByteOrder.h"
#include "core/base/Clock.h"
#include "core/base/CrashSafeFile.h"
#include "core/base/FilePath.h"

namespace {

constexpr size_t kChannelRecordBytes = 76;
constexpr size_t kScopeEntryBytes = 16;
constexpr size_t kPasswordBytes = 16;
constexpr size_t kMaxExtraBytes = 255;
constexpr size_t kMaxTableRows = std::numeric_limits<uint16_t>::max();

// The longest file any count can describe: 65,535 records, 65,535 scope rows, 255 extra
// bytes (about 6 MB). Anything after that is never read.
constexpr size_t kMaxFileBytes = 2 + kMaxTableRows * kChannelRecordBytes + 2 + 2 +
                                 kMaxTableRows * kScopeEntryBytes + kPasswordBytes + 1 + 4 + 4 + 1 +
                                 1 + kMaxExtraBytes + 4;

// Default rows: 1, 5, 15, 30 minutes and 1 hour as fractions of a day rounded to eight
// decimals, 3 and 6 hours exact.
constexpr struct {
    double span;
    int32_t samples;
} kDefaultScopes[kScopeEntries] = {
    {0.00069444, 12},  {0.00347222, 60}, {0.01041667, 180}, {0.02083333, 360},
    {0.04166667, 720}, {0.125, 2160},    {0.25, 4320},
};

void putName(ChannelRecord& record, const char* name) {
    std::memset(record.name, 0, sizeof record.name);
    std::strncpy(record.name, name, sizeof record.name - 1);
}

bool readRecord(ByteReader& in, ChannelRecord& record) {
    ChannelRecord r{};
    in.bytes(r.name, sizeof r.name);
    r.number = in.u16();
    in.bytes(r.spare1, sizeof r.spare1);
    r.power = in.u32();
    r.state = in.u8();
    in.bytes(r.spare2, sizeof r.spare2);
    if (!in.ok()) return false;
    record = r;
    return true;
}

void writeRecord(ByteWriter& out, const ChannelRecord& r) {
    out.bytes(r.name, sizeof r.name);
    out.u16(r.number);
    out.bytes(r.spare1, sizeof r.spare1);
    out.u32(r.power);
    out.u8(r.state);
    out.bytes(r.spare2, sizeof r.spare2);
}

bool readScope(ByteReader& in, ScopeEntry& entry) {
    ScopeEntry e{};
    e.span = in.f64();
    e.samples = in.i32();
    in.bytes(e.spare, sizeof e.spare);
    if (!in.ok()) return false;
    entry = e;
    return true;
}

bool usableSamples(int32_t samples) { return samples >= 1 && samples <= kMaxScopeSamples; }

template <size_t N>
void terminate(char (&text)[N]) {
    if (std::memchr(text, 0, N) == nullptr) text[N - 1] = 0;
}

// Reads one field; the target keeps its value unless the whole field was there.
template <typename T, typename Read>
void field(ByteReader& in, T& target, Read read) {
    const T value = read();
    if (in.ok()) target = value;
}

}  // namespace

ScopeEntry defaultScope(int index) {
    ScopeEntry entry{};
    entry.span = kDefaultScopes[index].span;
    entry.samples = kDefaultScopes[index].samples;
    return entry;
}

DastConfig DastConfig::defaults() {
    DastConfig c;
    c.channels[kConsumptionRecord].number = kConsumptionRecord;
    putName(c.channels[kConsumptionRecord], "Consumption");
    c.channels[kSolarRecord].number = kSolarRecord;
    putName(c.channels[kSolarRecord], "Solar");
    for (int i = 0; i < kScopeEntries; ++i) c.scopes.push_back(defaultScope(i));
    return c;
}

ScopeSelection DastConfig::scope() const {
    if (scopeIndex < scopes.size() && usableSamples(scopes[scopeIndex].samples)) {
        return {scopeIndex, scopeIndex, scopes[scopeIndex].samples};
    }
    return {scopeIndex, kDefaultScopeIndex, kDefaultScopes[kDefaultScopeIndex].samples};
}

std::string DastConfig::filePath() const { return pathInDirectory(appDir, "dast.cfg"); }

std::vector<uint8_t> writeConfigImage(const DastConfig& config) {
    const size_t surplus = std::min(config.surplusChannels.size(), kMaxTableRows - kChannelRecords);
    const size_t scopeCount = std::min(config.scopes.size(), kMaxTableRows);
    const size_t extraLength = std::min(config.extraData.size(), kMaxExtraBytes);

    std::vector<uint8_t> image;
    image.reserve(2 + (kChannelRecords + surplus) * kChannelRecordBytes + 4 +
                  scopeCount * kScopeEntryBytes + 31 + extraLength);
    ByteWriter out(image);
    out.u16(static_cast<uint16_t>(kChannelRecords + surplus));
    for (const ChannelRecord& r : config.channels) writeRecord(out, r);
    for (size_t i = 0; i < surplus; ++i) writeRecord(out, config.surplusChannels[i]);
    out.u16(config.scopeIndex);
    out.u16(static_cast<uint16_t>(scopeCount));
    for (size_t i = 0; i < scopeCount; ++i) {
        const ScopeEntry& e = config.scopes[i];
        out.f64(e.span);
        out.i32(e.samples);
        out.bytes(e.spare, sizeof e.spare);
    }
    out.bytes(config.password, sizeof config.password);
    out.u8(config.reserved1);
    out.u32(config.firstLoadTime);
    out.u32(config.lastSaveTime);
    out.u8(config.reserved2);
    out.u8(static_cast<uint8_t>(extraLength));
    out.bytes(config.extraData.data(), extraLength);
    out.u32(config.exportInterval);
    return image;
}

namespace {

// Fields from the image, in file order; a field that is not whole in the image keeps the
// value `config` held. True when the image held every field.
bool parseConfigImage(const uint8_t* data, size_t size, DastConfig& config) {
    ByteReader in(data, size);

    // Channel table: every complete record is kept, the first sixteen in their places and
    // any beyond in surplusChannels; records the file lacks keep their defaults.
    const uint16_t channelCount = in.u16();
    config.surplusChannels.clear();
    for (size_t i = 0; in.ok() && i < channelCount; ++i) {
        ChannelRecord record{};
        if (!readRecord(in, record)) break;
        if (i < kChannelRecords) {
            config.channels[i] = record;
        } else {
            config.surplusChannels.push_back(record);
        }
    }

    field(in, config.scopeIndex, [&] { return in.u16(); });

    // Scope table: the complete rows the file holds; the repair pads it to seven rows.
    const uint16_t scopeCount = in.u16();
    if (in.ok()) {
        std::vector<ScopeEntry> scopes;
        for (size_t i = 0; i < scopeCount; ++i) {
            ScopeEntry entry{};
            if (!readScope(in, entry)) break;
            scopes.push_back(entry);
        }
        config.scopes = std::move(scopes);
    }

    char password[kPasswordBytes];
    if (in.bytes(password, sizeof password))
        std::memcpy(config.password, password, sizeof password);
    field(in, config.reserved1, [&] { return in.u8(); });
    field(in, config.firstLoadTime, [&] { return in.u32(); });
    field(in, config.lastSaveTime, [&] { return in.u32(); });
    field(in, config.reserved2, [&] { return in.u8(); });
    const uint8_t extraLength = in.u8();
    if (in.ok()) {
        std::vector<uint8_t> extra(extraLength);
        if (in.bytes(extra.data(), extra.size())) config.extraData = std::move(extra);
    }
    field(in, config.exportInterval, [&] { return in.u32(); });
    return in.ok();
}

// Makes every field usable for the readers of the working copy, whatever the file held.
void repairConfig(DastConfig& config) {
    for (ChannelRecord& r : config.channels) {
        terminate(r.name);
        r.power = 0;  // run-time values, meaningless in the file
        r.state = 0;
    }
    terminate(config.password);
    // The scope menu offers seven rows: a shorter table is completed with the default rows.
    for (size_t i = config.scopes.size(); i < kScopeEntries; ++i) {
        config.scopes.push_back(defaultScope(static_cast<int>(i)));
    }
    for (size_t i = 0; i < config.scopes.size(); ++i) {
        ScopeEntry& e = config.scopes[i];
        if (usableSamples(e.samples)) continue;
        const ScopeEntry fallback =
            defaultScope(i < kScopeEntries ? static_cast<int>(i) : kDefaultScopeIndex);
        e.span = fallback.span;
        e.samples = fallback.samples;
    }
    // An index equal to the row count is already one past the last row.
    if (config.scopeIndex >= config.scopes.size()) config.scopeIndex = kDefaultScopeIndex;
    // The export interval stays as stored, also below 5 s or past 24 hours: the export copes
    // with both, and the user's value is written back unchanged.
}

}  // namespace

bool readConfigImage(const uint8_t* data, size_t size, DastConfig& config) {
    const bool whole = parseConfigImage(data, size, config);
    repairConfig(config);
    return whole;
}

bool loadConfig(DastConfig& config, const Clock& clock, std::string appDir) {
    std::vector<char> cwd(4096);
    if (appDir.empty() && ::getcwd(cwd.data(), cwd.size()) != nullptr) appDir = cwd.data();

    config = DastConfig::defaults();
    config.appDir = appDir;
    std::vector<uint8_t> image;
    if (!readWholeFile(config.filePath(), image, kMaxFileBytes)) return false;

    readConfigImage(image.data(), std::min(image.size(), kMaxFileBytes), config);
    if (config.firstLoadTime == 0) config.firstLoadTime = static_cast<uint32_t>(clock.now());
    return true;
}

bool saveConfig(DastConfig& config, const Clock& clock) {
    config.lastSaveTime = static_cast<uint32_t>(clock.now());
    return writeFileAtomically(config.filePath(), writeConfigImage(config));
}
