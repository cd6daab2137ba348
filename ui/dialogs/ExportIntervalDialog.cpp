#include "ui/dialogs/ExportIntervalDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/base/KeptTexts.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/SpinButton.h"
#include "ui/framework/MessageBoxSink.h"

using Field = ExportIntervalEditor::Field;

ExportIntervalDialog::ExportIntervalDialog(uint32_t exportInterval, QWidget* parent)
    : QDialog(parent), m_editor(exportInterval) {
    const DialogUnits& du = kSystem10Units;
    setWindowTitle(QStringLiteral("Data Export Config"));
    setFixedSize(du.size(187, 94));

    auto label = [&](const char* text, QRect where) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(where);
        return l;
    };
    label(kept::kExportIntervalLabel, du.rect(1, 1, 164, 8));
    label("hour:", du.rect(52, 17, 18, 8));
    label("minute:", du.rect(45, 38, 25, 8));
    label("second:", du.rect(43, 59, 27, 8));

    // Each box shows its field; the spin beside it steps the field and is not linked to it.
    addField(ExportIntervalEditor::Hours, "hours", du.rect(74, 16, 40, 12),
             du.rect(122, 15, 9, 14));
    addField(ExportIntervalEditor::Minutes, "minutes", du.rect(74, 37, 40, 12),
             du.rect(122, 36, 10, 14));
    addField(ExportIntervalEditor::Seconds, "seconds", du.rect(74, 58, 40, 12),
             du.rect(122, 57, 10, 14));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(54, 79, 30, 12));
    connect(ok, &QPushButton::clicked, this, &ExportIntervalDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(du.rect(104, 79, 30, 12));
    connect(cancel, &QPushButton::clicked, this, &ExportIntervalDialog::reject);

    showValues();
}

void ExportIntervalDialog::addField(Field field, const char* name, QRect boxArea, QRect spinArea) {
    auto* box = new QLineEdit(this);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignCenter);
    box->setGeometry(boxArea);
    m_boxes[field] = box;
    auto* spin = new SpinButton(this);
    spin->setGeometry(spinArea);
    connect(spin, &SpinButton::stepped, this, [this, field](int d) { onStep(field, d); });
    m_spins[field] = spin;
}

void ExportIntervalDialog::onStep(Field field, int delta) {
    m_editor.step(field, delta);
    showValues();
}

void ExportIntervalDialog::showValues() {
    for (Field f : {ExportIntervalEditor::Hours, ExportIntervalEditor::Minutes,
                    ExportIntervalEditor::Seconds}) {
        m_boxes[f]->setText(QString::number(m_editor.value(f)));
        m_spins[f]->setEnabled(m_editor.enabled(f));
    }
}

void ExportIntervalDialog::accept() {
    if (!m_editor.acceptable()) {
        showMessageBox(QStringLiteral("The interval can't be less than 5 seconds!"), this);
        return;
    }
    QDialog::accept();
}
