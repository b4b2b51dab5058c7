// Fuzzes matchConsoleCommand: the word decides alone, the argument is the rest of the line.
#include "fuzz.h"
#include "text/commandtext.h"
#include "text/consolecommand.h"

using namespace corvane;
using P = ConsoleProcedure;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString line = fuzz::textFromBytes(data, size);
    if (line.isEmpty())
        return 0; // the caller's business
    const ConsoleCommand command = matchConsoleCommand(line);
    const ConsoleCommand again = matchConsoleCommand(line);
    FUZZ_CHECK(again.procedure == command.procedure && again.argument == command.argument &&
                   again.workname == command.workname && again.CMDmode == command.CMDmode,
               "matching the same line twice differs");

    QString copy = line;
    const QString cleaned = reMakeCmd(copy);
    const P p = command.procedure;
    FUZZ_CHECK((p == P::Nothing) == cleaned.isEmpty(), "a blank line calls something or not");
    // The command word is at most two letters of the cleaned line: they alone pick the procedure.
    FUZZ_CHECK(p == P::Nothing || matchConsoleCommand(cleaned.left(2)).procedure == p,
               "the procedure depends on more than the command word");
    // File commands keep the raw line after their word, the others the cleaned line after theirs.
    const QString &argument = command.argument;
    if (p >= P::LHsub && p <= P::SBsub)
        FUZZ_CHECK(argument == line.mid(2), "a file command's argument is not the raw line");
    else if (p == P::Nothing || p == P::Unsupported || p == P::PbCL_Click)
        FUZZ_CHECK(argument.isEmpty(), "an argument for a command that takes none");
    else
        FUZZ_CHECK(argument == cleaned.mid(p == P::BSsub || p == P::TWsub ? 2 : 1),
                   "the argument is not the cleaned line after the word");
    FUZZ_CHECK((p == P::DeviceCont) == !command.CMDmode.isEmpty() &&
                   command.CMDmode.isEmpty() == command.workname.isEmpty(),
               "a unit word and log title for a device command only");
    return 0;
}
