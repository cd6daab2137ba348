#pragma once

#include "ui/history/HistoryChartView.h"

// The months chart: 12 pairs of bars, the current month at the left.
class CHMPicView : public HistoryChartView {
    Q_OBJECT
public:
    explicit CHMPicView(MonitorState& state, QWidget* parent = nullptr)
        : HistoryChartView(state, HistoryTable::Months, kMonthsChart, parent) {}
};
