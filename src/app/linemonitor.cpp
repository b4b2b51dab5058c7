// The line monitor: one tick of Timer1 shows the modem lines and counters, paces the unit with
// DTR/RTS, discards unasked input while idle, and starts the connection once after start-up.

#include "app/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace corvane {

namespace {

const QColor kLineOff(255, 192, 128);
const QColor kLineOn(128, 64, 0);
const QColor kOutputOff(0, 255, 255);
const QColor kOutputOn(0, 128, 128);

void setCaption(QLabel *label, int value) {
    const QString text = QString::number(value);
    if (label->text() != text)
        label->setText(text);
}

} // namespace

void Form1::Timer1_Timer() {
    {
        const SerialPort &port = *MSComm1;
        setBackColor(MoniCTS, port.ctsHolding() ? kLineOn : kLineOff);
        setBackColor(MoniCD, port.cdHolding() ? kLineOn : kLineOff);
        setBackColor(MoniDSR, port.dsrHolding() ? kLineOn : kLineOff);
        setBackColor(MoniDTR, port.dtr() ? kOutputOn : kOutputOff);
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

    // Idle: nothing is waiting for the input, so whatever came unasked goes. A stand-alone unit
    // query waits without the busy state; its reply is kept.
    if (PbON->isEnabled() && !replyWaitInProgress() && !m_queryRunning)
        dropInput();

    if (PbDevice->isEnabled()) {
        PbGoLoad->setEnabled(!TexLoadDir->text().isEmpty());
        PbGoSave->setEnabled(!TexSaveDir->text().isEmpty());
    } else {
        PbGoLoad->setEnabled(false);
        PbGoSave->setEnabled(false);
    }
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
