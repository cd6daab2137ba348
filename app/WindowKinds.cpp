#include "app/WindowKinds.h"

#include <QLabel>
#include <QVBoxLayout>

#include "app/CVornApp.h"
#include "app/CommandIds.h"
#include "device/SamplingCycle.h"
#include "ui/framework/CChildFrame.h"
#include "ui/framework/CDocTemplate.h"
#include "ui/framework/CView.h"
#include "ui/framework/CVornDoc1.h"
#include "ui/framework/RealTimeDocument.h"
#include "ui/history/CHDChildFrm.h"
#include "ui/history/CHDListView.h"
#include "ui/history/CHMChildFrm.h"
#include "ui/history/CHMListView.h"

namespace {

// Stand-in window until the real-time window takes its place: a caption, a line of text,
// and the Connect / Disconnect behaviour, so the sampling cycle runs as it will with the
// real window.
class PlainView : public CView {
public:
    explicit PlainView(const QString& text) {
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(text, this));
    }
};

class RealTimeStandInView : public PlainView {
public:
    explicit RealTimeStandInView(CVornApp& app)
        : PlainView(QStringLiteral("Real Time")), m_app(app) {
        onCommand(ID_CONNECT, [this] { connectDevice(); });
        onCommand(ID_DISCONNECT, [this] { m_app.cycle().OnDisconnect(); });
    }
    void OnInitialUpdate() override {
        PlainView::OnInitialUpdate();
        connectDevice();
    }
    void OnNotify(unsigned message) override {
        if (message == UM_DATAUPDATED) m_app.UpdateAllWindows();
    }

private:
    void connectDevice() {
        auto* document = static_cast<RealTimeDocument*>(GetDocument());
        if (!document || m_app.state().link.isOpen()) return;
        m_app.cycle().OnConnect(notifyTarget(), &document->core());
    }
    CVornApp& m_app;
};

class RealTimeStandInFrame : public CChildFrame {
public:
    explicit RealTimeStandInFrame(CVornApp& app) : CChildFrame(QStringLiteral("Real Time")) {
        MonitorState& state = app.state();
        onUpdate(ID_CONNECT, [&state](CmdUI& ui) { ui.enabled = !state.link.isOpen(); });
        onUpdate(ID_DISCONNECT, [&state](CmdUI& ui) { ui.enabled = state.link.isOpen(); });
        for (int i = 0; i < kScopeCommands; ++i) {
            onCommand(ID_SCOPE_1MIN + i, [&state, i] {
                std::lock_guard lock(state.dataLock);
                state.config.scopeIndex = static_cast<uint16_t>(i);
            });
            onUpdate(ID_SCOPE_1MIN + i, [&state, i](CmdUI& ui) {
                std::lock_guard lock(state.dataLock);
                ui.checked = state.config.scopeIndex == i;
            });
        }
        onCommand(ID_DATA_EXPORT, [] {});
        onCommand(ID_EXPORT_CONFIG, [] {});
    }
};

}  // namespace

CDocTemplate* makeHistoryByDaysKind(CVornApp& app) {
    MonitorState& state = app.state();
    return new CDocTemplate([] { return new CVornDoc1; },
                            [&state] { return new CHDChildFrm(state); },
                            [&state] { return new CHDListView(state); }, &app);
}

CDocTemplate* makeHistoryByMonthsKind(CVornApp& app) {
    MonitorState& state = app.state();
    return new CDocTemplate([] { return new CVornDoc1; },
                            [&state] { return new CHMChildFrm(state); },
                            [&state] { return new CHMListView(state); }, &app);
}

CDocTemplate* makeRealTimeKind(CVornApp& app) {
    return new CDocTemplate([&app] { return new RealTimeDocument(app.state()); },
                            [&app] { return new RealTimeStandInFrame(app); },
                            [&app] { return new RealTimeStandInView(app); }, &app);
}
