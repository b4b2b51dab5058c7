// The buffer dump: asks the unit for a range of its buffer RAM and writes it into the log as a hex
// table, sixteen bytes a line.

#include "window/form1.h"
#include "text/opstext.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace corvane {

namespace {

// Longest silence of the unit within its answer.
constexpr int kDumpGapMs = 1000;
constexpr int kHeadLength = 3; // "00:" or a reply code with two more characters

} // namespace

QCoro::Task<> Form1::BDsub(QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Dump buffer RAM"));

    AddData.clear();
    DiviCCommand(RemoteCMD);
    const QString start = Rcmd1.isEmpty() ? QStringLiteral("0") : Rcmd1;
    const QString end = Rcmd2.isEmpty() ? QStringLiteral("1FFFF") : Rcmd2;
    const std::optional<std::uint32_t> startValue = dumpStartValue(start);
    if (!startValue) {
        // The table cannot label such a start: refused as a bad parameter before anything is sent.
        refuseParameter();
        PbReEn();
        co_return;
    }

    if (!Output(QStringLiteral("BD") + start + QStringLiteral(",") + end)) {
        // Not sent: nothing can come back.
        if (!m_parameterRefused) {
            AnsRxCode = MSComm1->isOpen() ? QStringLiteral("99") : QStringLiteral("98");
            m_sendRefused = false;
        }
        co_await CeckAnsRX(QStringLiteral("BD"));
        PbReEn();
        co_return;
    }

    beginProgress(
        QStringLiteral("BD"),
        expectedTransferBytes(QStringLiteral("BD"), *startValue, end.toULongLong(nullptr, 16)),
        false);
    const auto progressEnds = qScopeGuard([this] { endProgress(); });
    co_await receiveDumpHead();
    co_await CeckAnsRX(QStringLiteral("BD"));
    if (AddData != QLatin1String("00:")) {
        PbReEn();
        co_return;
    }

    const ReadEnd ending = co_await receiveDumpTable(*startValue);
    co_await endDumpTable(ending);
    PbReEn();
}

QCoro::Task<> Form1::endDumpTable(ReadEnd ending) {
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

QCoro::Task<> Form1::receiveDumpHead() {
    // The code and its colon; "98" when the unit falls silent first.
    const ReadEnd head = co_await readInput(
        [this](char byte) {
            AddData += QLatin1Char(byte);
            return AddData.size() < kHeadLength ? Take::More : Take::Done;
        },
        ReadRule{kDumpGapMs, false});
    AnsRxCode = head == ReadEnd::Done ? AddData.left(2) : QStringLiteral("98");
}

QCoro::Task<Form1::ReadEnd> Form1::receiveDumpTable(std::uint32_t start) {
    // Every character is taken as it arrives, and the event loop runs at least once a line so
    // that the window paints and the cancel button is served.
    AddList1(DumpTable::header());
    co_await nextPass();
    DumpTable table(start);
    PbCansel->setEnabled(true);
    const ReadEnd ending = co_await readInput(
        [this, &table](char byte) {
            switch (table.take(byte)) {
            case DumpTable::Step::Taken:
                return Take::More;
            case DumpTable::Step::LineFull:
                AddList1(table.takeLine());
                PbCansel->setEnabled(true);
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

QCoro::Task<> Form1::PbBD_Click() {
    co_await BDsub(DUMPS->text() + QStringLiteral(",") + DUMPE->text());
}

} // namespace corvane
