#pragma once
// The real line on QSerialPort. A port text that is a number N names the platform's N-th port
// (COMN on Windows, /dev/ttyS<N-1> on Linux); any other text is used as the device name.

#include "ports/serialport.h"

#include <QSerialPort>

namespace corvane {

// The device name QSerialPort opens for a port text; empty when the text names no port.
[[nodiscard]] QString deviceNameForPortText(const QString &portText);

class RealPort : public SerialPort {
    Q_OBJECT
public:
    explicit RealPort(QObject *parent = nullptr);
    ~RealPort() override;

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override;
    bool write(const QByteArray &bytes) override;
    [[nodiscard]] int outBufferCount() const override;
    void discardOutput() override;
    [[nodiscard]] int inBufferCount() const override;
    void discardInput() override;
    [[nodiscard]] ModemInputs modemInputs() const override;
    // Whether the line reports modem lines (false on pseudo-terminals); meaningful while open.
    [[nodiscard]] bool hasModemLines() const { return m_modemLines; }

protected:
    int takeByte() override;
    QByteArray takeAll() override;
    void applyModemOutput(ModemOutput output, bool on) override;

private:
    void onError(QSerialPort::SerialPortError error);

    mutable QSerialPort m_port;
    quint64 m_session =
        0; // counts opens and closes, so that a late queued close hits no newer line
    bool m_modemLines = true;   // false on lines that cannot report them (pseudo-terminals)
    bool m_lostPending = false; // an error has doomed the line; its close is queued
};

} // namespace corvane
