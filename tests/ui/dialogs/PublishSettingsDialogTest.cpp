// The MQTT Publishing dialog against a real mosquitto broker on 127.0.0.1.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include "support/BrokerProcess.h"
#include "support/QtTestApp.h"
#include "ui/dialogs/PublishSettingsDialog.h"

namespace {

// Runs the event loop until the dialog's test has an outcome (10 s at most); the outcome.
QString waitForOutcome(PublishSettingsDialog& dialog) {
    QElapsedTimer waited;
    waited.start();
    while (!dialog.testButton()->isEnabled() && waited.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return dialog.testResult()->text();
}

}  // namespace

TEST(PublishSettingsDialog, TestConnectionReportsTheBrokerWithoutHoldingTheWindow) {
    qtTestApp();
    BrokerProcess broker;
    ASSERT_TRUE(broker.start("kelvo", "secret"));

    PublishSettings given;
    given.host = "127.0.0.1";
    given.port = broker.port();
    given.username = "kelvo";
    given.password = "wrong";
    PublishSettingsDialog dialog(given);

    struct Case {
        const char* password;
        bool brokerRunning;
        const char* outcomeStart;
    } cases[] = {
        {"wrong", true, "Failed: "},
        {" secret", true, "Failed: "},  // a space is part of a password, never trimmed
        {"secret", true, "Connected to 127.0.0.1:"},
        {"secret", false, "Failed: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.password);
        if (!c.brokerRunning) broker.stop();
        dialog.passwordEdit()->setText(c.password);
        QElapsedTimer call;
        call.start();
        dialog.testButton()->click();
        // The window's thread only starts the attempt.
        EXPECT_LT(call.elapsed(), 100);
        EXPECT_FALSE(dialog.testButton()->isEnabled());
        EXPECT_TRUE(waitForOutcome(dialog).startsWith(c.outcomeStart))
            << dialog.testResult()->text().toStdString();
    }
}

TEST(PublishSettingsDialog, EditsEveryKeyAndFallsBackToTheDefaultPrefixes) {
    qtTestApp();
    PublishSettings given;
    given.host = "broker.lan";
    given.allowSwitching = true;
    PublishSettingsDialog dialog(given);
    EXPECT_EQ(dialog.hostEdit()->text(), "broker.lan");
    EXPECT_TRUE(dialog.switchingBox()->isChecked());
    EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);

    dialog.hostEdit()->setText("  10.0.0.2 ");
    dialog.portBox()->setValue(8883);
    dialog.switchingBox()->setChecked(false);
    for (auto* edit : dialog.findChildren<QLineEdit*>())
        if (edit->text() == "kelvo" || edit->text() == "homeassistant") edit->clear();
    const PublishSettings edited = dialog.settings();
    EXPECT_EQ(edited.host, "10.0.0.2");
    EXPECT_EQ(edited.port, 8883);
    EXPECT_FALSE(edited.allowSwitching);
    EXPECT_EQ(edited.prefix, "kelvo");
    EXPECT_EQ(edited.discoveryPrefix, "homeassistant");
}

TEST(PublishSettingsDialog, ClosesAtOnceWhileATestWaitsForASilentHost) {
    qtTestApp();
    SilentListener silent;
    PublishSettings given;
    given.host = "127.0.0.1";
    given.port = silent.port();
    QElapsedTimer closing;
    {
        PublishSettingsDialog dialog(given);
        dialog.testButton()->click();
        QApplication::processEvents(QEventLoop::AllEvents, 100);
        EXPECT_EQ(dialog.testResult()->text(), "Connecting...");
        closing.start();
    }
    EXPECT_LT(closing.elapsed(), 1000);  // the test itself goes on for up to 5 s
}

TEST(PublishSettingsDialog, RefusesWildcardPrefixesAndWarnsOfAPasswordWithoutTls) {
    qtTestApp();
    PublishSettings given;
    given.nodeId = "kelvo_1a2b3c";
    PublishSettingsDialog dialog(given);
    struct Case {
        const char* prefix;
        const char* discoveryPrefix;
        bool accepted;
    } cases[] = {
        {"kelvo/+", "homeassistant", false},    {"kelvo", "home/#", false},
        {"kelvo/", "homeassistant", false},     {"a//b", "homeassistant", false},
        {"house/kelvo", "homeassistant", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.prefix);
        dialog.setResult(QDialog::Rejected);
        dialog.problemText()->clear();
        dialog.prefixEdit()->setText(c.prefix);
        dialog.discoveryPrefixEdit()->setText(c.discoveryPrefix);
        dialog.accept();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.accepted);
        EXPECT_EQ(dialog.problemText()->text().isEmpty(), c.accepted)
            << dialog.problemText()->text().toStdString();
    }
    EXPECT_EQ(dialog.settings().nodeId, "kelvo_1a2b3c");  // not the dialog's to change

    dialog.show();
    dialog.passwordEdit()->setText("secret");
    EXPECT_TRUE(dialog.passwordWarning()->isVisible());
    dialog.tlsBox()->setChecked(true);
    EXPECT_FALSE(dialog.passwordWarning()->isVisible());
    dialog.certFileEdit()->setText("/etc/kelvo/client.pem");
    dialog.keyFileEdit()->setText("/etc/kelvo/client.key");
    const PublishSettings edited = dialog.settings();
    EXPECT_TRUE(edited.usesTls());
    EXPECT_EQ(edited.tlsCaFile, "");  // the system's trust store
    EXPECT_EQ(edited.tlsKeyFile, "/etc/kelvo/client.key");
}
