#pragma once
// The port before the first connection: closed, silent, all modem inputs off; it takes no bytes,
// so it never reports any written.

#include "ports/serialport.h"

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
};

} // namespace corvane
