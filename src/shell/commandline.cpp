#include "shell/commandline.h"

#include "text/bytecompare.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace corvane {

namespace {

void addOptions(QCommandLineParser &parser) {
    parser.setApplicationDescription(
        QStringLiteral("Corvane ROM programmer control. Without --run it opens the window."));
    // Names (a short one first, "|" between), the value's name (none for a switch), what it does.
    struct Option {
        const char *names;
        const char *value;
        const char *description;
    };
    static constexpr Option kOptions[] = {
        {"h|help", nullptr, "Shows this help and ends."},
        {"v|version", nullptr, "Shows the version and ends."},
        {"run", "FILE",
         "Connects, runs the command-response FILE (a pipe or /dev/stdin too) without a window "
         "and ends with 0 normal, 1 abnormal, 2 cancelled, 3 no connection, 4 files missing or "
         "not written, 64 bad usage."},
        {"compare", "FILE",
         "Reads the buffer range FILE covers (binary from address 0, Intel HEX, Motorola S) from "
         "each unit and prints the differing runs; ends with 0 equal, 1 different, 2 cancelled, "
         "3 no connection, 4 FILE unreadable or a bad record, 64 bad usage."},
        {"range", "START,END",
         "With --compare: the buffer addresses to compare (hex) instead of the ones FILE covers."},
        {"port", "TEXT",
         "The port (1-6, EMU, a device path, rfc2217://HOST:PORT, tcp://HOST:PORT); repeat it to "
         "run on several units at once. Default: the settings file's."},
        {"speed", "BPS", "Line speed in bit/s. Default: the settings file's."},
        {"settings", "PATH", "The settings file to read (never written by a run)."},
        {"journal", "PATH",
         "Writes the journal of every exchange to PATH instead of the daily file."},
        {"no-journal", nullptr, "Writes no journal."},
    };
    for (const Option &option : kOptions) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(option.names).split(u'|'),
                                            QString::fromLatin1(option.description),
                                            QString::fromLatin1(option.value)));
    }
}

// What makes two port texts the same port: a device path exactly and with its symbolic links
// resolved, the other texts (EMU, numbers, network ports) in any case.
QString portKey(const QString &text) {
    const QString trimmed = text.trimmed();
    if (!trimmed.contains(u'/') || trimmed.contains(QLatin1String("://")))
        return trimmed.toUpper();
    const QString real = QFileInfo(trimmed).canonicalFilePath();
    return real.isEmpty() ? trimmed : real;
}

// The usage error of the ports of a run, if any.
QString checkPorts(const CommandLine &line) {
    if (line.ports.size() > 1 && !line.unattended())
        return QStringLiteral("Several ports need --run or --compare.");
    QSet<QString> seen;
    for (const QString &text : line.ports) {
        const QString key = portKey(text);
        if (key.isEmpty())
            return QStringLiteral("An empty port.");
        if (seen.contains(key))
            return QStringLiteral("The port '%1' is named twice.").arg(text);
        seen.insert(key);
    }
    return {};
}

// The usage error of options that take one value, if any: given twice, or an empty journal path.
QString checkSingleValues(const QCommandLineParser &parser) {
    for (const char *name : {"run", "compare", "range", "speed", "settings", "journal"}) {
        if (parser.values(QString::fromLatin1(name)).size() > 1)
            return QStringLiteral("--%1 is given more than once.").arg(QLatin1String(name));
    }
    if (parser.isSet(QStringLiteral("journal")) &&
        parser.value(QStringLiteral("journal")).isEmpty())
        return QStringLiteral("--journal needs a path.");
    return {};
}

// A run reads its settings file and never makes one: a missing or unreadable one is a usage
// error, with the reason.
QString checkSettingsFile(const QString &path) {
    if (QFileInfo(path).isDir())
        return QStringLiteral("The settings file '%1' is a folder.").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("The settings file '%1' cannot be read: %2")
            .arg(path, file.errorString());
    return {};
}

// The usage error of --compare and --range, if any; the range is read into `line`.
QString checkCompare(const QCommandLineParser &parser, CommandLine &line) {
    const bool compare = parser.isSet(QStringLiteral("compare"));
    if (compare && line.compareFile.isEmpty())
        return QStringLiteral("--compare needs a file.");
    if (compare && parser.isSet(QStringLiteral("run")))
        return QStringLiteral("--run and --compare exclude each other.");
    if (!parser.isSet(QStringLiteral("range")))
        return {};
    if (!compare)
        return QStringLiteral("--range needs --compare.");
    const QString text = parser.value(QStringLiteral("range"));
    const QStringList fields = text.split(u',');
    bool firstOk = false, lastOk = false;
    const uint first = fields.value(0).trimmed().toUInt(&firstOk, 16);
    const uint last = fields.value(1).trimmed().toUInt(&lastOk, 16);
    if (fields.size() != 2 || !firstOk || !lastOk || first > last || last > kLastBufferAddress)
        return QStringLiteral("The range '%1' is not START,END in hex within 0,FFFFF.").arg(text);
    line.range = std::pair{quint32(first), quint32(last)};
    return {};
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments) {
    QCommandLineParser parser;
    addOptions(parser);
    CommandLine line;
    // Read before any application object exists, which would name the program.
    line.helpText =
        parser.helpText().replace(QLatin1String("<executable_name>"), QLatin1String("corvane"));
    if (!parser.parse(arguments)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(QStringLiteral("help"));
    line.version = parser.isSet(QStringLiteral("version"));
    line.runFile = parser.value(QStringLiteral("run"));
    line.compareFile = parser.value(QStringLiteral("compare"));
    line.ports = parser.values(QStringLiteral("port"));
    line.speed = parser.value(QStringLiteral("speed"));
    line.settingsPath = parser.value(QStringLiteral("settings"));
    line.journalPath = parser.value(QStringLiteral("journal"));
    line.journal = !parser.isSet(QStringLiteral("no-journal"));
    if (!parser.positionalArguments().isEmpty())
        line.error = QStringLiteral("Unexpected argument '%1'.")
                         .arg(parser.positionalArguments().constFirst());
    else if (parser.isSet(QStringLiteral("run")) && line.runFile.isEmpty())
        line.error = QStringLiteral("--run needs a file.");
    else
        line.error = checkSingleValues(parser);
    if (line.error.isEmpty())
        line.error = checkCompare(parser, line);
    if (line.error.isEmpty() && (line.unattended() || line.ports.size() > 1))
        line.error = checkPorts(line);
    if (line.error.isEmpty() && line.unattended() && !line.settingsPath.isEmpty())
        line.error = checkSettingsFile(line.settingsPath);
    if (line.error.isEmpty() && !line.speed.isEmpty() && line.speed.toInt() <= 0)
        line.error = QStringLiteral("The speed '%1' is not a number of bit/s.").arg(line.speed);
    if (line.error.isEmpty() && parser.isSet(QStringLiteral("journal")) && !line.journal)
        line.error = QStringLiteral("--journal and --no-journal exclude each other.");
    return line;
}

} // namespace corvane
