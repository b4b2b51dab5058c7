// The Corvane control program: one window that drives the unit on a serial line or the built-in
// emulated unit (port text EMU); with --run, a command-response file run without the window; with
// --compare, the units' buffers compared with a file.

#include "shell/commandline.h"
#include "shell/comparerun.h"
#include "shell/journal.h"
#include "shell/quitsignals.h"
#include "shell/unattendedrun.h"
#include "shell/unitjournal.h"
#include "text/settingsplace.h"
#include "window/windowprogram.h"

#include <QApplication>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

namespace {

int fail(const QString &message) {
    std::fprintf(stderr, "corvane: %s\nTry 'corvane --help'.\n", qPrintable(message));
    return corvane::kExitUsage;
}

// The window, until it is closed or a signal ends it.
int runWindow(int argc, char *argv[], const corvane::CommandLine &line) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    corvane::Journal journal;
    const bool unjournaled = line.journal && !journal.openChosenOrDaily(line.journalPath);
    corvane::ControllerOptions options;
    options.settingsPath = line.settingsPath;
    corvane::UnitController unit(corvane::journaled(options, &journal));
    corvane::recordEvents(unit, journal);
    corvane::Choices choices = unit.choices();
    if (!line.ports.isEmpty())
        choices.settings.port = line.ports.constFirst();
    if (!line.speed.isEmpty())
        choices.settings.speed = line.speed;
    unit.setChoices(choices);
    corvane::ProgramWindow window(
        unit, journal.isOpen() ? QFileInfo(journal.fileName()).absolutePath() : QString());
    // The journal's word that it stopped or writes again: shown, never recorded, since the
    // journal may be the one that cannot write.
    journal.setNotice([&window](const QString &text) { window.showInLog(text); });
    if (unjournaled) {
        const QString text = corvane::Journal::cannotWriteText(journal.errorString());
        std::fprintf(stderr, "corvane: %s\n", qPrintable(text));
        window.showInLog(text);
    }
    // Ended from outside, the program ends as "終了" ends it: files flushed and closed, the port
    // closed when the window goes.
    corvane::QuitSignals quit({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&quit, &corvane::QuitSignals::received, &quit,
                     [&window](int) { window.exit(); });
    window.show();
    const int status = QApplication::exec();
    journal.setNotice({});
    return status;
}

// The options, then the settings file in use (found as the window would).
int printHelp(int argc, char *argv[], const corvane::CommandLine &line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    const corvane::SettingsFiles files =
        line.settingsPath.isEmpty()
            ? corvane::findSettingsFiles(QCoreApplication::applicationDirPath())
            : corvane::SettingsFiles{line.settingsPath, line.settingsPath};
    std::fputs(qPrintable(line.helpText), stdout);
    std::printf("\nSettings file: %s\n", qPrintable(files.write));
    if (files.read != files.write)
        std::printf("  (read from %s until the settings are first saved)\n",
                    qPrintable(files.read));
    return 0;
}

// A command-response run or a comparison without the window: no platform is loaded.
int runWithoutWindow(int argc, char *argv[], const corvane::CommandLine &line) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
    return line.compareFile.isEmpty() ? corvane::runUnattended(line)
                                      : corvane::compareUnattended(line);
}

} // namespace

int main(int argc, char *argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const corvane::CommandLine line = corvane::parseCommandLine(arguments);
    if (!line.error.isEmpty())
        return fail(line.error);
    if (line.help)
        return printHelp(argc, argv, line);
    if (line.version) {
        std::printf("corvane %s\n", qPrintable(corvane::programVersion()));
        return 0;
    }
    // A file size limit makes a write fail (and the save report it) instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    corvane::Journal::writeHeldOnCrash();
    if (line.unattended())
        return runWithoutWindow(argc, argv, line);
    return runWindow(argc, argv, line);
}
