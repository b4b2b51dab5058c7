#pragma once
// The port text "EMU": the built-in emulated unit on a virtual null-modem cable inside the process.
// Bytes travel at the chosen speed (10 bits a byte), the program's DTR/RTS pause the unit's output
// and the unit's busy line is the program's CTS.

#include "ports/serialport.h"

#include <unit/unit.h>

#include <QTimer>

#include <memory>

namespace corvane {

class EmulatedPort : public SerialPort {
    Q_OBJECT
public:
    // A port with a unit of its own.
    explicit EmulatedPort(UnitOptions options = {}, QObject *parent = nullptr);
    // A port on a unit that outlives it (a reconnect finds the unit as it left it).
    explicit EmulatedPort(std::shared_ptr<Unit> unit, QObject *parent = nullptr);
    ~EmulatedPort() override;

    [[nodiscard]] Unit &unit() { return *m_unit; }
    // Unpaced: bytes travel as fast as the event loop turns, still never more than the input buffer
    // holds while the program's DTR/RTS are low.
    void setPaced(bool paced) { m_paced = paced; }
    [[nodiscard]] bool paced() const { return m_paced; }
    // The cable is pulled out: the port closes and emits lost().
    void vanish();
    // Whether the cable is busy moving bytes or waiting for the unit (an idle line costs nothing).
    [[nodiscard]] bool pumping() const { return m_pump.isActive(); }

    bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_open; }
    bool write(const QByteArray &bytes) override;
    [[nodiscard]] int outBufferCount() const override;
    void discardOutput() override;
    void discardInput() override;
    [[nodiscard]] ModemInputs modemInputs() const override;

protected:
    int takeByte() override;
    QByteArray takeAll() override;
    void applyModemOutput(ModemOutput, bool) override { hostReadyChanged(); }

private:
    void pump();
    // One pump's moves: bytes due to the unit and bytes due from it (how many), then the timer.
    qsizetype sendToUnit(Micros now);
    qsizetype receiveFromUnit(Micros now);
    void scheduleNext(Micros now, bool moved);
    void startPump();
    void hostReadyChanged();
    [[nodiscard]] bool unitUnplugged() const;
    [[nodiscard]] double bytesPerMicro() const;
    [[nodiscard]] int movingIntervalMs() const;

    std::shared_ptr<Unit> m_unit;
    QTimer m_pump;
    QByteArray m_toUnit;   // written by the program, not yet on the wire
    Micros m_txLast = 0;   // time up to which the program->unit direction is accounted for
    Micros m_rxLast = 0;   // the same for the unit->program direction
    Micros m_unitTime = 0; // latest time handed to the unit
    double m_txCredit = 0; // bytes the program->unit direction may still move
    double m_rxCredit = 0; // bytes the unit->program direction may still move
    int m_baud = 0;
    bool m_open = false;
    bool m_paced = true;
    bool m_lastCts = false;
    bool m_sleeping = false;     // the pump only waits for the unit's next deadline
    bool m_sliceUnread = false;  // the latest bytes delivered have not been read
    bool m_unreadSlices = false; // nobody reads as bytes come: deliver in longer slices
};

} // namespace corvane
