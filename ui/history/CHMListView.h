#pragma once

#include "ui/history/HistoryTableView.h"

// The months table: twelve rows, labelled back from the month the window was opened in.
class CHMListView : public HistoryTableView {
    Q_OBJECT
public:
    explicit CHMListView(MonitorState& state, QWidget* parent = nullptr)
        : HistoryTableView(state, kMonthsTable, parent) {}
};
