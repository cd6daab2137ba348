// Which commands the menus and toolbar offer, depending on the window in front.
#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>
#include <QTreeWidget>
#include <cstring>

#include "core/base/Clock.h"
#include "core/config/DastConfig.h"
#include "support/ShellFixture.h"
#include "ui/archive/ArchiveWindow.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/Command.h"
#include "ui/framework/View.h"
#include "ui/realtime/RealTimeDocument.h"
#include "ui/realtime/RealTimeWindow.h"
#include "ui/shell/Application.h"
#include "ui/shell/MainWindow.h"

namespace {

struct Expect {
    Command id;
    bool enabled;
};

class CommandStates : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        DastConfig config = DastConfig::defaults();
        config.scopeIndex = 2;
        ASSERT_TRUE(saveConfig(config, SystemClock::instance()));
        m_app = std::make_unique<Application>(m_ports, SystemClock::instance());
        ASSERT_TRUE(m_app->startUp());
        m_frame = m_app->mainWindow();
    }
    void TearDown() override {
        m_app->shutDown();
        m_app.reset();
        ShellTest::TearDown();
    }
    void bringToFront(const QString& caption) {
        for (QMdiSubWindow* w : m_frame->mdiArea()->subWindowList()) {
            if (w->windowTitle() == caption) m_frame->mdiArea()->setActiveSubWindow(w);
        }
        ASSERT_EQ(m_frame->activeChildWindow()->windowTitle(), caption);
    }
    void check(const std::vector<Expect>& table, const char* situation) {
        m_frame->updateCommandStates();
        for (const Expect& e : table) {
            EXPECT_EQ(m_frame->commandState(e.id).enabled, e.enabled)
                << situation << ", command " << static_cast<int>(e.id);
            // What the route says is what the menus and buttons show.
            if (QAction* action = m_frame->commandAction(e.id)) {
                EXPECT_EQ(action->isEnabled(), e.enabled)
                    << situation << ", action " << static_cast<int>(e.id);
            }
        }
    }
    QStringList menuTitles() const {
        QStringList titles;
        for (QAction* a : m_frame->menuBar()->actions()) titles << a->text();
        return titles;
    }

    NoPorts m_ports;
    ModalAnswerer m_answers;
    std::unique_ptr<Application> m_app;
    MainWindow* m_frame = nullptr;
};

const std::vector<Command> kScopeIds = {
    Command::Scope1Minute, Command::Scope5Minutes, Command::Scope15Minutes, Command::Scope30Minutes,
    Command::Scope1Hour,   Command::Scope3Hours,   Command::Scope6Hours};

}  // namespace

TEST_F(CommandStates, RealTimeInFrontOffersItsCommandsAndGreysItsOwnButton) {
    bringToFront("Real Time");
    std::vector<Expect> table = {{Command::RealTime, false},
                                 {Command::HistoryByDays, true},
                                 {Command::HistoryByMonths, true},
                                 {Command::Connect, true},
                                 {Command::Disconnect, false},
                                 {Command::Port, false},
                                 {Command::DataExport, true},
                                 {Command::ExportInterval, true},
                                 {Command::ChannelSetting, true},
                                 {Command::ChannelControl, true},
                                 {Command::PrintSetup, true},
                                 {Command::Exit, true},
                                 {Command::About, true},
                                 {Command::Cascade, true},
                                 {Command::TileHorizontally, true},
                                 {Command::ArrangeIcons, true}};
    for (Command id : kScopeIds) table.push_back({id, true});
    check(table, "real time in front");
    // The check mark sits on the configured scope alone, and moves with the command.
    for (int i = 0; i < 7; ++i) EXPECT_EQ(m_frame->commandState(kScopeIds[i]).checked, i == 2);
    ASSERT_TRUE(m_frame->executeCommand(Command::Scope6Hours));
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(m_frame->commandAction(kScopeIds[i])->isChecked(), i == 6) << i;
    EXPECT_EQ(menuTitles(), (QStringList{"File(&F)", "Setting(&S)", "View(&V)", "Help(&H)"}));
}

TEST_F(CommandStates, HistoryWindowInFrontDisablesRealTimeCommands) {
    for (const char* caption : {"History by days", "History by months"}) {
        bringToFront(caption);
        std::vector<Expect> table = {
            {Command::DataExport, false},
            {Command::Connect, false},
            {Command::Disconnect, false},
            {Command::ExportInterval, false},
            {Command::Port, false},
            {Command::RealTime, true},
            {Command::ChannelSetting, true},
            {Command::PrintSetup, true},
            {Command::About, true},
            {Command::HistoryByDays, QString(caption) != "History by days"},
            {Command::HistoryByMonths, QString(caption) != "History by months"}};
        for (Command id : kScopeIds) table.push_back({id, false});
        check(table, caption);
        // A disabled command does nothing, even when asked for directly.
        EXPECT_FALSE(m_frame->executeCommand(Command::Scope1Minute));
    }
    DastConfig config = DastConfig::defaults();
    ASSERT_TRUE(loadConfig(config, SystemClock::instance()));
    EXPECT_EQ(m_app->recorder().config().scopeIndex, 2);
}

TEST_F(CommandStates, NoChildWindowShowsFirstMenuWithConnectionCommandsDisabled) {
    // Ctrl+F4 closes the window in front, the real-time window among them.
    m_frame->activateWindow();
    QApplication::processEvents();
    for (int open = 3; open > 0; --open) {
        ASSERT_EQ(m_frame->mdiArea()->subWindowList().size(), open);
        QTest::keyClick(m_frame, Qt::Key_F4, Qt::ControlModifier);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    ASSERT_TRUE(m_frame->mdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(m_app->firstRealTimeDocument(), nullptr);
    check({{Command::Connect, false},
           {Command::Disconnect, false},
           {Command::Port, false},
           {Command::ChannelSetting, true},
           {Command::PrintSetup, true},
           {Command::Exit, true},
           {Command::About, true},
           {Command::HistoryByDays, true},
           {Command::HistoryByMonths, true},
           {Command::RealTime, true}},
          "no child window");
    EXPECT_EQ(menuTitles(), (QStringList{"File(&F)", "Seting(&S)", "Help(&H)"}));
    // Opening a window brings the second menu back.
    ASSERT_TRUE(m_frame->executeCommand(Command::HistoryByMonths));
    EXPECT_EQ(menuTitles().size(), 4);
}

TEST_F(CommandStates, TileStacksWindowsOneAboveTheOtherAcrossTheFullWidth) {
    m_frame->resize(900, 700);
    ASSERT_TRUE(m_frame->executeCommand(Command::TileHorizontally));
    const QRect area = m_frame->mdiArea()->viewport()->rect();
    QList<QMdiSubWindow*> windows = m_frame->mdiArea()->subWindowList();
    ASSERT_EQ(windows.size(), 3);
    std::sort(windows.begin(), windows.end(),
              [](QMdiSubWindow* a, QMdiSubWindow* b) { return a->y() < b->y(); });
    int bottom = 0;
    for (QMdiSubWindow* w : windows) {
        EXPECT_FALSE(w->isMaximized());
        EXPECT_EQ(w->x(), 0);
        EXPECT_EQ(w->width(), area.width());
        EXPECT_EQ(w->y(), bottom);  // no gap, no overlap
        bottom = w->geometry().bottom() + 1;
    }
    EXPECT_EQ(bottom, area.height());
}

TEST_F(CommandStates, ViewMenuListsOpenWindowsAndBringsTheChosenOneToFront) {
    QMenu* view = m_frame->menuBar()->actions().value(2)->menu();
    ASSERT_NE(view, nullptr);
    for (int round = 0; round < 2; ++round) {  // the list is rebuilt, not appended to
        QMetaObject::invokeMethod(view, "aboutToShow", Qt::DirectConnection);
        QStringList entries;
        QAction* months = nullptr;
        for (QAction* a : view->actions()) {
            if (a->isSeparator()) continue;
            entries << a->text();
            if (a->text().endsWith("History by months")) months = a;
        }
        EXPECT_EQ(entries,
                  (QStringList{"Archive", "Cascade(&C)", "Tile(&T)", "Arrange(&A)", "&1 Real Time",
                               "&2 History by days", "&3 History by months"}));
        ASSERT_NE(months, nullptr);
        months->trigger();
        EXPECT_EQ(m_frame->activeChildWindow()->windowTitle(), "History by months");
        bringToFront("Real Time");
    }
}

TEST_F(CommandStates, ChannelSettingRefreshesTheNamesOfEveryWindowOnlyWhenConfirmed) {
    auto* realTime =
        qobject_cast<RealTimeWindow*>(m_app->firstRealTimeDocument()->firstView()->childWindow());
    ASSERT_NE(realTime, nullptr);
    QTreeWidgetItem* channel3 = realTime->channelTree()->topLevelItem(0)->child(2);
    ASSERT_NE(channel3, nullptr);
    ASSERT_TRUE(m_frame->executeCommand(Command::Archive));
    auto* archive = qobject_cast<ArchiveWindow*>(m_frame->activeChildWindow());
    ASSERT_NE(archive, nullptr);
    QTreeWidgetItem* archived3 = archive->channelTree()->topLevelItem(0)->child(2);
    {  // A name that changed behind the window's back, as the dialog's OK leaves it.
        ChannelTable names = m_app->recorder().channels();
        std::strcpy(names[3].name, "Pump");
        m_app->recorder().setChannelNames(names);
    }
    bringToFront("History by days");  // handled by the main frame whatever is in front
    for (bool confirm : {false, true}) {
        m_answers.setChoice([confirm](QWidget*) { return confirm; });
        ASSERT_TRUE(m_frame->executeCommand(Command::ChannelSetting));
        ASSERT_EQ(m_answers.seen().last(), "ChannelSettingDialog");
        EXPECT_EQ(channel3->text(0), confirm ? "03 Pump" : "03 ") << confirm;
        EXPECT_EQ(archived3->text(0), channel3->text(0));
    }
}

TEST_F(CommandStates, F6AndClicksMoveTheActivePaneAndOnlyATablePanePrints) {
    m_frame->activateWindow();
    QApplication::processEvents();
    struct Case {
        const char* caption;
        int selectedByAClick;  // cells of the clicked row: the whole row, or its first cell
    };
    for (const Case c :
         {Case{"Real Time", 3}, Case{"History by days", 1}, Case{"History by months", 1}}) {
        SCOPED_TRACE(c.caption);
        bringToFront(c.caption);
        ChildWindow* window = m_frame->activeChildWindow();
        const QList<View*> panes = window->panes();
        ASSERT_EQ(panes.size(), 2);
        View* table = window->activeView();
        View* chart = panes.value(0) == table ? panes.value(1) : panes.value(0);
        auto printing = [&](View* active) {
            QApplication::processEvents();
            EXPECT_EQ(window->activeView(), active);
            for (Command id : {Command::PrintWithDialog, Command::Print, Command::PrintPreview}) {
                EXPECT_EQ(m_frame->commandState(id).enabled, active == table)
                    << static_cast<int>(id);
                if (QAction* action = m_frame->commandAction(id)) {
                    EXPECT_EQ(action->isEnabled(), active == table) << static_cast<int>(id);
                }
            }
        };
        printing(table);
        QTest::keyClick(m_frame, Qt::Key_F6);
        printing(chart);
        QTest::keyClick(m_frame, Qt::Key_F6, Qt::ShiftModifier);
        printing(table);
        QTest::keyClick(m_frame, Qt::Key_F6);
        QTest::keyClick(m_frame, Qt::Key_F6);  // round the end
        printing(table);

        QTest::mouseClick(chart, Qt::LeftButton, {}, chart->rect().center());
        printing(chart);
        auto* list = table->findChild<QTableWidget*>();
        ASSERT_NE(list, nullptr);
        const QRect cell = list->visualRect(list->model()->index(1, 1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        printing(table);
        const QList<QTableWidgetItem*> selected = list->selectedItems();
        EXPECT_EQ(selected.size(), c.selectedByAClick);
        EXPECT_TRUE(list->item(1, 0)->isSelected());
        for (QTableWidgetItem* item : selected) EXPECT_EQ(item->row(), 1);
    }
}

TEST_F(CommandStates, ScopeMenuShowsACheckMarkOnTheChosenItemAndNothingBesideTheOthers) {
    QMenu* scope = nullptr;
    for (QMenu* menu : m_frame->findChildren<QMenu*>())
        if (menu->title() == "X-Axes Scope") scope = menu;
    ASSERT_NE(scope, nullptr);
    m_frame->updateCommandStates();
    scope->adjustSize();
    const QImage image = scope->grab().toImage();
    for (int i = 0; i < 7; ++i) {
        // The column left of the text, against the item's own background at its right end.
        const QRect item = scope->actionGeometry(m_frame->commandAction(kScopeIds[i]));
        const QRgb background = image.pixel(item.right() - 2, item.center().y());
        int marked = 0;
        for (int y = item.top() + 1; y < item.bottom(); ++y)
            for (int x = item.left() + 1; x < item.left() + 24; ++x)
                marked += image.pixel(x, y) != background;
        if (i == 2)
            EXPECT_GT(marked, 10) << i;
        else
            EXPECT_EQ(marked, 0) << i;
    }
}
