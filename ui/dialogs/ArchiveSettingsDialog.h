#pragma once

#include <QDialog>

#include "core/archive/ArchiveSettings.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

// "Archive Settings": whether every sample is archived, in which file, and for how many days.
class ArchiveSettingsDialog : public QDialog {
    Q_OBJECT
public:
    ArchiveSettingsDialog(const ArchiveSettings& settings, QWidget* parent = nullptr);
    ArchiveSettings settings() const;

    QCheckBox* enabledBox() const { return m_enabled; }
    QLineEdit* fileEdit() const { return m_file; }
    QSpinBox* keepDaysBox() const { return m_keepDays; }

private:
    QCheckBox* m_enabled;
    QLineEdit* m_file;
    QSpinBox* m_keepDays;
};

// Runs the dialog over `settings`; true (settings changed) when confirmed.
bool runArchiveSettingsDialog(ArchiveSettings& settings, QWidget* parent);
