#pragma once
// Chooses the back end for a port text: "EMU" (any case) is the emulated unit, anything else the
// real line.

#include "ports/serialport.h"

#include <functional>
#include <memory>

namespace corvane {

using PortFactory = std::function<std::unique_ptr<SerialPort>(const QString &portText)>;

[[nodiscard]] bool isEmulatedPortText(const QString &portText);
// A new, closed port for the text. Emulated ports made while an earlier one still exists share its
// unit, so a reconnect finds the emulated unit as it left it, as it would find a real one.
[[nodiscard]] std::unique_ptr<SerialPort> makePort(const QString &portText);

} // namespace corvane
