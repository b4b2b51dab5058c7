#pragma once
// The typed command language: which procedure one command line calls and with which argument.
// Pure text logic; PbCMD_Click carries the result out.

#include <QString>

namespace corvane {

// The procedures a command line can reach (named as the window's members they call).
enum class ConsoleProcedure {
    Nothing,     // the cleaned line is empty: blank or comment only
    Unsupported, // no command word matches
    LHsub,
    LSsub,
    LBsub,
    SHsub,
    SSsub,
    SBsub,
    BSsub,
    TWsub,
    TSsub,
    PbCL_Click,
    BDsub,
    DeviceCont,
};

struct ConsoleCommand {
    ConsoleProcedure procedure = ConsoleProcedure::Nothing;
    QString argument; // RemoteCMD of the called procedure
    QString workname; // DeviceCont only: the log title (with its trailing blank where it has one)
    QString CMDmode;  // DeviceCont only: the unit's command word
};

// Matches the command word at the start of the cleaned `rawLine` (upper case, half width, no
// spaces, comment cut off). Two-letter words are tried before single letters. The six file commands
// take their argument from the raw line without its first two characters, so a path keeps its case,
// its spaces and any "'" in it; every other command takes it from the cleaned line. A non-empty raw
// line is expected (an empty one does nothing at all and is the caller's business).
[[nodiscard]] ConsoleCommand matchConsoleCommand(const QString &rawLine);

} // namespace corvane
