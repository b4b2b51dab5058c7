// Fuzzes the emulated unit in every state: same input same output, comes to rest, answers ON.
#include "unit/unit.h"
#include "fuzz.h"
#include "unit/simulatedline.h"

#include <iterator>
#include <string>
#include <string_view>
#include <utility>

using namespace corvane;

namespace {

// Command lines that bring the unit into a state before the fuzz bytes arrive.
constexpr std::string_view kScripts[] = {
    "",                           // idle, the power-on device
    "TS03\r\n",                   // a byte-wide EPROM
    "TS2F\r\nUS0\r\n",            // a device whose texts are CP932
    "TS40\r\nTW1\r\nBS12345\r\n", // a word-wide device, odd buffer start, Hi type
    "LH0\r\n",                    // awaiting Intel HEX lines
    "LS100\r\n",                  // awaiting Motorola S lines
    "LB16,0\r\n",                 // awaiting 16 raw bytes
    "LB1048576,FFFFF\r\n",        // awaiting a whole buffer of raw bytes
    "SH0,FF,0\r\n",               // a short save
    "SS0,11FF,1\r\n",             // a save stream longer than one drain
    "SB0,10FFF\r\n",              // a raw save longer than one drain
    "BD0,5FFF\r\n",               // a dump longer than one drain
    "TS72\r\nPG0,3FFF\r\n",       // programming a word-wide flash memory (1.1 s)
    "BL0,7FFF\r\n",               // a blank check
    "TS50\r\nER0,1FFF\r\n",       // an EEPROM erase
    "CL\r\n",                     // the buffer clear
    "ES\r\n",                     // the UV lamp on an EPROM
    "LH0\r\n:00000001FF\r\n",     // a load just ended: its lines are swallowed
    "TS70\r\nWT0,FF,1\r\n",       // writing odd cells of a flash memory
    "",                           // no device (selected through the interface)
};
constexpr Fault kFaults[] = {Fault::None, Fault::None,     Fault::None,       Fault::None,
                             Fault::None, Fault::CutReply, Fault::SlowPieces, Fault::Silent};
constexpr double kTimeScales[] = {0.0, 0.001, 1.0, 1.0};
constexpr Micros kSettleLimit = 120'000'000;

// All the unit sent, and its state once at rest.
std::string run(const std::uint8_t *data, std::size_t size, bool checkRecovery) {
    const std::size_t script = data[0] % std::size(kScripts);
    const std::uint8_t options = size > 1 ? data[1] : 0;
    UnitOptions unitOptions;
    unitOptions.timeScale = kTimeScales[options & 3];
    Unit unit(unitOptions);
    const Fault fault = kFaults[(options >> 3) & 7];
    unit.setFault(fault);
    SimulatedLine line(unit, options & 4 ? 260 : 0);
    if (script == std::size(kScripts) - 1)
        unit.selectDevice("");
    line.send(kScripts[script]);
    std::string sent = line.take();

    // The rest: bytes to the unit, where NUL k lets k times 10 ms pass and NUL NUL sends a NUL.
    std::string pending;
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] != 0 || i + 1 == size) {
            pending += char(data[i]);
        } else if (data[++i] == 0) {
            pending += '\0';
        } else {
            line.send(std::exchange(pending, {}));
            line.wait(Micros(data[i]) * 10'000);
            sent += line.take();
        }
    }
    line.send(pending);
    FUZZ_CHECK(line.settle(kSettleLimit), "the unit does not come to rest");
    sent += line.take();
    FUZZ_CHECK(!unit.busy() && !unit.hasOutput() && unit.clearToSend(line.now()),
               "a resting unit is busy or holds its busy line");
    const std::string state =
        std::to_string(unit.bufferStart()) + ' ' + std::to_string(unit.bufferType()) + ' ' +
        (unit.lampOn() ? '+' : '-') + (unit.selectedDevice() ? unit.selectedDevice()->code : "-");

    if (checkRecovery && fault == Fault::None) {
        // An unfinished line is dropped after 2 s; then "ON" is answered as ever.
        line.wait(2'100'000);
        (void)line.take();
        line.send("ON\r\n");
        FUZZ_CHECK(line.settle(kSettleLimit) && line.take() == "00\r\n",
                   "a resting unit does not answer ON with 00");
    }
    return sent + '\n' + state;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FUZZ_CHECK(size == 0 || run(data, size, true) == run(data, size, false),
               "the same input gives other output or state");
    return 0;
}
