#pragma once

#include <QString>

class ArchiveWriter;
class Publisher;
class Recorder;

// The texts of the status bar's panes, from snapshots of the recorder and the services.
class StatusBarText {
public:
    StatusBarText(const Recorder& recorder, const ArchiveWriter& archive,
                  const Publisher& publisher)
        : m_recorder(recorder), m_archive(archive), m_publisher(publisher) {}

    // Where the link stands: "Com3, last sample 12:00:05", "No device, next attempt ...",
    // "Meter held by kelvo-recorder (pid 812), next attempt ...", "Disconnected".
    QString link() const;
    // What is wrong with the archive or publishing; empty while all is well.
    QString services() const;

private:
    const Recorder& m_recorder;
    const ArchiveWriter& m_archive;
    const Publisher& m_publisher;
};
