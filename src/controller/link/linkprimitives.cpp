// Framing of lines, the input purge, the CTS wait and the cancel line.

#include "controller/unitcontroller.h"
#include "text/cp932.h"

#include <QElapsedTimer>
#include <QPointer>

#include <algorithm>
#include <optional>

namespace corvane {

namespace {

constexpr int kQuietMs = 300;
// A unit that never stops talking cannot hold the purge for ever: after this long the operation
// goes on and judges whatever it then receives.
constexpr int kMaxPurgeMs = 10000;
constexpr int kCtsPollMs = 5;    // CTS of a real line raises no signal: looked at this often
constexpr int kIdleWakeMs = 100; // the least often a reader without a quiet limit wakes
// A load held by CTS longer than this tells the operator so until CTS rises.
constexpr int kCtsNoticeAfterMs = 1000;
constexpr int kBlinkMs = kQuietMs; // one beat of a blinking line

const QByteArray kCancelLine("\x1b\r\n", 3);

// A line at the end of the log, shown only while the program waits on the line: it blinks its text
// (three beats on, two off) at each step() and is gone when the wait ends.
class BlinkingLine {
public:
    BlinkingLine(UnitController &unit, QString text)
        : m_unit(&unit)
        , m_text(std::move(text))
        , m_id(unit.showPassingLine(QStringLiteral("  "))) {}
    ~BlinkingLine() {
        if (m_unit)
            m_unit->endPassingLine(m_id);
    }
    BlinkingLine(const BlinkingLine &) = delete;
    BlinkingLine &operator=(const BlinkingLine &) = delete;

    void step() {
        if (m_beat > 3)
            m_beat = 0;
        else if (m_unit)
            m_unit->updatePassingLine(m_id, m_beat <= 2 ? m_text : QStringLiteral(" "));
        ++m_beat;
    }

private:
    QPointer<UnitController> m_unit;
    QString m_text;
    int m_id;
    int m_beat = 0;
};

} // namespace

Sent UnitController::Output(const QString &text) {
    const std::optional<QByteArray> bytes = encodeCp932(text);
    if (!bytes)
        return Sent::Unencodable;
    return OutputBytes(*bytes + "\r\n");
}

Sent UnitController::OutputBytes(const QByteArray &bytes) {
    if (!MSComm1->isOpen() || !MSComm1->write(bytes))
        return Sent::Refused;
    m_progress.sent(bytes.size());
    Q_EMIT bytesSent(bytes);
    return Sent::Sent;
}

void UnitController::dropInput() {
    MSComm1->discardInput();
}

QCoro::Task<UnitController::ReadEnd> UnitController::readInput(std::function<Take(char)> take,
                                                               ReadRule rule) {
    QElapsedTimer quiet;
    quiet.start();
    QElapsedTimer reading;
    reading.start();
    for (;;) {
        // The flag changes only while the event loop runs: once per pass is enough.
        if (rule.cancellable && EscFlag)
            co_return ReadEnd::Cancelled;
        Take step = Take::More;
        QByteArray taken;
        for (int byte = MSComm1->readByte(); byte >= 0; byte = MSComm1->readByte()) {
            taken.append(char(byte));
            step = take(char(byte));
            if (step != Take::More)
                break;
        }
        if (!taken.isEmpty()) {
            quiet.restart();
            m_progress.received(taken.size());
            Q_EMIT bytesReceived(taken);
        }
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

QCoro::Task<> UnitController::CLR232IN() {
    co_await sleep(kQuietMs);
    Q_EMIT purgeStarted();
    BlinkingLine notice(*this, QStringLiteral("通信バッファの清掃中です。"));
    // One pass a quiet gap long: what waits is dropped, and the pass ends the purge when nothing
    // arrives in the gap. A flood is dropped a pass at a time, whatever it brings meanwhile: the
    // port's buffer holds it back.
    QElapsedTimer purging;
    purging.start();
    bool quiet = MSComm1->inBufferCount() == 0;
    while (!quiet && purging.elapsed() < kMaxPurgeMs) {
        notice.step();
        co_await nextPass();
        dropInput();
        Waker lost; // a port that goes away ends the gap at once
        connect(MSComm1.get(), &SerialPort::lost, &lost, &Waker::poke);
        co_await WakeOrTimeout{this, &lost, kQuietMs + 1};
        quiet = !MSComm1->isOpen() || MSComm1->inBufferCount() == 0;
    }
    if (!quiet) // given up: what the last gap brought goes too
        dropInput();
}

QCoro::Task<> UnitController::TxCtsCK() {
    QElapsedTimer waiting;
    waiting.start();
    std::optional<BlinkingLine> notice;
    qint64 beatAt = 0;
    for (;;) {
        co_await nextPass();
        // A lost port never raises CTS again: the caller finds it closed and ends.
        if (MSComm1->ctsHolding() || EscFlag || !MSComm1->isOpen())
            break;
        const qint64 waited = waiting.elapsed();
        if (waited > kCtsNoticeAfterMs && waited >= beatAt) {
            if (!notice) {
                notice.emplace(*this, QStringLiteral("装置のCTSを待っています。"));
                m_progress.setCtsWait(true);
            }
            notice->step();
            beatAt = waited + kBlinkMs;
        }
        co_await waitLine(kCtsPollMs);
    }
    if (notice)
        m_progress.setCtsWait(false);
}

void UnitController::setNullDiscard(bool discard) {
    m_nullDiscard = discard;
    MSComm1->setNullDiscard(discard);
}

void UnitController::PbCansel_Click() {
    EscFlag = true;
    OutputBytes(kCancelLine);
    wakeWaiters();
}

void UnitController::ESC_Click() {
    OutputBytes(kCancelLine);
}

} // namespace corvane
