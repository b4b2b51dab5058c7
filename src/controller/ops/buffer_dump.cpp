// The buffer dump: asks the unit for a range of its buffer RAM and writes it into the log as a hex
// table, sixteen bytes a line.

#include "controller/unitcontroller.h"
#include "text/opstext.h"

#include <QScopeGuard>

namespace corvane {

namespace {

// Longest silence of the unit within its answer.
constexpr int kDumpGapMs = 1000;
constexpr int kHeadLength = 3; // "00:" or a reply code with two more characters

} // namespace

QCoro::Task<> UnitController::BDsub(QString RemoteCMD) {
    const Operation operation = co_await openOperation(QStringLiteral("* Dump buffer RAM"));

    AddData.clear();
    DiviCCommand(RemoteCMD);
    const QString start = Rcmd1.isEmpty() ? QStringLiteral("0") : Rcmd1;
    const QString end = Rcmd2.isEmpty() ? QStringLiteral("1FFFF") : Rcmd2;
    const std::optional<std::uint32_t> startValue = dumpStartValue(start);
    if (!startValue) {
        // The table cannot label such a start: refused as a bad parameter before anything is sent.
        refuseParameter();
        co_return;
    }

    const Sent sent = Output(QStringLiteral("BD") + start + QStringLiteral(",") + end);
    if (sent != Sent::Sent) {
        // Not sent: nothing can come back.
        co_await CeckAnsRX(QStringLiteral("BD"), sent);
        co_return;
    }

    beginProgress(
        QStringLiteral("BD"),
        expectedTransferBytes(QStringLiteral("BD"), *startValue, end.toULongLong(nullptr, 16)),
        false);
    const auto progressEnds = qScopeGuard([this] { endProgress(); });
    co_await receiveDumpHead();
    co_await CeckAnsRX(QStringLiteral("BD"));
    if (AddData != QLatin1String("00:"))
        co_return;

    const ReadEnd ending = co_await receiveDumpTable(*startValue);
    co_await endDumpTable(ending);
}

QCoro::Task<> UnitController::endDumpTable(ReadEnd ending) {
    switch (ending) {
    case ReadEnd::Done:
        dropInput();
        AddList1(QStringLiteral("OK"));
        co_await CeckAnsRX(QStringLiteral("BD"));
        break;
    case ReadEnd::Cancelled:
        // The partial line is dropped; the unit has been sent the cancel line by the button.
        co_await CLR232IN();
        AnsRxCode = QStringLiteral("34");
        AddList1(QStringLiteral("キャンセルしました。"));
        EscFlag = false;
        break;
    case ReadEnd::Quiet:
    case ReadEnd::Limit:
    case ReadEnd::Lost:
        AnsRxCode = QStringLiteral("98");
        co_await CeckAnsRX(QStringLiteral("BD"));
        break;
    }
}

QCoro::Task<> UnitController::receiveDumpHead() {
    // The code and its colon; "98" when the unit falls silent first.
    const ReadEnd head = co_await readInput(
        [this](char byte) {
            AddData += QLatin1Char(byte);
            return AddData.size() < kHeadLength ? Take::More : Take::Done;
        },
        ReadRule{kDumpGapMs, false});
    AnsRxCode = head == ReadEnd::Done ? AddData.left(2) : QStringLiteral("98");
}

QCoro::Task<UnitController::ReadEnd> UnitController::receiveDumpTable(std::uint32_t start) {
    // Every character is taken as it arrives, and the event loop runs at least once a line so
    // that the window paints and the cancel button is served.
    AddList1(DumpTable::header());
    co_await nextPass();
    DumpTable table(start);
    openCancel(true);
    const ReadEnd ending = co_await readInput(
        [this, &table](char byte) {
            switch (table.take(byte)) {
            case DumpTable::Step::Taken:
                return Take::More;
            case DumpTable::Step::LineFull:
                AddList1(table.takeLine());
                openCancel(true);
                return Take::Pause;
            case DumpTable::Step::End:
                break;
            }
            return Take::Done;
        },
        ReadRule{kDumpGapMs, true});
    AddData = table.line();
    if (ending == ReadEnd::Done) {
        if (const std::optional<QString> last = table.lastLine())
            AddList1(*last);
    }
    co_return ending;
}

QCoro::Task<> UnitController::PbBD_Click() {
    co_await BDsub(m_choices.dumpStart + QStringLiteral(",") + m_choices.dumpEnd);
}

} // namespace corvane
