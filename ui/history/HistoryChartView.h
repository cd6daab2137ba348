#pragma once

#include "ui/framework/View.h"
#include "ui/history/BarChart.h"
#include "ui/history/HistorySnapshot.h"

class Recorder;

// The right pane of a history window: the bar chart of consumption against solar. It keeps
// no data of its own; every paint copies the energy table and asks the clock for the month.
// An update notification repaints it.
class HistoryChartView : public View {
    Q_OBJECT
public:
    HistoryChartView(Recorder& recorder, HistoryTable table, const BarChartKind& kind,
                     QWidget* parent = nullptr);

    const BarChart& chart() const { return m_chart; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    Recorder& m_recorder;
    HistoryTable m_table;
    BarChart m_chart;
};
