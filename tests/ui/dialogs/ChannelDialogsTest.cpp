#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <atomic>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/config/DastConfig.h"
#include "core/store/ChannelName.h"
#include "support/QtTestApp.h"
#include "ui/dialogs/ChannelControlDialog.h"
#include "ui/dialogs/ChannelSettingDialog.h"
#include "ui/dialogs/DialogDriver.h"
#include "ui/framework/MessageBoxSink.h"

namespace {

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

class ChannelDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        qtTestApp();
        for (int k = 0; k < kChannelRecords; ++k) {
            storeChannelName(config.channels[k], "record " + std::to_string(k));
            config.channels[k].number = static_cast<uint16_t>(k);
        }
    }

    DastConfig config;
};

TEST_F(ChannelDialogs, SettingOkStoresTheNamesAndSavesThem) {
    const std::string legacy = "\xB5\xE7\xC6\xF7 3";  // not UTF-8: bytes of another code page
    storeChannelName(config.channels[3], legacy);
    std::vector<DastConfig> saved;
    ChannelSettingDialog dlg(config.channels, [&] {
        saved.push_back(config);
        return true;
    });
    auto* first = dlg.findChild<QLineEdit*>("edit1003");
    auto* second = dlg.findChild<QLineEdit*>("edit1001");
    auto* twelfth = dlg.findChild<QLineEdit*>("edit1044");
    ASSERT_TRUE(first && second && twelfth);
    EXPECT_EQ(first->text(), "record 1");
    EXPECT_EQ(twelfth->text(), "record 12");

    first->setText("Kitchen");
    twelfth->setText(QString(40, QChar(0x00E4)));  // 40 characters, 80 bytes of UTF-8
    dlg.accept();

    EXPECT_EQ(channelName(config.channels[1]), "Kitchen");
    EXPECT_EQ(channelName(config.channels[2]), "record 2");
    EXPECT_EQ(channelName(config.channels[3]), legacy) << "an untouched name keeps its bytes";
    EXPECT_EQ(channelName(config.channels[12]), repeated("\xC3\xA4", 31));
    for (int k : {0, 13, 14, 15}) {
        EXPECT_EQ(channelName(config.channels[k]), "record " + std::to_string(k));
    }
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(channelName(saved[0].channels[1]), "Kitchen");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

TEST_F(ChannelDialogs, SettingCancelChangesNothingAndAFailedSaveIsSilent) {
    for (bool ok : {false, true}) {
        int saves = 0;
        ChannelSettingDialog dlg(config.channels, [&] { return ++saves, false; });
        dlg.findChild<QLineEdit*>("edit1003")->setText("Kitchen");
        BoxAnswerer answerer;
        ok ? dlg.accept() : dlg.reject();
        EXPECT_EQ(channelName(config.channels[1]), ok ? "Kitchen" : "record 1");
        EXPECT_EQ(saves, ok ? 1 : 0);
        EXPECT_TRUE(answerer.seen.empty());
    }
}

// Records what was sent and answers like the link would.
struct FakeSwitch {
    std::vector<std::string> requests;
    bool answer = true;
    ChannelControlDialog::ChannelSwitcher switcher() {
        return [this](const std::string& request) {
            requests.push_back(request);
            return answer;
        };
    }
};

QRadioButton* radio(ChannelControlDialog& dlg, int channel, bool on) {
    const auto& ids = ChannelControlDialog::kRowIds[channel - 1];
    return on ? dlg.findChild<QRadioButton*>(QStringLiteral("on%1").arg(ids.on))
              : dlg.findChild<QRadioButton*>(QStringLiteral("off%1").arg(ids.off));
}

void confirmAndWait(ChannelControlDialog& dlg) {
    dlg.findChild<QPushButton*>("confirm")->click();
    ASSERT_TRUE(waitFor([&] { return !dlg.exchangeRunning(); }));
}

// Channels 1..12 as the last reading left them: '1' on, '3' off, '.' no reading.
void setReading(DastConfig& config, const char* states) {
    for (int k = 0; k < 12; ++k) config.channels[k + 1].state = states[k] == '.' ? 0 : states[k];
}

// Clicks as text: "+5 -12" selects "On" for channel 5, then "Off" for channel 12.
void clickRadios(ChannelControlDialog& dlg, const std::string& clicks) {
    std::istringstream in(clicks);
    std::string one;
    while (in >> one) radio(dlg, std::stoi(one.substr(1)), one[0] == '+')->click();
}

struct ControlCase {
    const char* name;
    const char* reading;
    const char* clicks;
    const char* request;  // nullptr: nothing sent
    int answer;
};

TEST_F(ChannelDialogs, ConfirmSendsOnlyTheChangedChannels) {
    const ControlCase cases[] = {
        {"disconnected, channel 1 on", "............", "+1", "01,", 0},
        {"channel 5 from off to on", "....3.......", "+5", "05,", 1},
        {"channel 12 from on to off", "...........1", "-12", "112,", 1},
        {"channel 10 off", ".........1..", "-10", "110,", 1},
        {"ascending order whatever the clicks", "..1........3", "+12 -3", "13,012,", 1},
        {"changed and changed back", "......1.....", "-7 +7", nullptr, 1},
        {"no change at all", ".1.3........", "", nullptr, 1},
        {"clicking the selected button", ".1..........", "+2", nullptr, 1},
        {"a state byte other than 1 or 3 selects neither", ".......2....", "-8", "18,", 1},
        {"several entries", "11........3.", "-1 -2 +11 +6", "11,12,06,011,", 0},
    };
    for (const ControlCase& c : cases) {
        SCOPED_TRACE(c.name);
        setReading(config, c.reading);
        FakeSwitch device;
        device.answer = c.answer;
        ChannelControlDialog dlg(config.channels, device.switcher());
        dlg.show();
        clickRadios(dlg, c.clicks);

        BoxAnswerer answerer;
        confirmAndWait(dlg);
        if (c.request) {
            EXPECT_EQ(device.requests, std::vector<std::string>{c.request});
            ASSERT_TRUE(waitFor([&] { return !answerer.seen.empty(); }));
            EXPECT_EQ(answerer.texts(), QStringList{c.answer ? "Change channel state succeed!"
                                                             : "Change channel state failed!"});
            EXPECT_EQ(answerer.seen[0].caption, "vorn");
        } else {
            QApplication::processEvents();
            EXPECT_TRUE(device.requests.empty());
            EXPECT_TRUE(answerer.seen.empty());
        }
        EXPECT_TRUE(dlg.isVisible()) << "the dialog stays open";
    }
}

TEST_F(ChannelDialogs, ConfirmedSelectionIsTheNewReferenceEvenAfterAFailure) {
    FakeSwitch device;
    device.answer = false;
    ChannelControlDialog dlg(config.channels, device.switcher());
    dlg.show();
    BoxAnswerer answerer;
    radio(dlg, 4, false)->click();
    confirmAndWait(dlg);
    EXPECT_TRUE(radio(dlg, 4, false)->isChecked()) << "the selection is kept after a failure";
    confirmAndWait(dlg);
    EXPECT_EQ(device.requests, std::vector<std::string>{"14,"});
    radio(dlg, 4, true)->click();
    confirmAndWait(dlg);
    EXPECT_EQ(device.requests, (std::vector<std::string>{"14,", "04,"}));
}

// The link's own messages come from the exchange thread through a sink that waits until the
// GUI thread has shown them; the GUI thread must stay free for that, and the result comes
// after them.
TEST_F(ChannelDialogs, ExchangeRunsOffTheGuiThreadAndKeepsMessageOrder) {
    QWidget* guiObject = new QWidget;
    std::atomic<bool> onGuiThread{true};
    std::atomic<bool> release{false};
    auto linkMessage = [guiObject](const QString& text) {
        QMetaObject::invokeMethod(
            guiObject, [text] { showMessageBox(text); }, Qt::BlockingQueuedConnection);
    };
    ChannelControlDialog dlg(config.channels, [&](const std::string&) {
        onGuiThread = QThread::currentThread() == qApp->thread();
        linkMessage("No reply from the device");
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return 0;
    });
    dlg.show();
    BoxAnswerer answerer;
    radio(dlg, 9, true)->click();
    dlg.findChild<QPushButton*>("confirm")->click();

    ASSERT_TRUE(waitFor([&] { return answerer.seen.size() == 1; }));
    EXPECT_FALSE(dlg.findChild<QPushButton*>("confirm")->isEnabled());
    EXPECT_FALSE(dlg.findChild<QPushButton*>("quit")->isEnabled());
    dlg.reject();  // Esc or the close box while the exchange runs
    EXPECT_TRUE(dlg.isVisible());

    release = true;
    ASSERT_TRUE(waitFor([&] { return answerer.seen.size() == 2; }));
    EXPECT_FALSE(onGuiThread);
    EXPECT_EQ(answerer.texts(),
              (QStringList{"No reply from the device", "Change channel state failed!"}));
    ASSERT_TRUE(waitFor([&] { return dlg.findChild<QPushButton*>("quit")->isEnabled(); }));
    dlg.findChild<QPushButton*>("quit")->click();
    EXPECT_FALSE(dlg.isVisible());
    delete guiObject;
}

}  // namespace
