#pragma once
// The port before the first connection: closed, silent, all modem inputs off; it takes no bytes,
// so it never reports any written.

#include "link/serialport.h"

namespace corvane {

class NullPort : public SerialPort {
    Q_OBJECT
public:
    using SerialPort::SerialPort;
    bool open() override { return false; }
    void close() override {}
    [[nodiscard]] bool isOpen() const override { return false; }
    bool write(const QByteArray &) override { return false; }
    [[nodiscard]] int outBufferCount() const override { return 0; }
    void discardOutput() override {}
    [[nodiscard]] int inBufferCount() const override { return 0; }
    void discardInput() override {}
    [[nodiscard]] bool ctsHolding() const override { return false; }
    [[nodiscard]] bool dsrHolding() const override { return false; }
    [[nodiscard]] bool cdHolding() const override { return false; }
    void setDtr(bool on) override { m_dtr = on; }
    void setRts(bool on) override { m_rts = on; }
    [[nodiscard]] bool dtr() const override { return m_dtr; }
    [[nodiscard]] bool rts() const override { return m_rts; }

protected:
    int takeByte() override { return -1; }

private:
    bool m_dtr = false;
    bool m_rts = false;
};

} // namespace corvane
