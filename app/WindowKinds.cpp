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

namespace {

// Stand-in windows until the real-time and history windows take their place: a caption,
// a line of text, and for the real-time kind the Connect / Disconnect behaviour, so the
// sampling cycle runs as it will with the real windows.
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
    return new CDocTemplate([] { return new CVornDoc1; },
                            [] { return new CChildFrame(QStringLiteral("History by days")); },
                            [] { return new PlainView(QStringLiteral("History by days")); }, &app);
}

CDocTemplate* makeHistoryByMonthsKind(CVornApp& app) {
    return new CDocTemplate([] { return new CVornDoc1; },
                            [] { return new CChildFrame(QStringLiteral("History by months")); },
                            [] { return new PlainView(QStringLiteral("History by months")); },
                            &app);
}

CDocTemplate* makeRealTimeKind(CVornApp& app) {
    return new CDocTemplate([&app] { return new RealTimeDocument(app.state()); },
                            [&app] { return new RealTimeStandInFrame(app); },
                            [&app] { return new RealTimeStandInView(app); }, &app);
}
