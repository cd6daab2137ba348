#include <gtest/gtest.h>

#include <QLineEdit>
#include <algorithm>
#include <cctype>
#include <string>

#include "support/QtTestApp.h"
#include "ui/dialogs/DialogDriver.h"
#include "ui/dialogs/ExportIntervalDialog.h"
#include "ui/dialogs/ExportIntervalEditor.h"
#include "ui/dialogs/SpinButton.h"

namespace {

using E = ExportIntervalEditor;

// Clicks as text: "h+" is one click up on the hours spin, "s-" one down on the seconds spin;
// a count in front repeats it ("40s-").
void click(E& editor, const std::string& clicks) {
    size_t i = 0;
    while (i < clicks.size()) {
        int times = 0;
        while (std::isdigit(static_cast<unsigned char>(clicks[i])))
            times = times * 10 + (clicks[i++] - '0');
        const char field = clicks[i++];
        const int delta = clicks[i++] == '+' ? 1 : -1;
        const E::Field f = field == 'h' ? E::Hours : field == 'm' ? E::Minutes : E::Seconds;
        for (int n = 0; n < std::max(times, 1); ++n) editor.step(f, delta);
    }
}

std::string shown(const E& e) {
    return std::to_string(e.value(E::Hours)) + ":" + std::to_string(e.value(E::Minutes)) + ":" +
           std::to_string(e.value(E::Seconds));
}

struct SpinCase {
    const char* name;
    uint32_t interval;
    const char* clicks;
    const char* shown;
    bool acceptable;
    bool minutesAndSecondsEnabled = true;
};

TEST(ExportIntervalEditor, SpinClicksFollowTheFieldRules) {
    constexpr uint32_t h = 3600, m = 60;
    const SpinCase cases[] = {
        {"default opens as 0:1:0", 60, "", "0:1:0", true},
        {"seconds held at 10 with hours and minutes 0", 10, "s-", "0:0:10", true},
        {"the step up after the floor shows 11", 10, "s-s+", "0:0:11", true},
        {"opened below the floor, steps from the lifted spin", 8, "s+s+", "0:0:13", true},
        {"many steps down from 30 stop at 10", 30, "40s-", "0:0:10", true},
        {"minutes down keeps 3 seconds, refused", 63, "m-", "0:0:3", false},
        {"minutes down keeps 5 seconds, accepted", 65, "m-", "0:0:5", true},
        {"hours down from 1:0:0 keeps 0 seconds", h, "h-", "0:0:0", false},
        {"hours up to 24 forces 24:0:0", 23 * h + 59 * m + 59, "h+", "24:0:0", true, false},
        {"back to 23 enables at 23:0:0", 23 * h + 30 * m + 15, "h+h-", "23:0:0", true},
        {"after a full day the seconds spin starts at 0", 23 * h + 40, "h+h-s+", "23:0:1", true},
        {"disabled spins ignore clicks", 23 * h, "h+s+m+", "24:0:0", true, false},
        {"hours never pass 24", 24 * h, "3h+", "24:0:0", true, false},
        {"hours down at 0 lifts low seconds to 10", 5, "h-", "0:0:10", true},
        {"minutes down at 0 lifts low seconds to 10", 7, "m-", "0:0:10", true},
        {"hours down at 0 keeps seconds with minutes set", 65, "h-", "0:1:5", true},
        {"seconds never past 59", h + 59, "3s+", "1:0:59", true},
        {"minutes never past 59", 59 * m, "3m+", "0:59:0", true},
        {"seconds never below 0 with an hour set", h, "2s-", "1:0:0", true},
        {"a full day from the file keeps its spins enabled", 24 * h, "", "24:0:0", true},
        // Edited files: kept as they are until the user steps a spin.
        {"past a day opens as it is", 90000, "", "25:0:0", true},
        {"past a day, the hours spin steps from 24", 90000, "h-", "23:0:0", true},
        {"the largest interval opens whole", 0xFFFFFFFFu, "", "1193046:28:15", true},
        {"below 5 seconds opens as it is and is refused", 3, "", "0:0:3", false},
        {"nothing at all is refused", 0, "", "0:0:0", false},
    };
    for (const SpinCase& c : cases) {
        SCOPED_TRACE(c.name);
        E editor(c.interval);
        click(editor, c.clicks);
        EXPECT_EQ(shown(editor), c.shown);
        EXPECT_EQ(editor.acceptable(), c.acceptable);
        EXPECT_EQ(editor.enabled(E::Minutes), c.minutesAndSecondsEnabled);
        EXPECT_EQ(editor.enabled(E::Seconds), c.minutesAndSecondsEnabled);
        EXPECT_EQ(editor.interval(),
                  static_cast<uint32_t>(editor.value(E::Hours) * h + editor.value(E::Minutes) * m +
                                        editor.value(E::Seconds)));
        // Untouched, the dialog gives back what it was given.
        if (*c.clicks == '\0') {
            EXPECT_EQ(editor.interval(), c.interval);
        }
    }
}

class ExportConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override { qtTestApp(); }
};

TEST_F(ExportConfigDialogTest, BoxesFollowTheSpinsAndOkRefusesBelowFiveSeconds) {
    ExportIntervalDialog dlg(63);
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

    for (int i = 0; i < 25; ++i) dlg.spin(E::Hours)->stepUp();
    EXPECT_EQ(dlg.box(E::Hours)->text() + dlg.box(E::Minutes)->text() + dlg.box(E::Seconds)->text(),
              "2400");
    EXPECT_FALSE(dlg.spin(E::Minutes)->isEnabled());
    EXPECT_FALSE(dlg.spin(E::Seconds)->isEnabled());
}

}  // namespace
