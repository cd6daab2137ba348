#include "ui/dialogs/ExportConfigDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/dialogs/DialogMessage.h"
#include "ui/dialogs/DialogUnits.h"
#include "ui/dialogs/SpinButton.h"

using Field = ExportIntervalEditor::Field;

ExportConfigDialog::ExportConfigDialog(uint32_t exportInterval, QWidget* parent)
    : QDialog(parent), m_editor(exportInterval) {
    const DialogUnits& du = kSystem10Units;
    setWindowTitle(QStringLiteral("Data Export Config"));
    setFixedSize(du.size(187, 94));

    auto label = [&](const char* text, QRect where) {
        auto* l = new QLabel(QString::fromLatin1(text), this);
        l->setGeometry(where);
        return l;
    };
    label("The inteval between contiguous data  exportations", du.rect(1, 1, 164, 8));
    label("hour:", du.rect(52, 17, 18, 8));
    label("minute:", du.rect(45, 38, 25, 8));
    label("second:", du.rect(43, 59, 27, 8));

    struct Row {
        Field field;
        const char* name;
        QRect box;
        QRect spin;
    };
    const Row rows[] = {
        {ExportIntervalEditor::Hours, "hours", du.rect(74, 16, 40, 12), du.rect(122, 15, 9, 14)},
        {ExportIntervalEditor::Minutes, "minutes", du.rect(74, 37, 40, 12),
         du.rect(122, 36, 10, 14)},
        {ExportIntervalEditor::Seconds, "seconds", du.rect(74, 58, 40, 12),
         du.rect(122, 57, 10, 14)},
    };
    for (const Row& row : rows) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(row.name));
        box->setReadOnly(true);
        box->setAlignment(Qt::AlignCenter);
        box->setGeometry(row.box);
        m_boxes[row.field] = box;
        auto* spin = new SpinButton(this);
        spin->setGeometry(row.spin);
        const Field field = row.field;
        connect(spin, &SpinButton::stepped, this, [this, field](int d) { onStep(field, d); });
        m_spins[row.field] = spin;
    }

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    ok->setGeometry(du.rect(54, 79, 30, 12));
    connect(ok, &QPushButton::clicked, this, &ExportConfigDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setGeometry(du.rect(104, 79, 30, 12));
    connect(cancel, &QPushButton::clicked, this, &ExportConfigDialog::reject);

    showValues();
}

void ExportConfigDialog::onStep(Field field, int delta) {
    m_editor.step(field, delta);
    showValues();
}

void ExportConfigDialog::showValues() {
    for (Field f : {ExportIntervalEditor::Hours, ExportIntervalEditor::Minutes,
                    ExportIntervalEditor::Seconds}) {
        m_boxes[f]->setText(QString::number(m_editor.value(f)));
        m_spins[f]->setEnabled(m_editor.enabled(f));
    }
}

void ExportConfigDialog::accept() {
    if (!m_editor.acceptable()) {
        showVornMessage(this, QStringLiteral("The interval can't be less than 5 seconds!"));
        return;
    }
    QDialog::accept();
}
