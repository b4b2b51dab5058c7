// The port for a port text: the emulated unit, a network line or the real line.

#include "ports/portfactory.h"
#include "ports/emulatedport.h"
#include "ports/networkport.h"
#include "ports/realport.h"

namespace corvane {

bool isEmulatedPortText(const QString &portText) {
    return portText.trimmed().compare(QLatin1String("EMU"), Qt::CaseInsensitive) == 0;
}

std::unique_ptr<SerialPort> makePort(const QString &portText) {
    if (isNetworkPortText(portText))
        return std::make_unique<NetworkPort>();
    if (!isEmulatedPortText(portText))
        return std::make_unique<RealPort>();
    // The unit lives as long as some port is plugged into it. Ports are made on the GUI thread
    // only.
    static std::weak_ptr<Unit> current;
    std::shared_ptr<Unit> unit = current.lock();
    if (!unit) {
        unit = std::make_shared<Unit>();
        current = unit;
    }
    return std::make_unique<EmulatedPort>(unit);
}

} // namespace corvane
