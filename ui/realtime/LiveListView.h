#pragma once

#include <QPointer>
#include <functional>

#include "core/store/ChannelRecord.h"
#include "ui/framework/View.h"

class PowerChartView;
class QTableWidget;
class RealTimeDocument;
struct TablePrintout;

// The lower pane of the real-time window: one row per measured quantity with its live
// power. The core's threads reach the GUI through this view: Connect on first display,
// UM_SAMPLESTORED rewrites the power column (and reloads the chart while the link is open),
// UM_DATAUPDATED refreshes every window.
class LiveListView : public View {
    Q_OBJECT
public:
    // updateAllWindows: called after every successful poll (may be empty).
    explicit LiveListView(std::function<void()> updateAllWindows = {}, QWidget* parent = nullptr);
    ~LiveListView() override;

    // Set by the window when it builds its panes.
    void setChartView(PowerChartView* chart);

    void onInitialUpdate() override;
    void onNotify(unsigned message) override;
    void onConnect();
    void onDisconnect();

    // Column 1 of all sixteen rows from the channel table.
    void refreshPowerColumn();
    // Column 2 of channel k's row (row k + 3) from record k, for k = 1..12.
    void refreshChannelNames(const ChannelTable& live);

    QTableWidget* list() const { return m_list; }
    // The list as it goes on paper.
    TablePrintout printout() const;

private:
    RealTimeDocument* realTimeDocument() const;
    void buildList();

    QTableWidget* m_list = nullptr;
    std::function<void()> m_updateAllWindows;
    QPointer<PowerChartView> m_chart;
    bool m_built = false;
};
