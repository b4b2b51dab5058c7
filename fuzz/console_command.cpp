// Fuzzes matchConsoleCommand: procedure, argument and unit word follow the command words.
#include "console/consolecommand.h"
#include "fuzzqt.h"
#include "protocol/commandtext.h"

#include <QString>

#include <cstring>
#include <utility>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

struct Word {
    const char *word;
    ConsoleProcedure procedure;
    bool fileCommand;
};

// The command words of the typed language; the first whose text starts the line wins.
constexpr Word kWords[] = {
    {"LH", ConsoleProcedure::LHsub, true},      {"LS", ConsoleProcedure::LSsub, true},
    {"LB", ConsoleProcedure::LBsub, true},      {"SH", ConsoleProcedure::SHsub, true},
    {"SS", ConsoleProcedure::SSsub, true},      {"SB", ConsoleProcedure::SBsub, true},
    {"BS", ConsoleProcedure::BSsub, false},     {"BT", ConsoleProcedure::TWsub, false},
    {"T", ConsoleProcedure::TSsub, false},      {"C", ConsoleProcedure::PbCL_Click, false},
    {"D", ConsoleProcedure::BDsub, false},      {"B", ConsoleProcedure::DeviceCont, false},
    {"R", ConsoleProcedure::DeviceCont, false}, {"V", ConsoleProcedure::DeviceCont, false},
    {"W", ConsoleProcedure::DeviceCont, false}, {"P", ConsoleProcedure::DeviceCont, false},
    {"E", ConsoleProcedure::DeviceCont, false},
};

// The unit's word and the log title of each device command letter.
std::pair<QString, QString> deviceCall(QChar letter) {
    switch (letter.unicode()) {
    case u'B':
        return {QStringLiteral("BL"), QStringLiteral("* Blank check ")};
    case u'R':
        return {QStringLiteral("RD"), QStringLiteral("* Read device")};
    case u'V':
        return {QStringLiteral("CP"), QStringLiteral("* Verify device")};
    case u'W':
        return {QStringLiteral("WT"), QStringLiteral("* Write device")};
    case u'P':
        return {QStringLiteral("PG"), QStringLiteral("* Program device")};
    case u'E':
        return {QStringLiteral("ER"), QStringLiteral("* Erase device ")};
    default:
        return {};
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString line = textFromBytes(data, size);
    if (line.isEmpty())
        return 0; // the caller's business
    const ConsoleCommand command = matchConsoleCommand(line);
    FUZZ_CHECK(matchConsoleCommand(line).procedure == command.procedure, "matching is not stable");

    QString copy = line;
    const QString cleaned = reMakeCmd(copy);
    if (cleaned.isEmpty()) {
        FUZZ_CHECK(command.procedure == ConsoleProcedure::Nothing && command.argument.isEmpty(),
                   "a blank or comment-only line calls something");
        return 0;
    }
    const Word *match = nullptr;
    for (const Word &word : kWords) {
        if (cleaned.startsWith(QLatin1String(word.word))) {
            match = &word;
            break;
        }
    }
    if (!match) {
        FUZZ_CHECK(command.procedure == ConsoleProcedure::Unsupported,
                   "a line without a command word calls something");
        FUZZ_CHECK(command.argument.isEmpty() && command.CMDmode.isEmpty(),
                   "an unsupported line carries an argument");
        return 0;
    }
    if (command.procedure != match->procedure) {
        printText("line", line);
        FUZZ_CHECK(command.procedure == match->procedure, "the wrong procedure for the word");
    }
    const qsizetype wordLength = qsizetype(std::strlen(match->word));
    if (match->fileCommand) {
        FUZZ_CHECK(command.argument == line.mid(2),
                   "a file command's argument is not the raw line");
    } else if (match->procedure == ConsoleProcedure::PbCL_Click) {
        FUZZ_CHECK(command.argument.isEmpty(), "the clear command carries an argument");
    } else {
        FUZZ_CHECK(command.argument == cleaned.mid(wordLength),
                   "the argument is not the cleaned line after the word");
    }
    if (match->procedure == ConsoleProcedure::DeviceCont) {
        const auto [word, title] = deviceCall(cleaned[0]);
        FUZZ_CHECK(command.CMDmode == word && command.workname == title,
                   "the wrong unit word or log title");
    } else {
        FUZZ_CHECK(command.CMDmode.isEmpty() && command.workname.isEmpty(),
                   "a non-device command carries a unit word");
    }
    return 0;
}
