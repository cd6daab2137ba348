#pragma once

#include <QDialog>
#include <thread>

#include "core/publish/PublishSettings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "MQTT Publishing": the broker, the credentials, the topics and what may be done remotely,
// with a Test Connection that tries the broker without freezing the window.
class PublishSettingsDialog : public QDialog {
    Q_OBJECT
public:
    PublishSettingsDialog(const PublishSettings& settings, QWidget* parent = nullptr);
    ~PublishSettingsDialog() override;  // waits for a test still running (5 s at most)

    PublishSettings settings() const;
    // Tries the broker with the values as they stand; the outcome shows in testResult().
    void testConnection();

    QLabel* testResult() const { return m_result; }
    QPushButton* testButton() const { return m_test; }
    QLineEdit* hostEdit() const { return m_host; }
    QSpinBox* portBox() const { return m_port; }
    QLineEdit* passwordEdit() const { return m_password; }
    QCheckBox* switchingBox() const { return m_switching; }

private:
    QCheckBox* m_enabled;
    QLineEdit* m_host;
    QSpinBox* m_port;
    QLineEdit* m_username;
    QLineEdit* m_password;
    QLineEdit* m_caFile;
    QLineEdit* m_prefix;
    QCheckBox* m_discovery;
    QLineEdit* m_discoveryPrefix;
    QCheckBox* m_switching;
    QPushButton* m_test;
    QLabel* m_result;
    std::thread m_tester;
};

// Runs the dialog over `settings`; true (settings changed) when confirmed.
bool runPublishSettingsDialog(PublishSettings& settings, QWidget* parent);
