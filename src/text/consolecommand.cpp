#include "text/consolecommand.h"

#include "text/commandtext.h"

namespace corvane {

namespace {

struct CommandWord {
    const char *word;
    ConsoleProcedure procedure;
    bool fromRawLine;
    const char *workname;
    const char *cmdMode;
};

// In matching order: every two-letter word before the single letters.
constexpr CommandWord kCommandWords[] = {
    {"LH", ConsoleProcedure::LHsub, true, nullptr, nullptr},
    {"LS", ConsoleProcedure::LSsub, true, nullptr, nullptr},
    {"LB", ConsoleProcedure::LBsub, true, nullptr, nullptr},
    {"SH", ConsoleProcedure::SHsub, true, nullptr, nullptr},
    {"SS", ConsoleProcedure::SSsub, true, nullptr, nullptr},
    {"SB", ConsoleProcedure::SBsub, true, nullptr, nullptr},
    {"BS", ConsoleProcedure::BSsub, false, nullptr, nullptr},
    {"BT", ConsoleProcedure::TWsub, false, nullptr, nullptr},
    {"T", ConsoleProcedure::TSsub, false, nullptr, nullptr},
    {"C", ConsoleProcedure::PbCL_Click, false, nullptr, nullptr},
    {"D", ConsoleProcedure::BDsub, false, nullptr, nullptr},
    {"B", ConsoleProcedure::DeviceCont, false, "* Blank check ", "BL"},
    {"R", ConsoleProcedure::DeviceCont, false, "* Read device", "RD"},
    {"V", ConsoleProcedure::DeviceCont, false, "* Verify device", "CP"},
    {"W", ConsoleProcedure::DeviceCont, false, "* Write device", "WT"},
    {"P", ConsoleProcedure::DeviceCont, false, "* Program device", "PG"},
    {"E", ConsoleProcedure::DeviceCont, false, "* Erase device ", "ER"},
};

} // namespace

ConsoleCommand matchConsoleCommand(const QString &rawLine) {
    ConsoleCommand command;
    QString text = rawLine;
    const QString cleaned = reMakeCmd(text);
    if (cleaned.isEmpty())
        return command;

    for (const CommandWord &entry : kCommandWords) {
        const QLatin1String word(entry.word);
        if (!cleaned.startsWith(word))
            continue;
        command.procedure = entry.procedure;
        if (entry.procedure != ConsoleProcedure::PbCL_Click)
            command.argument = (entry.fromRawLine ? rawLine : cleaned).mid(word.size());
        if (entry.workname) {
            command.workname = QString::fromLatin1(entry.workname);
            command.CMDmode = QString::fromLatin1(entry.cmdMode);
        }
        return command;
    }
    command.procedure = ConsoleProcedure::Unsupported;
    return command;
}

} // namespace corvane
