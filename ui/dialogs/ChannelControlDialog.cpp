#include "ui/dialogs/ChannelControlDialog.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/base/KeptTexts.h"
#include "core/store/ChannelName.h"
#include "ui/framework/MessageBoxSink.h"

ChannelControlDialog::ChannelControlDialog(const ChannelTable& channels, ChannelSwitcher switcher,
                                           QWidget* parent)
    : QDialog(parent), m_switcher(std::move(switcher)), m_states(statesFromReading(channels)) {
    setWindowTitle(QStringLiteral("Channel Control"));

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Channel_No")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Channel_Name")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("State")), 0, 2, 1, 2);
    for (int row = 0; row < static_cast<int>(kRowIds.size()); ++row)
        addChannelRow(*grid, row, channels);

    m_confirm = new QPushButton(QStringLiteral("Confirm"));
    m_confirm->setObjectName(QStringLiteral("confirm"));
    m_confirm->setDefault(true);
    m_quit = new QPushButton(QStringLiteral("Quit"));
    m_quit->setObjectName(QStringLiteral("quit"));
    connect(m_confirm, &QPushButton::clicked, this, &ChannelControlDialog::confirm);
    connect(m_quit, &QPushButton::clicked, this, &ChannelControlDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    buttons->addWidget(m_quit);
    buttons->addStretch();

    auto* outer = new QVBoxLayout(this);
    outer->addLayout(grid);
    outer->addLayout(buttons);
}

void ChannelControlDialog::addChannelRow(QGridLayout& grid, int row, const ChannelTable& channels) {
    const bool load = row < kSwitchableChannels;
    auto* number = new QLabel(QString::number(row + 1));
    number->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("Channel_Name"));
    name->setObjectName(QStringLiteral("name%1").arg(kRowIds[row].name));
    name->setMinimumWidth(200);
    auto* on = new QRadioButton(QStringLiteral("On"));
    on->setObjectName(QStringLiteral("on%1").arg(kRowIds[row].on));
    auto* off = new QRadioButton(QStringLiteral("Off"));
    off->setObjectName(QStringLiteral("off%1").arg(kRowIds[row].off));
    auto* pair = new QButtonGroup(this);  // each pair is a group of its own
    pair->addButton(on);
    pair->addButton(off);
    grid.addWidget(number, row + 1, 0);
    grid.addWidget(name, row + 1, 1);
    grid.addWidget(on, row + 1, 2);
    grid.addWidget(off, row + 1, 3);
    if (!load) {
        for (QWidget* w : {static_cast<QWidget*>(number), static_cast<QWidget*>(name),
                           static_cast<QWidget*>(on), static_cast<QWidget*>(off)}) {
            w->hide();
        }
        return;
    }
    name->setText(QString::fromStdString(channelName(channels[kFirstLoad + row])));
    on->setChecked(m_states[row] == kStateOn);
    off->setChecked(m_states[row] == kStateOff);
    m_on[row] = on;
    m_off[row] = off;
}

ChannelControlDialog::~ChannelControlDialog() {
    // A running exchange is bounded by its timeouts; its result is dropped with the dialog.
    if (m_exchange.joinable()) m_exchange.join();
}

void ChannelControlDialog::reject() {
    if (exchangeRunning()) return;
    QDialog::reject();
}

void ChannelControlDialog::confirm() {
    if (exchangeRunning()) return;
    const ChannelStates before = m_states;
    for (int k = 0; k < kSwitchableChannels; ++k) {
        m_states[k] = m_on[k]->isChecked()    ? kStateOn
                      : m_off[k]->isChecked() ? kStateOff
                                              : kStateNone;
    }
    // The selection becomes the reference whether or not the switch succeeds.
    const std::string request = buildSwitchRequest(before, m_states);
    if (request.empty()) return;

    setButtonsEnabled(false);
    m_exchange = std::thread([this, request, switcher = m_switcher] {
        const bool succeeded = switcher && switcher(request);
        // Queued to the GUI thread; dropped by Qt if the dialog is gone by then.
        QMetaObject::invokeMethod(
            this, [this, succeeded] { finishExchange(succeeded); }, Qt::QueuedConnection);
    });
}

void ChannelControlDialog::finishExchange(bool succeeded) {
    m_exchange.join();
    setButtonsEnabled(true);
    showMessageBox(succeeded ? QString::fromLatin1(kept::kSwitchSucceeded)
                             : QStringLiteral("Change channel state failed!"),
                   this);
}

void ChannelControlDialog::setButtonsEnabled(bool enabled) {
    m_confirm->setEnabled(enabled);
    m_quit->setEnabled(enabled);
}
