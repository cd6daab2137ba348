#include "core/settings/IniValue.h"

#include "core/settings/IniSyntax.h"
#include "core/settings/Utf8Decoder.h"

namespace {

// The number of arguments Qt splits "@Rect(1 2 3 4)" and its kin into: one per blank or ')'.
size_t argumentCount(std::u16string_view text, size_t open) {
    size_t count = 0;
    for (size_t i = open + 1; i < text.size(); ++i)
        if (text[i] == u' ' || text[i] == u')') ++count;
    return count;
}

}  // namespace

std::u16string iniText(const IniValue& value) {
    if (value.list || value.items.empty()) return {};  // a list is no single string
    const std::u16string& text = value.items.front();
    if (!text.starts_with(u'@')) return text;
    if (text.ends_with(u')')) {
        if (text.starts_with(u"@ByteArray(")) {
            // The bytes are the characters up to U+00FF ('?' for the others), read as UTF-8.
            std::string bytes;
            for (const char16_t ch : std::u16string_view(text).substr(11, text.size() - 12))
                bytes += ch <= 0xff ? static_cast<char>(ch) : '?';
            return utf16FromUtf8(bytes);
        }
        if (text.starts_with(u"@String(")) return text.substr(8, text.size() - 9);
        if (inisyntax::startsWithBinaryForm(text)) return {};
        if (text.starts_with(u"@Rect(")) {
            if (argumentCount(text, 5) == 4) return {};
        } else if (text.starts_with(u"@Size(")) {
            if (argumentCount(text, 5) == 2) return {};
        } else if (text.starts_with(u"@Point(")) {
            if (argumentCount(text, 6) == 2) return {};
        } else if (text == u"@Invalid()") {
            return {};
        }
    }
    if (text.starts_with(u"@@")) return text.substr(1);
    return text;
}

IniValue iniValueOf(std::u16string text) {
    if (text.find(u'\0') != std::u16string::npos) return IniValue::text(u"@String(" + text + u")");
    if (text.starts_with(u'@')) return IniValue::text(u"@" + text);
    return IniValue::text(std::move(text));
}
