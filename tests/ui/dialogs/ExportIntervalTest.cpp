#include <gtest/gtest.h>

#include <QLineEdit>
#include <string>
#include <vector>

#include "ui/dialogs/CExportConfigDlg.h"
#include "ui/dialogs/DialogDriver.h"
#include "ui/dialogs/ExportIntervalEditor.h"
#include "ui/dialogs/SpinButton.h"

namespace {

using E = ExportIntervalEditor;

struct Click {
    E::Field field;
    int delta;
};

struct SpinCase {
    const char* name;
    uint32_t interval;
    std::vector<Click> clicks;
    int hours, minutes, seconds;
    bool acceptable;
    bool minutesAndSecondsEnabled = true;
};

std::vector<Click> repeat(Click click, int times) { return std::vector<Click>(times, click); }

TEST(ExportIntervalEditor, SpinClicksFollowTheFieldRules) {
    const SpinCase cases[] = {
        {"default opens as 0:1:0", 60, {}, 0, 1, 0, true},
        {"seconds held at 10 when hours and minutes are 0", 10, {{E::Seconds, -1}}, 0, 0, 10, true},
        {"the step up after the floor shows 11",
         10,
         {{E::Seconds, -1}, {E::Seconds, +1}},
         0,
         0,
         11,
         true},
        {"many steps down from 30 stop at 10", 30, repeat({E::Seconds, -1}, 40), 0, 0, 10, true},
        {"minutes down keeps 3 seconds, refused at OK", 63, {{E::Minutes, -1}}, 0, 0, 3, false},
        {"minutes down keeps 5 seconds, accepted", 65, {{E::Minutes, -1}}, 0, 0, 5, true},
        {"hours down from 1:0:0 keeps 0 seconds", 3600, {{E::Hours, -1}}, 0, 0, 0, false},
        {"hours up to 24 forces 24:0:0",
         23 * 3600 + 59 * 60 + 59,
         {{E::Hours, +1}},
         24,
         0,
         0,
         true,
         false},
        {"back to 23 enables minutes and seconds at 0",
         23 * 3600 + 30 * 60 + 15,
         {{E::Hours, +1}, {E::Hours, -1}},
         23,
         0,
         0,
         true},
        {"disabled spins ignore clicks at 24 hours",
         23 * 3600,
         {{E::Hours, +1}, {E::Seconds, +1}, {E::Minutes, +1}},
         24,
         0,
         0,
         true,
         false},
        {"hours never pass 24", 24 * 3600, repeat({E::Hours, +1}, 3), 24, 0, 0, true, false},
        {"hours down at 0 lifts low seconds to 10", 5, {{E::Hours, -1}}, 0, 0, 10, true},
        {"minutes down at 0 lifts low seconds to 10", 7, {{E::Minutes, -1}}, 0, 0, 10, true},
        {"hours down at 0 leaves seconds with minutes set", 65, {{E::Hours, -1}}, 0, 1, 5, true},
        {"seconds never past 59", 3600 + 59, repeat({E::Seconds, +1}, 3), 1, 0, 59, true},
        {"minutes never past 59", 59 * 60, repeat({E::Minutes, +1}, 3), 0, 59, 0, true},
        {"seconds never below 0 with an hour set", 3600, repeat({E::Seconds, -1}, 2), 1, 0, 0,
         true},
        {"a day opened from the file keeps its spins enabled", 24 * 3600, {}, 24, 0, 0, true},
        {"an edited file past a day opens as 24:0:0", 100000, {}, 24, 0, 0, true},
        {"an edited file below 5 seconds is refused", 0, {}, 0, 0, 0, false},
    };
    for (const SpinCase& c : cases) {
        SCOPED_TRACE(c.name);
        E editor(c.interval);
        for (const Click& click : c.clicks) editor.step(click.field, click.delta);
        EXPECT_EQ(editor.value(E::Hours), c.hours);
        EXPECT_EQ(editor.value(E::Minutes), c.minutes);
        EXPECT_EQ(editor.value(E::Seconds), c.seconds);
        EXPECT_EQ(editor.acceptable(), c.acceptable);
        EXPECT_EQ(editor.enabled(E::Minutes), c.minutesAndSecondsEnabled);
        EXPECT_EQ(editor.enabled(E::Seconds), c.minutesAndSecondsEnabled);
        EXPECT_EQ(editor.interval(),
                  static_cast<uint32_t>(c.hours * 3600 + c.minutes * 60 + c.seconds));
    }
}

// Positions move independently of the values: after stepping the hours down to 0 the seconds
// spin sits where the hours handler put it, and its next click starts from there.
TEST(ExportIntervalEditor, SpinPositionsCarryBetweenClicks) {
    E editor(8);  // 0:0:8, opened below the seconds floor
    editor.step(E::Seconds, +1);
    EXPECT_EQ(editor.value(E::Seconds), 10);
    EXPECT_EQ(editor.position(E::Seconds), 12);
    editor.step(E::Seconds, +1);
    EXPECT_EQ(editor.value(E::Seconds), 13);

    E full(23 * 3600 + 40);
    full.step(E::Hours, +1);
    full.step(E::Hours, -1);
    full.step(E::Seconds, +1);  // from the position the full day reset, not from 40
    EXPECT_EQ(full.value(E::Seconds), 1);
}

class ExportConfigDialog : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
};

TEST_F(ExportConfigDialog, OkRefusesBelowFiveSecondsAndStaysOpen) {
    CExportConfigDlg dlg(63);
    dlg.show();
    dlg.spin(E::Minutes)->stepDown();
    EXPECT_EQ(dlg.box(E::Minutes)->text(), "0");
    EXPECT_EQ(dlg.box(E::Seconds)->text(), "3");

    BoxAnswerer answerer;
    dlg.accept();
    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(answerer.seen[0].text, "The interval can't be less than 5 seconds!");
    EXPECT_EQ(answerer.seen[0].caption, "vorn");
    EXPECT_EQ(answerer.seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(answerer.seen[0].buttons, QMessageBox::Ok);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);

    dlg.spin(E::Seconds)->stepUp();  // 0:0:3 -> floor 10, spin then at 12
    dlg.accept();
    EXPECT_EQ(answerer.seen.size(), 1u);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.interval(), 10u);
}

TEST_F(ExportConfigDialog, FullDayGreysMinutesAndSecondsSpins) {
    CExportConfigDlg dlg(23 * 3600 + 5 * 60 + 7);
    dlg.spin(E::Hours)->stepUp();
    EXPECT_EQ(dlg.box(E::Hours)->text(), "24");
    EXPECT_EQ(dlg.box(E::Minutes)->text(), "0");
    EXPECT_EQ(dlg.box(E::Seconds)->text(), "0");
    EXPECT_FALSE(dlg.spin(E::Minutes)->isEnabled());
    EXPECT_FALSE(dlg.spin(E::Seconds)->isEnabled());
    dlg.spin(E::Hours)->stepDown();
    EXPECT_EQ(dlg.box(E::Hours)->text(), "23");
    EXPECT_TRUE(dlg.spin(E::Minutes)->isEnabled());
    EXPECT_TRUE(dlg.spin(E::Seconds)->isEnabled());
    EXPECT_EQ(dlg.interval(), 23u * 3600);
}

}  // namespace
