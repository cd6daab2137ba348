#include "ui/realtime/CRTPicView.h"

#include <QPainter>
#include <QResizeEvent>
#include <mutex>

#include "app/Clock.h"
#include "app/MonitorState.h"
#include "store/SampleStore.h"
#include "ui/framework/RealTimeDocument.h"

CRTPicView::CRTPicView(QWidget* parent) : CView(parent), m_store(std::make_unique<SampleStore>()) {
    // Title and labels stand on the view's background, the system window colour: the
    // palette's base colour (white by default), not the grey of frames and dialogs.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

CRTPicView::~CRTPicView() = default;

RealTimeDocument* CRTPicView::document() const {
    return qobject_cast<RealTimeDocument*>(GetDocument());
}

void CRTPicView::OnInitialUpdate() {
    m_chart.resize(width(), height());
    CView::OnInitialUpdate();
}

void CRTPicView::OnUpdate(CView*) {
    LoadSeries();
    update();
}

void CRTPicView::RefreshChart() {
    LoadSeries();
    update();
}

void CRTPicView::LoadSeries() {
    RealTimeDocument* doc = document();
    if (!doc) return;
    CVornDoc& core = doc->core();
    MonitorState& state = core.state();
    core.copyStore(*m_store);  // takes the data lock itself

    LiveReading live;
    Configuration scope;
    {
        std::lock_guard lock(state.dataLock);
        live = state.config.channels;
        scope.scopeIndex = state.config.scopeIndex;
        scope.scopes = state.config.scopes;
    }
    m_chart.loadSeries(core.selectedChannel.load(), *m_store, live, scope);
}

void CRTPicView::resizeEvent(QResizeEvent* event) {
    CView::resizeEvent(event);
    m_chart.resize(event->size().width(), event->size().height());
}

void CRTPicView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    RealTimeDocument* doc = document();
    const int64_t now = doc ? doc->core().state().clock.now() : SystemClock::instance().now();
    m_chart.paint(painter, now);
}
