#include "link/serialport.h"

namespace corvane {

int SerialPort::baudRate() const {
    bool ok = false;
    const int rate = m_settings.section(QLatin1Char(','), 0, 0).trimmed().toInt(&ok);
    return ok ? rate : 0;
}

int SerialPort::readByte() {
    for (;;) {
        const int byte = takeByte();
        if (byte != 0 || !m_nullDiscard)
            return byte;
    }
}

QByteArray SerialPort::readAll() {
    QByteArray bytes;
    for (int byte = readByte(); byte >= 0; byte = readByte())
        bytes.append(char(byte));
    return bytes;
}

} // namespace corvane
