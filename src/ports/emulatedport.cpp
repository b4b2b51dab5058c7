// The virtual null-modem cable to the emulated unit: a pump moves bytes both ways as fast as the
// chosen speed allows and follows the unit's busy line; it runs only while something is on the
// move, so an idle line costs nothing. Input nobody reads (the idle window throws it away) comes
// in longer slices, as a USB serial adapter hands it over, so a unit that talks without end does
// not wake the program every few milliseconds.

#include "ports/emulatedport.h"

#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace corvane {

namespace {

// Pump interval while bytes travel or the unit works, in milliseconds.
constexpr int kPumpMs = 2;
// Pump interval while the program leaves what arrives unread, and the most bytes one such slice
// may bring: far below the program's 0.3 s quiet gap and below the half of the input buffer at
// which it holds the unit back, so neither purge nor flow control sees a difference.
constexpr int kUnreadPumpMs = 20;
constexpr double kUnreadSliceBytes = 128;
// Longest sleep until the unit's next deadline (any longer and the pump just looks again).
constexpr Micros kLongestSleepMs = 60000;
// Start bit, 8 data bits, stop bit.
constexpr double kBitsPerByte = 10.0;

// One monotonic clock for every port, so a unit shared by successive ports never sees time go back.
Micros monotonicMicros() {
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return Micros(clock.nsecsElapsed() / 1000);
}

} // namespace

EmulatedPort::EmulatedPort(UnitOptions options, QObject *parent)
    : EmulatedPort(std::make_shared<Unit>(options), parent) {}

EmulatedPort::EmulatedPort(std::shared_ptr<Unit> unit, QObject *parent)
    : SerialPort(parent)
    , m_unit(std::move(unit)) {
    m_pump.setTimerType(Qt::PreciseTimer);
    connect(&m_pump, &QTimer::timeout, this, &EmulatedPort::pump);
}

EmulatedPort::~EmulatedPort() {
    close();
}

double EmulatedPort::bytesPerMicro() const {
    return m_baud / kBitsPerByte / 1e6;
}

int EmulatedPort::movingIntervalMs() const {
    if (!m_unreadSlices)
        return kPumpMs;
    const double sliceMs = kUnreadSliceBytes / bytesPerMicro() / 1000.0;
    return int(std::clamp(sliceMs, double(kPumpMs), double(kUnreadPumpMs)));
}

bool EmulatedPort::unitUnplugged() const {
    return m_unit->fault() == Fault::Vanish;
}

bool EmulatedPort::open() {
    if (m_open)
        return true;
    m_baud = baudRate();
    if (m_baud <= 0) {
        setErrorString(QStringLiteral("invalid speed: ") + settings());
        return false;
    }
    setErrorString({});
    m_open = true;
    m_toUnit.clear();
    clearInput();
    m_txCredit = 0;
    m_rxCredit = 0;
    const Micros now = monotonicMicros();
    m_txLast = now;
    m_rxLast = now;
    m_unitTime = std::max(m_unitTime, now);
    // Opening a line raises DTR and RTS.
    resetModemOutputs(true);
    m_unit->setHostReady(true);
    m_lastCts = ctsHolding();
    startPump();
    return true;
}

void EmulatedPort::close() {
    if (!m_open)
        return;
    m_open = false;
    m_pump.stop();
    m_toUnit.clear();
    clearInput();
    // Closing drops DTR and RTS: the unit holds its output for whoever opens the line next.
    resetModemOutputs(false);
    m_unit->setHostReady(false);
}

void EmulatedPort::vanish() {
    if (!m_open)
        return;
    close();
    Q_EMIT lost();
}

bool EmulatedPort::write(const QByteArray &bytes) {
    if (!m_open)
        return false;
    if (bytes.isEmpty())
        return true;
    if (m_toUnit.isEmpty()) {
        // The line was idle until now.
        m_txLast = monotonicMicros();
        m_txCredit = 0;
    }
    m_toUnit += bytes;
    startPump();
    return true;
}

int EmulatedPort::outBufferCount() const {
    return int(m_toUnit.size());
}

void EmulatedPort::discardOutput() {
    m_toUnit.clear();
}

void EmulatedPort::discardInput() {
    const bool wasFull = inBufferCount() >= kInBufferSize;
    clearInput();
    if (wasFull)
        startPump();
}

int EmulatedPort::takeByte() {
    if (inBufferCount() == 0)
        return -1;
    m_sliceUnread = false;
    // A full buffer may have stopped the pump; a reader wants the input in short slices again.
    if (inBufferCount() >= kInBufferSize || m_unreadSlices)
        startPump();
    return SerialPort::takeByte();
}

QByteArray EmulatedPort::takeAll() {
    if (inBufferCount() == 0)
        return {};
    // As takeByte: the pump may have stopped at a full buffer or wait for the slices to be read.
    const bool restart = inBufferCount() >= kInBufferSize || m_unreadSlices;
    m_sliceUnread = false;
    QByteArray bytes = SerialPort::takeAll();
    if (restart)
        startPump();
    return bytes;
}

SerialPort::ModemInputs EmulatedPort::modemInputs() const {
    if (!m_open)
        return {};
    const bool plugged = !unitUnplugged();
    return {m_unit->clearToSend(monotonicMicros()), plugged, plugged};
}

void EmulatedPort::hostReadyChanged() {
    // A closed port has no lines: the unit heard DTR/RTS drop when it closed.
    if (!m_open)
        return;
    m_unit->setHostReady(dtr() && rts());
    startPump();
}

void EmulatedPort::startPump() {
    if (!m_open)
        return;
    // Whatever the program did, it may want the answer soon.
    m_unreadSlices = false;
    m_sliceUnread = false;
    const int interval = m_paced ? kPumpMs : 0;
    if (m_pump.isActive() && !m_sleeping) {
        // Already moving bytes: only sooner, the line's accounting goes on.
        if (m_pump.remainingTime() > interval)
            m_pump.start(interval);
        return;
    }
    // Stopped or asleep until the unit's next deadline: nothing moved meanwhile, so no credit
    // was earned.
    const Micros now = monotonicMicros();
    m_rxLast = now;
    m_rxCredit = 0;
    if (m_toUnit.isEmpty()) {
        m_txLast = now;
        m_txCredit = 0;
    }
    m_sleeping = false;
    m_pump.start(interval);
}

void EmulatedPort::pump() {
    if (!m_open) {
        m_pump.stop();
        return;
    }
    const Micros now = std::max(monotonicMicros(), m_unitTime);
    // The last slice is still waiting or was thrown away unread: nobody reads as bytes come.
    if (m_sliceUnread)
        m_unreadSlices = true;

    const qsizetype sent = sendToUnit(now);
    m_unitTime = now;
    m_unit->poll(now);
    const qsizetype received = receiveFromUnit(now);

    const bool cts = m_unit->clearToSend(now);
    const bool ctsChanged = cts != m_lastCts;
    m_lastCts = cts;
    scheduleNext(now, sent > 0 || received > 0);

    if (sent > 0)
        Q_EMIT bytesWritten(sent);
    if (received > 0)
        Q_EMIT readyRead();
    if (ctsChanged)
        Q_EMIT pinoutChanged();
}

qsizetype EmulatedPort::sendToUnit(Micros now) {
    const double rate = bytesPerMicro();
    qsizetype sent = m_toUnit.size();
    if (m_paced && sent > 0) {
        m_txCredit += double(now - m_txLast) * rate;
        const auto allowed = qsizetype(std::floor(m_txCredit));
        if (allowed < sent) {
            sent = allowed;
            m_txCredit -= double(sent);
        } else {
            m_txCredit = 0;
        }
    }
    m_txLast = now;
    for (qsizetype i = 0; i < sent; ++i) {
        // Each byte reaches the unit when its stop bit has gone by.
        Micros at = now;
        if (m_paced) {
            const auto earlier = Micros(double(sent - 1 - i) / rate);
            at = earlier < now ? now - earlier : 0;
        }
        m_unitTime = std::max(m_unitTime, at);
        m_unit->receive(static_cast<std::uint8_t>(m_toUnit.at(i)), m_unitTime);
    }
    m_toUnit.remove(0, sent);
    return sent;
}

qsizetype EmulatedPort::receiveFromUnit(Micros now) {
    // Never beyond what the input buffer holds.
    const qsizetype room = kInBufferSize - inBufferCount();
    qsizetype lineAllows = room;
    if (m_paced) {
        m_rxCredit += double(now - m_rxLast) * bytesPerMicro();
        lineAllows = qsizetype(std::floor(m_rxCredit));
    }
    m_rxLast = now;
    const qsizetype wanted = std::min(room, lineAllows);
    qsizetype received = 0;
    if (wanted > 0) {
        std::array<std::uint8_t, kInBufferSize> bytes{};
        received = qsizetype(m_unit->transmit(bytes.data(), std::size_t(wanted), now));
        keepInput(QByteArrayView(bytes.data(), received));
    }
    // A line that moved less than it could was idle or blocked for the rest of the time.
    if (m_paced)
        m_rxCredit = received < lineAllows ? 0 : m_rxCredit - double(received);
    if (received > 0)
        m_sliceUnread = true;
    return received;
}

void EmulatedPort::scheduleNext(Micros now, bool moved) {
    // Keep pumping while bytes wait on either side. The unit's waiting output needs no pump while
    // the program holds it back or has no room for it (setDtr, setRts, reading and discarding
    // restart the pump); a working unit is woken at its next deadline.
    const bool hostReady = dtr() && rts();
    const bool unitCanSend =
        m_unit->hasOutput() && hostReady && !unitUnplugged() && inBufferCount() < kInBufferSize;
    m_sleeping = false;
    if (!m_toUnit.isEmpty() || unitCanSend) {
        m_pump.start(!m_paced ? (moved ? 0 : kPumpMs) : movingIntervalMs());
    } else if (const std::optional<Micros> deadline =
                   m_unit->busy() ? m_unit->nextDeadline() : std::nullopt) {
        const Micros wait = *deadline > now ? *deadline - now : 0;
        m_sleeping = true;
        m_pump.start(int(std::min<Micros>((wait + 999) / 1000, kLongestSleepMs)));
    } else {
        m_pump.stop();
    }
}

} // namespace corvane
