#include "ui/realtime/RealTimeWindow.h"

#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QMainWindow>
#include <QResizeEvent>
#include <QSplitter>
#include <QTreeWidget>
#include <ctime>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "ui/dialogs/DialogCommands.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/framework/Command.h"
#include "ui/framework/KelvoStyle.h"
#include "ui/framework/WindowKind.h"
#include "ui/realtime/LiveListView.h"
#include "ui/realtime/PowerChartView.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/widgets/ChannelLabels.h"
#include "ui/widgets/ChannelTree.h"

namespace {

// The bar's template is 123 x 232 dialog units in the 8-point dialog face, whose base units
// are 6 x 13 pixels: 185 pixels wide. Its height follows the window.
constexpr DialogUnits kBarUnits{6, 13};
constexpr int kBarTemplateWidth = 123;

// The channel bar: the tree inset 10 pixels left and right, 20 above and below, within the
// bar's own area. Above that area the dock's title bar is the bar's gripper, by which it is
// dragged to the window's other side, so the tree's top lies the gripper's height further
// down in the window.
class ChannelBar : public QWidget {
public:
    explicit ChannelBar(QTreeWidget* tree) : m_tree(tree) {
        tree->setParent(this);
        setFixedWidth(kBarUnits.x(kBarTemplateWidth));
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const QSize size = event->size();
        m_tree->setGeometry(10, 20, std::max(size.width() - 20, 0),
                            std::max(size.height() - 40, 0));
        m_tree->update();
    }

private:
    QTreeWidget* m_tree;
};

QString defaultSavePath(QWidget* parent, const QString& proposedName, const QString& directory) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(
        {QStringLiteral("Data Files (*.csv)"), QStringLiteral("Worksheet Files (*.xls)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setDirectory(directory);
    dialog.selectFile(proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

RealTimeWindow::RealTimeWindow() : ChildWindow(QStringLiteral("Real Time")) {
    for (int i = 0; i < kScopeCommands; ++i) {
        onCommand(scopeCommand(i), [this, i] { onScope(i); });
        onUpdate(scopeCommand(i), [this, i](CommandState& ui) {
            if (Recorder* r = recorder()) ui.checked = r->scope().index == i;
        });
    }
    onCommand(Command::DataExport, [this] { onExportData(); });
    onCommand(Command::ExportInterval, [this] { onExportConfig(); });

    // Connect also stays disabled while an earlier Connect is still looking for the device.
    onUpdate(Command::Connect, [this](CommandState& ui) {
        Recorder* r = recorder();
        ui.enabled = r && !r->linkOpen() && !r->probing();
    });
    onUpdate(Command::Disconnect, [this](CommandState& ui) {
        Recorder* r = recorder();
        ui.enabled = r && r->linkOpen();
    });
    // Whichever pane is active, the real-time window's Connect and Disconnect drive the
    // recorder.
    onCommand(Command::Connect, [this] {
        if (Recorder* r = recorder()) r->connect();
    });
    onCommand(Command::Disconnect, [this] {
        if (Recorder* r = recorder()) r->disconnect();
    });

    m_savePathPrompt = [this](QWidget* parent, const QString& proposedName) {
        Recorder* r = recorder();
        const std::string workingDirectory = r ? r->workingDirectory() : std::string();
        QString directory = QDir::currentPath();
        if (!workingDirectory.empty()) directory = QFile::decodeName(workingDirectory.c_str());
        return defaultSavePath(parent, proposedName, directory);
    };
    m_exportConfig = [](Recorder& r, QWidget* parent) {
        return runExportIntervalDialog(r, parent);
    };
}

RealTimeWindow::~RealTimeWindow() = default;

RealTimeDocument* RealTimeWindow::realTimeDocument() const {
    return qobject_cast<RealTimeDocument*>(document());
}

Recorder* RealTimeWindow::recorder() const {
    RealTimeDocument* doc = realTimeDocument();
    return doc ? &doc->recorder() : nullptr;
}

bool RealTimeWindow::createPanes(Document* document, WindowKind& windowKind) {
    auto* inner = new QMainWindow;
    inner->setWindowFlags(Qt::Widget);
    m_splitter = new QSplitter(Qt::Vertical, inner);
    m_splitter->setChildrenCollapsible(false);

    View* chart = WindowKind::createView(document, [] { return new PowerChartView; });
    View* first = windowKind.createFirstView(document);
    m_chart = qobject_cast<PowerChartView*>(chart);
    m_list = qobject_cast<LiveListView*>(first);
    if (!m_chart || !m_list) {
        delete chart;
        delete first;
        delete inner;
        return false;
    }
    m_splitter->addWidget(m_chart);
    m_splitter->addWidget(m_list);
    // The chart keeps its 280 pixels; the list takes the rest, also on later resizes.
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    const int clientHeight = std::max(height(), kChartHeight + 1);
    m_splitter->setSizes({kChartHeight, clientHeight - kChartHeight});
    inner->setCentralWidget(m_splitter);

    m_tree = new QTreeWidget;
    m_bar = new QDockWidget(inner);
    m_bar->setObjectName(QStringLiteral("ChannelBar"));
    m_bar->setFeatures(QDockWidget::DockWidgetMovable);
    m_bar->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    m_bar->setWidget(new ChannelBar(m_tree));
    inner->addDockWidget(Qt::LeftDockWidgetArea, m_bar);
    fillChannelTree();

    setWidget(inner);
    setActiveView(m_list);
    return true;
}

void RealTimeWindow::fillChannelTree() {
    ChannelTable live{};
    if (Recorder* r = recorder()) live = r->channels();
    ::fillChannelTree(m_tree, live);
    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
        if (!selected.isEmpty()) onChannelSelected(selected.first()->data(0, Qt::UserRole).toInt());
    });
}

void RealTimeWindow::onChannelSelected(int itemData) {
    RealTimeDocument* doc = realTimeDocument();
    if (!doc || itemData < 0 || itemData > kAllChannels) return;
    doc->selectChannel(static_cast<uint16_t>(itemData));
    doc->updateAllViews(nullptr);
}

void RealTimeWindow::onScope(int scopeIndex) {
    Recorder* r = recorder();
    if (!r || scopeIndex < 0 || scopeIndex >= kScopeCommands) return;
    r->setScopeIndex(static_cast<uint16_t>(scopeIndex));
    realTimeDocument()->updateAllViews(nullptr);
}

QString RealTimeWindow::proposedExportName(int64_t now) {
    const time_t t = static_cast<time_t>(now);
    tm local{};
    char stamp[32] = "";
    if (localtime_r(&t, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H-%M-%S", &local);
    return QStringLiteral("History_power") + QString::fromLatin1(stamp);
}

void RealTimeWindow::onExportData() {
    RealTimeDocument* doc = realTimeDocument();
    if (!doc || !m_savePathPrompt) return;
    const QString path = m_savePathPrompt(this, proposedExportName(doc->recorder().clock().now()));
    if (path.isEmpty()) return;  // cancelled: nothing is written
    doc->recorder().exportCsv(QFile::encodeName(path).toStdString());
}

void RealTimeWindow::onExportConfig() {
    Recorder* r = recorder();
    if (r && m_exportConfig) m_exportConfig(*r, this);
}

void RealTimeWindow::refreshChannelNames() {
    Recorder* r = recorder();
    if (!r) return;
    const ChannelTable live = r->channels();
    if (m_tree && m_tree->topLevelItemCount() > 0) {
        QTreeWidgetItem* all = m_tree->topLevelItem(0);
        for (int i = 0; i < all->childCount(); ++i) {
            QTreeWidgetItem* child = all->child(i);
            child->setText(0, channelLabel(child->data(0, Qt::UserRole).toInt(), live));
        }
    }
    if (m_list) m_list->refreshChannelNames(live);
}
