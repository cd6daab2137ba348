#include "core/settings/Utf8Decoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char16_t kReplacement = 0xfffd;
constexpr char16_t kByteOrderMark = 0xfeff;
constexpr int kInvalid = -1;   // no valid sequence starts here
constexpr int kCutShort = -2;  // a valid start, but the bytes end before the sequence does

bool isContinuation(unsigned char byte) { return (byte & 0xc0) == 0x80; }
bool isSurrogate(char32_t unit) { return unit >= 0xd800 && unit <= 0xdfff; }
bool isHighSurrogate(char16_t unit) { return unit >= 0xd800 && unit <= 0xdbff; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xdc00 && unit <= 0xdfff; }

void appendCodePoint(std::u16string& out, char32_t code) {
    if (code < 0x10000) {
        out += static_cast<char16_t>(code);
        return;
    }
    out += static_cast<char16_t>(0xd800 + ((code - 0x10000) >> 10));
    out += static_cast<char16_t>(0xdc00 + ((code - 0x10000) & 0x3ff));
}

// One character whose first byte `lead` was taken; `next` points after it and moves past the
// rest of the sequence on success. Returns the bytes the character took, lead included, or
// kInvalid / kCutShort with `next` unmoved.
int decodeOne(unsigned char lead, const unsigned char*& next, const unsigned char* end,
              std::u16string& out) {
    if (lead < 0x80) {
        out += lead;
        return 1;
    }
    int length = 0;
    char32_t shortest = 0;
    char32_t code = 0;
    if (lead <= 0xc1) {
        return kInvalid;  // a continuation byte, or the start of an overlong pair
    } else if (lead < 0xe0) {
        length = 2, shortest = 0x80, code = lead & 0x1f;
    } else if (lead < 0xf0) {
        length = 3, shortest = 0x800, code = lead & 0x0f;
    } else if (lead < 0xf5) {
        length = 4, shortest = 0x10000, code = lead & 0x07;
    } else {
        return kInvalid;  // beyond U+10FFFF
    }
    const ptrdiff_t available = end - next;
    if (available < length - 1) {
        if (available > 0 && !isContinuation(next[0])) return kInvalid;
        if (available > 1 && !isContinuation(next[1])) return kInvalid;
        return kCutShort;
    }
    for (int i = 0; i < length - 1; ++i) {
        if (!isContinuation(next[i])) return kInvalid;
        code = (code << 6) | (next[i] & 0x3f);
    }
    if (code < shortest || isSurrogate(code) || code > 0x10ffff) return kInvalid;
    appendCodePoint(out, code);
    next += length - 1;
    return length;
}

}  // namespace

std::u16string utf16FromUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = next + bytes.size();
    if (bytes.starts_with("\xef\xbb\xbf")) next += 3;
    while (next < end) {
        const unsigned char lead = *next++;
        if (decodeOne(lead, next, end, out) < 0) out += kReplacement;
    }
    return out;
}

std::string utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (isSurrogate(code)) {
            if (!isHighSurrogate(text[i]) || i + 1 == text.size() || !isLowSurrogate(text[i + 1])) {
                out += '?';
                continue;
            }
            code = 0x10000 + ((code - 0xd800) << 10) + (text[++i] - 0xdc00);
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xc0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xe0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        }
    }
    return out;
}

void Utf8Decoder::decode(std::string_view bytes, std::u16string& out) {
    if (bytes.empty()) return;
    const auto* next = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = next + bytes.size();

    // The first character, and any sequence the last piece left open, from a copy of at most
    // four bytes: what is left of the sequence and the start of this piece.
    if (m_pendingCount > 0 || !m_started) {
        unsigned char joined[4] = {};
        const size_t held = m_pendingCount;
        const size_t taken = std::min(sizeof joined - held, bytes.size());
        std::memcpy(joined, m_pending, held);
        std::memcpy(joined + held, next, taken);
        const unsigned char* rest = joined + 1;
        const int used = decodeOne(joined[0], rest, joined + held + taken, out);
        if (used == kInvalid) {
            out += kReplacement;
            ++next;  // Qt steps over one byte of the new piece here, even after held bytes
        } else if (used == kCutShort) {
            m_pendingCount = held + taken;
            std::memcpy(m_pending, joined, m_pendingCount);
            return;
        } else if (!m_started && out.back() == kByteOrderMark) {
            out.pop_back();
        }
        m_started = true;
        if (used >= 0) next += used - static_cast<int>(held);
    }

    int used = 0;
    while (used >= 0 && next < end) {
        const unsigned char lead = *next++;
        used = decodeOne(lead, next, end, out);
        if (used == kInvalid) {
            used = 0;
            out += kReplacement;
        }
    }
    if (used == kCutShort) {
        --next;  // the lead byte, kept with the rest of its sequence
        m_pendingCount = static_cast<size_t>(end - next);
        std::memcpy(m_pending, next, m_pendingCount);
    } else {
        m_pendingCount = 0;
    }
}
