#include "ui/archive/ArchiveWindow.h"

#include <QDateEdit>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSplitter>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <mutex>

#include "core/acquisition/Recorder.h"
#include "ui/archive/ArchiveChartView.h"
#include "ui/archive/ArchiveDocument.h"
#include "ui/archive/ArchiveEnergyView.h"
#include "ui/framework/Command.h"
#include "ui/framework/WindowKind.h"
#include "ui/widgets/ChannelLabels.h"
#include "ui/widgets/ChannelTree.h"

ArchiveWindow::ArchiveWindow() : ChildWindow(QStringLiteral("Archive")) {
    m_rangePrompt = [this](QWidget* parent, const QDate& day) {
        ArchiveDocument* doc = archiveDocument();
        uint32_t interval = 5;
        if (doc) {
            interval = doc->recorder().config().exportInterval;
        }
        return askRangeExport(parent, day, interval);
    };
    // "Data export" with the archive window in front exports a range of the archive.
    onCommand(Command::DataExport, [this] { onExportRange(); });
    onUpdate(Command::DataExport, [](CommandState& ui) { ui.enabled = true; });
}

ArchiveDocument* ArchiveWindow::archiveDocument() const {
    return qobject_cast<ArchiveDocument*>(document());
}

QWidget* ArchiveWindow::buildNavigator() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);
    auto* previous = new QToolButton(bar);
    previous->setArrowType(Qt::LeftArrow);
    previous->setToolTip(QStringLiteral("Previous day"));
    auto* next = new QToolButton(bar);
    next->setArrowType(Qt::RightArrow);
    next->setToolTip(QStringLiteral("Next day"));
    m_date = new QDateEdit(bar);
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    auto* exportRange = new QPushButton(QStringLiteral("Export Range..."), bar);
    row->addWidget(previous);
    row->addWidget(m_date);
    row->addWidget(next);
    row->addStretch(1);
    row->addWidget(exportRange);
    connect(previous, &QToolButton::clicked, this, [this] { stepDay(-1); });
    connect(next, &QToolButton::clicked, this, [this] { stepDay(1); });
    connect(m_date, &QDateEdit::dateChanged, this, [this](const QDate& date) {
        ArchiveDocument* doc = archiveDocument();
        if (doc && date != doc->date()) doc->showDay(date);
    });
    connect(exportRange, &QPushButton::clicked, this, &ArchiveWindow::onExportRange);
    return bar;
}

bool ArchiveWindow::createPanes(Document* document, WindowKind& windowKind) {
    View* chart = windowKind.createFirstView(document);
    View* energy =
        chart ? WindowKind::createView(document, [] { return new ArchiveEnergyView; }) : nullptr;
    if (!chart || !energy) {
        delete chart;
        return false;
    }
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildNavigator());

    m_tree = new QTreeWidget;
    ArchiveDocument* doc = archiveDocument();
    fillChannelTree(m_tree, doc ? doc->channels() : ChannelTable{});
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
        ArchiveDocument* doc = archiveDocument();
        if (doc && !selected.isEmpty())
            doc->selectChannel(
                static_cast<uint16_t>(selected.first()->data(0, Qt::UserRole).toInt()));
    });

    auto* right = new QSplitter(Qt::Vertical);
    right->addWidget(chart);
    right->addWidget(energy);
    right->setStretchFactor(0, 2);
    right->setStretchFactor(1, 1);
    auto* panes = new QSplitter(Qt::Horizontal);
    panes->addWidget(m_tree);
    panes->addWidget(right);
    panes->setStretchFactor(0, 0);
    panes->setStretchFactor(1, 1);
    panes->setSizes({180, 600});
    column->addWidget(panes, 1);
    setWidget(content);
    setActiveView(energy);
    if (doc) m_date->setDate(doc->date());
    return true;
}

void ArchiveWindow::showDay(const QDate& date) {
    if (!date.isValid()) return;
    m_date->setDate(date);  // reads the day through dateChanged
}

void ArchiveWindow::stepDay(int days) {
    if (ArchiveDocument* doc = archiveDocument()) showDay(doc->date().addDays(days));
}

void ArchiveWindow::onExportRange() {
    ArchiveDocument* doc = archiveDocument();
    if (!doc || !m_rangePrompt) return;
    const std::optional<RangeChoice> choice = m_rangePrompt(this, doc->date());
    if (!choice) return;
    runRangeExport(this, doc->archivePath(), *choice);
}

void ArchiveWindow::refreshChannelNames() {
    ArchiveDocument* doc = archiveDocument();
    if (!doc || !m_tree || m_tree->topLevelItemCount() == 0) return;
    const ChannelTable live = doc->channels();
    QTreeWidgetItem* all = m_tree->topLevelItem(0);
    for (int i = 0; i < all->childCount(); ++i) {
        QTreeWidgetItem* child = all->child(i);
        child->setText(0, channelLabel(child->data(0, Qt::UserRole).toInt(), live));
    }
    doc->updateAllViews(nullptr);
}
