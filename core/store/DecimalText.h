#pragma once

#include <cstdint>
#include <cstring>

// Decimal numbers written straight into a character buffer, as printf's "%0*llu" and "%0*lld"
// write them (the sign counts towards the width), without printf's format parsing: the export
// writes about a quarter of a million of them for a day of samples.

namespace decimal_text {

struct DigitPairs {
    char text[200];
    constexpr DigitPairs() : text() {
        for (int i = 0; i < 100; ++i) {
            text[2 * i] = static_cast<char>('0' + i / 10);
            text[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
    }
};
inline constexpr DigitPairs kDigitPairs;

}  // namespace decimal_text

// 0..99 as two digits.
inline char* writeTwoDigits(char* p, int value) {
    std::memcpy(p, &decimal_text::kDigitPairs.text[2 * value], 2);
    return p + 2;
}

// At least `width` digits, zero-padded on the left; 20 digits at most.
inline char* writeUnsigned(char* p, uint64_t value, int width = 1) {
    int n = 1;
    for (uint64_t limit = 10; n < 20 && value >= limit; limit *= 10) ++n;
    for (; width > n; --width) *p++ = '0';
    char* const end = p + n;
    char* d = end;
    while (value >= 100) {
        d -= 2;
        std::memcpy(d, &decimal_text::kDigitPairs.text[2 * (value % 100)], 2);
        value /= 100;
    }
    if (value >= 10) {
        std::memcpy(d - 2, &decimal_text::kDigitPairs.text[2 * value], 2);
    } else {
        d[-1] = static_cast<char>('0' + value);
    }
    return end;
}

// A minus sign for negative values, then the digits, zero-padded so that sign and digits take
// at least `width` characters; at most 21 characters.
inline char* writeSigned(char* p, int64_t value, int width = 1) {
    if (value >= 0) return writeUnsigned(p, static_cast<uint64_t>(value), width);
    *p++ = '-';
    return writeUnsigned(p, 0 - static_cast<uint64_t>(value), width - 1);
}
