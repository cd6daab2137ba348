#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <thread>

#include "core/acquisition/ChannelSwitchRequest.h"
#include "core/store/ChannelRecord.h"

class QGridLayout;
class QPushButton;
class QRadioButton;

// Switches load channels 1..12 on or off at the device. "Confirm" sends one request for the
// channels whose selection changed since the dialog opened or since the previous "Confirm",
// and the dialog stays open; "Quit" closes it.
//
// The exchange waits 500 ms per entry and up to 1.3 s for each reply, so it runs on a
// thread of its own while the window stays responsive; its buttons are disabled and it
// cannot be closed until the result has been shown.
class ChannelControlDialog : public QDialog {
    Q_OBJECT
public:
    // Sends a request text ("05,112,") to the device: true when every entry was acknowledged.
    // Called on the exchange thread; any message it shows must be safe from there.
    using ChannelSwitcher = std::function<bool(const std::string& request)>;

    struct RowIds {
        int name, on, off;
    };
    // Rows 1..15; rows 13..15 exist but stay hidden and take no part.
    static constexpr std::array<RowIds, 15> kRowIds = {{{1001, 1016, 1017},
                                                        {1002, 1018, 1019},
                                                        {1003, 1020, 1021},
                                                        {1004, 1022, 1023},
                                                        {1005, 1024, 1025},
                                                        {1006, 1026, 1027},
                                                        {1007, 1028, 1029},
                                                        {1008, 1032, 1033},
                                                        {1009, 1034, 1035},
                                                        {1010, 1036, 1037},
                                                        {1011, 1038, 1039},
                                                        {1012, 1040, 1041},
                                                        {1013, 1042, 1043},
                                                        {1014, 1044, 1045},
                                                        {1015, 1046, 1047}}};

    // `channels` is a copy of the channel table taken under the data lock: names and the
    // state bytes of the last live reading.
    ChannelControlDialog(const ChannelTable& channels, ChannelSwitcher switcher,
                         QWidget* parent = nullptr);
    ~ChannelControlDialog() override;

    bool exchangeRunning() const { return m_exchange.joinable(); }

public slots:
    void reject() override;  // "Quit", Esc and the close box; ignored during an exchange

private:
    // Row `row` (0-based) of the grid below its caption line; rows past the twelfth are
    // hidden.
    void addChannelRow(QGridLayout& grid, int row, const ChannelTable& channels);
    void confirm();
    void finishExchange(bool succeeded);
    void setButtonsEnabled(bool enabled);

    ChannelSwitcher m_switcher;
    ChannelStates m_states{};  // the confirmed selection, the reference for the next request
    std::array<QRadioButton*, kSwitchableChannels> m_on{};
    std::array<QRadioButton*, kSwitchableChannels> m_off{};
    QPushButton* m_confirm;
    QPushButton* m_quit;
    std::thread m_exchange;
};
