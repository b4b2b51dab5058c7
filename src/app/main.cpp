// The Corvane control program: one window that drives the unit on a serial line or the built-in
// emulated unit (port text EMU).

#include "app/form1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    corvane::Form1 window;
    window.show();
    return QApplication::exec();
}
