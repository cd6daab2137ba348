#pragma once

#include "ui/framework/ChildWindow.h"

class QSplitter;
struct BarChartKind;
struct HistoryTableKind;
class Recorder;

// What differs between the history-by-days and the history-by-months window.
struct HistoryWindowKind {
    const char* caption;
    int tableWidth;  // pixels, the table pane's initial width
    const HistoryTableKind& table;
    const BarChartKind& chart;
};

// The days window: the days table 180 pixels wide, the 40-pair days chart beside it.
extern const HistoryWindowKind kHistoryByDays;
// The months window: the months table 150 pixels wide, the 12-pair months chart beside it.
extern const HistoryWindowKind kHistoryByMonths;

// A history window: a fixed caption and one row of two panes, the table on the left at a
// fixed initial width and the chart taking the rest. The table is the active view, so the
// print commands reach it when the window opens. Pane widths are not stored anywhere.
class HistoryWindow : public ChildWindow {
    Q_OBJECT
public:
    HistoryWindow(Recorder& recorder, const HistoryWindowKind& kind);

    // Table view from the window kind, chart view made here; false when either cannot be
    // made.
    bool createPanes(Document* document, WindowKind& windowKind) override;

    QSplitter* splitter() const { return m_splitter; }

private:
    Recorder& m_recorder;
    const HistoryWindowKind& m_kind;
    QSplitter* m_splitter = nullptr;
};
