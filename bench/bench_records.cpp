// Benchmark of the records reader and writer: a 1 MiB random image as Intel HEX and Motorola S
// (16 bytes a record), written, then read from memory and through a device. Prints the best of
// five runs in milliseconds; the goal is well under 100 ms for reading 1 MiB as Intel HEX.
// Run: build/bench/bench_records [--kib N: size of the image]

#include "text/records.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace corvane;

namespace {

double bestMs(const std::function<void()> &run) {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const qsizetype kib =
        arguments.contains(QStringLiteral("--kib"))
            ? arguments.value(arguments.indexOf(QStringLiteral("--kib")) + 1).toInt()
            : 1024;
    QByteArray bytes(kib * 1024, '\0');
    QRandomGenerator random(1);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    MemoryImage image;
    image.write(0, bytes);
    for (RecordFormat format : {RecordFormat::IntelHex, RecordFormat::MotorolaS}) {
        QByteArray text;
        const double written = bestMs([&] { text = writeRecords(format, image); });
        bool same = true;
        const double read = bestMs([&] { same &= readRecords(text).image.runs() == image.runs(); });
        const double device = bestMs([&] {
            QBuffer buffer(&text);
            buffer.open(QIODevice::ReadOnly);
            same &= readRecords(&buffer).image.runs() == image.runs();
        });
        std::printf("%-9s %lld KiB as %lld bytes of text: write %.1f ms, read %.1f ms, read from a "
                    "device %.1f ms%s\n",
                    format == RecordFormat::IntelHex ? "Intel HEX" : "S records",
                    static_cast<long long>(kib), static_cast<long long>(text.size()), written, read,
                    device, same ? "" : "  *** NOT THE IMAGE ***");
    }
    return 0;
}
