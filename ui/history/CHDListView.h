#pragma once

#include "ui/history/HistoryTableView.h"

// The days table: rows 1 to 40 with the consumption and solar of the last 40 days.
class CHDListView : public HistoryTableView {
    Q_OBJECT
public:
    explicit CHDListView(MonitorState& state, QWidget* parent = nullptr)
        : HistoryTableView(state, kDaysTable, parent) {}
};
