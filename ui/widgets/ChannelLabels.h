#pragma once

#include <QString>
#include <array>
#include <vector>

#include "core/store/ChannelRecord.h"

// Texts of the real-time window's channel tree and live list, from the channel table.

// A record's name; at most the 64 bytes of the field, with or without a terminating NUL.
QString recordName(const ChannelRecord& record);

// Item data of the channel tree: 16 all channels, 0 Total, 1..12 loads, 14, 15.
struct ChannelTreeItem {
    QString label;
    int data;
    bool child;  // under "All channel"; otherwise at the root
};

// The items in tree order: "All channel", its fourteen children, "Total".
std::vector<ChannelTreeItem> channelTreeItems(const ChannelTable& live);
// Label of a child of "All channel" after a rename: "%02d %s", Consumption and Solar
// numbered 13 and 14 and named from their records. Out-of-table data gives an empty text.
QString channelLabel(int data, const ChannelTable& live);

// The live list: sixteen rows of "Channel_No", "Power(Watt)", "Channel_Name".
inline constexpr int kListRows = 16;
inline constexpr int kListColumns = 3;
inline constexpr int kFirstLoadRow = 4;  // row of channel 01; channel k sits in row k + 3

using LiveListRows = std::array<std::array<QString, kListColumns>, kListRows>;
LiveListRows liveListRows(const ChannelTable& live);
// Column 1 of one row: the live power in watts, Balance as solar minus consumption, signed.
QString livePowerText(int row, const ChannelTable& live);
