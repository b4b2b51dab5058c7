#include "shell/unattendedrun.h"

#include "shell/journal.h"
#include "shell/quitsignals.h"
#include "shell/unitjournal.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <csignal>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace corvane {

namespace {

// Longest command-response file a run reads (a pipe that never ends must not take all memory).
constexpr qint64 kMaxRunFileBytes = 64 * 1024 * 1024;

// Standard output or error of a run. Lines are queued and written as the stream takes them: a
// reader that stopped reading holds the run only until a signal comes, which then ends it.
struct Stream {
    int fd;
    QByteArray pending;
};
Stream g_out{STDOUT_FILENO, {}};
Stream g_err{STDERR_FILENO, {}};
bool g_endingAtOnce = false; // a signal ends the run at once: nothing more is waited for

// Writes what `stream` holds; returns early when a signal waits (the event loop then handles it),
// or at once when the run ends at once.
void drain(Stream &stream) {
    const int signalled = QuitSignals::pendingDescriptor();
    while (!stream.pending.isEmpty() && !g_endingAtOnce) {
        pollfd watched[2] = {{stream.fd, POLLOUT, 0}, {signalled, POLLIN, 0}};
        const int ready = ::poll(watched, signalled >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (watched[1].revents & POLLIN))
            return;
        // At most PIPE_BUF bytes: a pipe that said it can take bytes takes them without blocking.
        const ssize_t written =
            ::write(stream.fd, stream.pending.constData(),
                    std::min<std::size_t>(std::size_t(stream.pending.size()), PIPE_BUF));
        if (written > 0)
            stream.pending.remove(0, written);
        else if (written < 0 && errno != EINTR && errno != EAGAIN)
            stream.pending.clear(); // the stream is gone: nobody reads the rest
    }
}

void writeText(Stream &stream, const QString &text) {
    stream.pending += text.toUtf8();
    drain(stream);
}

void writeLine(Stream &stream, const QString &line) {
    writeText(stream, line + QLatin1Char('\n'));
}

struct Runs {
    std::vector<std::unique_ptr<Journal>> journals;
    std::vector<std::unique_ptr<UnitRun>> units;
    std::vector<int> statuses;
    int pending = 0;
    int worst = kExitNormal;
    bool abandoned = false; // ended at once by a signal: its status stands
};

// One unit's run to its end; the last to end ends the event loop with the worst status.
QCoro::Task<> runOne(Runs *runs, std::size_t index) {
    const ExitStatus status = co_await runs->units[index]->run();
    runs->statuses[index] = status;
    if (--runs->pending > 0 || runs->abandoned)
        co_return;
    for (int each : runs->statuses)
        runs->worst = worseStatus(runs->worst, each);
    QCoreApplication::exit(runs->worst);
}

void printSummary(const Runs &runs, const UnitRunPlan &plan) {
    if (runs.units.size() == 1) {
        if (plan.singleSummary)
            writeLine(g_out, QStringLiteral("summary: ") + runs.units.front()->summary());
        return;
    }
    writeLine(g_out, QStringLiteral("%1 %2 %3 %4")
                         .arg(QStringLiteral("port"), -24)
                         .arg(QStringLiteral("result"), -16)
                         .arg(QStringLiteral("time"), 9)
                         .arg(QStringLiteral("summary")));
    for (std::size_t i = 0; i < runs.units.size(); ++i) {
        const UnitRun &unit = *runs.units[i];
        QString row = QStringLiteral("%1 %2 %3 %4")
                          .arg(unit.port(), -24)
                          .arg(QString::number(runs.statuses[i]) + QLatin1Char(' ') +
                                   plan.statusNames.value(runs.statuses[i]),
                               -16)
                          .arg(QString::number(double(unit.elapsedMs()) / 1000.0, 'f', 1) +
                                   QStringLiteral(" s"),
                               9)
                          .arg(unit.summary());
        if (!unit.savedFiles().isEmpty())
            row += QStringLiteral(", saved ") + unit.savedFiles().join(QStringLiteral(", "));
        writeLine(g_out, row);
    }
}

// Reads the whole command-response file (a plain file, a pipe or standard input) before any unit
// is touched; on failure logs it as a run does and returns false.
bool readRunFile(const QString &path, QByteArray &commands) {
    QFile file(path);
    QString failure;
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        failure = QStringLiteral("！ コマンドレスポンスファイルを開けません。（");
    } else {
        for (QByteArray block; commands.size() <= kMaxRunFileBytes; commands += block) {
            block = file.read(64 * 1024);
            if (block.isEmpty())
                break;
        }
        if (file.error() != QFileDevice::NoError || commands.size() > kMaxRunFileBytes)
            failure = QStringLiteral("！ コマンドレスポンスファイルを読めません。（");
    }
    if (failure.isEmpty())
        return true;
    writeLine(g_out, failure + path + QStringLiteral("）"));
    writeLine(g_out, runEndText(RunEnd::Abnormal));
    writeLine(g_out, QStringLiteral("summary: ") + RunOutcome().summary());
    return false;
}

} // namespace

UnitRun::UnitRun(Setup setup, std::function<void(const QString &)> print,
                 std::function<void(const QString &)> notice, QObject *parent)
    : QObject(parent)
    , m_setup(std::move(setup))
    , m_summary(m_setup.summary) {
    ControllerOptions options;
    options.settingsPath = m_setup.settingsPath;
    options.startUpConnection = false;
    if (m_setup.ownSaves)
        options.saveTag = m_setup.port;
    m_unit = std::make_unique<UnitController>(journaled(options, m_setup.journal));
    if (m_setup.journal) {
        recordEvents(*m_unit, *m_setup.journal);
        m_setup.journal->setNotice(std::move(notice));
    }
    Choices choices = m_unit->choices();
    if (!m_setup.port.isEmpty())
        choices.settings.port = m_setup.port;
    if (!m_setup.speed.isEmpty())
        choices.settings.speed = m_setup.speed;
    m_unit->setChoices(choices);
    connect(m_unit.get(), &UnitController::logLineAdded, this, std::move(print));
    connect(m_unit.get(), &UnitController::runEnded, this,
            [this](const RunOutcome &outcome) { m_outcome = outcome; });
    connect(m_unit.get(), &UnitController::saveFileOpened, this, [this](const QString &path) {
        if (!m_savedFiles.contains(path))
            m_savedFiles.append(path);
    });
    // A long transfer's progress on a terminal: one line that keeps being rewritten.
    if (::isatty(STDERR_FILENO)) {
        connect(m_unit.get(), &UnitController::progressChanged, this, [this](const QString &text) {
            const QString line = text.isEmpty() ? text : port() + QStringLiteral(": ") + text;
            writeText(g_err, QStringLiteral("\r") + line + QStringLiteral("\x1b[K"));
        });
    }
}

UnitRun::~UnitRun() = default;

QString UnitRun::summary() const {
    return m_summary.isEmpty() ? m_outcome.summary() : m_summary;
}

QString UnitRun::port() const {
    return m_unit->Rs232Port();
}

QCoro::Task<ExitStatus> UnitRun::run() {
    m_clock.start();
    co_await m_unit->PbON_Click();
    // Only a unit that answered every step of the greeting gets the file's commands.
    if (!m_unit->MSComm1->isOpen() || !m_unit->greetedOk()) {
        m_tookMs = m_clock.elapsed();
        co_return kExitNoConnection;
    }
    if (m_setup.work) {
        const ExitStatus status = co_await m_setup.work(*this);
        m_tookMs = m_clock.elapsed();
        co_return status;
    }
    co_await m_unit->runResponseBytes(m_setup.commands, m_setup.file);
    m_tookMs = m_clock.elapsed();
    co_return m_outcome.exitStatus();
}

void UnitRun::interrupt() {
    m_unit->requestRunStop();
    if (m_unit->busyState() == Busy::Cancellable)
        m_unit->PbCansel_Click();
}

void UnitRun::abandon() {
    m_unit->shutDown();
}

namespace {

// A unit's journal: the daily file or the named one, each line tagged with the port when there
// are several units; nullptr with --no-journal.
Journal *openJournal(Runs &runs, const CommandLine &line, const QString &tag) {
    if (!line.journal)
        return nullptr;
    auto made = std::make_unique<Journal>();
    made->setTag(tag);
    if (!made->openChosenOrDaily(line.journalPath))
        writeLine(g_err,
                  QStringLiteral("corvane: ") + Journal::cannotWriteText(made->errorString()));
    runs.journals.push_back(std::move(made));
    return runs.journals.back().get();
}

// The first Ctrl-C cancels; a second one, SIGTERM or SIGHUP end at once: the journals written
// and closed, files and ports closed, whatever standard output still holds given up.
void onQuitSignal(Runs &runs, int &interrupts, int signalNumber) {
    if (signalNumber == SIGINT && ++interrupts == 1) {
        for (const auto &unit : runs.units)
            unit->interrupt();
        return;
    }
    runs.abandoned = true;
    g_endingAtOnce = true;
    for (const auto &journal : runs.journals)
        journal->close();
    for (const auto &unit : runs.units)
        unit->abandon();
    QCoreApplication::exit(128 + signalNumber);
}

} // namespace

void printOut(const QString &line) {
    writeLine(g_out, line);
}

void printError(const QString &line) {
    writeLine(g_err, line);
}

int runUnits(const CommandLine &line, UnitRunPlan plan) {
    const QStringList ports = line.ports.isEmpty() ? QStringList{QString()} : line.ports;
    const bool tagged = ports.size() > 1;
    Runs runs;
    for (const QString &port : ports) {
        UnitRun::Setup setup = plan.setup;
        setup.journal = openJournal(runs, line, tagged ? port : QString());
        setup.ownSaves = tagged;
        setup.port = port;
        const QString prefix = tagged ? port + QStringLiteral(": ") : QString();
        const bool toOutput = plan.logToOutput;
        runs.units.push_back(std::make_unique<UnitRun>(
            std::move(setup),
            [prefix, toOutput](const QString &text) {
                if (toOutput)
                    writeLine(g_out, prefix + text);
                else if (text.startsWith(u'！'))
                    writeLine(g_err, QStringLiteral("corvane: ") + prefix + text);
            },
            [prefix](const QString &text) {
                writeLine(g_err, QStringLiteral("corvane: ") + prefix + text);
            }));
    }
    runs.statuses.assign(runs.units.size(), kExitAbnormal);
    runs.pending = int(runs.units.size());

    QuitSignals quit({SIGINT, SIGTERM, SIGHUP});
    int interrupts = 0;
    QObject::connect(&quit, &QuitSignals::received, &quit,
                     [&](int signalNumber) { onQuitSignal(runs, interrupts, signalNumber); });
    for (std::size_t i = 0; i < runs.units.size(); ++i)
        runOne(&runs, i);
    // Runs that could not even open their port end before the event loop starts.
    const int status = runs.pending == 0 ? runs.worst : QCoreApplication::exec();
    if (!runs.abandoned)
        printSummary(runs, plan);
    return status;
}

int runUnattended(const CommandLine &line) {
    UnitRunPlan plan;
    plan.setup.file = line.runFile;
    if (!readRunFile(line.runFile, plan.setup.commands))
        return kExitAbnormal;
    plan.setup.speed = line.speed;
    plan.setup.settingsPath = line.settingsPath;
    return runUnits(line, std::move(plan));
}

} // namespace corvane
