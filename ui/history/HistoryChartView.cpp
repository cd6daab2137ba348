#include "ui/history/HistoryChartView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "ui/history/MonthNames.h"

HistoryChartView::HistoryChartView(Recorder& recorder, HistoryTable table, const BarChartKind& kind,
                                   QWidget* parent)
    : View(parent), m_recorder(recorder), m_table(table), m_chart(kind) {
    // The whole client area is painted on every update: no partial repaint to merge.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // A click makes the chart the active pane, which takes the print commands away.
    setFocusPolicy(Qt::ClickFocus);
}

void HistoryChartView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    m_chart.resize(width(), height());
}

void HistoryChartView::paintEvent(QPaintEvent*) {
    const HistorySnapshot snapshot = HistorySnapshot::take(m_recorder, m_table);
    const int month = localMonth(m_recorder.clock().now());
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    m_chart.paint(painter, snapshot.consumption, snapshot.solar, month);
}
