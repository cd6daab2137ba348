#pragma once

#include <functional>
#include <string>

#include "core/settings/KelvoIni.h"
#include "ui/framework/CommandTarget.h"

class ArchiveWriter;
class MessageSink;
class Publisher;
class QWidget;
class Recorder;

// The commands of kelvo.ini's settings (Reconnect Automatically, Archive Settings, MQTT
// Publishing) and the file itself: read at start-up, handed to the recorder, the archive and
// the publisher, written after every change.
class SettingsCommands : public CommandTarget {
public:
    // parent: where the settings dialogs open (the main window, null before it exists).
    SettingsCommands(Recorder& recorder, ArchiveWriter& archive, Publisher& publisher,
                     MessageSink& messages, std::function<QWidget*()> parent);

    // Reads kelvo.ini from the working directory and applies every setting.
    void load();
    const KelvoIni& settings() const { return m_settings; }
    std::string path() const;  // kelvo.ini in the working directory

private:
    // Writes kelvo.ini; a failure is said in the message box.
    void save();

    Recorder& m_recorder;
    ArchiveWriter& m_archive;
    Publisher& m_publisher;
    MessageSink& m_messages;
    std::function<QWidget*()> m_parent;
    KelvoIni m_settings;
};
