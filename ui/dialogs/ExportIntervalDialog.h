#pragma once

#include <QDialog>
#include <QRect>
#include <cstdint>

#include "ui/dialogs/ExportIntervalEditor.h"

class QLineEdit;
class SpinButton;

// Edits the export interval as hours, minutes and seconds. OK refuses less than 5 seconds;
// the caller stores interval() only when the dialog ends with OK.
class ExportIntervalDialog : public QDialog {
    Q_OBJECT
public:
    explicit ExportIntervalDialog(uint32_t exportInterval, QWidget* parent = nullptr);

    uint32_t interval() const { return m_editor.interval(); }

    // Spins and boxes by field, for the window and its tests.
    SpinButton* spin(ExportIntervalEditor::Field field) const { return m_spins[field]; }
    QLineEdit* box(ExportIntervalEditor::Field field) const { return m_boxes[field]; }

public slots:
    void accept() override;

private:
    // The read-only box of one field at `boxArea` and its spin at `spinArea` (pixels).
    void addField(ExportIntervalEditor::Field field, const char* name, QRect boxArea,
                  QRect spinArea);
    void onStep(ExportIntervalEditor::Field field, int delta);
    void showValues();

    ExportIntervalEditor m_editor;
    SpinButton* m_spins[3]{};
    QLineEdit* m_boxes[3]{};
};
