#pragma once

#include <QHash>
#include <QMainWindow>
#include <functional>
#include <vector>

#include "ui/framework/CommandState.h"
#include "ui/framework/CommandTarget.h"

class ChildWindow;
class Application;
class QAction;
class QLabel;
class QMdiArea;
class QMenu;

// The main window: MDI area, two sets of menus (one while no child window is open, one while any
// is), toolbar, status bar. Routes every command through the active child window's active
// view, its document, the child frame, this frame and the application.
class MainWindow : public QMainWindow, public CommandTarget {
    Q_OBJECT
public:
    // closeAll: what a close request sets off before the window goes (the application stops
    // the sampling cycle and closes every document); called on every close request.
    MainWindow(Application& app, std::function<void()> closeAll);

    QMdiArea* mdiArea() const { return m_mdi; }
    ChildWindow* activeChildWindow() const;

    // Runs the command on the route; false when no target handles it (a disabled command
    // does nothing).
    bool executeCommand(Command command);
    // Enabled and checked as menus and toolbar show the command now.
    CommandState commandState(Command command) const;
    // Brings every menu item and toolbar button up to date.
    void updateCommandStates();

    QAction* commandAction(Command command) const { return m_actions.value(command); }
    QLabel* linkPane() const { return m_link; }
    QLabel* servicesPane() const { return m_services; }

    // Tile the child windows one above the other, each as wide as the MDI area.
    void tileHorizontally();
    // Line the minimised child windows up along the bottom edge.
    void arrangeIcons();

signals:
    // The close request has been carried out: documents closed, the cycle stopped. The
    // message loop ends here.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildActions();
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void selectMenu();
    void fillWindowList(QMenu* menu);
    void updateLockIndicators();
    void updateLinkPane();
    std::vector<CommandTarget*> route() const;
    QAction* addCommand(Command command, const QString& text, const QString& prompt);

    Application& m_app;
    std::function<void()> m_closeAll;
    QMdiArea* m_mdi = nullptr;
    QHash<Command, QAction*> m_actions;
    QList<QMenu*> m_menusWithoutChild;
    QList<QMenu*> m_menusWithChild;
    QMenu* m_viewMenu = nullptr;
    QList<QAction*> m_windowListActions;
    bool m_childMenuShown = false;
    QLabel* m_link = nullptr;      // where the link stands
    QLabel* m_services = nullptr;  // what is wrong with the archive or publishing, if anything
    QLabel* m_caps = nullptr;
    QLabel* m_num = nullptr;
    QLabel* m_scrl = nullptr;
};
