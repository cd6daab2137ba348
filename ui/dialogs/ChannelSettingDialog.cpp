#include "ui/dialogs/ChannelSettingDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/store/ChannelName.h"

ChannelSettingDialog::ChannelSettingDialog(ChannelTable& channels, ConfigSaver save,
                                           QWidget* parent)
    : QDialog(parent), m_channels(channels), m_save(std::move(save)) {
    setWindowTitle(QStringLiteral("Channel setting"));

    for (int k = 0; k < 12; ++k)
        m_names[k] = QString::fromStdString(channelName(m_channels[kFirstLoad + k]));

    auto* frame = new QGroupBox(this);
    auto* grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral("Channel_No")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Channel_Name")), 0, 1);
    for (int k = 0; k < 12; ++k) {
        auto* number = new QLabel(QString::number(k + 1));
        number->setAlignment(Qt::AlignCenter);
        grid->addWidget(number, k + 1, 0);
        auto* edit = new QLineEdit(m_names[k]);
        edit->setObjectName(QStringLiteral("edit%1").arg(kEditIds[k]));
        edit->setMaxLength(kEditChars);
        edit->setMinimumWidth(240);
        grid->addWidget(edit, k + 1, 1);
        m_edits[k] = edit;
    }
    // OK left of Cancel on every desktop: a button box would order them as the theme says.
    auto* ok = new QPushButton(QStringLiteral("OK"));
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &ChannelSettingDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(cancel, &QPushButton::clicked, this, &ChannelSettingDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 13, 0, 1, 2);

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
    setLayout(outer);
}

void ChannelSettingDialog::accept() {
    // Only edited names are rewritten: a name held in another encoding shows with
    // replacement characters, and writing those back would destroy its bytes.
    std::array<bool, 12> edited{};
    for (int k = 0; k < 12; ++k) {
        edited[k] = m_edits[k]->text() != m_names[k];
        m_names[k] = m_edits[k]->text();
    }

    for (int k = 0; k < 12; ++k) {
        if (edited[k]) storeChannelName(m_channels[kFirstLoad + k], m_names[k].toStdString());
    }
    // A file that cannot be written is not reported; the names stay for the rest of the run.
    if (m_save) m_save();
    QDialog::accept();
}
