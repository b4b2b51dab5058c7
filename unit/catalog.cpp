// The device types the emulated unit knows (fictional parts).
#include "unit/catalog.h"

namespace corvane {

namespace {
constexpr DeviceKind kEprom = DeviceKind::Eprom;
constexpr DeviceKind kEeprom = DeviceKind::Eeprom;
constexpr DeviceKind kFlash = DeviceKind::Flash;
} // namespace

std::vector<DeviceType> standardCatalog() {
    return {
        {"01", "TESSOLIN", "TS27E64", kEprom, false, 0x01FFF},
        {"02", "TESSOLIN", "TS27E128", kEprom, false, 0x03FFF},
        {"03", "TESSOLIN", "TS27E256", kEprom, false, 0x07FFF},
        {"04", "TESSOLIN", "TS27E512", kEprom, false, 0x0FFFF},
        // "インテルる" in CP932
        {"2F", "\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9", "am27r010gg", kEprom, false, 0x1FFFF},
        {"40", "MARUKAWA", "MK27W2048", kEprom, true, 0x1FFFF},
        {"41", "MARUKAWA", "MK27W4096", kEprom, true, 0x3FFFF},
        {"50", "ORIVEL", "OV28E64", kEeprom, false, 0x01FFF},
        {"51", "ORIVEL", "OV28E256", kEeprom, false, 0x07FFF},
        {"60", "ORIVEL", "OV28W1024", kEeprom, true, 0x0FFFF},
        {"70", "KESTRANE", "KF29F020", kFlash, false, 0x3FFFF},
        {"71", "KESTRANE", "KF29F040", kFlash, false, 0x7FFFF},
        {"72", "KESTRANE", "KF29W800", kFlash, true, 0x7FFFF},
    };
}

std::uint32_t deviceBytes(const DeviceType &type) {
    return (type.endAddress + 1) * (type.wordWide ? 2 : 1);
}

} // namespace corvane
