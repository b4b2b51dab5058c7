#include "ports/journalingport.h"

namespace corvane {

JournalingPort::JournalingPort(std::unique_ptr<SerialPort> inner, PortTap *tap, QObject *parent)
    : SerialPort(parent)
    , m_inner(std::move(inner))
    , m_tap(tap) {
    SerialPort *source = m_inner.get();
    connect(source, &SerialPort::readyRead, this, &SerialPort::readyRead);
    connect(source, &SerialPort::pinoutChanged, this, &SerialPort::pinoutChanged);
    connect(source, &SerialPort::bytesWritten, this, &SerialPort::bytesWritten);
    connect(source, &SerialPort::lost, this, [this] {
        followModemOutputs();
        Q_EMIT lost();
    });
    followModemOutputs();
}

JournalingPort::~JournalingPort() = default;

bool JournalingPort::open() {
    handOverLine();
    const bool opened = m_inner->open();
    followModemOutputs();
    return opened;
}

QCoro::Task<bool> JournalingPort::openAsync() {
    handOverLine();
    const bool opened = co_await m_inner->openAsync();
    followModemOutputs();
    co_return opened;
}

void JournalingPort::close() {
    m_inner->close();
    followModemOutputs();
}

bool JournalingPort::write(const QByteArray &bytes) {
    if (!m_inner->write(bytes))
        return false;
    if (m_tap)
        m_tap->sent(bytes);
    return true;
}

void JournalingPort::discardInput() {
    const QByteArray dropped = m_inner->takeAll();
    if (m_tap && !dropped.isEmpty())
        m_tap->discarded(dropped);
    m_inner->discardInput();
}

int JournalingPort::takeByte() {
    const int byte = m_inner->takeByte();
    if (byte >= 0 && m_tap) {
        const char raw = char(byte);
        m_tap->received(QByteArray::fromRawData(&raw, 1));
    }
    return byte;
}

QByteArray JournalingPort::takeAll() {
    QByteArray bytes = m_inner->takeAll();
    if (m_tap && !bytes.isEmpty())
        m_tap->received(bytes);
    return bytes;
}

void JournalingPort::applyModemOutput(ModemOutput output, bool on) {
    if (output == ModemOutput::Dtr)
        m_inner->setDtr(on);
    else
        m_inner->setRts(on);
}

void JournalingPort::handOverLine() {
    m_inner->setPortText(portText());
    m_inner->setSettings(settings());
}

void JournalingPort::followModemOutputs() {
    // setRts() passes nothing on when the inner port already has that state.
    resetModemOutputs(m_inner->dtr());
    setRts(m_inner->rts());
}

} // namespace corvane
