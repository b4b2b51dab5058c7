#pragma once
// The port text "EMU": the built-in emulated unit on a virtual null-modem cable inside the process.
// Bytes travel at the chosen speed (10 bits a byte), the program's DTR/RTS pause the unit's output
// and the unit's busy line is the program's CTS.

#include "link/serialport.h"

#include <unit/unit.h>

#include <QElapsedTimer>
#include <QTimer>

namespace corvane {

class EmulatedPort : public SerialPort {
    Q_OBJECT
public:
    explicit EmulatedPort(UnitOptions options = {}, QObject *parent = nullptr);
    ~EmulatedPort() override;

    [[nodiscard]] Unit &unit() { return *m_unit; }
    // Unpaced: bytes travel as fast as the event loop turns, still never more than the input buffer
    // holds while the program's DTR/RTS are low.
    void setPaced(bool paced) { m_paced = paced; }
    [[nodiscard]] bool paced() const { return m_paced; }

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_open; }
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
    void pump();
    [[nodiscard]] Micros now() const;

    std::unique_ptr<Unit> m_unit;
    QElapsedTimer m_clock;
    QTimer m_pump;
    QByteArray m_toUnit;   // written by the program, not yet on the wire
    QByteArray m_fromUnit; // arrived from the unit, waiting to be read (the input buffer)
    qsizetype m_fromUnitRead = 0;
    Micros m_lastPump = 0;
    double m_txCredit = 0; // bytes the program->unit direction may still move
    double m_rxCredit = 0; // bytes the unit->program direction may still move
    bool m_open = false;
    bool m_paced = true;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_lastCts = true;
};

} // namespace corvane
