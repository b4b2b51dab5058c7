// Framing of lines, the input purge, the CTS wait and the cancel line.

#include "app/form1.h"
#include "protocol/cp932.h"

#include <QElapsedTimer>
#include <QListWidget>
#include <QPersistentModelIndex>

namespace corvane {

namespace {

constexpr int kQuietMs = 300;
// A unit that never stops talking cannot hold the purge for ever: after this long the operation
// goes on and judges whatever it then receives.
constexpr int kMaxPurgeMs = 10000;
// CTS of a real line raises no signal: it is looked at this often while the wait lasts.
constexpr int kCtsPollMs = 5;

const QByteArray kCancelLine("\x1b\r\n", 3);

} // namespace

bool Form1::Output(const QString &text) {
    const std::optional<QByteArray> bytes = encodeCp932(text);
    m_parameterRefused = !bytes;
    if (!bytes) {
        m_sendRefused = false;
        return false;
    }
    return OutputBytes(*bytes + "\r\n");
}

bool Form1::OutputBytes(const QByteArray &bytes) {
    const bool ok = MSComm1->isOpen() && MSComm1->write(bytes);
    m_sendRefused = !ok;
    return ok;
}

QCoro::Task<> Form1::CLR232IN() {
    co_await sleep(kQuietMs);
    AddList1(QStringLiteral("  "));
    const QPersistentModelIndex line(List1->model()->index(List1->count() - 1, 0));
    auto setLine = [&](const QString &text) {
        if (line.isValid())
            List1->item(line.row())->setText(text);
    };
    QElapsedTimer purging;
    purging.start();
    int counter = 0;
    while (MSComm1->inBufferCount() > 0 && purging.elapsed() < kMaxPurgeMs) {
        if (counter > 3)
            counter = 0;
        else if (counter <= 2)
            setLine(QStringLiteral("通信バッファの清掃中です。"));
        else
            setLine(QStringLiteral(" "));
        co_await nextPass();
        ++counter;
        MSComm1->discardInput();
        co_await sleep(kQuietMs);
    }
    if (line.isValid())
        delete List1->takeItem(line.row());
}

QCoro::Task<> Form1::TxCtsCK() {
    for (;;) {
        co_await nextPass();
        // A lost port never raises CTS again: the caller finds it closed and ends.
        if (MSComm1->ctsHolding() || EscFlag || !MSComm1->isOpen())
            co_return;
        co_await waitLine(kCtsPollMs);
    }
}

void Form1::setNullDiscard(bool discard) {
    m_nullDiscard = discard;
    MSComm1->setNullDiscard(discard);
}

void Form1::PbCansel_Click() {
    EscFlag = true;
    OutputBytes(kCancelLine);
    wakeWaiters();
}

void Form1::ESC_Click() {
    OutputBytes(kCancelLine);
}

} // namespace corvane
