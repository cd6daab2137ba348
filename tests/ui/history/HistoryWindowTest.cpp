#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QMdiArea>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <QSplitter>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/acquisition/Recorder.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "fakes/ScriptedSerialPort.h"
#include "support/QtTestApp.h"
#include "support/RecorderTables.h"
#include "support/TempWorkDir.h"
#include "ui/framework/Command.h"
#include "ui/framework/CommandTarget.h"
#include "ui/framework/PrinterSetup.h"
#include "ui/framework/TablePrinting.h"
#include "ui/framework/WindowKind.h"
#include "ui/history/HistoryChartView.h"
#include "ui/history/HistoryTableView.h"
#include "ui/history/HistoryWindow.h"
#include "ui/shell/WindowKinds.h"

namespace {

// Noon UTC, so the local month is the same in any time zone near it.
constexpr int64_t kJanuary15 = 1768478400;
constexpr int64_t kMarch31 = 1774958400;
constexpr int64_t kApril1 = 1775044800;
constexpr int64_t kDecember15 = 1797336000;

class HistoryWindows : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        m_area.resize(900, 700);
        m_area.show();
        m_recorder.loadConfig(m_dir.path());
        m_days.reset(makeHistoryByDaysKind(m_recorder, nullptr));
        m_months.reset(makeHistoryByMonthsKind(m_recorder, nullptr));
    }
    void TearDown() override {
        m_days->closeAllDocuments();
        m_months->closeAllDocuments();
    }

    // Opens a window of the kind at 700 x 400 and lets its layout settle.
    Document* open(WindowKind& kind) {
        Document* document = kind.openDocument(&m_area);
        if (document && tableOf(document) && tableOf(document)->childWindow())
            tableOf(document)->childWindow()->resize(700, 400);
        QCoreApplication::processEvents();
        return document;
    }
    static HistoryTableView* tableOf(Document* document) {
        return qobject_cast<HistoryTableView*>(document->views().value(0));
    }
    static HistoryChartView* chartOf(Document* document) {
        return qobject_cast<HistoryChartView*>(document->views().value(1));
    }
    static QString cell(HistoryTableView* view, int row, int column) {
        return view->list()->item(row, column)->text();
    }
    // The chart's pair labels as its last paint drew them.
    static QString pairLabel(HistoryChartView* chart, int k) {
        chart->grab();
        return chart->chart().texts()[11 + k].text;
    }

    QApplication& m_app = qtTestApp();  // before any widget member
    FakeClock m_clock{kMarch31};
    ScriptedPortOpener m_ports;
    RecordingMessageSink m_messages;
    TempWorkDir m_dir;
    Recorder m_recorder{m_ports, m_messages, m_clock};
    QMdiArea m_area;
    std::unique_ptr<WindowKind> m_days;
    std::unique_ptr<WindowKind> m_months;
};

}  // namespace

TEST_F(HistoryWindows, WindowsSplitIntoTableAndChartWithTheTableActive) {
    struct Case {
        WindowKind* kind;
        const char* caption;
        int tableWidth;
        int rows;
        const char* firstColumn;
    };
    const Case cases[] = {{m_days.get(), "History by days", 180, 40, "Days"},
                          {m_months.get(), "History by months", 150, 12, "Months"}};
    for (const Case& c : cases) {
        Document* document = open(*c.kind);
        ASSERT_NE(document, nullptr) << c.caption;
        HistoryTableView* table = tableOf(document);
        HistoryChartView* chart = chartOf(document);
        ASSERT_TRUE(table && chart) << c.caption;
        auto* frame = qobject_cast<HistoryWindow*>(table->childWindow());
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->windowTitle(), QString::fromLatin1(c.caption));
        EXPECT_EQ(frame->activeView(), table);
        EXPECT_EQ(frame->splitter()->sizes().value(0), c.tableWidth) << c.caption;
        EXPECT_GT(frame->splitter()->sizes().value(1), 0);

        QTableWidget* list = table->list();
        ASSERT_EQ(list->rowCount(), c.rows);
        EXPECT_EQ(list->horizontalHeaderItem(0)->text(), QString::fromLatin1(c.firstColumn));
        EXPECT_EQ(table->printout().columnWidths, (std::array<int, 3>{45, 60, 60}));
        EXPECT_EQ(list->rowHeight(c.rows - 1), 20);

        // Print commands live on the table only: with the chart pane active they are off.
        const std::vector<CommandTarget*> tableRoute{table, document, frame};
        const std::vector<CommandTarget*> chartRoute{chart, document, frame};
        for (Command id : {Command::PrintWithDialog, Command::Print, Command::PrintPreview}) {
            EXPECT_TRUE(CommandRoute::update(tableRoute, id).enabled) << static_cast<int>(id);
            EXPECT_FALSE(CommandRoute::update(chartRoute, id).enabled) << static_cast<int>(id);
        }

        // A pane dragged down to nothing paints without a plot and without failing.
        frame->splitter()->setSizes({800, 0});
        chart->resize(40, 40);
        EXPECT_FALSE(chart->grab().isNull());
        EXPECT_FALSE(chart->chart().hasPlot());
    }
}

TEST_F(HistoryWindows, TableCellsShowEachEntryInItsRowAsAPlainDecimal) {
    // Each case: consumption and solar of entry i are base + i (0 alone for all-zero tables).
    struct Case {
        int32_t consumption, solar;
        bool all;  // every entry the same value
    };
    const Case cases[] = {{0, 0, true}, {65535, 65535, true}, {1000, 2000, false}};
    Document* days = open(*m_days);
    Document* months = open(*m_months);
    for (const Case& c : cases) {
        auto value = [&](int32_t base, int i) { return c.all ? base : base + i; };
        DayTable dayTable{};
        MonthTable monthTable{};
        for (int i = 0; i < kDays; ++i) {
            dayTable.consumption[i] = value(c.consumption, i);
            dayTable.solar[i] = value(c.solar, i);
        }
        for (int i = 0; i < kMonths; ++i) {
            monthTable.consumption[i] = value(c.consumption, i);
            monthTable.solar[i] = value(c.solar, i);
        }
        loadTables(m_recorder, dayTable, monthTable);
        days->updateAllViews(nullptr);
        months->updateAllViews(nullptr);
        for (auto [document, rows] : {std::pair{days, kDays}, std::pair{months, kMonths}}) {
            HistoryTableView* table = tableOf(document);
            for (int row = 0; row < rows; ++row) {
                EXPECT_EQ(cell(table, row, 1), QString::number(value(c.consumption, row)));
                EXPECT_EQ(cell(table, row, 2), QString::number(value(c.solar, row)));
            }
        }
        EXPECT_EQ(cell(tableOf(days), 0, 0), "1");
        EXPECT_EQ(cell(tableOf(days), 39, 0), "40");
    }
}

TEST_F(HistoryWindows, MonthsAreLabelledBackFromTheCurrentMonth) {
    struct Case {
        int64_t now;
        std::array<const char*, 12> labels;
    };
    const Case cases[] = {
        {kJanuary15,
         {"Jan.", "Dec.", "Nov.", "Oct.", "Sep.", "Aug.", "Jul.", "Jun.", "May.", "Apr.", "Mar.",
          "Feb."}},
        {kDecember15,
         {"Dec.", "Nov.", "Oct.", "Sep.", "Aug.", "Jul.", "Jun.", "May.", "Apr.", "Mar.", "Feb.",
          "Jan."}},
    };
    for (const Case& c : cases) {
        m_clock.advance(std::chrono::seconds(c.now - m_clock.now()));
        Document* document = open(*m_months);
        HistoryTableView* table = tableOf(document);
        HistoryChartView* chart = chartOf(document);
        for (int row = 0; row < 12; ++row) {
            EXPECT_EQ(cell(table, row, 0), QString::fromLatin1(c.labels[row])) << row;
            EXPECT_EQ(pairLabel(chart, row), QString::fromLatin1(c.labels[row])) << row;
        }
        m_months->closeAllDocuments();
    }
}

TEST_F(HistoryWindows, RefreshKeepsLabelsSelectionAndScrollWhileTheChartRelabels) {
    Document* months = open(*m_months);
    Document* days = open(*m_days);
    HistoryTableView* monthsTable = tableOf(months);
    HistoryTableView* daysTable = tableOf(days);
    daysTable->childWindow()->resize(500, 300);  // fewer rows fit than the table has
    daysTable->list()->setCurrentCell(30, 2);    // stands for the row's first cell
    daysTable->list()->verticalScrollBar()->setValue(
        daysTable->list()->verticalScrollBar()->maximum());
    const int scroll = daysTable->list()->verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);
    monthsTable->list()->setCurrentCell(4, 0);

    // Into April with new values from the next poll.
    m_clock.advance(std::chrono::seconds(kApril1 - kMarch31));
    {
        DayTable dayTable = m_recorder.days();
        MonthTable monthTable = m_recorder.months();
        monthTable.consumption[0] = 77;
        dayTable.solar[30] = 88;
        loadTables(m_recorder, dayTable, monthTable);
    }
    months->updateAllViews(nullptr);
    days->updateAllViews(nullptr);

    EXPECT_EQ(cell(monthsTable, 0, 0), "Mar.");
    EXPECT_EQ(cell(monthsTable, 0, 1), "77");
    EXPECT_EQ(pairLabel(chartOf(months), 0), "Apr.");
    EXPECT_EQ(pairLabel(chartOf(months), 1), "Mar.");
    EXPECT_EQ(cell(daysTable, 30, 2), "88");
    EXPECT_EQ(cell(daysTable, 30, 0), "31");
    EXPECT_EQ(daysTable->list()->currentRow(), 30);
    EXPECT_TRUE(daysTable->list()->item(30, 0)->isSelected());
    EXPECT_EQ(daysTable->list()->selectedItems().size(), 1);
    EXPECT_EQ(daysTable->list()->verticalScrollBar()->value(), scroll);
    EXPECT_EQ(monthsTable->list()->currentRow(), 4);
}

TEST_F(HistoryWindows, PrintoutFollowsTheListAsShown) {
    {
        MonthTable monthTable{};
        monthTable.consumption[11] = 65535;
        loadTables(m_recorder, DayTable{}, monthTable);
    }
    HistoryTableView* table = tableOf(open(*m_months));
    table->list()->setColumnWidth(0, 90);
    const TablePrintout page = table->printout();
    EXPECT_EQ(page.captions[1], "Consumption(KWh)");  // not the on-screen caption
    EXPECT_EQ(page.columnWidths, (std::array<int, 3>{90, 60, 60}));
    EXPECT_EQ(page.cell(11, 0), "Apr.");
    EXPECT_EQ(page.cell(11, 1), "65535");
    EXPECT_EQ(page.cell(12, 0), "");  // no such row

    for (int j = 0; j < 3; ++j) table->list()->horizontalHeader()->hideSection(j);
    EXPECT_EQ(table->printout().columnWidths, (std::array<int, 3>{0, 0, 0}));
}

TEST_F(HistoryWindows, EveryPrintPathGivesOnePageAndAMissingPrinterIsReported) {
    HistoryTableView* table = tableOf(open(*m_days));
    QPrinter& printer = applicationPrinter();
    if (QPrinterInfo::defaultPrinter().isNull() && printer.printerName().isEmpty()) {
        printer.setOutputFileName(QString());
        ASSERT_TRUE(table->runCommand(Command::Print));
        ASSERT_EQ(m_messages.shown, std::vector<std::string>{kNoPrinterText});
    }

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QPrinter::OutputFormat savedFormat = printer.outputFormat();
    printer.setOutputFormat(QPrinter::PdfFormat);
    for (Command id : {Command::Print, Command::PrintPreview, Command::PrintWithDialog}) {
        const QString path = dir.filePath(QStringLiteral("%1.pdf").arg(static_cast<int>(id)));
        printer.setOutputFileName(path);
        int previewPages = -1;
        // Answers a modal dialog once it is up: counts the preview's pages, confirms printing.
        QTimer::singleShot(100, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            if (auto* preview = dialog->findChild<QPrintPreviewWidget*>()) {
                previewPages = preview->pageCount();
                dialog->reject();
            } else {
                dialog->accept();
            }
        });
        ASSERT_TRUE(table->runCommand(id));
        QCoreApplication::processEvents();
        if (id == Command::PrintPreview) {
            EXPECT_EQ(previewPages, 1);
            continue;
        }
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << static_cast<int>(id);
        const QByteArray pdf = file.readAll();
        EXPECT_EQ(pdf.count("/Type /Page") - pdf.count("/Type /Pages"), 1) << static_cast<int>(id);
    }
    printer.setOutputFileName(QString());
    printer.setOutputFormat(savedFormat);
    EXPECT_LE(m_messages.shown.size(), 1u);
}
