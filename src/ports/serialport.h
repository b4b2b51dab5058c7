#pragma once
// The program's one serial port, modelled on the property list of a classic comm control: the
// window talks to the unit only through this interface; back ends are the real line, the emulated
// unit and a scripted peer for tests.

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

namespace corvane {

class SerialPort : public QObject {
    Q_OBJECT
    friend class JournalingPort; // takes the raw input of the port it wraps
public:
    // Size of the input buffer the flow-control rule of the line monitor assumes.
    static constexpr int kInBufferSize = 1024;

    explicit SerialPort(QObject *parent = nullptr)
        : QObject(parent) {}
    ~SerialPort() override = default;

    // Port text as the operator typed it ("1", "EMU", "/dev/ttyUSB0") and line settings such as
    // "9600,n,8,1". Both take effect at the next open().
    void setPortText(const QString &text) { m_portText = text; }
    [[nodiscard]] QString portText() const { return m_portText; }
    void setSettings(const QString &settings) { m_settings = settings; }
    [[nodiscard]] QString settings() const { return m_settings; }
    // Speed in bit/s taken from the settings text; 0 when it is not a number.
    [[nodiscard]] int baudRate() const;

    // PortOpen. open() returns false and leaves errorString() set when the port cannot be opened.
    virtual bool open() = 0;
    // The same without blocking the window: a back end whose opening takes time (a network port)
    // lets the event loop run meanwhile.
    [[nodiscard]] virtual QCoro::Task<bool> openAsync() { co_return open(); }
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;
    [[nodiscard]] virtual QString errorString() const { return m_error; }
    // Whether the last open() failed because this user may not use the device.
    [[nodiscard]] virtual bool accessDenied() const { return m_accessDenied; }

    // Output: writes the bytes at once; false when the port refuses them (closed or gone).
    virtual bool write(const QByteArray &bytes) = 0;
    // OutBufferCount (bytes written but not yet passed on to the line) and its discard.
    [[nodiscard]] virtual int outBufferCount() const = 0;
    virtual void discardOutput() = 0;

    // InBufferCount, its discard (InBufferCount = 0) and Input with InputLen 1: one byte per read,
    // -1 when nothing is waiting. With NUL discarding on, NUL bytes are dropped on reading.
    [[nodiscard]] virtual int inBufferCount() const { return int(m_input.size() - m_inputRead); }
    virtual void discardInput() { clearInput(); }
    int readByte();
    // All waiting input at once, in one read (the maintenance button's Input without InputLen).
    QByteArray readAll();
    [[nodiscard]] int inBufferSize() const { return kInBufferSize; }

    // InputMode (false text, true binary) and NullDiscard. The mode only labels how the caller
    // reads: bytes are bytes in both modes.
    virtual void setBinaryMode(bool binary) { m_binary = binary; }
    [[nodiscard]] bool binaryMode() const { return m_binary; }
    virtual void setNullDiscard(bool discard) { m_nullDiscard = discard; }
    [[nodiscard]] bool nullDiscard() const { return m_nullDiscard; }

    // Modem inputs, read together. A closed port reports them all off.
    struct ModemInputs {
        bool cts = false;
        bool dsr = false;
        bool cd = false;
    };
    [[nodiscard]] virtual ModemInputs modemInputs() const { return {}; }
    [[nodiscard]] bool ctsHolding() const { return modemInputs().cts; }
    [[nodiscard]] bool dsrHolding() const { return modemInputs().dsr; }
    [[nodiscard]] bool cdHolding() const { return modemInputs().cd; }
    // Modem outputs; a change goes on the line at once.
    void setDtr(bool on) { setModemOutput(ModemOutput::Dtr, on); }
    void setRts(bool on) { setModemOutput(ModemOutput::Rts, on); }
    [[nodiscard]] bool dtr() const { return m_dtr; }
    [[nodiscard]] bool rts() const { return m_rts; }

Q_SIGNALS:
    // Input arrived (inBufferCount() grew).
    void readyRead();
    // A modem input changed (CTS above all).
    void pinoutChanged();
    // Written bytes moved on towards the line: a writer that keeps the line fed looks at
    // outBufferCount() again. (The real line counts the system's queue too, whose draining no
    // signal reports.)
    void bytesWritten(qint64 bytes);
    // The port went away while open (unplugged adapter, closed far end); it is closed now.
    void lost();

protected:
    enum class ModemOutput { Dtr, Rts };
    // One raw byte of the input, -1 when none; by default from the input kept here.
    virtual int takeByte();
    // All raw input waiting; by default the input kept here.
    virtual QByteArray takeAll();
    // The input of a back end that keeps it here: appended as it arrives, read a byte at a time.
    void keepInput(QByteArrayView bytes) { m_input.append(bytes); }
    void clearInput();
    void setErrorString(const QString &error) { m_error = error; }
    void setAccessDenied(bool denied) { m_accessDenied = denied; }
    // Puts a changed modem output on the line (a back end without such lines keeps it to itself).
    virtual void applyModemOutput(ModemOutput, bool) {}
    // Both outputs as opening or closing leaves them, without putting anything on the line.
    void resetModemOutputs(bool on) { m_dtr = m_rts = on; }

private:
    QString m_portText;
    QString m_settings = QStringLiteral("9600,n,8,1");
    QString m_error;
    bool m_accessDenied = false;
    bool m_binary = false;
    bool m_nullDiscard = false;
    bool m_dtr = false;
    bool m_rts = false;
    QByteArray m_input;
    qsizetype m_inputRead = 0; // bytes of m_input already read

    void setModemOutput(ModemOutput output, bool on);
};

} // namespace corvane
