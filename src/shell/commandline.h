#pragma once
// The program's command line: with no options it opens the window; `--run FILE` runs a
// command-response file without a window and ends with an exit status.

#include <QString>
#include <QStringList>

namespace corvane {

// Exit statuses of a run without the window.
enum ExitStatus : int {
    kExitNormal = 0,       // "ｺﾏﾝﾄﾞﾚｽ正常終了"
    kExitAbnormal = 1,     // "ｺﾏﾝﾄﾞﾚｽ異常終了", a lost line included
    kExitCancelled = 2,    // "ｺﾏﾝﾄﾞﾚｽ キャンセル終了"
    kExitNoConnection = 3, // the port could not be opened or the unit did not answer the greeting
    kExitFilesLost = 4,    // ran to its end; a load file missing or a save not (wholly) written
    kExitUsage = 64,
};

struct CommandLine {
    QString runFile;      // --run: empty for the window
    QStringList ports;    // --port, in the order given (empty: the settings file's)
    QString speed;        // --speed (empty: the settings file's)
    QString settingsPath; // --settings (empty: the program's own)
    QString journalPath;  // --journal (empty: the daily file in the data folder)
    bool journal = true;  // false with --no-journal
    bool help = false;
    bool version = false;
    QString error; // a usage error, for standard error; the status is then kExitUsage
    QString helpText;
};

// "major.minor.patch" of this program.
[[nodiscard]] QString programVersion();

// Reads the arguments (the program's name first, as in argv).
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

} // namespace corvane
