// Placeholder until the real line and the emulated unit's line land.
#include "link/emulatedport.h"
#include "link/portfactory.h"
#include "link/realport.h"
#include "link/scriptedport.h"

namespace corvane {

bool isEmulatedPortText(const QString &portText)
{
    return portText.trimmed().compare(QLatin1String("EMU"), Qt::CaseInsensitive) == 0;
}

std::unique_ptr<SerialPort> makePort(const QString &)
{
    return std::make_unique<ScriptedPort>();
}

} // namespace corvane

namespace corvane {

EmulatedPort::EmulatedPort(UnitOptions, QObject *parent) : SerialPort(parent) {}
EmulatedPort::~EmulatedPort() = default;
bool EmulatedPort::open() { return false; }
void EmulatedPort::close() {}
bool EmulatedPort::write(const QByteArray &) { return false; }
int EmulatedPort::outBufferCount() const { return 0; }
void EmulatedPort::discardOutput() {}
int EmulatedPort::inBufferCount() const { return 0; }
void EmulatedPort::discardInput() {}
bool EmulatedPort::ctsHolding() const { return false; }
bool EmulatedPort::dsrHolding() const { return false; }
bool EmulatedPort::cdHolding() const { return false; }
void EmulatedPort::setDtr(bool) {}
void EmulatedPort::setRts(bool) {}
int EmulatedPort::takeByte() { return -1; }

RealPort::RealPort(QObject *parent) : SerialPort(parent) {}
RealPort::~RealPort() = default;
bool RealPort::open() { return false; }
void RealPort::close() {}
bool RealPort::isOpen() const { return false; }
bool RealPort::write(const QByteArray &) { return false; }
int RealPort::outBufferCount() const { return 0; }
void RealPort::discardOutput() {}
int RealPort::inBufferCount() const { return 0; }
void RealPort::discardInput() {}
bool RealPort::ctsHolding() const { return false; }
bool RealPort::dsrHolding() const { return false; }
bool RealPort::cdHolding() const { return false; }
void RealPort::setDtr(bool) {}
void RealPort::setRts(bool) {}
int RealPort::takeByte() { return -1; }

} // namespace corvane
