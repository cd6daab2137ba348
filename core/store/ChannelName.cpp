#include "core/store/ChannelName.h"

#include <cstring>

namespace {

constexpr size_t kNameCapacity = sizeof(ChannelRecord::name) - 1;  // room for the NUL

bool isContinuationByte(unsigned char c) { return (c & 0xC0) == 0x80; }

}  // namespace

void storeChannelName(ChannelRecord& record, std::string_view utf8) {
    size_t length = utf8.size();
    if (length > kNameCapacity) {
        length = kNameCapacity;
        // Back up to the lead byte of the character that would be cut; that character is
        // dropped whole.
        while (length > 0 && isContinuationByte(static_cast<unsigned char>(utf8[length]))) {
            --length;
        }
    }
    std::memset(record.name, 0, sizeof(record.name));
    std::memcpy(record.name, utf8.data(), length);
}

std::string channelName(const ChannelRecord& record) {
    const void* nul = std::memchr(record.name, '\0', sizeof(record.name));
    size_t length = nul ? static_cast<const char*>(nul) - record.name : sizeof(record.name);
    return std::string(record.name, length);
}
