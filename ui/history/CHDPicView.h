#pragma once

#include "ui/history/HistoryChartView.h"

// The days chart: 40 pairs of bars, numbered 1 to 40.
class CHDPicView : public HistoryChartView {
    Q_OBJECT
public:
    explicit CHDPicView(MonitorState& state, QWidget* parent = nullptr)
        : HistoryChartView(state, HistoryTable::Days, kDaysChart, parent) {}
};
