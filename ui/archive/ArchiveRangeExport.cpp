#include "ui/archive/ArchiveRangeExport.h"

#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QPointer>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "ui/framework/MessageBoxSink.h"

std::optional<RangeChoice> askRangeExport(QWidget* parent, const QDate& day,
                                          uint32_t exportInterval) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Export Archive Range"));
    auto* from = new QDateEdit(day, &dialog);
    auto* to = new QDateEdit(day, &dialog);
    for (QDateEdit* edit : {from, to}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    }
    auto* interval = new QSpinBox(&dialog);
    interval->setRange(0, 86400);
    interval->setSuffix(QStringLiteral(" s"));
    interval->setValue(static_cast<int>(std::min<uint32_t>(exportInterval, 86400)));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("From"), from);
    form->addRow(QStringLiteral("To"), to);
    form->addRow(QStringLiteral("Interval"), interval);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;

    RangeChoice choice{std::min(from->date(), to->date()), std::max(from->date(), to->date()),
                       static_cast<uint32_t>(interval->value()), QString()};
    const QString proposed =
        QStringLiteral("Archive_%1_%2.csv")
            .arg(choice.from.toString(Qt::ISODate), choice.to.toString(Qt::ISODate));
    choice.path = QFileDialog::getSaveFileName(parent, QStringLiteral("Export"), proposed,
                                               QStringLiteral("CSV files (*.csv)"));
    if (choice.path.isEmpty()) return std::nullopt;
    return choice;
}

namespace {

// The cancel flags of the range exports under way (GUI thread only), for the way out.
std::vector<std::atomic<bool>*>& exportsUnderWay() {
    static std::vector<std::atomic<bool>*> flags;
    return flags;
}

}  // namespace

bool rangeExportRunning() { return !exportsUnderWay().empty(); }

void cancelRangeExports() {
    for (std::atomic<bool>* cancelled : exportsUnderWay()) *cancelled = true;
}

ExportOutcome runRangeExport(QWidget* parent, const std::string& archivePath,
                             const RangeChoice& choice) {
    RangeExport range{archivePath,           QFile::encodeName(choice.path).toStdString(),
                      choice.from.year(),    choice.from.month(),
                      choice.from.day(),     choice.to.year(),
                      choice.to.month(),     choice.to.day(),
                      choice.intervalSeconds};

    // Written by the worker, read by the ticker below; the worker is joined before it goes.
    struct Progress {
        std::atomic<bool> cancelled{false};
        std::atomic<int64_t> done{0};
        std::atomic<int64_t> total{0};
    } progress;
    QEventLoop loop;
    auto cancel = [&progress] { progress.cancelled = true; };
    // The window (and the dialog, its child) may be destroyed while the loop runs, when the
    // application is made to quit from outside: both are only reached through guards, and
    // either going ends the export.
    const QPointer<QWidget> owner(parent);
    const QPointer<QProgressDialog> dialog = new QProgressDialog(
        QStringLiteral("Exporting archive..."), QStringLiteral("Cancel"), 0, 1000, parent);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(300);
    QObject::connect(dialog, &QProgressDialog::canceled, &loop, cancel);
    // Rejected from outside (the way out answers every modal dialog so).
    QObject::connect(dialog, &QDialog::rejected, &loop, cancel);
    QObject::connect(dialog, &QObject::destroyed, &loop, cancel);

    ExportOutcome outcome = ExportOutcome::Failed;
    std::string error;
    std::thread worker([&] {
        outcome = exportRange(
            range,
            [&progress](int64_t done, int64_t total) {
                progress.done = done;
                progress.total = total;
                return !progress.cancelled.load();
            },
            error);
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const int64_t total = progress.total;
        if (dialog && total > 0) dialog->setValue(static_cast<int>(progress.done * 1000 / total));
    });
    ticker.start(100);
    exportsUnderWay().push_back(&progress.cancelled);
    loop.exec();
    // The loop also ends when the application quits, with the export still running: it ends
    // now, at its next piece of text, and removes its part file.
    progress.cancelled = true;
    worker.join();
    std::erase(exportsUnderWay(), &progress.cancelled);
    ticker.stop();
    delete dialog.data();

    if (!owner) return outcome;  // the program is on its way out
    switch (outcome) {
        case ExportOutcome::Written:
            showMessageBox(QStringLiteral("Archive data exported to file: %1").arg(choice.path),
                           parent);
            break;
        case ExportOutcome::Cancelled:
            break;
        case ExportOutcome::Failed:
            showMessageBox(QString::fromStdString(error), parent);
            break;
    }
    return outcome;
}
