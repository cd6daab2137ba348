#include "core/settings/IniWriter.h"

#include <vector>

#include "core/settings/IniSyntax.h"
#include "core/settings/Utf8Decoder.h"

namespace {

using inisyntax::hexValue;

void appendHex(std::string& out, unsigned value, int minDigits, bool upper) {
    const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char buffer[8];
    int n = 0;
    do {
        buffer[n++] = digits[value & 0xf];
        value >>= 4;
    } while (value != 0 || n < minDigits);
    while (n > 0) out += buffer[--n];
}

bool isKeyCharacter(char16_t ch) {
    return (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || (ch >= u'0' && ch <= u'9') ||
           ch == u'_' || ch == u'-' || ch == u'.';
}

// '/' as '\' (a last one as %2F: "\=" would hide the '='), letters, digits and "_-." as they
// are, anything else as %XX or %UXXXX.
void escapeKey(std::u16string_view key, std::string& out) {
    for (size_t i = 0; i < key.size(); ++i) {
        const char16_t ch = key[i];
        if (ch == u'/' && i + 1 < key.size()) {
            out += '\\';
        } else if (isKeyCharacter(ch)) {
            out += static_cast<char>(ch);
        } else if (ch <= 0xff) {
            out += '%';
            appendHex(out, ch, 2, true);
        } else {
            out += "%U";
            appendHex(out, ch, 4, true);
        }
    }
}

// The escapes C names for control characters, and '\' before '"' and '\'.
const char* namedEscape(char16_t ch) {
    switch (ch) {
        case u'\a':
            return "\\a";
        case u'\b':
            return "\\b";
        case u'\f':
            return "\\f";
        case u'\n':
            return "\\n";
        case u'\r':
            return "\\r";
        case u'\t':
            return "\\t";
        case u'\v':
            return "\\v";
        case u'"':
            return "\\\"";
        case u'\\':
            return "\\\\";
        default:
            return nullptr;
    }
}

// One string as QSettings writes it: control characters, '"' and '\' escaped, a hex digit
// after a \x or \0 escape escaped too, and quotes around it for ';', ',', '=' or a blank at
// either end. The binary forms keep every character from U+007F on in \x escapes.
void escapeString(std::u16string_view text, std::string& out) {
    const bool asUtf8 = !inisyntax::startsWithBinaryForm(text);
    const size_t start = out.size();
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    bool wrotePlain =
        false;  // the reader drops a byte order mark only as the first plain character
    const auto hexEscape = [&](unsigned ch) {
        out += "\\x";
        appendHex(out, ch, 1, false);
        escapeNextIfDigit = true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i];
        if (ch == u';' || ch == u',' || ch == u'=') needsQuotes = true;
        if (escapeNextIfDigit && hexValue(ch) >= 0) {
            hexEscape(ch);
            continue;
        }
        escapeNextIfDigit = false;
        if (ch == u'\0') {
            out += "\\0";
            escapeNextIfDigit = true;
        } else if (const char* named = namedEscape(ch)) {
            out += named;
        } else if (ch <= 0x1f || (ch >= 0x7f && !asUtf8)) {
            hexEscape(ch);
        } else if (ch < 0x80) {
            out += static_cast<char>(ch);
            wrotePlain = true;
        } else {
            const bool pair = ch >= 0xd800 && ch <= 0xdbff && i + 1 < text.size() &&
                              text[i + 1] >= 0xdc00 && text[i + 1] <= 0xdfff;
            if (!pair && ((ch >= 0xd800 && ch <= 0xdfff) || (ch == 0xfeff && !wrotePlain))) {
                hexEscape(ch);
                continue;
            }
            out += utf8FromUtf16(text.substr(i, pair ? 2 : 1));
            i += pair ? 1 : 0;
            wrotePlain = true;
        }
    }
    if (needsQuotes || (start < out.size() && (out[start] == ' ' || out.back() == ' '))) {
        out.insert(start, 1, '"');
        out += '"';
    }
}

void escapeValue(const IniValue& value, std::string& out) {
    if (!value.list) {
        escapeString(value.items.empty() ? std::u16string_view() : value.items.front(), out);
        return;
    }
    if (value.items.empty()) {
        out += "@Invalid()";  // Qt's empty list
        return;
    }
    for (size_t i = 0; i < value.items.size(); ++i) {
        if (i > 0) out += ", ";
        escapeString(value.items[i], out);
    }
}

}  // namespace

std::string formatIni(const std::map<std::u16string, IniValue>& entries) {
    // [General] first (its keys have no '/'), then the sections by name: keys "/x" (from a
    // section "[]") form a section of their own with an empty name.
    struct Entry {
        std::u16string_view name;
        const IniValue* value;
    };
    std::vector<Entry> general;
    std::map<std::u16string_view, std::vector<Entry>> sections;
    for (const auto& [key, value] : entries) {
        const std::u16string_view path = key;
        const size_t slash = path.find(u'/');
        if (slash == std::u16string_view::npos)
            general.push_back({path, &value});
        else
            sections[path.substr(0, slash)].push_back({path.substr(slash + 1), &value});
    }

    std::string out;
    const auto writeSection = [&](const std::string& header, const std::vector<Entry>& keys) {
        if (!out.empty()) out += '\n';
        out += header;
        out += '\n';
        for (const Entry& entry : keys) {
            escapeKey(entry.name, out);
            out += '=';
            escapeValue(*entry.value, out);
            out += '\n';
        }
    };
    if (!general.empty()) writeSection("[General]", general);
    for (const auto& [name, keys] : sections) {
        std::string escaped;
        escapeKey(name, escaped);
        writeSection((inisyntax::isGeneral(escaped) ? "[%" : "[") + escaped + "]", keys);
    }
    return out;
}
