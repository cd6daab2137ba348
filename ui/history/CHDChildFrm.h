#pragma once

#include "ui/history/CHDPicView.h"
#include "ui/history/HistoryChildFrame.h"

// The history-by-days window: the days table 180 pixels wide, the days chart beside it.
class CHDChildFrm : public HistoryChildFrame {
    Q_OBJECT
public:
    explicit CHDChildFrm(MonitorState& state)
        : HistoryChildFrame(QStringLiteral("History by days"), 180,
                            [&state] { return new CHDPicView(state); }) {}
};
