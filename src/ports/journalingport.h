#pragma once
// A port that wraps the port the factory made and reports every byte crossing it, in both
// directions, to a tap (the journal).

#include "ports/serialport.h"

#include <memory>

namespace corvane {

// Receives the bytes of a journaling port as they cross the line.
class PortTap {
public:
    virtual ~PortTap() = default;
    // Bytes the inner port took for the line.
    virtual void sent(const QByteArray &bytes) = 0;
    // Bytes the program took from the input, exactly as they came (NUL bytes included).
    virtual void received(const QByteArray &bytes) = 0;
    // Input the program dropped unread (discardInput()).
    virtual void discarded(const QByteArray &bytes) = 0;
};

class JournalingPort : public SerialPort {
    Q_OBJECT
public:
    // `inner` must not be null; `tap` may be (nothing is recorded) and must outlive the port.
    explicit JournalingPort(std::unique_ptr<SerialPort> inner, PortTap *tap,
                            QObject *parent = nullptr);
    ~JournalingPort() override;

    [[nodiscard]] SerialPort &inner() const { return *m_inner; }

    // Opening hands this port's text and settings to the inner port first.
    bool open() override;
    [[nodiscard]] QCoro::Task<bool> openAsync() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_inner->isOpen(); }
    [[nodiscard]] QString errorString() const override { return m_inner->errorString(); }
    [[nodiscard]] bool accessDenied() const override { return m_inner->accessDenied(); }

    // Recorded as sent only when the inner port took the bytes.
    bool write(const QByteArray &bytes) override;
    [[nodiscard]] int outBufferCount() const override { return m_inner->outBufferCount(); }
    void discardOutput() override { m_inner->discardOutput(); }
    [[nodiscard]] int inBufferCount() const override { return m_inner->inBufferCount(); }
    // The waiting input is recorded as discarded, then the inner port drops its input.
    void discardInput() override;
    [[nodiscard]] ModemInputs modemInputs() const override { return m_inner->modemInputs(); }
    // The modes hold for the inner port too, which shows them as its own.
    void setBinaryMode(bool binary) override {
        SerialPort::setBinaryMode(binary);
        m_inner->setBinaryMode(binary);
    }
    void setNullDiscard(bool discard) override {
        SerialPort::setNullDiscard(discard);
        m_inner->setNullDiscard(discard);
    }

protected:
    int takeByte() override;
    QByteArray takeAll() override;
    void applyModemOutput(ModemOutput output, bool on) override;

private:
    // This port's text and settings, for the inner port's next open.
    void handOverLine();
    // DTR and RTS as the inner port has them after it opened, closed or went away.
    void followModemOutputs();

    std::unique_ptr<SerialPort> m_inner;
    PortTap *m_tap;
};

} // namespace corvane
