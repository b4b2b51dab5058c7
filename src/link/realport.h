#pragma once
// The real line on QSerialPort. A port text that is a number N names the platform's N-th port
// (COMN on Windows, /dev/ttyS<N-1> on Linux); any other text is used as the device name.

#include "link/serialport.h"

#include <QSerialPort>

namespace corvane {

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
    [[nodiscard]] bool ctsHolding() const override;
    [[nodiscard]] bool dsrHolding() const override;
    [[nodiscard]] bool cdHolding() const override;
    void setDtr(bool on) override;
    void setRts(bool on) override;
    [[nodiscard]] bool dtr() const override { return m_dtr; }
    [[nodiscard]] bool rts() const override { return m_rts; }

protected:
    int takeByte() override;

private:
    void onError(QSerialPort::SerialPortError error);
    void closeLost();

    QSerialPort m_port;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_modemLines = true; // false on lines that cannot report them (pseudo-terminals)
    bool m_closing = false;
};

} // namespace corvane
