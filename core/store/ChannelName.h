#pragma once

#include <string>
#include <string_view>

#include "core/store/ChannelRecord.h"

// The 64-byte name field of a ChannelRecord holds UTF-8 text with its terminating NUL, so at
// most 63 bytes of text. A longer name is shortened to the last whole character that fits;
// a multi-byte sequence is never split, so the stored bytes stay valid UTF-8.
void storeChannelName(ChannelRecord& record, std::string_view utf8);

// The name as held: the bytes up to the first NUL, never past the 64-byte field even when a
// loaded file carries no terminator.
std::string channelName(const ChannelRecord& record);
