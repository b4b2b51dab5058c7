#include "shell/unitjournal.h"

#include "ports/journalingport.h"
#include "shell/journal.h"
#include "text/version.h"

namespace corvane {

ControllerOptions journaled(ControllerOptions options, Journal *journal) {
    if (!journal)
        return options;
    PortFactory make = options.portFactory ? options.portFactory : PortFactory(makePort);
    options.portFactory = [make, journal](const QString &portText) {
        return std::unique_ptr<SerialPort>(
            std::make_unique<JournalingPort>(make(portText), journal));
    };
    return options;
}

void recordEvents(UnitController &unit, Journal &journal) {
    QObject::connect(&unit, &UnitController::logLineAdded, &unit,
                     [&journal](const QString &line) { journal.logLine(line); });
    QObject::connect(&unit, &UnitController::connecting, &unit,
                     [&journal](const QString &port, const QString &settings) {
                         journal.header(programVersion(), port, settings);
                     });
    QObject::connect(&unit, &UnitController::purgeStarted, &unit,
                     [&journal] { journal.beginPurge(); });
}

} // namespace corvane
