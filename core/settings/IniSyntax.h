#pragma once

#include <string_view>

// Character classes of the INI format that reading and writing share (internal to
// core/settings).
namespace inisyntax {

inline int hexValue(char16_t ch) {
    if (ch >= u'0' && ch <= u'9') return ch - u'0';
    if (ch >= u'a' && ch <= u'f') return ch - u'a' + 10;
    if (ch >= u'A' && ch <= u'F') return ch - u'A' + 10;
    return -1;
}

// "General" in any case: the name Qt keeps for keys outside any section.
inline bool isGeneral(std::string_view name) {
    constexpr std::string_view kGeneral = "general";
    if (name.size() != kGeneral.size()) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        const char lower = name[i] >= 'A' && name[i] <= 'Z' ? char(name[i] - 'A' + 'a') : name[i];
        if (lower != kGeneral[i]) return false;
    }
    return true;
}

// Qt's forms whose payload is bytes (Latin-1 characters) rather than text.
inline bool startsWithBinaryForm(std::u16string_view text) {
    return text.starts_with(u"@ByteArray(") || text.starts_with(u"@Variant(") ||
           text.starts_with(u"@DateTime(");
}

}  // namespace inisyntax
