// The Corvane control program: one window that drives the unit on a serial line or the built-in
// emulated unit (port text EMU).

#include "app/form1.h"
#include "app/quitsignals.h"

#include <QApplication>

#include <csignal>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    corvane::Form1 window;
    // Ended from outside, the program ends as "終了" ends it: files flushed and closed, the port
    // closed when the window goes.
    corvane::QuitSignals quit({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&quit, &corvane::QuitSignals::received, &window,
                     [&window](int) { window.PbExit_Click(); });
    window.show();
    return QApplication::exec();
}
