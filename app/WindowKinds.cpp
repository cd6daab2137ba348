#include "app/WindowKinds.h"

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
#include "ui/realtime/CRTChildFrm.h"
#include "ui/realtime/CRTListView.h"

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
    return new CDocTemplate([&app] { return new RealTimeDocument(app.state(), &app.cycle()); },
                            [] { return new CRTChildFrm; }, [] { return new CRTListView; }, &app);
}
