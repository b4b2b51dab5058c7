// Benchmark: how long the program takes to show its window, and how much of one core it uses while
// idle after greeting the emulated unit, while a unit that answers with endless noise keeps
// talking after the greeting has failed (the emulated unit, and corvane-unit on a pseudo-terminal
// where it is built next to this benchmark), while an input purge meets a loopback TCP peer that
// floods without end, and while it waits out a long reply time-out. The journal records all of it,
// as it does for users. Goals: the window within 300 ms of the start, at most 0.3 % of a core
// idle, 25 % through the flooded purge and 1 % in every other wait.
//
// Usage: bench_idle [--seconds N] [--without-timer] [--without-journal]
//   --seconds N        length of each CPU measurement (default 10)
//   --without-timer    also measure the idle and reply waits with the window's line monitor stopped
//   --without-journal  run without the journal

#include "ports/emulatedport.h"
#include "ports/journalingport.h"
#include "shell/journal.h"
#include "shell/unitjournal.h"
#include "window/form1.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>

using namespace corvane;

namespace {

double processCpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

// Milliseconds since the kernel started this process (10 ms steps); none where unknown.
std::optional<double> msSinceProcessStart() {
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return std::nullopt;
    bool ok = false;
    const double startTicks = fields[19].toDouble(&ok); // starttime, field 22 of the whole line
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    timespec sinceBoot{};
    if (!ok || ticksPerSecond <= 0 || clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0)
        return std::nullopt;
    const double nowMs = double(sinceBoot.tv_sec) * 1e3 + double(sinceBoot.tv_nsec) / 1e6;
    return nowMs - startTicks * 1e3 / double(ticksPerSecond);
#else
    return std::nullopt;
#endif
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done()` holds or `timeoutMs` pass; true when it held.
template<typename Done> bool runUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        runFor(5);
    }
    return true;
}

// Percentage of one core the process uses while the event loop runs for `seconds`.
double cpuPercentOver(int seconds) {
    QElapsedTimer wall;
    const double before = processCpuSeconds();
    wall.start();
    runFor(seconds * 1000);
    const double used = processCpuSeconds() - before;
    return 100.0 * used / (double(wall.nsecsElapsed()) / 1e9);
}

// Notes the first time the window paints.
class FirstPaint : public QObject {
public:
    using QObject::QObject;
    std::optional<qint64> atNs;
    const QElapsedTimer *clock = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (!atNs && event->type() == QEvent::Paint)
            atNs = clock->nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }
};

const char *verdict(bool met) {
    return met ? "met" : "MISSED";
}

// The emulated unit's port behind the controller's (journaling) port, or null.
EmulatedPort *emulatedPort(UnitController &unit) {
    SerialPort *port = unit.MSComm1.get();
    if (auto *journaling = dynamic_cast<JournalingPort *>(port))
        port = &journaling->inner();
    return dynamic_cast<EmulatedPort *>(port);
}

// Reconnects the window to `portText` at 38400 bit/s, where the unit answers "ON" with noise
// without end, and measures the CPU use once the greeting has failed. False when the greeting did
// not end in a failure.
bool measureNoise(Form1 &form, UnitController &unit, const QString &portText, const char *what,
                  int seconds) {
    form.Combo1->setCurrentText(portText);
    form.Combo2->setCurrentText(QStringLiteral("38400"));
    bool failed = false;
    const QMetaObject::Connection watch =
        QObject::connect(&unit, &UnitController::logLineAdded, &unit, [&](const QString &line) {
            if (line.startsWith(QStringLiteral("！")))
                failed = true;
        });
    QCoro::Task<> greeting = unit.PbON_Click();
    const bool ended = runUntil([&] { return greeting.isReady(); }, 30000);
    QObject::disconnect(watch);
    if (!ended || !failed || !form.PbON->isEnabled()) {
        std::printf("endless noise (%s): the greeting did not end in a failure\n", what);
        return false;
    }
    runFor(500);
    const double noisy = cpuPercentOver(seconds);
    std::printf("endless noise after the greeting failed (%s): %.2f %% of one core over %d s; "
                "goal <= 1 %%: %s\n",
                what, noisy, seconds, verdict(noisy <= 1.0));
    std::fflush(stdout);
    return true;
}

// Greets the emulated unit again, well behaved; true when the greeting ended in OK.
bool greetEmulated(Form1 &form, UnitController &unit) {
    // A reconnect from the emulated unit keeps that unit.
    if (auto *port = emulatedPort(unit))
        port->unit().setFault(Fault::None);
    form.Combo1->setCurrentText(QStringLiteral("EMU"));
    bool greeted = false;
    const QMetaObject::Connection watch =
        QObject::connect(&unit, &UnitController::logLineAdded, &unit, [&](const QString &line) {
            if (line == QLatin1String("OK"))
                greeted = true;
        });
    QCoro::Task<> greeting = unit.PbON_Click();
    const bool ended = runUntil([&] { return greeting.isReady(); }, 10000);
    QObject::disconnect(watch);
    return ended && greeted;
}

// A peer on a loopback TCP port that sends bytes as fast as the program takes them, from a child
// process (its CPU time is not the program's). Forked before any thread starts; 0 when it failed.
quint16 startFloodPeer() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    const pid_t child = ::fork();
    if (child < 0)
        return 0;
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // ends with the benchmark
        const int peer = ::accept(listener, nullptr, nullptr);
        char noise[4096];
        for (size_t i = 0; i < sizeof noise; ++i)
            noise[i] = char(0x55 + i % 7); // no line end
        while (peer >= 0 && ::write(peer, noise, sizeof noise) > 0) {
        }
        ::_exit(0);
    }
    ::close(listener);
    return ntohs(address.sin_port);
}

// Connects the window to the flooding peer and measures the CPU use through one input purge of an
// operation, which gives up after its longest time.
bool measureFloodedPurge(Form1 &form, UnitController &unit, quint16 peerPort) {
    form.Combo1->setCurrentText(QStringLiteral("tcp://127.0.0.1:%1").arg(peerPort));
    QCoro::Task<> greeting = unit.PbON_Click();
    if (!runUntil([&] { return greeting.isReady(); }, 30000) || !unit.MSComm1->isOpen()) {
        std::puts("flooded purge: the connection to the flooding peer did not open");
        return false;
    }
    runFor(500);
    unit.PbUnEn();
    QElapsedTimer wall;
    const double before = processCpuSeconds();
    wall.start();
    QCoro::Task<> purge = unit.CLR232IN();
    const bool ended = runUntil([&] { return purge.isReady(); }, 30000);
    const double used = processCpuSeconds() - before;
    const double seconds = double(wall.nsecsElapsed()) / 1e9;
    unit.PbReEn();
    if (!ended) {
        std::puts("flooded purge: the purge did not end within 30 s");
        return false;
    }
    const double percent = 100.0 * used / seconds;
    std::printf("input purge flooded by a loopback TCP peer: %.2f %% of one core over the purge "
                "(%.1f s); goal <= 25 %%: %s\n",
                percent, seconds, verdict(percent <= 25.0));
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    const std::optional<double> startToMainMs = msSinceProcessStart();

    int seconds = 10;
    bool withoutTimer = false;
    bool withJournal = true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::max(1, QByteArray(argv[++i]).toInt());
        else if (arg == "--without-timer")
            withoutTimer = true;
        else if (arg == "--without-journal")
            withJournal = false;
    }
    const quint16 floodPort = startFloodPeer();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QTemporaryDir dir;
    Journal journal;
    const QString journalPath = dir.filePath(QStringLiteral("journal.log"));
    if (withJournal && !journal.openFile(journalPath)) {
        std::printf("the journal cannot be opened: %s\n", qPrintable(journal.errorString()));
        return 1;
    }
    ControllerOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    UnitController unit(journaled(options, withJournal ? &journal : nullptr));
    if (withJournal)
        recordEvents(unit, journal);
    Form1 form(unit);
    FirstPaint painted;
    painted.clock = &sinceMain;
    form.installEventFilter(&painted);
    // The start-up connection at the first tick of the line monitor goes to the emulated unit.
    form.Combo1->setCurrentText(QStringLiteral("EMU"));
    form.Combo2->setCurrentText(QStringLiteral("38400"));
    form.show();
    if (!runUntil([&] { return painted.atNs.has_value(); }, 5000)) {
        std::puts("window shown: never painted");
        return 1;
    }
    const double mainToShownMs = double(*painted.atNs) / 1e6;
    if (startToMainMs) {
        const double total = *startToMainMs + mainToShownMs;
        std::printf("window shown: %.0f ms after the process started (%.0f ms after main), "
                    "platform %s; goal <= 300 ms: %s\n",
                    total, mainToShownMs, qPrintable(QApplication::platformName()),
                    verdict(total <= 300));
    } else {
        std::printf("window shown: %.0f ms after main, platform %s; goal <= 300 ms: %s\n",
                    mainToShownMs, qPrintable(QApplication::platformName()),
                    verdict(mainToShownMs <= 300));
    }
    std::fflush(stdout);

    // Idle after the greeting.
    bool greeted = false;
    QObject::connect(&unit, &UnitController::logLineAdded, &unit, [&](const QString &line) {
        if (line == QLatin1String("OK"))
            greeted = true;
    });
    if (!runUntil([&] { return greeted && form.PbON->isEnabled(); }, 10000)) {
        std::puts("idle after greeting: the greeting with EMU did not end in OK");
        return 1;
    }
    runFor(500);
    const double idle = cpuPercentOver(seconds);
    std::printf("idle after greeting (EMU): %.2f %% of one core over %d s; goal <= 0.3 %%: %s\n",
                idle, seconds, verdict(idle <= 0.3));
    std::fflush(stdout);

    if (withoutTimer) {
        unit.Timer1.stop();
        const double quiet = cpuPercentOver(seconds);
        std::printf("idle after greeting, line monitor stopped: %.2f %% of one core over %d s\n",
                    quiet, seconds);
        std::fflush(stdout);
        unit.Timer1.start(10);
    }

    // Endless noise: the unit answers the greeting with bytes that never end a line.
    if (auto *noisy = emulatedPort(unit))
        noisy->unit().setFault(Fault::Noise);
    if (!measureNoise(form, unit, QStringLiteral("EMU"), "EMU", seconds))
        return 1;
    const QString server = QDir(QCoreApplication::applicationDirPath())
                               .absoluteFilePath(QStringLiteral("../corvane-unit"));
    bool backOnEmulated = false;
    if (QFileInfo(server).isExecutable()) {
        QProcess unitServer;
        unitServer.start(server, {QStringLiteral("--speed"), QStringLiteral("38400"),
                                  QStringLiteral("--fault"), QStringLiteral("noise")});
        if (unitServer.waitForStarted(5000) &&
            runUntil([&] { return unitServer.canReadLine(); }, 5000)) {
            const QString path = QString::fromLocal8Bit(unitServer.readLine().trimmed());
            measureNoise(form, unit, path, "corvane-unit on a pseudo-terminal", seconds);
        } else {
            std::puts("endless noise (corvane-unit): the server did not start");
        }
        // Leave the server's terminal before the server goes.
        backOnEmulated = greetEmulated(form, unit);
        unitServer.terminate();
        unitServer.waitForFinished(3000);
    } else {
        std::printf("endless noise (corvane-unit): %s not found, not measured\n",
                    qPrintable(server));
        backOnEmulated = greetEmulated(form, unit);
    }
    if (floodPort == 0) {
        std::puts("flooded purge: the flooding peer did not start");
    } else {
        measureFloodedPurge(form, unit, floodPort);
        backOnEmulated = greetEmulated(form, unit);
    }
    if (withJournal) {
        journal.flush();
        std::printf("journal: %lld bytes written\n", qlonglong(QFileInfo(journalPath).size()));
    }
    if (!backOnEmulated) {
        std::puts("reply wait: the greeting with EMU did not end in OK");
        return 1;
    }

    // Waiting out a long reply: the unit takes the command and never answers.
    auto *port = emulatedPort(unit);
    if (!port) {
        std::puts("reply wait: the window is not on the emulated unit");
        return 1;
    }
    port->unit().setFault(Fault::Silent);
    QCoro::Task<> program = unit.PbPG_Click();
    if (!runUntil([&] { return unit.replyWaitInProgress(); }, 5000)) {
        std::puts("reply wait: the program command never started waiting");
        return 1;
    }
    runFor(200);
    const double waiting = cpuPercentOver(seconds);
    std::printf("waiting out a PG reply (unit silent): %.2f %% of one core over %d s; "
                "goal <= 1 %%: %s\n",
                waiting, seconds, verdict(waiting <= 1.0));
    std::fflush(stdout);
    if (withoutTimer) {
        unit.Timer1.stop();
        const double quiet = cpuPercentOver(seconds);
        std::printf("waiting out a PG reply, line monitor stopped: %.2f %% of one core over %d s "
                    "(emulated line %s)\n",
                    quiet, seconds, port->pumping() ? "pumping" : "at rest");
        std::fflush(stdout);
    }
    // The window goes away with the wait still suspended; nothing resumes into it.
    return 0;
}
