// The line monitor: one tick of Timer1 shows the modem lines and counters, paces the unit with
// DTR/RTS, discards unasked input while idle, and starts the connection once after start-up. It
// ticks at the window's interval while something happens and at kIdleTickMs while all rests; input,
// a modem line, a new or lost port, a cancel, a log line and the busy state wake it at once, but
// for input that only comes to be discarded: a babbling line waits for the idle tick.

#include "window/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <functional>

namespace corvane {

namespace {

const QColor kLineOff(255, 192, 128);
const QColor kLineOn(128, 64, 0);
const QColor kOutputOff(0, 255, 255);
const QColor kOutputOn(0, 128, 128);
// The interval while nothing happens: the lamps of lines that raise no signal (a real line's CTS)
// lag by no more than this.
constexpr int kIdleTickMs = 100;

void setCaption(QLabel *label, int value) {
    const QString text = QString::number(value);
    if (label->text() != text)
        label->setText(text);
}

// Lights or darkens a lamp; true when it changed.
bool setLamp(QLabel *lamp, bool on, const QColor &onColor, const QColor &offColor) {
    const QColor &color = on ? onColor : offColor;
    if (Form1::backColor(lamp) == color)
        return false;
    Form1::setBackColor(lamp, color);
    return true;
}

// Calls `changed` when the watched widget is enabled or disabled.
class EnabledWatch : public QObject {
public:
    EnabledWatch(QObject *parent, std::function<void()> changed)
        : QObject(parent)
        , m_changed(std::move(changed)) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::EnabledChange)
            m_changed();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_changed;
};

} // namespace

void Form1::startLineMonitor() {
    connect(&Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(&m_waker, &Waker::woken, this, &Form1::wakeLineMonitor);
    connect(this, &Form1::logLineAdded, this, &Form1::wakeLineMonitor);
    // Every operation starts by locking the controls, "再接続" among them.
    PbON->installEventFilter(new EnabledWatch(PbON, [this] { wakeLineMonitor(); }));
    if (m_options.timerIntervalMs > 0)
        Timer1.start(m_options.timerIntervalMs);
}

void Form1::wakeLineMonitor() {
    // Stopped (ticked by hand) or already at the busy pace: nothing to do.
    if (!Timer1.isActive() || Timer1.interval() <= m_options.timerIntervalMs)
        return;
    // Woken at rest with input waiting: most likely by the input, which the idle tick drops just
    // as well. Lamps and captions lag by one idle tick at most.
    if (!busy() && idleDiscard() && MSComm1->inBufferCount() > 0)
        return;
    Timer1.start(0);
}

bool Form1::busy() const {
    return StartUpWork == 3 || m_operations > 0 || replyWaitInProgress() || m_queryRunning ||
           m_commandRunning || m_commandRunRunning;
}

bool Form1::idleDiscard() const {
    // A stand-alone unit query waits without the busy state; its reply is kept.
    return PbON->isEnabled() && !replyWaitInProgress() && !m_queryRunning;
}

void Form1::Timer1_Timer() {
    bool happening = busy();
    {
        const SerialPort &port = *MSComm1;
        // Every lamp is set: no short-circuit.
        const bool lamps[] = {
            setLamp(MoniCTS, port.ctsHolding(), kLineOn, kLineOff),
            setLamp(MoniCD, port.cdHolding(), kLineOn, kLineOff),
            setLamp(MoniDSR, port.dsrHolding(), kLineOn, kLineOff),
            setLamp(MoniDTR, port.dtr(), kOutputOn, kOutputOff),
        };
        happening = happening || std::ranges::find(lamps, true) != std::end(lamps) ||
                    (port.inBufferCount() > 0 && !idleDiscard()) || port.outBufferCount() > 0;
        setCaption(Label3, port.inBufferCount());
        setCaption(Label5, port.inBufferSize());
        setCaption(Label22, port.outBufferCount());
    }

    flowControl();

    // The start-up connection replaces the port (and may return at once when it cannot open it):
    // from here on only MSComm1 itself is the port.
    if (StartUpWork == 3) {
        StartUpWork = 2;
        if (m_options.startUpConnection)
            startUp();
    }

    // Idle: nothing is waiting for the input, so whatever came unasked goes.
    if (idleDiscard())
        dropInput();

    if (PbDevice->isEnabled()) {
        PbGoLoad->setEnabled(!TexLoadDir->text().isEmpty());
        PbGoSave->setEnabled(!TexSaveDir->text().isEmpty());
    } else {
        PbGoLoad->setEnabled(false);
        PbGoSave->setEnabled(false);
    }

    // The next tick: soon while something happens, later while all rests. A stopped timer (ticked
    // by hand) stays stopped.
    const int interval =
        happening ? m_options.timerIntervalMs : std::max(kIdleTickMs, m_options.timerIntervalMs);
    if (Timer1.isActive() && m_options.timerIntervalMs > 0 && Timer1.interval() != interval)
        Timer1.start(interval);
}

void Form1::flowControl() {
    SerialPort &port = *MSComm1;
    const bool ready = port.inBufferCount() <= port.inBufferSize() / 2.0;
    port.setDtr(ready);
    port.setRts(ready);
}

QCoro::Task<> Form1::startUp() {
    co_await PbON_Click();
    if (!Option1->isChecked()) {
        if (Option2->isChecked())
            co_await PbResGo1_Click();
        if (Option3->isChecked())
            co_await PbResGo2_Click();
    }
}

} // namespace corvane
