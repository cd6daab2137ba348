#include "core/settings/KelvoIni.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <random>
#include <string_view>
#include <vector>

#include "core/base/CrashSafeFile.h"
#include "core/publish/PublishPayloads.h"
#include "core/settings/IniFile.h"
#include "core/settings/IniWriter.h"
#include "core/settings/Utf8Decoder.h"

namespace {

// kelvo.ini holds a few hundred bytes. A file beyond this is no settings file: it is read as
// an empty one, and not replaced.
constexpr size_t kLargestFile = 1 << 20;

// QChar::isSpace: the ASCII blanks, NEL, and Unicode's space, line and paragraph separators.
bool isSpace(char16_t ch) {
    return ch == u' ' || (ch >= u'\t' && ch <= u'\r') || ch == 0x85 || ch == 0xa0 || ch == 0x1680 ||
           (ch >= 0x2000 && ch <= 0x200a) || ch == 0x2028 || ch == 0x2029 || ch == 0x202f ||
           ch == 0x205f || ch == 0x3000;
}

// QString::trimmed().
std::u16string_view trimmed(std::u16string_view text) {
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// QString::toLower() as far as the comparison with "true", "false", "1" and "0" goes: no
// character beyond ASCII lowers to any of their letters.
std::u16string asciiLower(std::u16string_view text) {
    std::u16string lower(text);
    for (char16_t& ch : lower)
        if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch - u'A' + u'a');
    return lower;
}

// QString::toInt(&ok): ASCII blanks around, an optional sign, decimal digits, within int.
bool parseInt(std::u16string_view text, int& value) {
    const auto isBlank = [](char16_t ch) { return ch == u' ' || (ch >= u'\t' && ch <= u'\r'); };
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    const bool negative = i < text.size() && text[i] == u'-';
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) ++i;
    const size_t firstDigit = i;
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
        magnitude = std::min(magnitude * 10 + (text[i] - u'0'), 1LL << 32);  // stays out of range
    if (i == firstDigit) return false;
    while (i < text.size() && isBlank(text[i])) ++i;
    const long long signedValue = negative ? -magnitude : magnitude;
    if (i != text.size() || signedValue < INT_MIN || signedValue > INT_MAX) return false;
    value = static_cast<int>(signedValue);
    return true;
}

// The reads of the former QSettings code: value(key, fallback).toString(), then compared or
// converted as it did. A key that is there but holds no string (a list) reads as "".
std::u16string stored(IniFile& ini, std::u16string_view key) {
    const auto value = ini.find(key);
    return value ? iniText(*value) : std::u16string();
}

std::string text(IniFile& ini, std::u16string_view key, const std::string& fallback) {
    const auto value = ini.find(key);
    return value ? utf8FromUtf16(iniText(*value)) : fallback;
}

bool flag(IniFile& ini, std::u16string_view key, bool fallback) {
    const std::u16string value = asciiLower(trimmed(stored(ini, key)));
    if (value == u"true" || value == u"1") return true;
    if (value == u"false" || value == u"0") return false;
    return fallback;
}

int number(IniFile& ini, std::u16string_view key, int fallback, int lowest, int highest) {
    int value = 0;
    const bool ok = parseInt(trimmed(stored(ini, key)), value);
    return ok && value >= lowest && value <= highest ? value : fallback;
}

// "kelvo_" and six random hex digits: two Kelvos on one broker never share entities.
std::string newNodeId() {
    std::random_device random;
    char id[16];
    std::snprintf(id, sizeof id, "kelvo_%06x", static_cast<unsigned>(random() & 0xffffff));
    return id;
}

// The file's bytes: empty when it is missing. False when it is there but cannot be read whole.
bool readSettingsFile(const std::string& path, std::vector<uint8_t>& bytes) {
    bytes.clear();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return errno == ENOENT;
    return readWholeFile(path, bytes, kLargestFile) && bytes.size() <= kLargestFile;
}

std::string_view asText(const std::vector<uint8_t>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// What QSettings::setValue stored for a string, a bool and an int.
IniValue stringValue(const std::string& value) { return iniValueOf(utf16FromUtf8(value)); }
IniValue boolValue(bool value) { return IniValue::text(value ? u"true" : u"false"); }
IniValue intValue(int value) {
    const std::string digits = std::to_string(value);
    return IniValue::text(std::u16string(digits.begin(), digits.end()));
}

}  // namespace

KelvoIni loadKelvoIni(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!readSettingsFile(path, bytes)) bytes.clear();
    IniFile ini(asText(bytes));
    KelvoIni settings;
    const KelvoIni defaults;

    // The keys are looked up in the order the former QSettings code used: for a file with odd
    // section names the order decides what is found (see IniFile::find).
    settings.link.reconnect = flag(ini, u"link/reconnect", defaults.link.reconnect);

    ArchiveSettings& archive = settings.archive;
    archive.enabled = flag(ini, u"archive/enabled", defaults.archive.enabled);
    archive.file = text(ini, u"archive/file", defaults.archive.file);
    if (archive.file.empty()) archive.file = defaults.archive.file;
    archive.keepDays = number(ini, u"archive/keep_days", defaults.archive.keepDays, 0, 1000000);

    PublishSettings& mqtt = settings.mqtt;
    const PublishSettings& standard = defaults.mqtt;
    mqtt.enabled = flag(ini, u"mqtt/enabled", standard.enabled);
    mqtt.host = text(ini, u"mqtt/host", standard.host);
    mqtt.port = number(ini, u"mqtt/port", standard.port, 1, 65535);
    mqtt.username = text(ini, u"mqtt/username", standard.username);
    mqtt.password = text(ini, u"mqtt/password", standard.password);
    mqtt.tls = flag(ini, u"mqtt/tls", standard.tls);
    mqtt.tlsCaFile = text(ini, u"mqtt/tls_ca_file", standard.tlsCaFile);
    mqtt.tlsCertFile = text(ini, u"mqtt/tls_cert_file", standard.tlsCertFile);
    mqtt.tlsKeyFile = text(ini, u"mqtt/tls_key_file", standard.tlsKeyFile);
    mqtt.prefix = text(ini, u"mqtt/prefix", standard.prefix);
    if (mqtt.prefix.empty()) mqtt.prefix = standard.prefix;
    // A file from before node ids were kept: the id its prefix gave, so the entities a home
    // automation already knows stay the same ones.
    if (ini.find(u"mqtt/node_id")) {
        mqtt.nodeId = publish::nodeId(text(ini, u"mqtt/node_id", mqtt.nodeId));
    } else {
        mqtt.nodeId = ini.find(u"mqtt/prefix") ? publish::nodeId(mqtt.prefix) : newNodeId();
        settings.nodeIdChosen = true;
    }
    mqtt.discovery = flag(ini, u"mqtt/discovery", standard.discovery);
    mqtt.discoveryPrefix = text(ini, u"mqtt/discovery_prefix", standard.discoveryPrefix);
    if (mqtt.discoveryPrefix.empty()) mqtt.discoveryPrefix = standard.discoveryPrefix;
    mqtt.allowSwitching = flag(ini, u"mqtt/allow_switching", standard.allowSwitching);
    return settings;
}

bool saveKelvoIni(const std::string& path, const KelvoIni& settings) {
    // Read again as it is now, so that keys someone added meanwhile are kept too.
    std::vector<uint8_t> bytes;
    if (!readSettingsFile(path, bytes)) return false;
    std::map<std::u16string, IniValue> entries = IniFile(asText(bytes)).entries();

    entries[u"link/reconnect"] = boolValue(settings.link.reconnect);

    const ArchiveSettings& archive = settings.archive;
    entries[u"archive/enabled"] = boolValue(archive.enabled);
    entries[u"archive/file"] = stringValue(archive.file);
    entries[u"archive/keep_days"] = intValue(archive.keepDays);

    const PublishSettings& mqtt = settings.mqtt;
    entries[u"mqtt/enabled"] = boolValue(mqtt.enabled);
    entries[u"mqtt/host"] = stringValue(mqtt.host);
    entries[u"mqtt/port"] = intValue(mqtt.port);
    entries[u"mqtt/username"] = stringValue(mqtt.username);
    entries[u"mqtt/password"] = stringValue(mqtt.password);
    entries[u"mqtt/tls"] = boolValue(mqtt.tls);
    entries[u"mqtt/tls_ca_file"] = stringValue(mqtt.tlsCaFile);
    entries[u"mqtt/tls_cert_file"] = stringValue(mqtt.tlsCertFile);
    entries[u"mqtt/tls_key_file"] = stringValue(mqtt.tlsKeyFile);
    entries[u"mqtt/prefix"] = stringValue(mqtt.prefix);
    entries[u"mqtt/node_id"] = stringValue(mqtt.nodeId);
    entries[u"mqtt/discovery"] = boolValue(mqtt.discovery);
    entries[u"mqtt/discovery_prefix"] = stringValue(mqtt.discoveryPrefix);
    entries[u"mqtt/allow_switching"] = boolValue(mqtt.allowSwitching);

    const std::string text = formatIni(entries);
    return writeFileAtomically(path, reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                               0600);
}
