// Any kelvo.ini a user may leave: reading never goes past the data, every lookup answers, and
// the file written from what was read reads back as the very same keys and values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/settings/IniFile.h"
#include "core/settings/IniWriter.h"

namespace {
void check(bool condition) {
    if (!condition) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const char16_t* key : {u"link/reconnect", u"mqtt/host", u"mqtt/port", u"owner"})
        if (const auto value = ini.find(key)) iniText(*value);
    // Written and read back, the same entries; the writing being a function of the entries,
    // writing them again would give the same text, so one round is the whole check.
    const auto entries = ini.entries();
    check(IniFile(formatIni(entries)).entries() == entries);
    return 0;
}
