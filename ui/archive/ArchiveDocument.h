#pragma once

#include <QDate>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

#include "core/archive/ArchiveDay.h"
#include "core/archive/ArchiveReader.h"
#include "core/store/ChannelRecord.h"
#include "ui/framework/Document.h"

class Recorder;

// The archive window's document: one local day read from the long-term archive, and the
// channel the chart shows.
class ArchiveDocument : public Document {
    Q_OBJECT
public:
    // archivePath: the archive file as the settings name it now.
    ArchiveDocument(Recorder& recorder, std::function<std::string()> archivePath);

    bool onNewDocument() override;  // today

    // Reads `date` and updates every view. A file that cannot be read leaves an empty day
    // and the reason in problem().
    void showDay(const QDate& date);
    void selectChannel(uint16_t channel);
    // Today's samples keep arriving: a document showing today reads it again (once a minute
    // by its own timer).
    void refreshIfToday();

    const QDate& date() const { return m_date; }
    const ArchiveDay& day() const { return m_day; }
    uint16_t selectedChannel() const { return m_selected; }
    // Empty when the day was read; otherwise why it could not be.
    const QString& problem() const { return m_problem; }
    Recorder& recorder() const { return m_recorder; }
    // A copy of the channel table, for the names (taken under the data lock).
    ChannelTable channels() const;
    std::string archivePath() const { return m_archivePath(); }

private:
    Recorder& m_recorder;
    std::function<std::string()> m_archivePath;
    QDate m_date;
    ArchiveDay m_day;
    uint16_t m_selected = kTotalRecord;
    QString m_problem;
    QTimer m_followToday;
};
