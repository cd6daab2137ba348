#pragma once

#include "ui/history/CHMPicView.h"
#include "ui/history/HistoryChildFrame.h"

// The history-by-months window: the months table 150 pixels wide, the months chart beside it.
class CHMChildFrm : public HistoryChildFrame {
    Q_OBJECT
public:
    explicit CHMChildFrm(MonitorState& state)
        : HistoryChildFrame(QStringLiteral("History by months"), 150,
                            [&state] { return new CHMPicView(state); }) {}
};
