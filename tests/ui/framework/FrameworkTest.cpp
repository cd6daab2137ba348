// The document/view layer: command routing, closing documents, notifications from the
// core's threads, the "vorn" box from any thread and the printer set-up.
#include <QApplication>
#include <QComboBox>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRadioButton>
#include <atomic>
#include <thread>

#include "fakes/RecordingMessageSink.h"
#include "support/ShellFixture.h"
#include "ui/framework/ChildWindow.h"
#include "ui/framework/CommandTarget.h"
#include "ui/framework/MessageBoxSink.h"
#include "ui/framework/PrinterSetup.h"
#include "ui/framework/PrinterSetupDialog.h"
#include "ui/framework/TablePrinting.h"
#include "ui/framework/View.h"
#include "ui/framework/WindowKind.h"

namespace {

struct RouteCase {
    const char* name;
    // Per target (view, document, frame, main frame, application): 'c' command handler,
    // 'u' update handler (disables), 'b' both, '-' nothing, 'x' the target is absent.
    const char* targets;
    int expectedRunner;  // index of the target whose command handler runs, -1 none
    bool enabled;
};

TEST(CommandRouteTest, FirstHandlerOnTheRouteRunsAndUpdateHandlersDecideTheState) {
    const RouteCase cases[] = {
        {"view first", "cc--c", 0, true},
        {"falls through to the application", "----c", 4, true},
        {"absent view and document skipped", "xx-c-", 3, true},
        {"no handler anywhere is disabled", "-----", -1, false},
        {"update handler anywhere on the route wins", "c---u", 0, false},
        {"earliest update handler decides", "-ub-c", 2, false},
        {"handler on an absent target does not count", "x---x", -1, false},
    };
    constexpr Command kId = Command::Connect;
    for (const RouteCase& c : cases) {
        CommandTarget targets[5];
        std::vector<CommandTarget*> route;
        int ran = -1;
        for (int i = 0; i < 5; ++i) {
            const char kind = c.targets[i];
            if (kind == 'c' || kind == 'b')
                targets[i].onCommand(kId, [&ran, i] {
                    if (ran < 0) ran = i;
                });
            if (kind == 'u' || kind == 'b')
                targets[i].onUpdate(kId, [](CommandState& ui) { ui.enabled = false; });
            route.push_back(kind == 'x' ? nullptr : &targets[i]);
        }
        EXPECT_EQ(CommandRoute::update(route, kId).enabled, c.enabled) << c.name;
        EXPECT_EQ(CommandRoute::execute(route, kId), c.expectedRunner >= 0) << c.name;
        EXPECT_EQ(ran, c.expectedRunner) << c.name;
    }
}

class CountingView : public View {
public:
    void onDocumentChanged(View*) override { ++updates; }
    int updates = 0;
};

class StubbornDocument : public Document {
public:
    bool onCloseDocument() override {
        ++closeAsked;
        return mayClose;
    }
    bool mayClose = false;
    int closeAsked = 0;
};

class FrameworkTest : public ShellTest {};

TEST_F(FrameworkTest, DocumentThatRefusesToCloseKeepsItsWindow) {
    QMdiArea area;
    WindowKind kind([] { return new StubbornDocument; }, [] { return new ChildWindow("Stubborn"); },
                    [] { return new CountingView; });
    auto* document = static_cast<StubbornDocument*>(kind.openDocument(&area));
    ASSERT_NE(document, nullptr);
    auto* view = static_cast<CountingView*>(document->firstView());
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->updates, 1);  // first display
    document->updateAllViews(nullptr);
    document->updateAllViews(view);  // the sender is not told its own change
    EXPECT_EQ(view->updates, 2);

    QMdiSubWindow* window = area.subWindowList().value(0);
    ASSERT_NE(window, nullptr);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(document->closeAsked, 1);
    EXPECT_EQ(area.subWindowList().size(), 1);
    EXPECT_EQ(kind.documents().size(), 1);

    document->mayClose = true;
    QPointer<Document> watch = document;
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(area.subWindowList().isEmpty());
    EXPECT_TRUE(kind.documents().isEmpty());
    EXPECT_TRUE(watch.isNull());  // the document went with its last window
}

TEST_F(FrameworkTest, MessagesFromAnotherThreadWaitForTheBoxAndKeepTheirOrder) {
    ModalAnswerer answers;
    MessageBoxSink sink;
    std::atomic<int> returned{0};
    std::thread worker([&] {
        sink.show("Change channel state failed!");
        returned = 1;
        sink.show("Change channel state succeed!");
        returned = 2;
    });
    while (returned < 2) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(answers.seen(), (QStringList{"vorn: Change channel state failed!",
                                           "vorn: Change channel state succeed!"}));
}

TEST_F(FrameworkTest, ReleasedSinkLetsAWaitingThreadGoWithoutTheGuiAnswering) {
    MessageBoxSink sink;
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        sink.show("Config file missing!");
        returned = true;
    });
    // The GUI thread does not run its event loop here, as when it is joining the core's
    // threads at shut-down.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    sink.release();
    worker.join();
    EXPECT_TRUE(returned);
    // The box queued for the released caller is dropped unanswered.
    QCoreApplication::removePostedEvents(qApp);
}

TEST_F(FrameworkTest, PrinterSetupChoosesPrinterPaperAndOrientationForEveryLaterJob) {
    const QStringList printers = {"Office", "Lab"};
    const PrinterChoice current{"Lab", QPageSize(QPageSize::A5), QPageLayout::Landscape};
    struct Case {
        QString printer;
        int shown;  // a printer no longer there starts on the first one
    };
    for (const Case& c : {Case{"Lab", 1}, Case{"Gone", 0}}) {
        PrinterChoice start = current;
        start.printer = c.printer;
        PrinterSetupDialog dialog(printers, start);
        EXPECT_EQ(dialog.printerBox()->currentIndex(), c.shown);
        EXPECT_EQ(dialog.choice().paper.id(), QPageSize::A5);
        EXPECT_EQ(dialog.choice().orientation, QPageLayout::Landscape);
    }

    PrinterSetupDialog dialog(printers, current);
    dialog.paperBox()->setCurrentIndex(
        dialog.paperBox()->findText(QPageSize(QPageSize::Letter).name()));
    dialog.printerBox()->setCurrentIndex(0);  // another printer keeps the paper chosen
    for (QRadioButton* button : dialog.findChildren<QRadioButton*>())
        if (button->text() == "Portrait") button->click();
    PrinterChoice chosen = dialog.choice();
    EXPECT_EQ(chosen.printer, "Office");
    EXPECT_EQ(chosen.paper.id(), QPageSize::Letter);
    EXPECT_EQ(chosen.orientation, QPageLayout::Portrait);

    // What OK chose is where the printer of every job stands; a made-up printer name cannot
    // be set, a machine's own printer can.
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    const QStringList machine = QPrinterInfo::availablePrinterNames();
    if (!machine.isEmpty()) chosen.printer = machine.last();
    applyChoice(printer, chosen);
    EXPECT_EQ(choiceOf(printer).paper.id(), QPageSize::Letter);
    EXPECT_EQ(choiceOf(printer).orientation, QPageLayout::Portrait);
    if (!machine.isEmpty()) {
        EXPECT_EQ(printer.printerName(), machine.last());
    }

    // Without any printer the user is told so, and no dialog waits for an answer.
    if (machine.isEmpty()) {
        ModalAnswerer answers([](QWidget*) { return false; });
        RecordingMessageSink messages;
        runPrinterSetup(nullptr, messages);
        EXPECT_EQ(messages.shown, std::vector<std::string>{kNoPrinterText});
        EXPECT_TRUE(answers.seen().isEmpty());
    }
}

}  // namespace
