#include "app/commandline.h"

#include <QCommandLineParser>
#include <QSet>

namespace corvane {

QString programVersion() {
    return QStringLiteral("%1.%2.%3")
        .arg(CORVANE_VERSION_MAJOR)
        .arg(CORVANE_VERSION_MINOR)
        .arg(CORVANE_VERSION_PATCH);
}

CommandLine parseCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Corvane ROM programmer control. Without --run it opens the window."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version and ends."));
    const QCommandLineOption run(
        QStringLiteral("run"),
        QStringLiteral("Connects, runs the command-response FILE without a window and ends with "
                       "0 normal, 1 abnormal, 2 cancelled, 3 no connection, 64 bad usage."),
        QStringLiteral("FILE"));
    const QCommandLineOption port(
        QStringLiteral("port"),
        QStringLiteral("The port (1-6, EMU, a device path, rfc2217://HOST:PORT, tcp://HOST:PORT); "
                       "repeat it to run on several units at once. Default: the settings file's."),
        QStringLiteral("TEXT"));
    const QCommandLineOption speed(QStringLiteral("speed"),
                                   QStringLiteral("Line speed in bit/s. Default: the settings "
                                                  "file's."),
                                   QStringLiteral("BPS"));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("The settings file to read (never written "
                                                     "by a run)."),
                                      QStringLiteral("PATH"));
    const QCommandLineOption journal(QStringLiteral("journal"),
                                     QStringLiteral("Writes the journal of every exchange to "
                                                    "PATH instead of the daily file."),
                                     QStringLiteral("PATH"));
    const QCommandLineOption noJournal(QStringLiteral("no-journal"),
                                       QStringLiteral("Writes no journal."));
    parser.addOptions({help, version, run, port, speed, settings, journal, noJournal});

    CommandLine line;
    // Read before any application object exists, which would name the program.
    line.helpText =
        parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("corvane"));
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(help);
    line.version = parser.isSet(version);
    line.runFile = parser.value(run);
    line.ports = parser.values(port);
    line.speed = parser.value(speed);
    line.settingsPath = parser.value(settings);
    line.journalPath = parser.value(journal);
    line.journal = !parser.isSet(noJournal);
    if (!parser.positionalArguments().isEmpty())
        line.error = QStringLiteral("Unexpected argument '%1'.")
                         .arg(parser.positionalArguments().constFirst());
    else if (parser.isSet(run) && line.runFile.isEmpty())
        line.error = QStringLiteral("--run needs a file.");
    else if (!line.runFile.isEmpty() || line.ports.size() > 1) {
        if (line.ports.size() > 1 && line.runFile.isEmpty())
            line.error = QStringLiteral("Several ports need --run.");
        QSet<QString> seen;
        for (const QString &text : line.ports) {
            const QString key = text.trimmed().toUpper();
            if (key.isEmpty())
                line.error = QStringLiteral("An empty port.");
            else if (seen.contains(key))
                line.error = QStringLiteral("The port '%1' is named twice.").arg(text);
            seen.insert(key);
        }
    }
    if (line.error.isEmpty() && !line.speed.isEmpty() && line.speed.toInt() <= 0)
        line.error = QStringLiteral("The speed '%1' is not a number of bit/s.").arg(line.speed);
    if (line.error.isEmpty() && parser.isSet(journal) && !line.journal)
        line.error = QStringLiteral("--journal and --no-journal exclude each other.");
    return line;
}

} // namespace corvane
