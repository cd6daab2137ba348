// The archive window over a real archive file: a day's energy and chart with its gaps, a day
// without samples, navigation, the range export through the window, the settings dialog.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <fstream>
#include <sstream>

#include "core/acquisition/Recorder.h"
#include "core/archive/ArchiveWriter.h"
#include "fakes/FakeClock.h"
#include "fakes/RecordingMessageSink.h"
#include "support/QtTestApp.h"
#include "support/ShellFixture.h"
#include "support/TempWorkDir.h"
#include "ui/archive/ArchiveChartView.h"
#include "ui/archive/ArchiveDocument.h"
#include "ui/archive/ArchiveEnergyView.h"
#include "ui/archive/ArchiveWindow.h"
#include "ui/dialogs/ArchiveSettingsDialog.h"
#include "ui/framework/WindowKind.h"
#include "ui/shell/WindowKinds.h"

namespace {

constexpr int64_t kJuneFirst = 1'780'272'000;  // 2026-06-01 00:00:00 UTC
const QDate kDay(2026, 6, 1);

struct NoPortsHere final : SerialPorts {
    std::unique_ptr<SerialPort> open(int) override { return nullptr; }
};

class ArchiveWindowTest : public ::testing::Test {
protected:
    ArchiveWindowTest() : recorder(ports, messages, clock) {
        setenv("TZ", "UTC", 1);
        tzset();
        recorder.loadConfig(dir.path());  // no file: the defaults
        // 1,000 W on channel 3 from 01:00 to 02:00 and from 03:00 to 04:00; nothing between.
        ArchiveWriter writer(messages, clock);
        writer.configure({true, "kelvo-archive.sqlite", 0}, dir.path());
        for (int hour : {1, 3}) {
            for (int i = 0; i < 720; ++i) {
                MeterSample sample;
                sample.time = kJuneFirst + hour * 3600 + 5 * i;
                sample.power[3] = 1000;
                sample.power[kTotalRecord] = 1000;
                writer.onMeterSample(sample);
            }
        }
        writer.waitIdle();
        kind.reset(makeArchiveKind(
            recorder, [this] { return dir.file("kelvo-archive.sqlite"); }, nullptr));
        area.resize(1000, 700);
        area.show();
        document = qobject_cast<ArchiveDocument*>(kind->openDocument(&area));
        window = document ? qobject_cast<ArchiveWindow*>(WindowKind::windowsOf(document).value(0))
                          : nullptr;
    }
    ~ArchiveWindowTest() override { kind->closeAllDocuments(); }

    ArchiveEnergyView* energyView() const {
        return qobject_cast<ArchiveEnergyView*>(document->views().value(1));
    }

    QApplication& app = qtTestApp();  // before any widget member
    TempWorkDir dir;
    NoPortsHere ports;
    RecordingMessageSink messages;
    FakeClock clock{kJuneFirst + 86400};
    Recorder recorder;
    std::unique_ptr<WindowKind> kind;
    QMdiArea area;
    ArchiveDocument* document = nullptr;
    ArchiveWindow* window = nullptr;
};

}  // namespace

TEST_F(ArchiveWindowTest, DayShowsEnergyPerChannelAndItsGapsStayEmpty) {
    ASSERT_NE(window, nullptr);
    window->showDay(kDay);
    ArchiveEnergyView* energy = energyView();
    ASSERT_NE(energy, nullptr);
    EXPECT_EQ(energy->note()->text(), "1440 of 17280 samples recorded");
    // Rows: loads 1..12, Consumption, Solar, Total; two hours at 1 kW on channel 3.
    EXPECT_EQ(energy->table()->item(2, 1)->text(), "2.000");
    EXPECT_EQ(energy->table()->item(0, 1)->text(), "0.000");
    EXPECT_EQ(energy->table()->item(14, 1)->text(), "2.000");

    // The chart of channel 3: nothing drawn down to 0 W where the hour between is missing
    // (1,000 W of a 1,600 W scale sits at y 237; below it only a drop to zero would draw).
    document->selectChannel(3);
    PowerChart chart;
    ArchiveChartView::loadChart(*document, chart);
    chart.resize(1070, 580);  // a 1,000 x 500 plot: 17,280 slots over 1,000 pixels
    QImage image(1070, 580, QImage::Format_RGB32);
    QPainter painter(&image);
    chart.paint(painter, kJuneFirst + 86400);
    painter.end();
    const QRgb curve = qRgb(225, 225, 0);
    auto curvePixelsInColumn = [&](int slot) {
        const int x = 50 + static_cast<int>(slot * 1000LL / 17280);
        int found = 0;
        for (int y = 250; y < 530; ++y) found += image.pixel(x, y) == curve ? 1 : 0;
        return found;
    };
    EXPECT_EQ(curvePixelsInColumn(1440 - 1), 0);  // end of the first hour: no drop to zero
    EXPECT_EQ(curvePixelsInColumn(1800), 0);      // inside the gap
    EXPECT_EQ(curvePixelsInColumn(2160), 0);      // start of the second hour: no rise from zero

    // The day after: none recorded; the previous-day step comes back.
    window->stepDay(1);
    EXPECT_EQ(window->dateEdit()->date(), kDay.addDays(1));
    EXPECT_EQ(energy->note()->text(), "No samples recorded on this day");
    EXPECT_EQ(energy->table()->item(2, 1)->text(), "-");
    window->stepDay(-1);
    EXPECT_EQ(document->day().rows, 1440);
}

TEST_F(ArchiveWindowTest, TodayTakesInWhatIsArchivedWhileItIsShownOtherDaysStay) {
    ASSERT_NE(window, nullptr);
    ArchiveWriter writer(messages, clock);
    writer.configure({true, "kelvo-archive.sqlite", 0}, dir.path());
    auto archiveNow = [&writer](int32_t watts) {
        MeterSample sample;
        sample.time = ::time(nullptr);
        sample.power[kTotalRecord] = watts;
        writer.onMeterSample(sample);
        writer.waitIdle();
    };
    window->showDay(QDate::currentDate());
    const int before = document->day().rows;
    archiveNow(500);
    document->refreshIfToday();
    EXPECT_EQ(document->day().rows, before + 1);

    window->showDay(kDay);
    writer.onMeterSample([] {
        MeterSample late;
        late.time = kJuneFirst + 12 * 3600;
        return late;
    }());
    writer.waitIdle();
    document->refreshIfToday();
    EXPECT_EQ(document->day().rows, 1440);  // a past day is read when asked for, not by the timer
}

TEST_F(ArchiveWindowTest, RangeExportThroughTheWindowWritesTheChosenFile) {
    ASSERT_NE(window, nullptr);
    const QString path = QString::fromStdString(dir.file("range.csv"));
    window->setRangePrompt([&](QWidget*, const QDate&) {
        return std::optional<RangeChoice>(RangeChoice{kDay, kDay, 3600, path});
    });
    ModalAnswerer answers;
    window->onExportRange();
    EXPECT_EQ(answers.seen(), QStringList{"vorn: Archive data exported to file: " + path});
    std::ifstream csv(path.toStdString());
    std::stringstream stream;
    stream << csv.rdbuf();
    const std::string text = stream.str();
    // Header, then one line an hour: 01:00 and 03:00.
    EXPECT_NE(text.find("\n2026-06-01 01-00-00, 000000, 000000, 001000,"), std::string::npos);
    EXPECT_NE(text.find("\n2026-06-01 03-00-00, "), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
}

TEST(ArchiveSettingsDialogTest, EditsEveryValueAndRefusesAnEmptyFile) {
    qtTestApp();
    ArchiveSettingsDialog dialog(ArchiveSettings{});
    EXPECT_TRUE(dialog.enabledBox()->isChecked());
    EXPECT_EQ(dialog.keepDaysBox()->text(), "Keep everything");
    dialog.enabledBox()->setChecked(false);
    dialog.fileEdit()->setText(" /data/kelvo.sqlite ");
    dialog.keepDaysBox()->setValue(365);
    const ArchiveSettings edited = dialog.settings();
    EXPECT_FALSE(edited.enabled);
    EXPECT_EQ(edited.file, "/data/kelvo.sqlite");
    EXPECT_EQ(edited.keepDays, 365);
    dialog.fileEdit()->setText("  ");
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_FALSE(buttons->button(QDialogButtonBox::Ok)->isEnabled());
}
