#include "ports/serialport.h"

namespace corvane {

int SerialPort::baudRate() const {
    bool ok = false;
    const int rate = m_settings.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
    return ok ? rate : 0;
}

int SerialPort::takeByte() {
    if (m_inputRead >= m_input.size())
        return -1;
    const int byte = quint8(m_input.at(m_inputRead++));
    if (m_inputRead == m_input.size()) {
        clearInput();
    } else if (m_inputRead >= kInBufferSize) { // what was read goes now and then, not byte by byte
        m_input.remove(0, m_inputRead);
        m_inputRead = 0;
    }
    return byte;
}

void SerialPort::clearInput() {
    m_input.resize(0);
    m_inputRead = 0;
}

int SerialPort::readByte() {
    for (;;) {
        const int byte = takeByte();
        if (byte != 0 || !m_nullDiscard)
            return byte;
    }
}

void SerialPort::setModemOutput(ModemOutput output, bool on) {
    bool &state = output == ModemOutput::Dtr ? m_dtr : m_rts;
    if (on == state)
        return;
    state = on;
    applyModemOutput(output, on);
}

QByteArray SerialPort::takeAll() {
    QByteArray bytes = m_input.mid(m_inputRead);
    clearInput();
    return bytes;
}

QByteArray SerialPort::readAll() {
    QByteArray bytes = takeAll();
    if (m_nullDiscard)
        bytes.removeIf([](char byte) { return byte == 0; });
    return bytes;
}

} // namespace corvane
