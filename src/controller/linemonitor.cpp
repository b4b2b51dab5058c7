// The line monitor: one tick of Timer1 reads the modem lines and counters, paces the unit with
// DTR/RTS, discards unasked input while idle, and starts the connection once after start-up. It
// ticks at the controller's interval while something happens and at kIdleTickMs while all rests;
// input, a modem line, a new or lost port, a cancel, a log line and the busy state wake it at once,
// but for input that only comes to be discarded: a babbling line waits for the idle tick.

#include "controller/unitcontroller.h"

#include <algorithm>

namespace corvane {

namespace {

// The interval while nothing happens: the lamps of lines that raise no signal (a real line's CTS)
// lag by no more than this.
constexpr int kIdleTickMs = 100;

} // namespace

void UnitController::startLineMonitor() {
    connect(&Timer1, &QTimer::timeout, this, &UnitController::Timer1_Timer);
    connect(&m_waker, &Waker::woken, this, &UnitController::wakeLineMonitor);
    connect(this, &UnitController::logLineAdded, this, &UnitController::wakeLineMonitor);
    connect(this, &UnitController::busyChanged, this, &UnitController::wakeLineMonitor);
    if (m_options.timerIntervalMs > 0)
        Timer1.start(m_options.timerIntervalMs);
}

void UnitController::wakeLineMonitor() {
    // Stopped (ticked by hand) or already at the busy pace: nothing to do.
    if (!Timer1.isActive() || Timer1.interval() <= m_options.timerIntervalMs)
        return;
    // Woken at rest with input waiting: most likely by the input, which the idle tick drops just
    // as well. Lamps and captions lag by one idle tick at most.
    if (!busy() && idleDiscard() && MSComm1->inBufferCount() > 0)
        return;
    Timer1.start(0);
}

bool UnitController::busy() const {
    return StartUpWork == 3 || m_operations > 0 || replyWaitInProgress() || m_queryRunning ||
           m_commandRunning || m_commandRunRunning;
}

bool UnitController::idleDiscard() const {
    // "再接続" usable: no operation holds the line. A stand-alone unit query waits without the
    // busy state; its reply is kept.
    const bool reconnectOpen = m_busy == Busy::Idle || m_busy == Busy::LinkLost;
    return reconnectOpen && !replyWaitInProgress() && !m_queryRunning;
}

void UnitController::Timer1_Timer() {
    bool happening = busy();
    {
        const SerialPort &port = *MSComm1;
        const LineView view{port.ctsHolding(),    port.cdHolding(),     port.dsrHolding(),
                            port.dtr(),           port.inBufferCount(), port.inBufferSize(),
                            port.outBufferCount()};
        const bool lamps = view.cts != m_lineView.cts || view.cd != m_lineView.cd ||
                           view.dsr != m_lineView.dsr || view.dtr != m_lineView.dtr;
        happening = happening || lamps || (view.inCount > 0 && !idleDiscard()) || view.outCount > 0;
        if (view != m_lineView) {
            m_lineView = view;
            Q_EMIT lineViewChanged();
        }
    }

    flowControl();

    // The start-up connection replaces the port (and may return at once when it cannot open it):
    // from here on only MSComm1 itself is the port.
    if (StartUpWork == 3) {
        StartUpWork = 2;
        if (m_options.startUpConnection)
            start(startUp());
    }

    // Idle: nothing is waiting for the input, so whatever came unasked goes.
    if (idleDiscard())
        dropInput();

    // The file buttons follow their paths from now on.
    if (!m_pathRule) {
        m_pathRule = true;
        Q_EMIT busyChanged();
    }

    // The next tick: soon while something happens, later while all rests. A stopped timer (ticked
    // by hand) stays stopped.
    const int interval =
        happening ? m_options.timerIntervalMs : std::max(kIdleTickMs, m_options.timerIntervalMs);
    if (Timer1.isActive() && m_options.timerIntervalMs > 0 && Timer1.interval() != interval)
        Timer1.start(interval);
}

void UnitController::flowControl() {
    SerialPort &port = *MSComm1;
    const bool ready = port.inBufferCount() <= port.inBufferSize() / 2.0;
    port.setDtr(ready);
    port.setRts(ready);
}

QCoro::Task<> UnitController::startUp() {
    co_await PbON_Click();
    const SettingsValues &s = m_choices.settings;
    if (!s.noAutoRun) {
        if (s.autoRunFile1)
            co_await PbResGo1_Click();
        if (s.autoRunFile2)
            co_await PbResGo2_Click();
    }
}

} // namespace corvane
