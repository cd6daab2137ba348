#include "ui/dialogs/PublishSettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <mutex>
#include <thread>

#include "core/publish/PublishPayloads.h"
#include "core/publish/Publisher.h"

namespace {

QLineEdit* textEdit(const std::string& text, QWidget* parent) {
    return new QLineEdit(QString::fromStdString(text), parent);
}

std::string text(const QLineEdit* edit) { return edit->text().trimmed().toStdString(); }

}  // namespace

// What a Test Connection found; the test's thread fills it, the dialog polls it.
struct PublishSettingsDialog::TestOutcome {
    std::mutex lock;
    bool done = false;
    bool ok = false;
    std::string text;
};

PublishSettingsDialog::PublishSettingsDialog(const PublishSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_given(settings),
      m_enabled(new QCheckBox(QStringLiteral("Publish to an MQTT broker"), this)),
      m_host(textEdit(settings.host, this)),
      m_port(new QSpinBox(this)),
      m_username(textEdit(settings.username, this)),
      m_password(textEdit(settings.password, this)),
      m_passwordWarning(new QLabel(
          QStringLiteral("Without TLS the password travels over the network as plain text."),
          this)),
      m_tls(new QCheckBox(QStringLiteral("Use TLS (certificate and host name verified)"), this)),
      m_caFile(textEdit(settings.tlsCaFile, this)),
      m_certFile(textEdit(settings.tlsCertFile, this)),
      m_keyFile(textEdit(settings.tlsKeyFile, this)),
      m_prefix(textEdit(settings.prefix, this)),
      m_discovery(new QCheckBox(QStringLiteral("Home Assistant discovery"), this)),
      m_discoveryPrefix(textEdit(settings.discoveryPrefix, this)),
      m_switching(new QCheckBox(QStringLiteral("Allow switching channels remotely"), this)),
      m_test(new QPushButton(QStringLiteral("Test Connection"), this)),
      m_result(new QLabel(this)),
      m_problem(new QLabel(this)),
      m_testPoll(new QTimer(this)) {
    setWindowTitle(QStringLiteral("MQTT Publishing"));
    m_enabled->setChecked(settings.enabled);
    m_port->setRange(1, 65535);
    m_port->setValue(settings.port);
    m_password->setEchoMode(QLineEdit::Password);
    m_tls->setChecked(settings.usesTls());
    m_caFile->setPlaceholderText(QStringLiteral("empty: the system's trust store"));
    m_certFile->setPlaceholderText(QStringLiteral("only for a broker that asks for one"));
    m_discovery->setChecked(settings.discovery);
    m_switching->setChecked(settings.allowSwitching);
    m_result->setWordWrap(true);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b00000"));
    m_passwordWarning->setWordWrap(true);
    m_passwordWarning->setStyleSheet(QStringLiteral("color: #b00000"));
    m_testPoll->setInterval(50);
    connect(m_testPoll, &QTimer::timeout, this, &PublishSettingsDialog::showTestOutcome);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PublishSettingsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_test, &QPushButton::clicked, this, &PublishSettingsDialog::testConnection);
    connect(m_password, &QLineEdit::textChanged, this,
            &PublishSettingsDialog::updatePasswordWarning);
    connect(m_tls, &QCheckBox::toggled, this, &PublishSettingsDialog::updatePasswordWarning);

    auto* form = new QFormLayout(this);
    form->addRow(m_enabled);
    form->addRow(QStringLiteral("Broker host"), m_host);
    form->addRow(QStringLiteral("Port"), m_port);
    form->addRow(QStringLiteral("User name"), m_username);
    form->addRow(QStringLiteral("Password"), m_password);
    form->addRow(m_passwordWarning);
    form->addRow(m_tls);
    form->addRow(QStringLiteral("CA certificate file"), m_caFile);
    form->addRow(QStringLiteral("Client certificate file"), m_certFile);
    form->addRow(QStringLiteral("Client key file"), m_keyFile);
    form->addRow(QStringLiteral("Topic prefix"), m_prefix);
    form->addRow(m_discovery);
    form->addRow(QStringLiteral("Discovery prefix"), m_discoveryPrefix);
    form->addRow(m_switching);
    form->addRow(m_test, m_result);
    form->addRow(m_problem);
    form->addRow(buttons);
    updatePasswordWarning();
}

PublishSettingsDialog::~PublishSettingsDialog() = default;

PublishSettings PublishSettingsDialog::settings() const {
    PublishSettings s = m_given;
    s.enabled = m_enabled->isChecked();
    s.host = text(m_host);
    s.port = m_port->value();
    s.username = text(m_username);
    s.password = m_password->text().toStdString();  // spaces may belong to a password
    s.tls = m_tls->isChecked();
    s.tlsCaFile = s.tls ? text(m_caFile) : "";
    s.tlsCertFile = s.tls ? text(m_certFile) : "";
    s.tlsKeyFile = s.tls ? text(m_keyFile) : "";
    s.prefix = text(m_prefix).empty() ? PublishSettings{}.prefix : text(m_prefix);
    s.discovery = m_discovery->isChecked();
    s.discoveryPrefix = text(m_discoveryPrefix).empty() ? PublishSettings{}.discoveryPrefix
                                                        : text(m_discoveryPrefix);
    s.allowSwitching = m_switching->isChecked();
    return s;
}

void PublishSettingsDialog::accept() {
    const PublishSettings s = settings();
    for (const auto& [what, prefix] :
         {std::pair{"Topic prefix", s.prefix}, std::pair{"Discovery prefix", s.discoveryPrefix}}) {
        const std::string problem = publish::topicPrefixProblem(prefix);
        if (problem.empty()) continue;
        m_problem->setText(QStringLiteral("%1 \"%2\" cannot be used: %3.")
                               .arg(QLatin1String(what), QString::fromStdString(prefix),
                                    QString::fromStdString(problem)));
        return;
    }
    m_problem->clear();
    QDialog::accept();
}

void PublishSettingsDialog::updatePasswordWarning() {
    m_passwordWarning->setVisible(!m_password->text().isEmpty() && !m_tls->isChecked());
}

void PublishSettingsDialog::testConnection() {
    if (m_testOutcome) return;  // the button is disabled while one runs
    m_test->setEnabled(false);
    m_result->setText(QStringLiteral("Connecting..."));
    m_testOutcome = std::make_shared<TestOutcome>();
    // Detached: the thread holds only the outcome, which it shares, so the dialog can close
    // while a name lookup or a connection to a silent host is still under way.
    std::thread([outcome = m_testOutcome, settings = settings()] {
        std::string text;
        const bool ok = checkBrokerConnection(settings, text);
        std::lock_guard lock(outcome->lock);
        outcome->ok = ok;
        outcome->text = std::move(text);
        outcome->done = true;
    }).detach();
    m_testPoll->start();
}

void PublishSettingsDialog::showTestOutcome() {
    const std::shared_ptr<TestOutcome> outcome = m_testOutcome;
    if (!outcome) return;
    std::lock_guard lock(outcome->lock);
    if (!outcome->done) return;
    m_testPoll->stop();
    m_result->setText(
        QString::fromStdString(outcome->ok ? outcome->text : "Failed: " + outcome->text));
    m_test->setEnabled(true);
    m_testOutcome.reset();
}

bool runPublishSettingsDialog(PublishSettings& settings, QWidget* parent) {
    PublishSettingsDialog dialog(settings, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    settings = dialog.settings();
    return true;
}
