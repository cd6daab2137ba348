#include "ui/shell/SettingsCommands.h"

#include "core/acquisition/Recorder.h"
#include "core/archive/ArchiveWriter.h"
#include "core/base/FilePath.h"
#include "core/base/MessageSink.h"
#include "core/publish/Publisher.h"
#include "ui/dialogs/ArchiveSettingsDialog.h"
#include "ui/dialogs/PublishSettingsDialog.h"

SettingsCommands::SettingsCommands(Recorder& recorder, ArchiveWriter& archive, Publisher& publisher,
                                   MessageSink& messages, std::function<QWidget*()> parent)
    : m_recorder(recorder),
      m_archive(archive),
      m_publisher(publisher),
      m_messages(messages),
      m_parent(std::move(parent)) {
    onCommand(Command::PublishSettings, [this] {
        if (!runPublishSettingsDialog(m_settings.mqtt, m_parent())) return;
        m_publisher.configure(m_settings.mqtt);
        save();
    });
    onCommand(Command::ArchiveSettings, [this] {
        if (!runArchiveSettingsDialog(m_settings.archive, m_parent())) return;
        m_archive.configure(m_settings.archive, m_recorder.workingDirectory());
        save();
    });
    onCommand(Command::ReconnectAutomatically, [this] {
        m_settings.link.reconnect = !m_settings.link.reconnect;
        m_recorder.setAutoReconnect(m_settings.link.reconnect);
        save();
    });
    onUpdate(Command::ReconnectAutomatically, [this](CommandState& ui) {
        ui.enabled = true;
        ui.checked = m_settings.link.reconnect;
    });
}

void SettingsCommands::load() {
    m_settings = loadKelvoIni(path());
    if (m_settings.nodeIdChosen && m_settings.mqtt.enabled) save();
    const std::string workingDirectory = m_recorder.workingDirectory();
    m_recorder.setAutoReconnect(m_settings.link.reconnect);
    m_archive.configure(m_settings.archive, workingDirectory);
    m_publisher.keepEnergyCountersIn(workingDirectory);
    m_publisher.configure(m_settings.mqtt);
}

std::string SettingsCommands::path() const {
    return pathInDirectory(m_recorder.workingDirectory(), "kelvo.ini");
}

void SettingsCommands::save() {
    if (!saveKelvoIni(path(), m_settings))
        m_messages.show("Fail to write settings file: " + path());
}
