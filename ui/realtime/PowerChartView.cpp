#include "ui/realtime/PowerChartView.h"

#include <QPainter>
#include <QResizeEvent>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "core/store/SampleStore.h"
#include "ui/realtime/RealTimeDocument.h"

PowerChartView::PowerChartView(QWidget* parent)
    : View(parent), m_store(std::make_unique<SampleStore>()) {
    // Title and labels stand on the view's background, the system window colour: the
    // palette's base colour (white by default), not the grey of frames and dialogs.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    // A click makes the chart the active pane, which takes the print commands away: the
    // chart is never printed. A click into the list gives them back.
    setFocusPolicy(Qt::ClickFocus);
}

PowerChartView::~PowerChartView() = default;

RealTimeDocument* PowerChartView::realTimeDocument() const {
    return qobject_cast<RealTimeDocument*>(document());
}

void PowerChartView::onInitialUpdate() {
    m_chart.resize(width(), height());
    View::onInitialUpdate();
}

void PowerChartView::onDocumentChanged(View*) {
    loadSeries();
    update();
}

void PowerChartView::loadSeries() {
    RealTimeDocument* doc = realTimeDocument();
    if (!doc) return;
    ++m_reloads;
    Recorder& recorder = doc->recorder();
    recorder.copyStore(*m_store);
    m_chart.loadSeries(doc->selectedChannel(), *m_store, recorder.channels(), recorder.scope());
}

void PowerChartView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    m_chart.resize(event->size().width(), event->size().height());
}

void PowerChartView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    RealTimeDocument* doc = realTimeDocument();
    const int64_t now = doc ? doc->recorder().clock().now() : SystemClock::instance().now();
    m_chart.paint(painter, now);
}
