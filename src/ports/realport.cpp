// The real line: QSerialPort set to the operator's speed, 8N1 without flow control, a 1024-byte
// input buffer, and a port that closes itself when its device goes away.

#include "ports/realport.h"

#include <QFile>
#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <limits>

#ifdef Q_OS_UNIX
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace corvane {

QString deviceNameForPortText(const QString &portText) {
    const QString text = portText.trimmed();
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber) {
        // The port number is a 16-bit integer counted from 1.
        if (number < 1 || number > std::numeric_limits<qint16>::max())
            return {};
#ifdef Q_OS_WIN
        return QStringLiteral("COM%1").arg(number);
#else
        return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
    }
    return text;
}

RealPort::RealPort(QObject *parent)
    : SerialPort(parent) {
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::readyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &SerialPort::bytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &RealPort::onError);
}

RealPort::~RealPort() {
    // No signal may reach a half-destroyed port.
    m_port.disconnect(this);
    m_port.close();
}

namespace {

// Whether this user lacks the right to read and write the device (not merely finds it in use).
bool deviceForbidden(const QString &device) {
#ifdef Q_OS_UNIX
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 && errno == EACCES;
#else
    Q_UNUSED(device);
    return true;
#endif
}

} // namespace

bool RealPort::open() {
    close();
    setAccessDenied(false);
    const QString device = deviceNameForPortText(portText());
    if (device.isEmpty()) {
        setErrorString(QStringLiteral("not a port name"));
        return false;
    }
    const int baud = baudRate();
    if (baud <= 0) {
        setErrorString(QStringLiteral("invalid speed: ") + settings());
        return false;
    }
    m_port.setPortName(device);
    m_port.setBaudRate(baud);
    m_port.setDataBits(QSerialPort::Data8);
    m_port.setParity(QSerialPort::NoParity);
    m_port.setStopBits(QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(kInBufferSize);
    if (!m_port.open(QIODevice::ReadWrite)) {
        // Short, and naming the device when the operator typed a port number.
        const QString reason = m_port.error() == QSerialPort::UnsupportedOperationError
                                   ? QStringLiteral("not a serial port")
                                   : m_port.errorString();
        setErrorString(device == portText().trimmed() ? reason
                                                      : device + QStringLiteral(": ") + reason);
        setAccessDenied(m_port.error() == QSerialPort::PermissionError && deviceForbidden(device));
        m_port.clearError();
        return false;
    }
    ++m_session;
    setErrorString({});

    // A pseudo-terminal cannot report modem lines: it then counts as always clear to send.
    (void)m_port.pinoutSignals();
    m_modemLines = m_port.error() == QSerialPort::NoError;
    m_port.clearError();

    // Opening a line raises DTR and RTS.
    resetModemOutputs(true);
    if (m_modemLines) {
        m_port.setDataTerminalReady(true);
        m_port.setRequestToSend(true);
        m_port.clearError();
    }
    return true;
}

void RealPort::close() {
    ++m_session;
    m_lostPending = false;
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

bool RealPort::isOpen() const {
    return m_port.isOpen();
}

bool RealPort::write(const QByteArray &bytes) {
    if (!m_port.isOpen() || m_lostPending)
        return false;
    return m_port.write(bytes) == bytes.size();
}

int RealPort::outBufferCount() const {
    if (!m_port.isOpen())
        return 0;
    qint64 waiting = m_port.bytesToWrite();
#ifdef Q_OS_UNIX
    // What the system still holds for the line counts too: a load would otherwise run a system
    // buffer ahead of the unit's CTS (seconds of line time at low speeds).
    int queued = 0;
    if (::ioctl(m_port.handle(), TIOCOUTQ, &queued) == 0 && queued > 0)
        waiting += queued;
#endif
    return int(std::min<qint64>(waiting, std::numeric_limits<int>::max()));
}

void RealPort::discardOutput() {
    if (m_port.isOpen())
        m_port.clear(QSerialPort::Output);
}

int RealPort::inBufferCount() const {
    return m_port.isOpen() ? int(m_port.bytesAvailable()) : 0;
}

void RealPort::discardInput() {
    if (!m_port.isOpen())
        return;
    m_port.clear(QSerialPort::Input);
    // A full buffer has stopped QSerialPort from reading the device; a read from the empty buffer
    // starts it again (it returns nothing at once), or the line would stay deaf.
    char byte = 0;
    (void)m_port.read(&byte, 1);
}

int RealPort::takeByte() {
    if (!m_port.isOpen())
        return -1;
    char byte = 0;
    return m_port.getChar(&byte) ? int(static_cast<unsigned char>(byte)) : -1;
}

QByteArray RealPort::takeAll() {
    // Reading also lets a port whose buffer was full read the device again.
    return m_port.isOpen() ? m_port.readAll() : QByteArray();
}

SerialPort::ModemInputs RealPort::modemInputs() const {
    if (!m_port.isOpen())
        return {};
    if (!m_modemLines)
        return {.cts = true}; // a pseudo-terminal never holds the program back
    const QSerialPort::PinoutSignals lines = m_port.pinoutSignals();
    if (m_port.error() != QSerialPort::NoError) {
        m_port.clearError();
        return {};
    }
    return {lines.testFlag(QSerialPort::ClearToSendSignal),
            lines.testFlag(QSerialPort::DataSetReadySignal),
            lines.testFlag(QSerialPort::DataCarrierDetectSignal)};
}

void RealPort::applyModemOutput(ModemOutput output, bool on) {
    if (!m_port.isOpen() || !m_modemLines || m_lostPending)
        return;
    if (output == ModemOutput::Dtr)
        m_port.setDataTerminalReady(on);
    else
        m_port.setRequestToSend(on);
    m_port.clearError();
}

void RealPort::onError(QSerialPort::SerialPortError error) {
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (!m_port.isOpen() || m_lostPending)
        return;
    // The device is gone. QSerialPort would go on reporting the error in a tight loop, and it must
    // not be closed inside its own error signal: close it from the event loop.
    m_lostPending = true;
    setErrorString(m_port.errorString());
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        this,
        [this, session] {
            if (session != m_session || !m_port.isOpen())
                return;
            close();
            Q_EMIT lost();
        },
        Qt::QueuedConnection);
}

} // namespace corvane
