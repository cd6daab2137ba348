#pragma once

#include <QPointer>

#include "store/ChannelRecord.h"
#include "ui/framework/CView.h"

class CRTPicView;
class QTableWidget;
class RealTimeDocument;
struct TablePrintout;

// The lower pane of the real-time window: one row per measured quantity with its live
// power. The core's threads reach the GUI through this view: Connect on first display,
// UM_SAMPLESTORED rewrites the power column (and reloads the chart while the link is open),
// UM_DATAUPDATED refreshes every window.
class CRTListView : public CView {
    Q_OBJECT
public:
    explicit CRTListView(QWidget* parent = nullptr);
    ~CRTListView() override;

    // Set by the window when it builds its panes.
    void setChartView(CRTPicView* chart);

    void OnInitialUpdate() override;
    void OnNotify(unsigned message) override;
    void OnConnect();
    void OnDisconnect();

    // Column 1 of all sixteen rows from the channel table.
    void refreshPowerColumn();
    // Column 2 of channel k's row (row k + 3) from record k, for k = 1..12.
    void refreshChannelNames(const LiveReading& live);

    QTableWidget* list() const { return m_list; }
    // The list as it goes on paper.
    TablePrintout printout() const;

private:
    RealTimeDocument* document() const;
    void buildList();

    QTableWidget* m_list = nullptr;
    QPointer<CRTPicView> m_chart;
    bool m_built = false;
};
