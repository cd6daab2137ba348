#pragma once

#include <memory>

#include "ui/framework/View.h"
#include "ui/widgets/PowerChart.h"

class RealTimeDocument;
class Recorder;
struct SampleStore;

// The upper pane of the real-time window: the power chart of the selected chart channel.
// Reloads on every document update (the shell's after each poll of the meter, a channel or
// scope chosen); a paint only redraws what was loaded last, with time labels from the clock
// at the moment of the paint.
class PowerChartView : public View {
    Q_OBJECT
public:
    explicit PowerChartView(QWidget* parent = nullptr);
    ~PowerChartView() override;

    void onInitialUpdate() override;
    void onDocumentChanged(View* sender) override;

    // Selected channel, store and scope into the chart, from the recorder's snapshots.
    void loadSeries();

    const PowerChart& chart() const { return m_chart; }
    // Reloads since the view was made: the tests and the benchmark count the work of a sample.
    int reloads() const { return m_reloads; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    RealTimeDocument* realTimeDocument() const;

    PowerChart m_chart;
    // The reload's copy of the store (1.1 MB), allocated once for the view's life.
    std::unique_ptr<SampleStore> m_store;
    int m_reloads = 0;
};
