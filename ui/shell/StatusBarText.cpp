#include "ui/shell/StatusBarText.h"

#include <QDateTime>

#include "core/acquisition/Recorder.h"
#include "core/archive/ArchiveWriter.h"
#include "core/publish/Publisher.h"

QString StatusBarText::link() const {
    auto clockTime = [](int64_t seconds) {
        return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("HH:mm:ss"));
    };
    const SamplingCycle::LinkStatus status = m_recorder.linkStatus();
    switch (status.phase) {
        case SamplingCycle::LinkStatus::Phase::Polling:
            if (status.lastSample == 0) return QStringLiteral("Com%1").arg(status.port);
            return QStringLiteral("Com%1, last sample %2")
                .arg(status.port)
                .arg(clockTime(status.lastSample));
        case SamplingCycle::LinkStatus::Phase::Disconnected:
            return QStringLiteral("Disconnected");
        case SamplingCycle::LinkStatus::Phase::NoDevice:
            break;
    }
    // The meter is in the hands of the headless recorder on this machine: say so rather than
    // "No device". Other holders (a terminal program, say) keep the plain text.
    QString why = QStringLiteral("No device");
    if (status.heldBy && status.heldBy->program == kRecorderProgram)
        why = QStringLiteral("Meter held by %1")
                  .arg(QString::fromStdString(describeHolder(*status.heldBy)));
    if (status.nextAttempt == 0) return why;
    return QStringLiteral("%1, next attempt %2").arg(why, clockTime(status.nextAttempt));
}

QString StatusBarText::services() const {
    std::string text = m_archive.statusText();
    const std::string publishing = m_publisher.statusText();
    if (!text.empty() && !publishing.empty()) text += "; ";
    return QString::fromStdString(text + publishing);
}
