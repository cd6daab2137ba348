#include "ui/dialogs/PublishSettingsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>

#include "core/publish/Publisher.h"

namespace {

QLineEdit* textEdit(const std::string& text, QWidget* parent) {
    return new QLineEdit(QString::fromStdString(text), parent);
}

std::string text(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

PublishSettingsDialog::PublishSettingsDialog(const PublishSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_enabled(new QCheckBox(QStringLiteral("Publish to an MQTT broker"), this)),
      m_host(textEdit(settings.host, this)),
      m_port(new QSpinBox(this)),
      m_username(textEdit(settings.username, this)),
      m_password(textEdit(settings.password, this)),
      m_caFile(textEdit(settings.tlsCaFile, this)),
      m_prefix(textEdit(settings.prefix, this)),
      m_discovery(new QCheckBox(QStringLiteral("Home Assistant discovery"), this)),
      m_discoveryPrefix(textEdit(settings.discoveryPrefix, this)),
      m_switching(new QCheckBox(QStringLiteral("Allow switching channels remotely"), this)),
      m_test(new QPushButton(QStringLiteral("Test Connection"), this)),
      m_result(new QLabel(this)) {
    setWindowTitle(QStringLiteral("MQTT Publishing"));
    m_enabled->setChecked(settings.enabled);
    m_port->setRange(1, 65535);
    m_port->setValue(settings.port);
    m_password->setEchoMode(QLineEdit::Password);
    m_caFile->setPlaceholderText(QStringLiteral("empty: no TLS"));
    m_discovery->setChecked(settings.discovery);
    m_switching->setChecked(settings.allowSwitching);
    m_result->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_test, &QPushButton::clicked, this, &PublishSettingsDialog::testConnection);

    auto* form = new QFormLayout(this);
    form->addRow(m_enabled);
    form->addRow(QStringLiteral("Broker host"), m_host);
    form->addRow(QStringLiteral("Port"), m_port);
    form->addRow(QStringLiteral("User name"), m_username);
    form->addRow(QStringLiteral("Password"), m_password);
    form->addRow(QStringLiteral("CA certificate file"), m_caFile);
    form->addRow(QStringLiteral("Topic prefix"), m_prefix);
    form->addRow(m_discovery);
    form->addRow(QStringLiteral("Discovery prefix"), m_discoveryPrefix);
    form->addRow(m_switching);
    form->addRow(m_test, m_result);
    form->addRow(buttons);
}

PublishSettingsDialog::~PublishSettingsDialog() {
    if (m_tester.joinable()) m_tester.join();
}

PublishSettings PublishSettingsDialog::settings() const {
    PublishSettings s;
    s.enabled = m_enabled->isChecked();
    s.host = text(m_host);
    s.port = m_port->value();
    s.username = text(m_username);
    s.password = m_password->text().toStdString();  // spaces may belong to a password
    s.tlsCaFile = text(m_caFile);
    s.prefix = text(m_prefix).empty() ? PublishSettings{}.prefix : text(m_prefix);
    s.discovery = m_discovery->isChecked();
    s.discoveryPrefix = text(m_discoveryPrefix).empty() ? PublishSettings{}.discoveryPrefix
                                                        : text(m_discoveryPrefix);
    s.allowSwitching = m_switching->isChecked();
    return s;
}

void PublishSettingsDialog::testConnection() {
    if (m_tester.joinable()) m_tester.join();  // the button is disabled while one runs
    m_test->setEnabled(false);
    m_result->setText(QStringLiteral("Connecting..."));
    QPointer<PublishSettingsDialog> self(this);
    m_tester = std::thread([self, settings = settings()] {
        std::string outcome;
        const bool ok = checkBrokerConnection(settings, outcome);
        // Back on the GUI thread; the dialog may be gone by then.
        QMetaObject::invokeMethod(qApp, [self, ok, outcome] {
            if (!self) return;
            self->m_result->setText(QString::fromStdString(ok ? outcome : "Failed: " + outcome));
            self->m_test->setEnabled(true);
        });
    });
}

bool runPublishSettingsDialog(PublishSettings& settings, QWidget* parent) {
    PublishSettingsDialog dialog(settings, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    settings = dialog.settings();
    return true;
}
