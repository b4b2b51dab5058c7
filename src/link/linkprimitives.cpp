// Framing of lines, the input purge, the CTS wait and the cancel line.

#include "app/form1.h"
#include "app/journal.h"
#include "protocol/cp932.h"

#include <QElapsedTimer>

#include <QListWidget>
#include <QPersistentModelIndex>
#include <algorithm>

namespace corvane {

namespace {

constexpr int kQuietMs = 300;
// A unit that never stops talking cannot hold the purge for ever: after this long the operation
// goes on and judges whatever it then receives.
constexpr int kMaxPurgeMs = 10000;
constexpr int kCtsPollMs = 5;    // CTS of a real line raises no signal: looked at this often
constexpr int kIdleWakeMs = 100; // the least often a reader without a quiet limit wakes

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
    if (ok && m_options.journal)
        m_options.journal->sent(bytes);
    if (ok)
        m_progress.sent(bytes.size());
    return ok;
}

void Form1::dropInput() {
    if (m_options.journal && MSComm1->inBufferCount() > 0)
        m_options.journal->received(MSComm1->readAll());
    MSComm1->discardInput();
}

QCoro::Task<Form1::ReadEnd> Form1::readInput(std::function<Take(char)> take, ReadRule rule) {
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer reading;
    reading.start();
    for (;;) {
        // The flag changes only while the event loop runs: once per pass is enough.
        if (rule.cancellable && EscFlag)
            co_return ReadEnd::Cancelled;
        Take step = Take::More;
        bool took = false;
        for (int byte = MSComm1->readByte(); byte >= 0; byte = MSComm1->readByte()) {
            took = true;
            m_progress.received(1);
            if (m_options.journal)
                m_options.journal->received(char(byte));
            step = take(char(byte));
            if (step != Take::More)
                break;
        }
        if (took)
            quiet.restart();
        if (step == Take::Done)
            co_return ReadEnd::Done;
        if (step == Take::Pause) {
            co_await nextPass();
            continue;
        }
        if (!MSComm1->isOpen())
            co_return ReadEnd::Lost;
        const qint64 silent = quiet.elapsed();
        if (rule.quietMs >= 0 && silent > rule.quietMs)
            co_return ReadEnd::Quiet;
        const qint64 spent = reading.elapsed();
        if (rule.limitMs >= 0 && spent > rule.limitMs)
            co_return ReadEnd::Limit;
        // The input is drained: the unit may go on now rather than at the line monitor's next tick.
        flowControl();
        qint64 wake = rule.quietMs >= 0 ? rule.quietMs + 1 - silent : kIdleWakeMs;
        if (rule.limitMs >= 0)
            wake = std::min(wake, rule.limitMs + 1 - spent);
        co_await waitLine(int(wake));
    }
}

QCoro::Task<> Form1::CLR232IN() {
    co_await sleep(kQuietMs);
    showInLog(QStringLiteral("  "));
    const QPersistentModelIndex line(List1->model()->index(List1->count() - 1, 0));
    auto setLine = [&](const QString &text) {
        if (line.isValid())
            List1->item(line.row())->setText(text);
    };
    // One pass a quiet gap long: what arrives is dropped, and the pass ends the purge when the gap
    // stays quiet.
    QElapsedTimer purging;
    purging.start();
    int counter = 0;
    bool quiet = MSComm1->inBufferCount() == 0;
    while (!quiet && purging.elapsed() < kMaxPurgeMs) {
        if (counter > 3)
            counter = 0;
        else if (counter <= 2)
            setLine(QStringLiteral("通信バッファの清掃中です。"));
        else
            setLine(QStringLiteral(" "));
        co_await nextPass();
        ++counter;
        dropInput();
        const ReadEnd pass = co_await readInput([](char) { return Take::More; },
                                                {.quietMs = kQuietMs, .limitMs = kQuietMs});
        quiet = pass != ReadEnd::Limit;
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
