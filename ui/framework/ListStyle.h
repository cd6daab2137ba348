#pragma once

class QTableWidget;

// The report-style lists of the table panes (the live list, the history tables).
inline constexpr int kListRowHeight = 20;  // pixels

// What a click highlights: the whole row (the live list), or only the first cell of the
// clicked row, the row's label (the history tables).
enum class ListSelection { WholeRow, FirstCell };

// The look the lists share: grid lines, one row selected at a time, read-only, no row
// numbers, rows of a fixed kListRowHeight, captions on the left, no stretched last column.
void applyListStyle(QTableWidget& list, ListSelection selection);
