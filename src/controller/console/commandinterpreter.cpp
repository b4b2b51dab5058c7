// The command interpreter: the "Cr" button runs the typed command line through the same procedure
// its button would call.

#include "window/form1.h"

#include <QLabel>
#include <QLineEdit>

#include <utility>

namespace corvane {

QCoro::Task<> Form1::PbCMD_Click() {
    // A command-response run feeds its lines through here one at a time; nothing else may start a
    // command while a run or another command is in progress.
    const bool runnerTurn = std::exchange(m_runnerTurn, false);
    if (m_commandRunning || (m_commandRunRunning && !runnerTurn))
        co_return;

    const QString rawLine = TexCMD->text();
    if (rawLine.isEmpty())
        co_return;

    m_commandRunning = true;
    m_commandRefused = false;
    PbUnEn();
    co_await CLR232IN();

    co_await carryOut(matchConsoleCommand(rawLine));
    m_commandRunning = false;
}

QCoro::Task<> Form1::carryOut(ConsoleCommand command) {
    const QString &argument = command.argument;
    switch (command.procedure) {
    case ConsoleProcedure::Nothing:
        PbReEn();
        break;
    case ConsoleProcedure::Unsupported:
        AddList1(QStringLiteral("このコマンドは、サポートされてません！"));
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
        // A refused code leaves the reply code of the queries that follow it ("00"), but the
        // code shows red: a run must not go on with the device the unit still holds.
        if (textColor(LbDevSetCode) == QColor(255, 0, 0))
            m_commandRefused = true;
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
