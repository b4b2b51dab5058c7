#pragma once
// The choices of the port box: the numbered ports "1" to "6" and "EMU", then every serial port the
// system reports, each with its description and maker as a tooltip.

#include <QList>
#include <QString>

namespace corvane {

// A serial port as the system reports it.
struct SystemPort {
    QString location;     // the device path on Linux ("/dev/ttyUSB0")
    QString name;         // the port's name ("ttyUSB0", "COM3")
    QString description;  // e.g. "USB-Serial Controller"
    QString manufacturer; // e.g. the adapter's maker
};

struct PortChoice {
    QString text;
    QString tooltip; // empty for the fixed choices
};

// The box's list: the fixed choices first, then the system's ports by their text (the port's name
// on Windows, its device path elsewhere) in natural order (ttyUSB2 before ttyUSB10), each once.
[[nodiscard]] QList<PortChoice> portChoices(QList<SystemPort> ports, bool windows);

// The ports the system reports now.
[[nodiscard]] QList<SystemPort> systemPorts();

} // namespace corvane
