#pragma once

#include "core/acquisition/RecorderListener.h"
#include "core/store/ChannelRecord.h"
#include "ui/framework/View.h"

class QTableWidget;
class RealTimeDocument;
struct TablePrintout;

// The lower pane of the real-time window: one row per measured quantity with its live
// power. Every sample of the document rewrites the power column; the chart above takes in
// the same poll through the document's update that its tables brought.
class LiveListView : public View {
    Q_OBJECT
public:
    explicit LiveListView(QWidget* parent = nullptr);
    ~LiveListView() override;

    void onInitialUpdate() override;
    // A sample the recorder stored: the list shows new readings (or the zeros of a lost
    // link); a tick without a link leaves it as it is.
    void onSampleRecorded(SampleOrigin origin);

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
    bool m_built = false;
};
