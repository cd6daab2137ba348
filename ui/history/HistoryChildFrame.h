#pragma once

#include <functional>

#include "ui/framework/CChildFrame.h"

class QSplitter;
struct MonitorState;

// A history window: a fixed caption and one row of two panes, the table on the left at a
// fixed initial width and the chart taking the rest. The table is the active view, so the
// print commands reach it when the window opens. Pane widths are not stored anywhere.
class HistoryChildFrame : public CChildFrame {
    Q_OBJECT
public:
    using ChartFactory = std::function<CView*()>;

    HistoryChildFrame(const QString& caption, int tableWidth, ChartFactory chart);

    // Table view from the window kind, chart view from the factory; false when either
    // cannot be made.
    bool OnCreateClient(CDocument* document, CDocTemplate& docTemplate) override;

    QSplitter* splitter() const { return m_splitter; }

private:
    int m_tableWidth;
    ChartFactory m_makeChart;
    QSplitter* m_splitter = nullptr;
};
