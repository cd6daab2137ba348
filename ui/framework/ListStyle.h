#pragma once

class QTableWidget;

// The report-style lists of the table panes (the live list, the history tables).
inline constexpr int kListRowHeight = 20;  // pixels

// The look both lists share: grid lines, one whole row selected at a time, read-only, no row
// numbers, rows of a fixed kListRowHeight, captions on the left, no stretched last column.
void applyListStyle(QTableWidget& list);
