// Benchmark: the buffer window with the unit's whole address range (1 MiB) in it: the time from
// the bytes given to the window painted, the time a page scroll takes with its painting (every page
// from the first to the last), a compare of the megabyte with a file image, and the peak memory.
// Goals: shown in under 100 ms, each page well inside a frame (16 ms), the whole under 60 MB.
//
// Usage: bench_buffer_window (QT_QPA_PLATFORM=offscreen runs it without a display)

#include "window/bufferwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace corvane;

namespace {

// The process's peak resident memory in MB (Linux), or -1.
double peakMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    ControllerOptions options;
    options.settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    options.timerIntervalMs = 0;
    options.startUpConnection = false;
    UnitController unit(options);
    BufferWindow window(unit);
    window.show();
    app.processEvents();

    QByteArray bytes(1 << 20, Qt::Uninitialized);
    QRandomGenerator generator(18);
    generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    QElapsedTimer clock;
    clock.start();
    window.model()->setBytes(0, bytes);
    window.view()->viewport()->repaint();
    app.processEvents();
    std::printf("1 MiB shown and painted: %.1f ms\n", double(clock.nsecsElapsed()) / 1e6);

    QScrollBar *bar = window.view()->verticalScrollBar();
    double slowest = 0, total = 0;
    int pages = 0;
    for (int value = 0; value <= bar->maximum(); value += bar->pageStep(), ++pages) {
        clock.restart();
        bar->setValue(value);
        window.view()->viewport()->repaint();
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        slowest = std::max(slowest, ms);
        total += ms;
    }
    std::printf("%d pages scrolled and painted: %.2f ms each on average, %.2f ms the slowest\n",
                pages, total / std::max(pages, 1), slowest);

    MemoryImage file;
    bytes[0x12345] = char(~bytes[0x12345]);
    file.write(0, bytes);
    clock.restart();
    window.model()->compareWith(std::move(file));
    window.view()->viewport()->repaint();
    std::printf("compared with a 1 MiB image (%llu bytes differ): %.1f ms\n",
                static_cast<unsigned long long>(window.model()->comparison().differing),
                double(clock.nsecsElapsed()) / 1e6);
    std::printf("peak memory: %.1f MB\n", peakMegabytes());
    return 0;
}
