#include "ui/shell/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "core/base/KeptTexts.h"
#include "ui/archive/ArchiveRangeExport.h"
#include "ui/dialogs/DialogCommands.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/Command.h"
#include "ui/framework/KelvoStyle.h"
#include "ui/framework/View.h"
#include "ui/shell/Application.h"
#include "ui/shell/LockKeyState.h"
#include "ui/shell/RecorderSignals.h"
#include "ui/shell/SettingsCommands.h"
#include "ui/shell/StatusBarText.h"

namespace {

// Toolbar buttons whose command has no tool tip text show none (Qt would fall back to the
// button's text).
class NoFallbackToolTip : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            auto* button = qobject_cast<QToolButton*>(watched);
            if (button && button->defaultAction() &&
                button->defaultAction()->property("kelvoToolTip").toString().isEmpty())
                return true;
        }
        return false;
    }
};

const char* const kScopeTexts[kScopeCommands] = {
    "1 Minutes", "5 Minutes", "15 Minutes", "30 Minutes", "1 Hours", "3 Hours", "6 Hours"};

}  // namespace

MainWindow::MainWindow(Application& app, std::function<void()> closeAll)
    : m_app(app), m_closeAll(std::move(closeAll)) {
    setWindowTitle(QStringLiteral("Kelvo"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/kelvo.png")));

    m_mdi = new QMdiArea(this);
    setCentralWidget(m_mdi);
    connect(m_mdi, &QMdiArea::subWindowActivated, this, [this] {
        selectMenu();
        updateCommandStates();
    });

    buildActions();
    buildMenus();
    buildToolBar();
    buildStatusBar();
    selectMenu();

    onCommand(Command::ChannelSetting, [this] {
        if (!runChannelSettingDialog(m_app.recorder(), this)) return;
        // Every window that shows channel names (real time, archive) takes the new ones.
        for (QMdiSubWindow* window : m_mdi->subWindowList()) {
            if (auto* child = qobject_cast<ChildWindow*>(window)) child->refreshChannelNames();
        }
    });
    onCommand(Command::ChannelControl, [this] { runChannelControlDialog(m_app.recorder(), this); });
    onCommand(Command::Cascade, [this] { m_mdi->cascadeSubWindows(); });
    onCommand(Command::TileHorizontally, [this] { tileHorizontally(); });
    onCommand(Command::ArrangeIcons, [this] { arrangeIcons(); });

    // Menu and button states follow the recorder: the link opening or closing, a probe
    // beginning or ending; the link pane also shows the time of the last sample.
    const RecorderSignals& recorder = m_app.recorderSignals();
    connect(&recorder, &RecorderSignals::linkChanged, this, [this] {
        updateCommandStates();
        updateLinkPane();
    });
    connect(&recorder, &RecorderSignals::sampleRecorded, this, &MainWindow::updateLinkPane);
    // The lock-key panes follow the keys pressed in any of the program's windows, and are
    // read again whenever the program comes to the front.
    qApp->installEventFilter(this);
    // A click or F6 into another pane changes the active view and with it what the print
    // commands reach. Queued: the child window notes its new active view on the same signal.
    connect(qApp, &QApplication::focusChanged, this, &MainWindow::updateCommandStates,
            Qt::QueuedConnection);
    updateCommandStates();
}

QAction* MainWindow::addCommand(Command command, const QString& text, const QString& prompt) {
    auto* action = new QAction(text, this);
    const qsizetype split = prompt.indexOf(QLatin1Char('\n'));
    action->setStatusTip(split < 0 ? prompt : prompt.left(split));
    const QString toolTip = split < 0 ? QString() : prompt.mid(split + 1);
    action->setProperty("kelvoToolTip", toolTip);
    action->setToolTip(toolTip.isEmpty() ? QString(QLatin1Char(' ')) : toolTip);
    connect(action, &QAction::triggered, this, [this, command] { executeCommand(command); });
    m_actions.insert(command, action);
    return action;
}

void MainWindow::buildActions() {
    addCommand(Command::HistoryByDays, tr("History by days"), QStringLiteral("History by days"))
        ->setIcon(QIcon(QStringLiteral(":/icons/history_days.png")));
    addCommand(Command::HistoryByMonths, tr("History by months"),
               QStringLiteral("History by months"))
        ->setIcon(QIcon(QStringLiteral(":/icons/history_months.png")));
    addCommand(Command::RealTime, tr("Real Time"), QStringLiteral("Real Time"))
        ->setIcon(QIcon(QStringLiteral(":/icons/real_time.png")));
    addCommand(Command::Archive, QStringLiteral("Archive"), QStringLiteral("Archive\nArchive"))
        ->setIcon(QIcon(QStringLiteral(":/icons/archive.png")));
    addCommand(Command::Connect, QStringLiteral("Connect"), QStringLiteral("Connect\nConnect"))
        ->setIcon(QIcon(QStringLiteral(":/icons/connect.png")));
    addCommand(Command::Disconnect, QStringLiteral("Disconnect"),
               QStringLiteral("Disconnect\nDisconnect"))
        ->setIcon(QIcon(QStringLiteral(":/icons/disconnect.png")));

    addCommand(Command::ChannelSetting, QStringLiteral("Channel Setting"),
               QStringLiteral("Channel Setting"));
    addCommand(Command::ChannelControl, QStringLiteral("Channel Control"), QString());
    addCommand(Command::Port, QStringLiteral("Port"), QStringLiteral("Port"));
    addCommand(Command::DataExport, QStringLiteral("Data export"),
               QStringLiteral("Data export\nData export"));
    for (int i = 0; i < kScopeCommands; ++i) {
        addCommand(scopeCommand(i), QString::fromLatin1(kScopeTexts[i]),
                   QString::fromLatin1(kept::kScopePrompts[i]))
            ->setCheckable(true);
    }
    addCommand(Command::ExportInterval, QStringLiteral("Export Config"), QString());
    addCommand(Command::ReconnectAutomatically, QStringLiteral("Reconnect Automatically"),
               QStringLiteral("Reconnect Automatically"))
        ->setCheckable(true);
    addCommand(Command::ArchiveSettings, QStringLiteral("Archive Settings"),
               QStringLiteral("Archive Settings"));
    addCommand(Command::PublishSettings, QStringLiteral("MQTT Publishing"),
               QStringLiteral("MQTT Publishing"));

    addCommand(Command::Print, QStringLiteral("Print(&P)...\tCtrl+P"), QString());
    addCommand(Command::PrintPreview, QStringLiteral("Print Preview(&V)"),
               QStringLiteral("Print Preview"));
    addCommand(Command::PrintSetup, QStringLiteral("Print Setting(&R)..."),
               QStringLiteral("Print Setting"));
    addCommand(Command::Exit, QStringLiteral("Exit(&X)"), QStringLiteral("Exit"));
    addCommand(Command::Cascade, QStringLiteral("Cascade(&C)"), QStringLiteral("Cascade"));
    addCommand(Command::TileHorizontally, QStringLiteral("Tile(&T)"), QStringLiteral("Tile"));
    addCommand(Command::ArrangeIcons, QStringLiteral("Arrange(&A)"), QStringLiteral("Arrange"));
    addCommand(Command::About, QStringLiteral("About(&A)..."), QStringLiteral("About\nAbout"));

    // Ctrl+P prints with the print dialog. It is in no menu (the menu's "Print" prints
    // straight to the printer in use).
    QAction* print = addCommand(Command::PrintWithDialog, QStringLiteral("Print"),
                                QStringLiteral("Print\nPrint"));
    print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    print->setShortcutContext(Qt::WindowShortcut);
    addAction(print);

    // F6 and Shift+F6 move to the next and previous pane of the active child window; like
    // Ctrl+P they are keys of the window, in no menu.
    QAction* nextPane = addCommand(Command::NextPane, QStringLiteral("Next Pane"), QString());
    nextPane->setShortcut(QKeySequence(Qt::Key_F6));
    QAction* previousPane =
        addCommand(Command::PreviousPane, QStringLiteral("Previous Pane"), QString());
    previousPane->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    for (QAction* pane : {nextPane, previousPane}) {
        pane->setShortcutContext(Qt::WindowShortcut);
        addAction(pane);
    }

    // Ctrl+F4 closes the child window in front, whichever pane has the keyboard.
    auto* closeChild = new QAction(QStringLiteral("Close"), this);
    closeChild->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4));
    closeChild->setShortcutContext(Qt::WindowShortcut);
    connect(closeChild, &QAction::triggered, this, [this] {
        if (QMdiSubWindow* child = m_mdi->currentSubWindow()) child->close();
    });
    addAction(closeChild);
}

void MainWindow::buildMenus() {
    auto act = [this](Command command) { return m_actions.value(command); };
    // The link, archive and publishing settings, below the menu's own items.
    auto addLaterSettings = [&act](QMenu* setting) {
        setting->addSeparator();
        setting->addAction(act(Command::ReconnectAutomatically));
        setting->addAction(act(Command::ArchiveSettings));
        setting->addAction(act(Command::PublishSettings));
    };

    // The menus while no child window is open.
    auto* file = new QMenu(QStringLiteral("File(&F)"), this);
    file->addAction(act(Command::PrintSetup));
    file->addSeparator();
    file->addAction(act(Command::Exit));
    auto* setting = new QMenu(QString::fromLatin1(kept::kSettingMenu), this);
    setting->addAction(act(Command::ChannelSetting));
    setting->addSeparator();
    setting->addAction(act(Command::Port));
    setting->addAction(act(Command::Connect));
    setting->addAction(act(Command::Disconnect));
    addLaterSettings(setting);
    auto* help = new QMenu(QStringLiteral("Help(&H)"), this);
    help->addAction(act(Command::About));
    m_menusWithoutChild = {file, setting, help};

    // The menus while any child window is open.
    file = new QMenu(QStringLiteral("File(&F)"), this);
    file->addAction(act(Command::DataExport));
    file->addAction(act(Command::Print));
    file->addAction(act(Command::PrintPreview));
    file->addAction(act(Command::PrintSetup));
    file->addSeparator();
    file->addAction(act(Command::Exit));
    setting = new QMenu(QStringLiteral("Setting(&S)"), this);
    setting->addAction(act(Command::ChannelSetting));
    setting->addAction(act(Command::ChannelControl));
    setting->addSeparator();
    setting->addAction(act(Command::Port));
    setting->addAction(act(Command::Connect));
    setting->addAction(act(Command::Disconnect));
    setting->addSeparator();
    QMenu* scope = setting->addMenu(QStringLiteral("X-Axes Scope"));
    for (int i = 0; i < kScopeCommands; ++i) scope->addAction(act(scopeCommand(i)));
    setting->addSeparator();
    setting->addAction(act(Command::ExportInterval));
    addLaterSettings(setting);
    m_viewMenu = new QMenu(QStringLiteral("View(&V)"), this);
    m_viewMenu->addAction(act(Command::Archive));
    m_viewMenu->addSeparator();
    m_viewMenu->addAction(act(Command::Cascade));
    m_viewMenu->addAction(act(Command::TileHorizontally));
    m_viewMenu->addAction(act(Command::ArrangeIcons));
    help = new QMenu(QStringLiteral("Help(&H)"), this);
    help->addAction(act(Command::About));
    m_menusWithChild = {file, setting, m_viewMenu, help};

    for (QMenu* menu : m_menusWithoutChild + m_menusWithChild + QList<QMenu*>{scope}) {
        connect(menu, &QMenu::aboutToShow, this, &MainWindow::updateCommandStates);
        // A checked item shows its check mark; an unchecked one shows nothing, no empty box.
        menu->setStyle(kelvoStyle());
    }
    connect(m_viewMenu, &QMenu::aboutToShow, this, [this] { fillWindowList(m_viewMenu); });
}

void MainWindow::fillWindowList(QMenu* menu) {
    for (QAction* action : m_windowListActions) {
        menu->removeAction(action);
        action->deleteLater();
    }
    m_windowListActions.clear();
    const QList<QMdiSubWindow*> windows = m_mdi->subWindowList();
    if (windows.isEmpty()) return;
    m_windowListActions.append(menu->addSeparator());
    int number = 1;
    for (QMdiSubWindow* window : windows) {
        QAction* action =
            menu->addAction(QStringLiteral("&%1 %2").arg(number++).arg(window->windowTitle()));
        action->setCheckable(true);
        action->setChecked(window == m_mdi->currentSubWindow());
        QPointer<QMdiSubWindow> target = window;
        connect(action, &QAction::triggered, this, [this, target] {
            if (!target) return;
            m_mdi->setActiveSubWindow(target);
            if (target->isMinimized()) target->showNormal();
        });
        m_windowListActions.append(action);
    }
}

void MainWindow::buildToolBar() {
    auto* toolBar = new QToolBar(QStringLiteral("Standard"), this);
    toolBar->setObjectName(QStringLiteral("standardToolBar"));
    toolBar->setIconSize(QSize(23, 16));
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->addAction(m_actions.value(Command::HistoryByDays));
    toolBar->addAction(m_actions.value(Command::HistoryByMonths));
    toolBar->addAction(m_actions.value(Command::RealTime));
    toolBar->addAction(m_actions.value(Command::Archive));
    toolBar->addSeparator();
    toolBar->addAction(m_actions.value(Command::Connect));
    toolBar->addAction(m_actions.value(Command::Disconnect));
    auto* filter = new NoFallbackToolTip(this);
    for (QToolButton* button : toolBar->findChildren<QToolButton*>())
        button->installEventFilter(filter);
    addToolBar(Qt::TopToolBarArea, toolBar);
}

void MainWindow::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->addWidget(new QLabel(QStringLiteral("Ready"), bar), 1);
    auto indicator = [bar](const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), bar);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(label->sizeHint().width() + 8);
        label->setEnabled(false);
        bar->addPermanentWidget(label);
        return label;
    };
    m_services = new QLabel(bar);
    m_services->setObjectName(QStringLiteral("servicesPane"));
    bar->addPermanentWidget(m_services);
    m_link = new QLabel(bar);
    m_link->setObjectName(QStringLiteral("linkPane"));
    bar->addPermanentWidget(m_link);
    updateLinkPane();
    m_caps = indicator("CAPS");
    m_num = indicator("NUM");
    m_scrl = indicator("SCRL");
    updateLockIndicators();
}

void MainWindow::updateLockIndicators() {
    const LockKeyState keys = readLockKeyState();
    // A pane shows its text only while its lock is on.
    auto show = [](QLabel* label, bool on, const char* text) {
        label->setText(on ? QString::fromLatin1(text) : QString());
        label->setEnabled(on);
    };
    show(m_caps, keys.caps, "CAPS");
    show(m_num, keys.num, "NUM");
    show(m_scrl, keys.scroll, "SCRL");
}

void MainWindow::updateLinkPane() {
    const QString text = m_app.statusBarText().link();
    if (m_link->text() != text) m_link->setText(text);
    const QString services = m_app.statusBarText().services();
    if (m_services->text() != services) m_services->setText(services);
    m_services->setVisible(!services.isEmpty());
}

void MainWindow::selectMenu() {
    const bool anyChild = !m_mdi->subWindowList().isEmpty();
    if (anyChild == m_childMenuShown && !menuBar()->actions().isEmpty()) return;
    m_childMenuShown = anyChild;
    menuBar()->clear();
    for (QMenu* menu : anyChild ? m_menusWithChild : m_menusWithoutChild) menuBar()->addMenu(menu);
}

ChildWindow* MainWindow::activeChildWindow() const {
    return qobject_cast<ChildWindow*>(m_mdi->currentSubWindow());
}

std::vector<CommandTarget*> MainWindow::route() const {
    ChildWindow* frame = activeChildWindow();
    View* view = frame ? frame->activeView() : nullptr;
    Document* document = view ? view->document() : nullptr;
    return {view,  document, frame, const_cast<MainWindow*>(this), &m_app.settingsCommands(),
            &m_app};
}

CommandState MainWindow::commandState(Command command) const {
    return CommandRoute::update(route(), command);
}

bool MainWindow::executeCommand(Command command) {
    if (!commandState(command).enabled) return false;
    const bool handled = CommandRoute::execute(route(), command);
    updateCommandStates();
    return handled;
}

void MainWindow::updateCommandStates() {
    const auto targets = route();
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        const CommandState ui = CommandRoute::update(targets, it.key());
        it.value()->setEnabled(ui.enabled);
        if (it.value()->isCheckable()) it.value()->setChecked(ui.checked);
    }
}

void MainWindow::tileHorizontally() {
    QList<QMdiSubWindow*> windows;
    for (QMdiSubWindow* window : m_mdi->subWindowList()) {
        if (window->isVisible() && !window->isMinimized()) windows.append(window);
    }
    if (windows.isEmpty()) return;
    for (QMdiSubWindow* window : windows) {
        if (window->isMaximized()) window->showNormal();
    }
    const QRect area = m_mdi->viewport()->rect();
    const int count = static_cast<int>(windows.size());
    const int height = area.height() / count;
    for (int i = 0; i < count; ++i) {
        // The last window takes what the division left over.
        const int h = i == count - 1 ? area.height() - height * i : height;
        windows[i]->setGeometry(0, height * i, area.width(), h);
    }
}

void MainWindow::arrangeIcons() {
    const QRect area = m_mdi->viewport()->rect();
    int x = 0;
    int y = area.height();
    for (QMdiSubWindow* window : m_mdi->subWindowList()) {
        if (!window->isMinimized()) continue;
        const QSize size = window->size();
        if (x > 0 && x + size.width() > area.width()) {  // next row up
            x = 0;
            y -= size.height();
        }
        window->move(x, y - size.height());
        x += size.width();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A range export runs an event loop of its own: closing the documents from inside it
    // would destroy its window and progress dialog under it. Every way out passes here (the
    // close box, Exit, a termination signal, a quit from the session), so here the export is
    // cancelled, its part file removed, and the close comes again once its loop has ended.
    if (rangeExportRunning()) {
        cancelRangeExports();
        event->ignore();
        QTimer::singleShot(50, this, &MainWindow::close);
        return;
    }
    if (m_closeAll) m_closeAll();
    qApp->removeEventFilter(this);
    event->accept();
    emit closed();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_CapsLock || key == Qt::Key_NumLock || key == Qt::Key_ScrollLock)
                QTimer::singleShot(0, this, &MainWindow::updateLockIndicators);
            break;
        }
        case QEvent::ApplicationActivate:
            updateLockIndicators();
            break;
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}
