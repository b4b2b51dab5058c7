#pragma once
// The program's command line: with no options it opens the window; `--run FILE` runs a
// command-response file without a window and `--compare FILE` compares the units' buffers with a
// file, each ending with an exit status.

#include "controller/outcome.h"
#include "text/version.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace corvane {

struct CommandLine {
    QString runFile;     // --run: empty for the window
    QString compareFile; // --compare: the file to compare the units' buffers with
    // --range: the buffer addresses to compare (none: the ones the file covers)
    std::optional<std::pair<quint32, quint32>> range;
    QStringList ports;    // --port, in the order given (empty: the settings file's)
    QString speed;        // --speed (empty: the settings file's)
    QString settingsPath; // --settings (empty: the program's own)
    QString journalPath;  // --journal (empty: the daily file in the data folder)
    bool journal = true;  // false with --no-journal
    bool help = false;
    bool version = false;
    QString error; // a usage error, for standard error; the status is then kExitUsage
    QString helpText;
    // A run or a comparison: no window.
    [[nodiscard]] bool unattended() const { return !runFile.isEmpty() || !compareFile.isEmpty(); }
};

// Reads the arguments (the program's name first, as in argv).
[[nodiscard]] CommandLine parseCommandLine(const QStringList &arguments);

} // namespace corvane
