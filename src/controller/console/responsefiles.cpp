// Command-response files: a text file of console commands (CP932, or UTF-8 with a byte-order
// mark) run from top to bottom without the operator, stopping at the first command the unit does
// not acknowledge.

#include "controller/unitcontroller.h"
#include "text/commandfilereader.h"
#include "text/datafile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

namespace corvane {

namespace {

// Empty lines run nothing and never wait: after this many the run lets the event loop through
// once, so that a file of millions of them keeps the controls alive.
constexpr int kBlankLinesPerPass = 1024;

} // namespace

QCoro::Task<> UnitController::PbResGo1_Click() {
    co_await runResponseFile(m_choices.settings.responseFile1);
}

QCoro::Task<> UnitController::PbResGo2_Click() {
    co_await runResponseFile(m_choices.settings.responseFile2);
}

void UnitController::endRun(RunEnd end) {
    m_run.end = end;
    AddList1(runEndText(end));
    Q_EMIT runEnded(m_run);
}

QCoro::Task<> UnitController::runResponseFile(QString path) {
    if (m_commandRunRunning || m_commandRunning)
        co_return;
    HeldFile held(m_commandFile, this, path);
    // Only a plain file: a device or a pipe could block the open or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !held.file()->open(QIODevice::ReadOnly)) {
        AddList1(path.isEmpty()
                     ? QStringLiteral("！ コマンドレスポンスファイルが指定されてません。")
                     : QStringLiteral("！ コマンドレスポンスファイルを開けません。（") + path +
                           QStringLiteral("）"));
        m_run = {};
        endRun(RunEnd::Abnormal);
        co_return;
    }
    co_await runCommands(held.file(), path);
}

QCoro::Task<> UnitController::runResponseBytes(QByteArray bytes, QString path) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    co_await runCommands(&buffer, path);
}

UnitController::RunScope::RunScope(UnitController *unit, bool &heldBusy)
    : m_unit(unit)
    , m_heldBusy(heldBusy) {
    m_unit->m_commandRunRunning = true;
    m_unit->m_run = {};
    Q_EMIT m_unit->busyChanged();
}

UnitController::RunScope::~RunScope() {
    if (m_heldBusy)
        m_unit->PbReEn();
    m_unit->m_commandRunRunning = false;
    m_unit->m_runStopRequested = false;
    Q_EMIT m_unit->busyChanged();
}

QCoro::Task<> UnitController::runCommands(QIODevice *file, QString path) {
    if (m_commandRunRunning || m_commandRunning)
        co_return;
    bool heldBusy = false; // the run locked the controls itself to let the event loop through
    const RunScope run(this, heldBusy);
    AnsRxCode = QStringLiteral("00");
    CommandFileReader reader(file);
    QByteArray bytes;
    int blankLines = 0;
    for (;;) {
        const CommandFileReader::Status status = reader.next(bytes);
        if (status == CommandFileReader::Status::End) {
            endRun(RunEnd::Normal);
            co_return;
        }
        if (status == CommandFileReader::Status::Error) {
            AddList1(QStringLiteral("！ コマンドレスポンスファイルを読めません。（") + path +
                     QStringLiteral("）"));
            endRun(RunEnd::Abnormal);
            co_return;
        }
        bool letEventsThrough = status == CommandFileReader::Status::Pending;
        if (m_runStopRequested) {
            endRun(RunEnd::Cancelled);
            co_return;
        }
        if (status == CommandFileReader::Status::Line) {
            Choices c = m_choices;
            c.command = commandLineText(bytes, reader.encoding());
            setChoices(c);
            if (!c.command.isEmpty()) {
                // Every command re-enables the controls by state when it ends.
                heldBusy = false;
                const bool goOn = co_await runCommandLine();
                if (!goOn)
                    co_return;
                continue;
            }
            // An empty line does nothing at all and never waits.
            letEventsThrough = ++blankLines % kBlankLinesPerPass == 0;
        }
        if (!letEventsThrough)
            continue;
        // The event loop gets a turn, with the operation controls locked as during a command.
        if (!heldBusy) {
            PbUnEn();
            heldBusy = true;
        }
        co_await nextPass();
    }
}

QCoro::Task<bool> UnitController::runCommandLine() {
    ++m_run.commands;
    Q_EMIT runCommandStarted();
    const std::optional<CommandOutcome> outcome = co_await interpret(true);
    if (outcome && outcome->goesOn())
        co_return true;
    endRun(outcome && outcome->kind == CommandOutcome::Kind::Cancelled ? RunEnd::Cancelled
                                                                       : RunEnd::Abnormal);
    co_return false;
}

} // namespace corvane
