#pragma once

#include "core/store/ChannelRecord.h"

class QTreeWidget;

// Fills the channel tree of the real-time and archive windows: "All channel" expanded with
// its fourteen children, then "Total"; each item's data is the chart selection (16 all,
// 0 Total, 1..12 loads, 14, 15). Nothing is selected.
void fillChannelTree(QTreeWidget* tree, const ChannelTable& live);
