#pragma once

#include "ui/framework/View.h"
#include "ui/widgets/PowerChart.h"

class ArchiveDocument;

// The archive window's chart: the chosen channel's power over the whole day, drawn by the
// real-time chart's painter, with the day's gaps left empty.
class ArchiveChartView : public View {
    Q_OBJECT
public:
    explicit ArchiveChartView(QWidget* parent = nullptr);

    void onDocumentChanged(View* sender) override;
    const PowerChart& chart() const { return m_chart; }
    // Loads the document's day into `chart` (also the benchmark's way in).
    static void loadChart(const ArchiveDocument& document, PowerChart& chart);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    ArchiveDocument* archiveDocument() const;
    PowerChart m_chart;
};
