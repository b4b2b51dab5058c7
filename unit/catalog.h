#pragma once
// The device types the emulated unit knows.

#include "unit/unit.h"

#include <vector>

namespace corvane {

// Byte- and word-wide EPROMs, EEPROMs and flash memories, in code order. Among them "03", a
// byte-wide EPROM ending at 07FFF (the type selected at power-on), and "2F", a byte-wide EPROM
// ending at 1FFFF whose texts are CP932 bytes.
[[nodiscard]] std::vector<DeviceType> standardCatalog();

// Bytes of the device's memory: one per address of a byte-wide type, two per word of a word-wide
// one.
[[nodiscard]] std::uint32_t deviceBytes(const DeviceType &type);

} // namespace corvane
