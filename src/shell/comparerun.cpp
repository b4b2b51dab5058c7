#include "shell/comparerun.h"

#include "shell/unattendedrun.h"
#include "text/bytecompare.h"
#include "text/imagefile.h"

#include <memory>

namespace corvane {

namespace {

// Differing runs printed per unit; the rest are counted.
constexpr std::size_t kMaxPrintedRuns = 100;

struct CompareJob {
    MemoryImage image;
    quint32 first = 0;
    quint32 last = 0;
};

// Prints the comparison of one unit (its lines prefixed with `prefix`) and returns its status.
ExitStatus printComparison(const Comparison &comparison, const QString &prefix) {
    for (std::size_t i = 0; i < comparison.runs.size() && i < kMaxPrintedRuns; ++i)
        printOut(prefix + differingRunText(comparison.runs[i]));
    if (comparison.runs.size() > kMaxPrintedRuns)
        printOut(prefix + QStringLiteral("... %1 more differing runs")
                              .arg(comparison.runs.size() - kMaxPrintedRuns));
    if (comparison.uncovered > 0)
        printOut(prefix +
                 QStringLiteral("bytes the file does not cover: %1").arg(comparison.uncovered));
    printOut(prefix + QStringLiteral("differing bytes: %1").arg(comparison.differing));
    return comparison.differing == 0 ? kExitNormal : kExitAbnormal;
}

QCoro::Task<ExitStatus> compareUnit(UnitRun &run, std::shared_ptr<const CompareJob> job,
                                    QString prefix) {
    UnitController &unit = run.unit();
    const UnitController::BufferRead read = co_await unit.readBuffer(job->first, job->last);
    const quint64 wanted = quint64(job->last - job->first) + 1;
    if (read.cancelled) {
        run.setSummary(QStringLiteral("cancelled"));
        co_return kExitCancelled;
    }
    if (!read.complete) {
        const QString text =
            QStringLiteral("the unit sent %1 of %2 bytes").arg(read.bytes.size()).arg(wanted);
        printError(QStringLiteral("corvane: ") + prefix + text);
        run.setSummary(text);
        co_return unit.MSComm1->isOpen() ? kExitAbnormal : kExitNoConnection;
    }
    const Comparison comparison = compareImage(job->first, read.bytes, job->image);
    run.setSummary(
        comparison.differing == 0
            ? QStringLiteral("equal, %1 bytes").arg(wanted)
            : QStringLiteral("%1 of %2 bytes differ").arg(comparison.differing).arg(wanted));
    co_return printComparison(comparison, prefix);
}

// The file's image and the range to read, or the failure (already printed).
std::optional<CompareJob> prepare(const CommandLine &line) {
    ImageFileRead file = readImageFile(line.compareFile);
    QString failure = file.failure;
    if (failure.isEmpty() && file.image.isEmpty() && !line.range)
        failure = QStringLiteral("the file holds no data");
    if (failure.isEmpty() && !line.range && file.image.highest() > kLastBufferAddress)
        failure = QStringLiteral("the file reaches address %1, beyond the buffer's last, FFFFF")
                      .arg(QString::number(file.image.highest(), 16).toUpper());
    if (!failure.isEmpty()) {
        printError(QStringLiteral("corvane: %1: %2").arg(line.compareFile, failure));
        return std::nullopt;
    }
    CompareJob job;
    job.first = line.range ? line.range->first : file.image.lowest();
    job.last = line.range ? line.range->second : file.image.highest();
    job.image = std::move(file.image);
    return job;
}

} // namespace

int compareUnattended(const CommandLine &line) {
    std::optional<CompareJob> job = prepare(line);
    if (!job)
        return kExitFilesLost;
    auto shared = std::make_shared<const CompareJob>(std::move(*job));
    UnitRunPlan plan;
    plan.setup.file = line.compareFile;
    plan.setup.speed = line.speed;
    plan.setup.settingsPath = line.settingsPath;
    const bool tagged = line.ports.size() > 1;
    plan.setup.work = [shared, tagged](UnitRun &run) {
        return compareUnit(run, shared, tagged ? run.port() + QStringLiteral(": ") : QString());
    };
    plan.setup.summary = QStringLiteral("not compared");
    plan.statusNames = {QStringLiteral("equal"), QStringLiteral("different"),
                        QStringLiteral("cancelled"), QStringLiteral("no connection"),
                        QStringLiteral("file unusable")};
    plan.logToOutput = false;
    plan.singleSummary = false;
    return runUnits(line, std::move(plan));
}

} // namespace corvane
