#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8 <-> UTF-16 with the error handling of the desktop program's Qt, so that kelvo.ini
// gives the core the very strings QSettings gave the windows (kelvo.ini is user-editable:
// Latin-1 bytes and broken sequences happen).

// As QString::fromUtf8: a byte order mark at the very start is dropped, and every byte that
// starts no complete, shortest, valid sequence becomes U+FFFD.
std::u16string utf16FromUtf8(std::string_view bytes);

// As QString::toStdString: a surrogate without its partner becomes '?'.
std::string utf8FromUtf16(std::u16string_view text);

// UTF-8 fed in pieces, as QSettings decodes one value between its escapes, quotes and commas:
// a sequence cut between two pieces is completed by the next piece (the characters of escapes
// appended in between come before it), a byte order mark as the first character decoded is
// dropped, and a sequence still open after the last piece is lost.
class Utf8Decoder {
public:
    void decode(std::string_view bytes, std::u16string& out);

private:
    unsigned char m_pending[4] = {};  // the start of a sequence cut off by the piece's end
    size_t m_pendingCount = 0;
    bool m_started = false;  // a first character was decoded: no byte order mark any more
};
