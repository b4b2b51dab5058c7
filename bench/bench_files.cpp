// Benchmark of the file transfers through the emulated unit: a 32 KiB image in each format on a
// paced line (38400 bit/s unless told) with the window shown, a 1 MiB image unpaced with the window
// hidden, and a 64 KiB image unpaced with the window shown. Each image is saved from the unit's
// buffer into a file and loaded back into a cleared buffer, which must then hold the image again.
// Prints seconds, bytes per second on the line, the ratio to the line's limit, CPU time (the whole
// process, and apart the emulated unit's share: the cable's pump, which runs the unit) and peak
// memory.
// Run: build/bench/bench_files [--quick: unpaced only] [--paced-only] [--kib N: size of the large
//      image] [--baud N: speed of the paced line] [--paced-kib N: size of the paced image]
// e.g. bench_files --paced-only --paced-kib 256 --baud 921600
// Environment: BENCH_PACED_KIB=N size of the paced image; BENCH_TICK_MS=N interval of the line
// monitor (its flow control stalls an unpaced unit until the next tick).

#include "ports/emulatedport.h"
#include "shell/unitjournal.h"
#include "window/form1.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <ctime>
#include <functional>

using namespace corvane;

namespace {

int g_baud = 38400; // speed of the paced line

double lineLimit() {
    return g_baud / 10.0; // bytes per second, 10 bits a byte
}

double threadCpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

// The emulated port in use and the CPU time its events took: the pump timer is a member of the
// port, so its events are those sent to an object inside the port's own memory.
const EmulatedPort *g_port = nullptr;
double g_unitCpu = 0;

class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        const auto *at = reinterpret_cast<const char *>(receiver);
        const auto *port = reinterpret_cast<const char *>(g_port);
        if (!g_port || at < port || at >= port + sizeof(EmulatedPort))
            return QApplication::notify(receiver, event);
        const double before = threadCpuSeconds();
        const bool done = QApplication::notify(receiver, event);
        g_unitCpu += threadCpuSeconds() - before;
        return done;
    }
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Format {
    const char *name;
    QCoro::Task<> (UnitController::*save)(QString);
    QCoro::Task<> (UnitController::*load)(QString);
    const char *suffix;
    QString loadReady; // the log line after which a load's data flows
    QString saveEnd;   // the log line that ends a save's data
};

struct Measure {
    double seconds = 0;  // the whole operation, purge and waits included
    double transfer = 0; // from the start of the data to its end
    double cpu = 0;
    double unitCpu = 0; // the emulated unit's share of cpu
    bool ok = false;
};

// Runs one operation and times it, and the part between the log lines `from` and `to`.
Measure run(UnitController &unit, QCoro::Task<> (UnitController::*op)(QString),
            const QString &argument, const QString &from, const QString &to,
            const QString &success) {
    QElapsedTimer clock;
    qint64 fromMs = -1;
    qint64 toMs = -1;
    qint64 previousMs = 0;
    QStringList tail; // the last lines logged, shown when the operation failed
    const auto connection =
        QObject::connect(&unit, &UnitController::logLineAdded, &unit, [&](const QString &line) {
            if (fromMs < 0 && line == from)
                fromMs = clock.elapsed();
            // A save's data ends with the line before its end line (the binary save's end line
            // comes after 0.3 s of silence); a load's with its final verdict.
            if (toMs < 0 && line.startsWith(to))
                toMs = to == QLatin1String("OK") ? clock.elapsed() : previousMs;
            previousMs = clock.elapsed();
            tail.append(line);
            if (tail.size() > 6)
                tail.removeFirst();
        });
    const double cpu = cpuSeconds();
    const double unitCpu = g_unitCpu;
    clock.start();
    QCoro::waitFor((unit.*op)(argument));
    Measure m;
    m.seconds = double(clock.nsecsElapsed()) / 1e9;
    if (toMs < 0)
        toMs = clock.elapsed();
    m.transfer = double(toMs - std::max<qint64>(fromMs, 0)) / 1e3;
    m.cpu = cpuSeconds() - cpu;
    m.unitCpu = g_unitCpu - unitCpu;
    m.ok = !tail.isEmpty() && tail.constLast() == success;
    if (!m.ok)
        std::printf("  log ends: %s\n", qPrintable(tail.join(QStringLiteral(" | "))));
    QObject::disconnect(connection);
    return m;
}

void report(const char *what, const Measure &m, qint64 lineBytes, bool paced) {
    const double rate = lineBytes / m.transfer;
    std::printf("%-26s %9lld B %7.2f s %7.2f s %10.0f B/s", what, static_cast<long long>(lineBytes),
                m.seconds, m.transfer, rate);
    if (paced)
        std::printf(" %6.1f %%", 100.0 * rate / lineLimit());
    else
        std::printf("        ");
    // The program's share: the process less the emulated unit, per second of the whole operation.
    std::printf(" %6.2f s %5.2f s %5.1f %%%s\n", m.cpu, m.unitCpu,
                100.0 * (m.cpu - m.unitCpu) / m.seconds, m.ok ? "" : "  FAILED");
}

bool roundTrip(const QTemporaryDir &dir, const Format &format, int imageBytes, bool paced,
               bool shown) {
    ControllerOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    if (const int tick = qEnvironmentVariableIntValue("BENCH_TICK_MS"); tick > 0)
        options.timerIntervalMs = tick;
    UnitController unit(options);
    Form1 form(unit);
    unit.StartUpWork = 2; // no start-up connection: the benchmark puts its own line in place
    if (shown)
        form.show();
    auto owned = std::make_unique<EmulatedPort>(UnitOptions{0.0, 0});
    EmulatedPort *port = owned.get();
    port->setPaced(paced);
    port->setSettings(QStringLiteral("%1,n,8,1").arg(paced ? g_baud : 38400));
    port->open();
    unit.usePort(std::move(owned));
    g_port = port;
    const auto forget = qScopeGuard([] { g_port = nullptr; });
    unit.AnsRxCode = QStringLiteral("00");
    unit.PbReEn();

    std::vector<quint8> &buffer = port->unit().buffer();
    std::vector<quint8> image(static_cast<size_t>(imageBytes));
    QRandomGenerator random(imageBytes);
    for (quint8 &byte : image)
        byte = quint8(random.bounded(256));
    std::copy(image.begin(), image.end(), buffer.begin());

    const QString path = dir.filePath(QStringLiteral("image") + QLatin1String(format.suffix));
    const QString range = QStringLiteral(",0,") + QString::number(imageBytes - 1, 16).toUpper();
    const bool binary = format.saveEnd.startsWith(QLatin1String("Save="));
    const Measure save =
        run(unit, format.save, path + range, QStringLiteral("装置からデーターを受信しています。"),
            format.saveEnd, binary ? QStringLiteral("end") : QStringLiteral("終了しました。"));
    const qint64 fileBytes = QFileInfo(path).size();
    // Text: the unit's records with CR LF and the closing 26; binary: the bytes.
    report(qPrintable(QStringLiteral("%1 save %2 KiB")
                          .arg(QLatin1String(format.name))
                          .arg(imageBytes / 1024)),
           save, binary ? fileBytes : fileBytes + 1, paced);

    std::fill(buffer.begin(), buffer.end(), quint8(0));
    const Measure load =
        run(unit, format.load, path, format.loadReady, QStringLiteral("OK"), QStringLiteral("OK"));
    report(qPrintable(QStringLiteral("%1 load %2 KiB")
                          .arg(QLatin1String(format.name))
                          .arg(imageBytes / 1024)),
           load, fileBytes, paced);
    const bool same = std::equal(image.begin(), image.end(), buffer.begin());
    if (!same)
        std::printf("  the loaded buffer differs from the image\n");
    return save.ok && load.ok && same && fileBytes > 0;
}

} // namespace

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BenchApplication app(argc, argv);
    const QStringList args = app.arguments();
    const bool quick = args.contains(QStringLiteral("--quick"));
    const bool pacedOnly = args.contains(QStringLiteral("--paced-only"));
    auto number = [&args](const char *option, int otherwise) {
        const qsizetype at = args.indexOf(QLatin1String(option));
        const int value = at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : 0;
        return value > 0 ? value : otherwise;
    };
    // --kib N: the size of the large unpaced image (default 1024).
    const int bigKiB = number("--kib", 1024);
    g_baud = number("--baud", 38400);
    QTemporaryDir dir;
    const QString ready = QStringLiteral("Corvaneの受信準備ができました。");
    const Format formats[] = {
        {"Intel HEX", &UnitController::SHsub, &UnitController::LHsub, ".HEX", ready,
         QStringLiteral("終了しました。")},
        {"Motorola S", &UnitController::SSsub, &UnitController::LSsub, ".S", ready,
         QStringLiteral("終了しました。")},
        {"binary", &UnitController::SBsub, &UnitController::LBsub, ".BIN", ready,
         QStringLiteral("Save=")},
    };
    struct Case {
        int kib;
        bool paced;
        bool shown;
        const char *title;
    };
    const int pacedKiB = number("--paced-kib", qEnvironmentVariableIntValue("BENCH_PACED_KIB"));
    const QByteArray pacedTitle = QStringLiteral("paced at %1 bit/s (limit %2 B/s), window shown")
                                      .arg(g_baud)
                                      .arg(lineLimit(), 0, 'f', 0)
                                      .toUtf8();
    const Case cases[] = {
        {pacedKiB > 0 ? pacedKiB : 32, true, true, pacedTitle.constData()},
        {bigKiB, false, false, "unpaced, window hidden (no painting)"},
        {64, false, true, "unpaced, window shown"},
    };

    std::printf("%-26s %11s %9s %9s %12s %8s %10s %7s %7s\n", "", "line bytes", "whole", "transfer",
                "rate", "of limit", "cpu", "unit", "program");
    bool ok = true;
    for (const Case &c : cases) {
        if ((quick && c.paced) || (pacedOnly && !c.paced))
            continue;
        std::printf("-- %s\n", c.title);
        for (const Format &format : formats)
            ok = roundTrip(dir, format, c.kib * 1024, c.paced, c.shown) && ok;
    }
    std::printf("peak memory %.1f MB\n", double(peakKiB()) / 1024.0);
    return ok ? 0 : 1;
}
