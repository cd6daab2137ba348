#include "ui/archive/ArchiveDocument.h"

#include <sys/stat.h>

#include <mutex>

#include "core/acquisition/Recorder.h"

ArchiveDocument::ArchiveDocument(Recorder& recorder, std::function<std::string()> archivePath)
    : m_recorder(recorder), m_archivePath(std::move(archivePath)) {
    m_followToday.setInterval(60 * 1000);
    connect(&m_followToday, &QTimer::timeout, this, &ArchiveDocument::refreshIfToday);
    m_followToday.start();
}

bool ArchiveDocument::onNewDocument() {
    showDay(QDate::currentDate());
    return true;
}

void ArchiveDocument::showDay(const QDate& date) {
    m_date = date;
    m_problem.clear();
    const std::string path = m_archivePath();
    struct stat info {};
    std::string error;
    if (::stat(path.c_str(), &info) != 0) {
        m_day = {};
        m_problem = QStringLiteral("No archive yet: %1").arg(QString::fromStdString(path));
    } else if (!ArchiveReader(path).readDay(date.year(), date.month(), date.day(), m_day, error)) {
        m_day = {};
        m_problem = QStringLiteral("Cannot read %1: %2")
                        .arg(QString::fromStdString(path), QString::fromStdString(error));
    }
    updateAllViews(nullptr);
}

ChannelTable ArchiveDocument::channels() const { return m_recorder.channels(); }

void ArchiveDocument::refreshIfToday() {
    if (m_date == QDate::currentDate()) showDay(m_date);
}

void ArchiveDocument::selectChannel(uint16_t channel) {
    m_selected = channel;
    updateAllViews(nullptr);
}
