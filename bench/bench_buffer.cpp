// Benchmark of the buffer window's work: a 128 KiB range read into memory over a paced line
// (921600 bit/s unless told), a 1 MiB image compared with a 1 MiB Intel HEX file (read and
// compared), and the buffer window holding 1 MiB (its peak memory).
// Goals: the read at >= 95 % of the line's rate; the comparison under 200 ms; the window under
// 60 MB peak memory.
// Run: build/bench/bench_buffer [--baud N] [--kib N: size of the read]

#include "controller/unitcontroller.h"
#include "ports/emulatedport.h"
#include "text/bytecompare.h"
#include "text/imagefile.h"

#include <QApplication>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

using namespace corvane;

namespace {

long peakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray randomBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    QRandomGenerator generator(42);
    for (char &byte : bytes)
        byte = char(generator.bounded(256));
    return bytes;
}

// The read's rate: the data's bytes over the time from the first hex line to the last.
bool readRate(const QTemporaryDir &dir, int baud, int kib) {
    ControllerOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    UnitController unit(options);
    unit.StartUpWork = 2; // no start-up connection: the benchmark puts its own line in place
    auto owned = std::make_unique<EmulatedPort>(UnitOptions{0.0, 0});
    EmulatedPort *port = owned.get();
    port->setPaced(true);
    port->setSettings(QStringLiteral("%1,n,8,1").arg(baud));
    const QByteArray image = randomBytes(qsizetype(kib) * 1024);
    std::copy(image.cbegin(), image.cend(), port->unit().buffer().begin());
    port->open();
    unit.usePort(std::move(owned));
    unit.AnsRxCode = QStringLiteral("00");
    unit.PbReEn();
    QElapsedTimer clock;
    qint64 firstMs = -1, lastMs = -1;
    QObject::connect(&unit, &UnitController::logLineAdded, &unit, [&](const QString &line) {
        if (line.size() != 48) // the hex lines of 16 bytes
            return;
        lastMs = clock.elapsed();
        if (firstMs < 0)
            firstMs = lastMs;
    });
    clock.start();
    const UnitController::BufferRead read =
        QCoro::waitFor(unit.readBuffer(0, quint32(image.size() - 1)));
    const double whole = double(clock.elapsed()) / 1e3;
    // 16 bytes came before the first line was complete.
    const double seconds = double(lastMs - firstMs) / 1e3 + 16.0 * 10 / baud;
    const double percent = 100.0 * double(image.size()) * 10 / baud / seconds;
    const bool ok = read.complete && read.bytes == image;
    std::printf("read %d KiB at %d bit/s: %.2f s (%.2f s in all), %.1f %% of the line's rate%s\n",
                kib, baud, seconds, whole, percent, ok ? "" : "  FAILED (bytes differ)");
    return ok && percent >= 95.0;
}

// 1 MiB against a 1 MiB Intel HEX file with a few differences: reading the file and comparing.
bool compareSpeed(const QTemporaryDir &dir) {
    const QByteArray unitBytes = randomBytes(1 << 20);
    MemoryImage fileImage;
    QByteArray fileBytes = unitBytes;
    for (int i = 0; i < 64; ++i)
        fileBytes[i * 16381] = char(~fileBytes[i * 16381]);
    fileImage.write(0, fileBytes);
    const QString path = dir.filePath(QStringLiteral("image.hex"));
    if (!writeImageFile(path, ImageFormat::IntelHex, fileImage).isEmpty())
        return false;
    QElapsedTimer clock;
    clock.start();
    const ImageFileRead file = readImageFile(path);
    const qint64 readMs = clock.elapsed();
    const Comparison comparison = compareImage(0, unitBytes, file.image);
    const qint64 allMs = clock.elapsed();
    const bool ok = file.ok() && comparison.differing == 64;
    std::printf("compare 1 MiB with a 1 MiB Intel HEX file: %lld ms (reading %lld ms), %llu "
                "differing bytes%s\n",
                static_cast<long long>(allMs), static_cast<long long>(readMs),
                static_cast<unsigned long long>(comparison.differing), ok ? "" : "  FAILED");
    return ok && allMs < 200;
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    auto number = [&args](const char *name, int fallback) {
        const qsizetype at = args.indexOf(QString::fromLatin1(name));
        return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
    };
    QTemporaryDir dir;
    bool ok = readRate(dir, number("--baud", 921600), number("--kib", 128));
    ok = compareSpeed(dir) && ok;
    std::printf("peak memory %ld KiB\n", peakKiB());
    return ok ? 0 : 1;
}
