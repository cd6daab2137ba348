#include "ui/dialogs/ArchiveSettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

ArchiveSettingsDialog::ArchiveSettingsDialog(const ArchiveSettings& settings, QWidget* parent)
    : QDialog(parent),
      m_enabled(new QCheckBox(QStringLiteral("Keep every sample in the archive"), this)),
      m_file(new QLineEdit(QString::fromStdString(settings.file), this)),
      m_keepDays(new QSpinBox(this)) {
    setWindowTitle(QStringLiteral("Archive Settings"));
    m_enabled->setChecked(settings.enabled);
    m_keepDays->setRange(0, 36500);
    m_keepDays->setValue(settings.keepDays);
    m_keepDays->setSpecialValueText(QStringLiteral("Keep everything"));
    m_keepDays->setSuffix(QStringLiteral(" days"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // An empty file name has nowhere to go.
    connect(m_file, &QLineEdit::textChanged, this, [this, buttons](const QString& text) {
        buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.trimmed().isEmpty());
    });
    auto* form = new QFormLayout(this);
    form->addRow(m_enabled);
    form->addRow(QStringLiteral("File"), m_file);
    form->addRow(QStringLiteral("Keep"), m_keepDays);
    form->addRow(buttons);
}

ArchiveSettings ArchiveSettingsDialog::settings() const {
    return {m_enabled->isChecked(), m_file->text().trimmed().toStdString(), m_keepDays->value()};
}

bool runArchiveSettingsDialog(ArchiveSettings& settings, QWidget* parent) {
    ArchiveSettingsDialog dialog(settings, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    settings = dialog.settings();
    return true;
}
