#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>

#include "core/store/ChannelRecord.h"

class QLineEdit;

// Names the twelve load channels. On "OK" the names go into the channel table and the whole
// configuration is written; "Cancel" changes nothing.
class ChannelSettingDialog : public QDialog {
    Q_OBJECT
public:
    // Takes the edited names over and writes the configuration file; false when nothing was
    // written (not reported).
    using ConfigSaver = std::function<bool()>;

    static constexpr int kEditChars = 64;  // the width of the name field
    static constexpr std::array<int, 12> kEditIds = {1003, 1001, 1005, 1037, 1038, 1035,
                                                     1039, 1040, 1041, 1042, 1043, 1044};

    // `channels`: a copy of the channel table, whose names the dialog shows and, on "OK",
    // edits before it calls `save`.
    ChannelSettingDialog(ChannelTable& channels, ConfigSaver save, QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    ChannelTable& m_channels;
    ConfigSaver m_save;
    std::array<QString, 12> m_names;
    std::array<QLineEdit*, 12> m_edits{};
};
