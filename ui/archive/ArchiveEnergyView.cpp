#include "ui/archive/ArchiveEnergyView.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/archive/ArchiveDocument.h"
#include "ui/widgets/ChannelLabels.h"

namespace {

// Rows in the channel tree's order: the twelve loads, Consumption, Solar, then Total.
constexpr int kRowRecords[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, kTotalRecord};

}  // namespace

ArchiveEnergyView::ArchiveEnergyView(QWidget* parent)
    : View(parent), m_note(new QLabel(this)), m_table(new QTableWidget(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_note);
    layout->addWidget(m_table);
    m_table->setColumnCount(2);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Channel"), QStringLiteral("Energy (kWh)")});
    m_table->setRowCount(static_cast<int>(std::size(kRowRecords)));
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setFocusPolicy(Qt::StrongFocus);
}

void ArchiveEnergyView::onDocumentChanged(View*) {
    auto* doc = qobject_cast<ArchiveDocument*>(document());
    if (!doc) return;
    const ChannelTable live = doc->channels();
    const ArchiveDay& day = doc->day();
    const auto kwh = dayEnergyKwh(day);
    if (!doc->problem().isEmpty()) {
        m_note->setText(doc->problem());
    } else if (day.rows == 0) {
        m_note->setText(QStringLiteral("No samples recorded on this day"));
    } else {
        m_note->setText(
            QStringLiteral("%1 of %2 samples recorded").arg(day.rows).arg(day.slotCount));
    }
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const int record = kRowRecords[row];
        const QString name =
            record == kTotalRecord ? QStringLiteral("Total") : channelLabel(record, live);
        m_table->setItem(row, 0, new QTableWidgetItem(name));
        auto* value = new QTableWidgetItem(day.rows ? QString::number(kwh[record], 'f', 3) : "-");
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(row, 1, value);
    }
}
