#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <memory>

#include "core/acquisition/Recorder.h"
#include "core/base/Clock.h"
#include "support/QtTestApp.h"
#include "ui/dialogs/ChannelControlDialog.h"
#include "ui/dialogs/ChannelSettingDialog.h"
#include "ui/dialogs/DialogCommands.h"
#include "ui/dialogs/DialogDriver.h"
#include "ui/dialogs/ExportIntervalDialog.h"
#include "ui/dialogs/LoginDialog.h"
#include "ui/dialogs/SpinButton.h"
#include "ui/framework/MessageBoxSink.h"
#include "ui/framework/PrinterSetupDialog.h"

namespace {

class NoPorts final : public SerialPorts {
public:
    std::unique_ptr<SerialPort> open(int) override { return nullptr; }
};

// The dialogs as the menu commands run them, against the real link, configuration file and
// message box, with no device attached.
class DialogCommands : public ::testing::Test {
protected:
    void SetUp() override {
        qtTestApp();
        ASSERT_TRUE(dir.isValid());
        recorder.loadConfig(dir.path().toStdString());  // no file: the defaults
    }

    QTemporaryDir dir;
    NoPorts ports;
    MessageBoxSink sink;
    Recorder recorder{ports, sink, SystemClock::instance()};
};

TEST_F(DialogCommands, ChannelControlWithoutLinkReportsTheLinkFailureThenTheResult) {
    BoxAnswerer answerer;
    onModal<ChannelControlDialog>([&](ChannelControlDialog& dlg) {
        dlg.findChild<QRadioButton*>("on1016")->click();
        dlg.findChild<QPushButton*>("confirm")->click();
        auto* quit = dlg.findChild<QPushButton*>("quit");
        when([&answerer, quit] { return answerer.seen.size() == 2 && quit->isEnabled(); },
             [quit] { quit->click(); });
    });
    runChannelControlDialog(recorder, nullptr);
    EXPECT_EQ(answerer.texts(), (QStringList{"Fail to write channel switch command!",
                                             "Change channel state failed!"}));
}

TEST_F(DialogCommands, ChannelSettingOkWritesTheNamesToDastCfg) {
    onModal<ChannelSettingDialog>([](ChannelSettingDialog& dlg) {
        dlg.findChild<QLineEdit*>("edit1001")->setText("Garage");  // channel 2
        dlg.accept();
    });
    ASSERT_TRUE(runChannelSettingDialog(recorder, nullptr));
    QFile file(QString::fromStdString(recorder.config().filePath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    ASSERT_EQ(image.size(), 1365);
    EXPECT_EQ(image.mid(2 + 2 * 76, 7), QByteArray("Garage", 7));  // with its NUL
}

TEST_F(DialogCommands, ExportIntervalChangesOnlyOnOk) {
    for (bool ok : {false, true}) {
        onModal<ExportIntervalDialog>([ok](ExportIntervalDialog& dlg) {
            dlg.spin(ExportIntervalEditor::Minutes)->stepUp();
            ok ? dlg.accept() : dlg.reject();
        });
        EXPECT_EQ(runExportIntervalDialog(recorder, nullptr), ok);
        EXPECT_EQ(recorder.config().exportInterval, ok ? 120u : 60u);
    }
}

// A desktop that puts the confirming button of a dialog last, as some themes do.
class ConfirmLastStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_DialogButtonLayout) return QDialogButtonBox::GnomeLayout;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

TEST_F(DialogCommands, ConfirmingButtonStaysLeftOfCancellingOneWhateverTheDesktopOrder) {
    const QString desktopStyle = QApplication::style()->name();
    QApplication::setStyle(new ConfirmLastStyle);
    DastConfig config = recorder.config();
    struct Case {
        std::unique_ptr<QDialog> dialog;
        const char* confirm;
        const char* cancel;
    };
    Case cases[] = {
        {std::make_unique<ChannelSettingDialog>(config.channels, nullptr), "OK", "Cancel"},
        {std::make_unique<ExportIntervalDialog>(60), "OK", "Cancel"},
        {std::make_unique<ChannelControlDialog>(config.channels, nullptr), "Confirm", "Quit"},
        {std::make_unique<LoginDialog>(config), "Yes", "Quit"},
        {std::make_unique<PrinterSetupDialog>(QStringList{"Office"}, PrinterChoice{}), "OK",
         "Cancel"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.dialog->metaObject()->className());
        c.dialog->show();
        QApplication::processEvents();
        QPushButton* confirm = nullptr;
        QPushButton* cancel = nullptr;
        for (QPushButton* button : c.dialog->findChildren<QPushButton*>()) {
            if (button->text() == c.confirm) confirm = button;
            if (button->text() == c.cancel) cancel = button;
        }
        ASSERT_TRUE(confirm && cancel);
        EXPECT_LT(confirm->mapTo(c.dialog.get(), QPoint()).x(),
                  cancel->mapTo(c.dialog.get(), QPoint()).x());
        EXPECT_TRUE(confirm->isDefault());
        c.dialog->hide();
    }
    QApplication::setStyle(desktopStyle);
}

}  // namespace
