// The command interpreter: the "Cr" button runs the typed command line through the same procedure
// its button would call.

#include "controller/unitcontroller.h"

namespace corvane {

QCoro::Task<> UnitController::PbCMD_Click() {
    co_await interpret(false);
}

QCoro::Task<std::optional<CommandOutcome>> UnitController::interpret(bool runnerTurn) {
    // A command-response run feeds its lines through here one at a time; nothing else may start a
    // command while a run or another command is in progress.
    if (m_commandRunning || (m_commandRunRunning && !runnerTurn))
        co_return std::nullopt;

    const QString rawLine = m_choices.command;
    if (rawLine.isEmpty())
        co_return std::nullopt;

    m_commandRunning = true;
    m_commandNotices.clear();
    PbUnEn();
    co_await CLR232IN();

    const ConsoleCommand command = matchConsoleCommand(rawLine);
    co_await carryOut(command);
    m_commandRunning = false;
    // A refused code leaves the reply code of the queries that follow it ("00"), but the code
    // shows red: a run must not go on with the device the unit still holds.
    const bool codeRefused =
        command.procedure == ConsoleProcedure::TSsub && m_panel.deviceCodeRefused;
    const CommandOutcome outcome = commandOutcome(m_commandNotices, codeRefused, AnsRxCode);
    Q_EMIT commandEnded(outcome);
    co_return outcome;
}

QCoro::Task<> UnitController::carryOut(ConsoleCommand command) {
    const QString &argument = command.argument;
    switch (command.procedure) {
    case ConsoleProcedure::Nothing:
        PbReEn();
        break;
    case ConsoleProcedure::Unsupported:
        report(Notice::Unsupported);
        PbReEn();
        break;
    case ConsoleProcedure::LHsub:
        co_await LHsub(argument);
        break;
    case ConsoleProcedure::LSsub:
        co_await LSsub(argument);
        break;
    case ConsoleProcedure::LBsub:
        co_await LBsub(argument);
        break;
    case ConsoleProcedure::SHsub:
        co_await SHsub(argument);
        break;
    case ConsoleProcedure::SSsub:
        co_await SSsub(argument);
        break;
    case ConsoleProcedure::SBsub:
        co_await SBsub(argument);
        break;
    case ConsoleProcedure::BSsub:
        co_await BSsub(argument);
        break;
    case ConsoleProcedure::TWsub:
        co_await TWsub(argument);
        break;
    case ConsoleProcedure::TSsub:
        co_await TSsub(argument);
        break;
    case ConsoleProcedure::PbCL_Click:
        co_await PbCL_Click();
        break;
    case ConsoleProcedure::BDsub:
        co_await BDsub(argument);
        break;
    case ConsoleProcedure::DeviceCont:
        co_await DeviceCont(command.workname, command.CMDmode, argument);
        break;
    }
}

} // namespace corvane
