// Benchmark of the buffer dump through the emulated unit: a paced dump (38400 bit/s unless told)
// and an unpaced one. Prints the time, the characters per second on the line, the ratio to the
// line's limit and the CPU time the process used meanwhile. Run by hand; not a test.
// Usage: bench_dump [unpaced: the unpaced dump only] [--baud N: speed of the paced line]
//        [--kib N: size of the paced dump, default 32]
//        [journal: the unpaced dump of 1 MiB without and with the daily journal, five times in
//        turn, and the journal's cost in the median times]

#include "ports/emulatedport.h"
#include "shell/journal.h"
#include "shell/unitjournal.h"
#include "window/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace corvane;

namespace {

int g_baud = 38400; // speed of the paced line

double lineLimit() {
    return g_baud / 10.0; // characters per second at 10 bits a character
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QCoro::Task<> runAndQuit(QCoro::Task<> task, QEventLoop &loop) {
    co_await std::move(task);
    loop.quit();
}

struct Result {
    double seconds = 0;
    double cpu = 0;
    qint64 characters = 0; // the unit's answer after "00:", as it travelled the line
    int tableLines = 0;
    bool ok = false;
};

Result dump(const QString &settingsPath, int bytes, bool paced, Journal *journal = nullptr) {
    ControllerOptions options;
    options.settingsPath = settingsPath;
    options.timerIntervalMs = 10; // the line monitor paces the unit with DTR/RTS
    UnitController unit(journaled(options, journal));
    if (journal)
        recordEvents(unit, *journal);
    unit.StartUpWork = 2; // no start-up connection: the emulated line is put in place below

    auto port = std::make_unique<EmulatedPort>(UnitOptions{0.0});
    port->setPaced(paced);
    port->setSettings(QStringLiteral("%1,n,8,1").arg(paced ? g_baud : 38400));
    port->open();
    std::vector<std::uint8_t> &buffer = port->unit().buffer();
    for (int a = 0; a < bytes; ++a)
        buffer[std::size_t(a)] = std::uint8_t(a * 13 + (a >> 8));
    unit.usePort(std::move(port));
    unit.AnsRxCode = QStringLiteral("00");
    unit.PbReEn();

    Result result;
    QElapsedTimer clock;
    double cpuAtStart = 0;
    QObject::connect(&unit, &UnitController::logLineAdded, &unit, [&](const QString &line) {
        if (line.startsWith(QLatin1String("  ADD"))) {
            clock.start();
            cpuAtStart = cpuSeconds();
        } else if (clock.isValid() && line == QLatin1String("OK")) {
            result.seconds = double(clock.nsecsElapsed()) / 1e9;
            result.cpu = cpuSeconds() - cpuAtStart;
            result.ok = true;
        } else if (clock.isValid()) {
            ++result.tableLines;
        }
    });

    QEventLoop loop;
    const QString range = QStringLiteral("0,%1").arg(bytes - 1, 0, 16).toUpper();
    auto task = runAndQuit(unit.BDsub(range), loop);
    loop.exec();
    // "xx" for the first byte, ",xx" for each further one, CR LF.
    result.characters = 2 + 3 * qint64(bytes - 1) + 2;
    return result;
}

void report(QTextStream &out, const char *name, int bytes, const Result &r) {
    const double cps = r.characters / r.seconds;
    out << name << ": " << bytes / 1024 << " KiB, " << (r.ok ? "ended with OK" : "FAILED") << ", "
        << r.tableLines << " table lines\n"
        << QStringLiteral("  %1 s, %2 characters/s on the line (%3 MB/s of dump text), "
                          "%4 of the line's limit of %5 characters/s\n")
               .arg(r.seconds, 0, 'f', 3)
               .arg(cps, 0, 'f', 0)
               .arg(cps / 1e6, 0, 'f', 2)
               .arg(cps / lineLimit(), 0, 'f', 3)
               .arg(lineLimit(), 0, 'f', 0)
        << QStringLiteral("  CPU %1 s (%2 % of one core); %3 MB of dump text per CPU second\n")
               .arg(r.cpu, 0, 'f', 3)
               .arg(100.0 * r.cpu / r.seconds, 0, 'f', 1)
               .arg(r.characters / r.cpu / 1e6, 0, 'f', 2);
    out.flush();
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Corvane.INI"));
    QTextStream out(stdout);

    const QStringList args = app.arguments();
    auto number = [&args](const char *option, int otherwise) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        const int value = at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 0;
        return value > 0 ? value : otherwise;
    };
    g_baud = number("--baud", 38400);
    const int pacedBytes = number("--kib", 32) * 1024;
    constexpr int kUnpacedBytes = 128 * 1024;
    if (args.contains(QStringLiteral("journal"))) {
        constexpr int kJournalBytes = 1024 * 1024;
        constexpr int kTurns = 5;
        QList<double> without;
        QList<double> with;
        for (int turn = 0; turn < kTurns; ++turn) {
            const Result plain = dump(settings, kJournalBytes, false);
            report(out, "unpaced, no journal", kJournalBytes, plain);
            Journal journal; // as the window writes it: a file a day in a folder
            journal.openDaily(dir.filePath(QStringLiteral("journal%1").arg(turn)));
            const Result journaled = dump(settings, kJournalBytes, false, &journal);
            report(out, "unpaced, journal", kJournalBytes, journaled);
            without.append(plain.seconds);
            with.append(journaled.seconds);
        }
        std::sort(without.begin(), without.end());
        std::sort(with.begin(), with.end());
        const double a = without[kTurns / 2];
        const double b = with[kTurns / 2];
        out << QStringLiteral("median %1 s without, %2 s with the journal: %3 %\n")
                   .arg(a, 0, 'f', 3)
                   .arg(b, 0, 'f', 3)
                   .arg(100.0 * (b - a) / a, 0, 'f', 1);
        return 0;
    }
    // "unpaced" skips the paced run (at 38400 bit/s it takes about 26 seconds).
    const bool pacedToo = !args.contains(QStringLiteral("unpaced"));
    if (pacedToo)
        report(out, qPrintable(QStringLiteral("paced at %1 bit/s").arg(g_baud)), pacedBytes,
               dump(settings, pacedBytes, true));
    report(out, "unpaced", kUnpacedBytes, dump(settings, kUnpacedBytes, false));
    return 0;
}
