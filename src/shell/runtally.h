#pragma once
// How a command-response run ended and what went wrong on the way, read from the log lines the
// run writes; a run without the window turns it into its exit status and summary line.

#include "shell/commandline.h"

#include <QString>

namespace corvane {

// The last line of every command-response run.
inline constexpr char16_t kRunNormalEnd[] = u"ｺﾏﾝﾄﾞﾚｽ正常終了";
inline constexpr char16_t kRunCancelledEnd[] = u"ｺﾏﾝﾄﾞﾚｽ キャンセル終了";
inline constexpr char16_t kRunAbnormalEnd[] = u"ｺﾏﾝﾄﾞﾚｽ異常終了";

struct RunTally {
    int commands = 0;                  // command lines handed to the interpreter
    int refused = 0;                   // commands refused by the program or the unit
    int notFound = 0;                  // load files that could not be opened
    int notWritten = 0;                // save files that could not be created or written
    ExitStatus status = kExitAbnormal; // kept from the run's last line; abnormal until it comes

    // The run's exit status: a normal end with a load file missing or a save not written is
    // kExitFilesLost.
    [[nodiscard]] ExitStatus exitStatus() const;

    // Takes one log line into account.
    void see(const QString &line);
    // One line for scripts: "commands 3, refused 0, files not found 0, files not written 0".
    [[nodiscard]] QString summary() const;
};

// The worse of two exit statuses of units run together: 0 < 2 < 4 < 1 < 3 (a usage error or a
// signal's status worst of all).
[[nodiscard]] int worseStatus(int a, int b);

} // namespace corvane
