// The Corvane control program: one window that drives the unit on a serial line or the built-in
// emulated unit (port text EMU); with --run, a command-response file run without the window.

#include "shell/commandline.h"
#include "window/form1.h"
#include "shell/journal.h"
#include "shell/quitsignals.h"
#include "shell/unattendedrun.h"

#include <QApplication>
#include <QComboBox>
#include <QLoggingCategory>

#include <csignal>
#include <cstdio>

namespace {

int fail(const QString &message) {
    std::fprintf(stderr, "corvane: %s\nTry 'corvane --help'.\n", qPrintable(message));
    return corvane::kExitUsage;
}

// The window, until it is closed or a signal ends it.
int runWindow(const corvane::CommandLine &line) {
    corvane::Journal journal;
    const bool unjournaled = line.journal && !journal.openChosenOrDaily(line.journalPath);
    corvane::Form1Options options;
    options.settingsPath = line.settingsPath;
    options.journal = &journal;
    corvane::Form1 window(options);
    if (unjournaled) {
        const QString text = corvane::Journal::cannotWriteText(journal.errorString());
        std::fprintf(stderr, "corvane: %s\n", qPrintable(text));
        window.showInLog(text);
    }
    if (!line.ports.isEmpty())
        window.Combo1->setEditText(line.ports.constFirst());
    if (!line.speed.isEmpty())
        window.Combo2->setEditText(line.speed);
    // Ended from outside, the program ends as "終了" ends it: files flushed and closed, the port
    // closed when the window goes.
    corvane::QuitSignals quit({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&quit, &corvane::QuitSignals::received, &window,
                     [&window](int) { window.PbExit_Click(); });
    window.show();
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const corvane::CommandLine line = corvane::parseCommandLine(arguments);
    if (!line.error.isEmpty())
        return fail(line.error);
    if (line.help) {
        std::fputs(qPrintable(line.helpText), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("corvane %s\n", qPrintable(corvane::programVersion()));
        return 0;
    }
    // A file size limit makes a write fail (and the save report it) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    // A run needs no display: it draws nothing anyone sees.
    if (!line.runFile.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Without XDG_RUNTIME_DIR (root, cron) starting the platform warns about a folder a run never
    // uses: standard error stays the run's own.
    QLoggingCategory *general = QLoggingCategory::defaultCategory();
    const bool quietStart = !line.runFile.isEmpty() && general && general->isWarningEnabled() &&
                            qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR");
    if (quietStart)
        general->setEnabled(QtWarningMsg, false);
    QApplication app(argc, argv);
    if (quietStart)
        general->setEnabled(QtWarningMsg, true);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    corvane::Journal::writeHeldOnCrash();
    if (!line.runFile.isEmpty())
        return corvane::runUnattended(line);

    return runWindow(line);
}
