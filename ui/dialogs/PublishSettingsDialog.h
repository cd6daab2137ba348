#pragma once

#include <QDialog>
#include <memory>

#include "core/publish/PublishSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;

// "MQTT Publishing": the broker, the credentials, TLS, the topics and what may be done
// remotely, with a Test Connection that tries the broker without freezing the window.
class PublishSettingsDialog : public QDialog {
    Q_OBJECT
public:
    PublishSettingsDialog(const PublishSettings& settings, QWidget* parent = nullptr);
    // Returns at once: a test still connecting (a silent host, a stalled name lookup) ends on
    // its own thread, which touches nothing of the dialog.
    ~PublishSettingsDialog() override;

    PublishSettings settings() const;
    // Tries the broker with the values as they stand; the outcome shows in testResult().
    void testConnection();
    // OK: refused, with the reason in problemText(), while a prefix cannot be a topic prefix.
    void accept() override;

    QLabel* testResult() const { return m_result; }
    QLabel* problemText() const { return m_problem; }
    QLabel* passwordWarning() const { return m_passwordWarning; }
    QPushButton* testButton() const { return m_test; }
    QLineEdit* hostEdit() const { return m_host; }
    QSpinBox* portBox() const { return m_port; }
    QLineEdit* passwordEdit() const { return m_password; }
    QLineEdit* prefixEdit() const { return m_prefix; }
    QLineEdit* discoveryPrefixEdit() const { return m_discoveryPrefix; }
    QCheckBox* tlsBox() const { return m_tls; }
    QLineEdit* caFileEdit() const { return m_caFile; }
    QLineEdit* certFileEdit() const { return m_certFile; }
    QLineEdit* keyFileEdit() const { return m_keyFile; }
    QCheckBox* switchingBox() const { return m_switching; }

private:
    struct TestOutcome;
    void updatePasswordWarning();
    void showTestOutcome();

    PublishSettings m_given;  // what the dialog does not edit (the node id) comes back as given
    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_username;
    QLineEdit* m_password;
    QLabel* m_passwordWarning;
    QCheckBox* m_tls;
    QLineEdit* m_caFile;
    QLineEdit* m_certFile;
    QLineEdit* m_keyFile;
    QLineEdit* m_prefix;
    QCheckBox* m_discovery;
    QLineEdit* m_discoveryPrefix;
    QCheckBox* m_switching;
    QPushButton* m_test;
    QLabel* m_result;
    QLabel* m_problem;
    QTimer* m_testPoll;
    std::shared_ptr<TestOutcome> m_testOutcome;  // shared with the test's thread
};

// Runs the dialog over `settings`; true (settings changed) when confirmed.
bool runPublishSettingsDialog(PublishSettings& settings, QWidget* parent);
