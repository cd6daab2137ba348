#include "ui/realtime/LiveListView.h"

#include <QPointer>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/acquisition/Recorder.h"
#include "ui/framework/Command.h"
#include "ui/framework/ListStyle.h"
#include "ui/framework/TablePrinting.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/widgets/ChannelLabels.h"

namespace {

constexpr int kColumnWidth = 120;  // pixels, all three columns
const char* const kCaptions[kListColumns] = {"Channel_No", "Power(Watt)", "Channel_Name"};

}  // namespace

LiveListView::LiveListView(QWidget* parent) : View(parent) {
    m_list = new QTableWidget(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    setFocusProxy(m_list);

    // One page with the shared table routine; the chart pane prints nothing.
    const TableSource source = [this] { return printout(); };
    onCommand(Command::PrintWithDialog, [this, source] {
        if (RealTimeDocument* doc = realTimeDocument())
            printWithDialog(this, source, doc->recorder().clock());
    });
    onCommand(Command::Print, [this, source] {
        if (RealTimeDocument* doc = realTimeDocument())
            printDirect(source, doc->recorder().clock(), doc->recorder().messages());
    });
    onCommand(Command::PrintPreview, [this, source] {
        if (RealTimeDocument* doc = realTimeDocument())
            printPreview(this, source, doc->recorder().clock());
    });
}

LiveListView::~LiveListView() = default;

RealTimeDocument* LiveListView::realTimeDocument() const {
    return qobject_cast<RealTimeDocument*>(document());
}

void LiveListView::onInitialUpdate() {
    View::onInitialUpdate();
    buildList();
    if (RealTimeDocument* doc = realTimeDocument())
        connect(doc, &RealTimeDocument::sampleRecorded, this, &LiveListView::onSampleRecorded);
}

void LiveListView::buildList() {
    if (m_built) return;
    m_built = true;
    m_list->setColumnCount(kListColumns);
    m_list->setRowCount(kListRows);
    applyListStyle(*m_list, ListSelection::WholeRow);
    for (int column = 0; column < kListColumns; ++column) {
        m_list->setHorizontalHeaderItem(
            column, new QTableWidgetItem(QString::fromLatin1(kCaptions[column])));
        m_list->setColumnWidth(column, kColumnWidth);
    }

    ChannelTable live{};
    if (RealTimeDocument* doc = realTimeDocument()) live = doc->recorder().channels();
    const LiveListRows rows = liveListRows(live);
    for (int row = 0; row < kListRows; ++row) {
        for (int column = 0; column < kListColumns; ++column) {
            auto* item = new QTableWidgetItem(rows[row][column]);
            item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            m_list->setItem(row, column, item);
        }
    }
}

void LiveListView::onSampleRecorded(SampleOrigin origin) {
    if (origin == SampleOrigin::NoLink) return;
    refreshPowerColumn();
}

void LiveListView::refreshPowerColumn() {
    if (!m_built) return;
    ChannelTable live{};
    if (RealTimeDocument* doc = realTimeDocument()) live = doc->recorder().channels();
    // Channels 01..12 first, then Consumption, Solar, Balance and Total.
    for (int row = kFirstLoadRow; row < kListRows; ++row)
        m_list->item(row, 1)->setText(livePowerText(row, live));
    for (int row = 0; row < kFirstLoadRow; ++row)
        m_list->item(row, 1)->setText(livePowerText(row, live));
}

void LiveListView::refreshChannelNames(const ChannelTable& live) {
    if (!m_built) return;
    for (int k = kFirstLoad; k <= kLastLoad; ++k)
        m_list->item(k + 3, 2)->setText(recordName(live[k]));
}

TablePrintout LiveListView::printout() const {
    TablePrintout table;
    table.title = QStringLiteral("The All Channels Real-Time Power (Watt)");
    table.rows = kListRows;
    for (int column = 0; column < kListColumns; ++column) {
        table.captions[column] = QString::fromLatin1(kCaptions[column]);
        table.columnWidths[column] = m_list->columnWidth(column);
    }
    QPointer<QTableWidget> list = m_list;
    table.cell = [list](int row, int column) {
        const QTableWidgetItem* item = list ? list->item(row, column) : nullptr;
        return item ? item->text() : QString();
    };
    return table;
}
