#include "core/settings/IniFile.h"

#include <algorithm>
#include <iterator>

#include "core/settings/IniSyntax.h"
#include "core/settings/Utf8Decoder.h"

// The rules below are those of Qt 6.4's QSettings for IniFormat, step for step, because the
// desktop program wrote kelvo.ini with it for years and people edit the file by hand: quotes
// may span lines, a backslash escapes the next byte even in a key, ';' starts a comment, and
// unquoted commas make a list.

namespace {

using inisyntax::hexValue;
using inisyntax::isGeneral;

constexpr size_t kNone = std::string_view::npos;

// Bytes that may begin a line (skipped) and bytes that end a run of plain text in a line.
enum : unsigned char { kSpace = 1, kSpecial = 2 };

unsigned char traits(char byte) {
    switch (byte) {
        case '\t':
        case ' ':
            return kSpace;
        case '\n':
        case '\r':
            return kSpace | kSpecial;
        case '"':
        case ';':
        case '=':
        case '\\':
            return kSpecial;
        default:
            return 0;
    }
}

bool isAsciiSpace(char16_t ch) { return ch == u' ' || (ch >= u'\t' && ch <= u'\r'); }

std::string_view trimmedAscii(std::string_view text) {
    while (!text.empty() && isAsciiSpace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// One logical line: where it starts in the data, how long it is, and where its first '='
// outside quotes is (kNone without one).
struct IniLine {
    size_t start = 0;
    size_t length = 0;
    size_t equals = kNone;
};

// The next line from `position` on. A quote carries the line over line breaks, a backslash
// takes the next byte (and a CR LF or LF CR pair) with it, a ';' ends the line outside
// quotes, and a ';' that begins a line makes a comment up to the line break. False at the end.
bool readLine(std::string_view data, size_t& position, IniLine& line) {
    const size_t size = data.size();
    bool inQuotes = false;
    line.equals = kNone;
    size_t start = position;
    while (start < size && (traits(data[start]) & kSpace)) ++start;

    size_t i = start;
    while (i < size) {
        const char ch = data[i++];
        if (!(traits(ch) & kSpecial)) continue;
        if (ch == '=') {
            if (!inQuotes && line.equals == kNone) line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size) {
                    const char after = data[i];
                    if ((escaped == '\n' && after == '\r') || (escaped == '\r' && after == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (i == start + 1) {  // ';' opening the line: a comment
            while (i < size && data[i] != '\n' && data[i] != '\r') ++i;
            while (i < size && (traits(data[i]) & kSpace)) ++i;
            start = i;
        } else if (!inQuotes) {  // ';' after text: the line ends before it
            --i;
            break;
        }
    }
    position = i;
    line.start = start;
    line.length = i - start;
    return line.length > 0;
}

// A %XX or %UXXXX escape's digits as Qt's QString::toUShort(&ok, 16) takes them: ASCII
// blanks around, an optional '+' and "0x" before, at least one hex digit.
bool parseEscapeDigits(std::u16string_view digits, char16_t& value) {
    size_t i = 0;
    while (i < digits.size() && isAsciiSpace(digits[i])) ++i;
    if (i < digits.size() && digits[i] == u'+') ++i;
    if (i + 2 < digits.size() && digits[i] == u'0' &&
        (digits[i + 1] == u'x' || digits[i + 1] == u'X') && hexValue(digits[i + 2]) >= 0)
        i += 2;
    unsigned number = 0;
    const size_t first = i;
    for (; i < digits.size() && hexValue(digits[i]) >= 0; ++i)
        number = number * 16 + hexValue(digits[i]);
    if (i == first) return false;
    while (i < digits.size() && isAsciiSpace(digits[i])) ++i;
    value = static_cast<char16_t>(number);  // four digits at most: never above 0xffff
    return i == digits.size();
}

// A key or section name: '\' is '/', %XX and %UXXXX are characters.
std::u16string unescapeKey(std::string_view bytes) {
    const std::u16string decoded = utf16FromUtf8(bytes);
    std::u16string key;
    size_t i = 0;
    while (i < decoded.size()) {
        const char16_t ch = decoded[i];
        if (ch == u'\\') {
            key += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == decoded.size() - 1) {
            key += ch;
            ++i;
            continue;
        }
        size_t first = i + 1;
        size_t count = 2;
        if (decoded[first] == u'U') ++first, count = 4;
        char16_t value = 0;
        if (first + count > decoded.size() ||
            !parseEscapeDigits(std::u16string_view(decoded).substr(first, count), value)) {
            key += u'%';
            ++i;
            continue;
        }
        key += value;
        i = first + count;
    }
    return key;
}

// The character of an escape "\n" and its kin; 0 for none.
char16_t simpleEscape(char ch) {
    switch (ch) {
        case 'a':
            return u'\a';
        case 'b':
            return u'\b';
        case 'f':
            return u'\f';
        case 'n':
            return u'\n';
        case 'r':
            return u'\r';
        case 't':
            return u'\t';
        case 'v':
            return u'\v';
        case '"':
            return u'"';
        case '?':
            return u'?';
        case '\'':
            return u'\'';
        case '\\':
            return u'\\';
        default:
            return 0;
    }
}

// The text after '=': escapes, quoted parts, blanks dropped around unquoted parts, and unquoted
// commas splitting it into a list. \x and octal escapes take as many digits as follow and
// keep the last 16 bits. Its steps are those of Qt's reader, which jumps between them.
class ValueReader {
public:
    explicit ValueReader(std::string_view text) : m_text(text) {}

    IniValue read() {
        Step step = Step::SkipBlanks;
        while (step != Step::Done) {
            switch (step) {
                case Step::SkipBlanks:
                    while (m_i < m_text.size() && (m_text[m_i] == ' ' || m_text[m_i] == '\t'))
                        ++m_i;
                    step = Step::Plain;
                    break;
                case Step::Plain:
                    step = plain();
                    break;
                case Step::HexEscape:
                    step = numericEscape(4);
                    break;
                case Step::OctalEscape:
                    step = numericEscape(3);
                    break;
                case Step::Done:
                    break;
            }
        }
        m_value.items.push_back(std::move(m_current));
        return std::move(m_value);
    }

private:
    enum class Step { SkipBlanks, Plain, HexEscape, OctalEscape, Done };

    // Plain text up to the next step; trailing blanks of unquoted text are dropped at a comma
    // and at the end, back to the last escape at most.
    Step plain() {
        m_chopLimit = m_current.size();
        while (m_i < m_text.size()) {
            const char ch = m_text[m_i];
            if (ch == '\\') {
                if (const auto next = escape()) return *next;
            } else if (ch == '"') {
                ++m_i;
                m_currentQuoted = true;
                m_inQuotes = !m_inQuotes;
                if (!m_inQuotes) return Step::SkipBlanks;
            } else if (ch == ',' && !m_inQuotes) {
                if (!m_currentQuoted) chopBlanks();
                if (!m_value.list) m_value.items.clear();
                m_value.list = true;
                m_value.items.push_back(std::move(m_current));
                m_current.clear();
                m_currentQuoted = false;
                ++m_i;
                return Step::SkipBlanks;
            } else {
                size_t end = m_i + 1;
                while (end < m_text.size() && m_text[end] != '\\' && m_text[end] != '"' &&
                       m_text[end] != ',')
                    ++end;
                m_decoder.decode(m_text.substr(m_i, end - m_i), m_current);
                m_i = end;
            }
        }
        if (!m_currentQuoted) chopBlanks();
        return Step::Done;
    }

    // After a backslash: the step to go on with, or nothing to stay in plain text.
    std::optional<Step> escape() {
        if (++m_i >= m_text.size()) return Step::Done;
        const char code = m_text[m_i++];
        if (const char16_t simple = simpleEscape(code)) {
            m_current += simple;
            m_chopLimit = m_current.size();
            return std::nullopt;
        }
        if (code == 'x') {
            m_escaped = 0;
            if (m_i >= m_text.size()) return Step::Done;
            if (hexValue(static_cast<unsigned char>(m_text[m_i])) >= 0) return Step::HexEscape;
        } else if (code >= '0' && code <= '7') {
            m_escaped = static_cast<char16_t>(code - '0');
            return Step::OctalEscape;
        } else if (code == '\n' || code == '\r') {  // a line continued
            if (m_i < m_text.size() && (m_text[m_i] == '\n' || m_text[m_i] == '\r') &&
                m_text[m_i] != code)
                ++m_i;
        }  // any other escaped byte is dropped
        m_chopLimit = m_current.size();
        return std::nullopt;
    }

    Step numericEscape(int bitsPerDigit) {
        const int digit =
            m_i < m_text.size() ? hexValue(static_cast<unsigned char>(m_text[m_i])) : -1;
        if (digit >= 0 && digit < (1 << bitsPerDigit)) {
            m_escaped = static_cast<char16_t>((m_escaped << bitsPerDigit) + digit);
            ++m_i;
            return bitsPerDigit == 4 ? Step::HexEscape : Step::OctalEscape;
        }
        m_current += m_escaped;
        return m_i < m_text.size() ? Step::Plain : Step::Done;
    }

    void chopBlanks() {
        while (m_current.size() > m_chopLimit &&
               (m_current.back() == u' ' || m_current.back() == u'\t'))
            m_current.pop_back();
    }

    const std::string_view m_text;
    size_t m_i = 0;
    IniValue m_value;
    std::u16string m_current;
    Utf8Decoder m_decoder;
    bool m_inQuotes = false;
    bool m_currentQuoted = false;
    char16_t m_escaped = 0;
    size_t m_chopLimit = 0;  // trailing blanks are dropped back to here, no further
};

}  // namespace

IniFile::IniFile(std::string_view data) {
    std::u16string section;  // "" for [General], else the name and its '/'
    size_t sectionStart = 0;
    // A byte order mark is passed over in the search for sections, but stays in the lines of
    // [General]: its first key loses the mark as UTF-8 is decoded, yet keeps blanks after it.
    size_t position = data.starts_with("\xef\xbb\xbf") ? 3 : 0;
    const auto keepLines = [&](size_t end) {
        std::string& lines = m_unparsed[section];
        if (!lines.empty()) lines += '\n';
        lines.append(data.substr(sectionStart, end - sectionStart));
    };
    IniLine line;
    while (readLine(data, position, line)) {
        const std::string_view text = data.substr(line.start, line.length);
        if (!text.starts_with('[')) continue;
        keepLines(line.start);
        const size_t close = std::min(text.find(']'), text.size());
        const std::string_view name = trimmedAscii(text.substr(1, close - 1));
        if (isGeneral(name)) {
            section.clear();
        } else {
            // "[%General]" is a section called General, not [General].
            const bool percentGeneral = name.starts_with('%') && isGeneral(name.substr(1));
            section =
                percentGeneral ? std::u16string(name.begin() + 1, name.end()) : unescapeKey(name);
            section += u'/';
        }
        sectionStart = position;
    }
    keepLines(data.size());
}

void IniFile::parseSection(std::map<std::u16string, std::string>::iterator section) {
    const std::u16string& prefix = section->first;
    const std::string_view data = section->second;
    size_t position = 0;
    IniLine line;
    while (readLine(data, position, line)) {
        if (line.equals == kNone) continue;  // a comment, or a line without '='
        const std::string_view text = data.substr(line.start, line.length);
        const size_t equals = line.equals - line.start;
        m_parsed[prefix + unescapeKey(trimmedAscii(text.substr(0, equals)))] =
            ValueReader(text.substr(equals + 1)).read();
    }
    m_unparsed.erase(section);
}

std::optional<IniValue> IniFile::find(std::u16string_view key) {
    auto section = m_unparsed.end();
    if (key.find(u'/') != std::u16string_view::npos) {
        // The section whose name sorts last at or before the key, if the key lies in it.
        auto after = m_unparsed.upper_bound(std::u16string(key));
        if (after != m_unparsed.begin() && !std::prev(after)->first.empty() &&
            key.starts_with(std::prev(after)->first))
            section = std::prev(after);
    } else if (!m_unparsed.empty() && m_unparsed.begin()->first.empty()) {
        section = m_unparsed.begin();
    }
    if (section != m_unparsed.end()) parseSection(section);
    const auto found = m_parsed.find(std::u16string(key));
    if (found == m_parsed.end()) return std::nullopt;
    return found->second;
}

std::map<std::u16string, IniValue> IniFile::entries() {
    while (!m_unparsed.empty()) parseSection(m_unparsed.begin());
    return m_parsed;
}
