#include "ui/history/HistoryTableView.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "ui/framework/Command.h"
#include "ui/framework/ListStyle.h"
#include "ui/framework/TablePrinting.h"
#include "ui/history/MonthNames.h"

const HistoryTableKind kDaysTable{HistoryTable::Days, 40, "Days", "History by days", "Days"};
const HistoryTableKind kMonthsTable{HistoryTable::Months, 12, "Months", "History by months",
                                    "Months"};

namespace {

constexpr int kColumnWidths[3] = {45, 60, 60};

}  // namespace

HistoryTableView::HistoryTableView(Recorder& recorder, const HistoryTableKind& kind,
                                   QWidget* parent)
    : View(parent), m_recorder(recorder), m_kind(kind) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QTableWidget(this);
    layout->addWidget(m_list);
    setFocusProxy(m_list);

    // One page on paper, whichever way the job starts; the chart pane has no print commands.
    const TableSource source = [this] { return printout(); };
    onCommand(Command::PrintWithDialog,
              [this, source] { printWithDialog(this, source, m_recorder.clock()); });
    onCommand(Command::Print,
              [this, source] { printDirect(source, m_recorder.clock(), m_recorder.messages()); });
    onCommand(Command::PrintPreview,
              [this, source] { printPreview(this, source, m_recorder.clock()); });
}

HistoryTableView::~HistoryTableView() = default;

QString HistoryTableView::rowLabel(int row, int currentMonth) const {
    if (m_kind.table == HistoryTable::Months) return monthLabel(currentMonth, row);
    return QString::number(row + 1);
}

void HistoryTableView::buildList() {
    m_list->setColumnCount(3);
    m_list->setRowCount(m_kind.rows);
    m_list->setHorizontalHeaderLabels({QString::fromLatin1(m_kind.firstCaption),
                                       QStringLiteral("Consumption"), QStringLiteral("Solar")});
    m_list->setWordWrap(false);
    // Rows may go down to 1 pixel; in place before the style fixes their height.
    m_list->verticalHeader()->setMinimumSectionSize(1);
    applyListStyle(*m_list, ListSelection::FirstCell);

    QHeaderView* columns = m_list->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setMinimumSectionSize(0);
    for (int j = 0; j < 3; ++j) m_list->setColumnWidth(j, kColumnWidths[j]);

    // Month labels are written once: a window open across the turn of a month keeps them.
    const int month = localMonth(m_recorder.clock().now());
    for (int i = 0; i < m_kind.rows; ++i) {
        for (int j = 0; j < 3; ++j) {
            auto* item = new QTableWidgetItem;
            item->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            m_list->setItem(i, j, item);
        }
        m_list->item(i, 0)->setText(rowLabel(i, month));
    }
}

void HistoryTableView::writeValues() {
    const HistorySnapshot snapshot = HistorySnapshot::take(m_recorder, m_kind.table);
    for (int i = 0; i < m_kind.rows; ++i) {
        const int32_t consumption =
            i < int(snapshot.consumption.size()) ? snapshot.consumption[i] : 0;
        const int32_t solar = i < int(snapshot.solar.size()) ? snapshot.solar[i] : 0;
        m_list->item(i, 1)->setText(QString::number(consumption));
        m_list->item(i, 2)->setText(QString::number(solar));
    }
}

void HistoryTableView::onInitialUpdate() {
    if (!m_built) {
        buildList();
        m_built = true;
    }
    writeValues();
}

void HistoryTableView::onDocumentChanged(View*) {
    if (m_built) writeValues();
}

TablePrintout HistoryTableView::printout() const {
    TablePrintout table;
    table.title = QString::fromLatin1(m_kind.printTitle);
    table.rows = m_kind.rows;
    table.captions = {QString::fromLatin1(m_kind.printFirstCaption),
                      QStringLiteral("Consumption(KWh)"), QStringLiteral("Solar(KWh)")};
    const QHeaderView* columns = m_list->horizontalHeader();
    for (int j = 0; j < 3; ++j)
        table.columnWidths[j] = columns->isSectionHidden(j) ? 0 : columns->sectionSize(j);

    // The texts as the list shows them at this moment, copied so the page can be drawn later.
    std::vector<std::array<QString, 3>> cells(m_kind.rows);
    for (int i = 0; i < m_kind.rows && i < m_list->rowCount(); ++i)
        for (int j = 0; j < 3; ++j)
            if (const QTableWidgetItem* item = m_list->item(i, j)) cells[i][j] = item->text();
    table.cell = [cells = std::move(cells)](int row, int column) {
        if (row < 0 || row >= int(cells.size()) || column < 0 || column > 2) return QString();
        return cells[row][column];
    };
    return table;
}
