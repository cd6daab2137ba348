#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <mutex>

#include "core/config/DastConfig.h"

class QLineEdit;

// Names the twelve load channels. On "OK" the names go into the channel table and the whole
// configuration is written; "Cancel" changes nothing.
class ChannelSettingDialog : public QDialog {
    Q_OBJECT
public:
    // Writes the application's configuration file, taking the data lock for its copy of
    // the fields; false when nothing was written (not reported).
    using ConfigSaver = std::function<bool()>;

    static constexpr int kEditChars = 64;  // the width of the name field
    static constexpr std::array<int, 12> kEditIds = {1003, 1001, 1005, 1037, 1038, 1035,
                                                     1039, 1040, 1041, 1042, 1043, 1044};

    // `config` is the application's working copy; its names are read and written under
    // `dataLock`, which the acquisition worker also takes.
    ChannelSettingDialog(DastConfig& config, std::mutex& dataLock, ConfigSaver save,
                         QWidget* parent = nullptr);

public slots:
    void accept() override;

private:
    DastConfig& m_config;
    std::mutex& m_dataLock;
    ConfigSaver m_save;
    std::array<QString, 12> m_names;
    std::array<QLineEdit*, 12> m_edits{};
};
