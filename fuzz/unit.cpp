// Fuzzes the emulated unit in every state: same input same output, comes to rest, answers ON.
#include "unit/unit.h"
#include "fuzzcheck.h"
#include "unit/simulatedline.h"

#include <string>
#include <string_view>

using namespace corvane;
using namespace corvane::fuzz;

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
constexpr std::size_t kScriptCount = sizeof(kScripts) / sizeof(kScripts[0]);
constexpr Fault kFaults[] = {Fault::None, Fault::None,     Fault::None,       Fault::None,
                             Fault::None, Fault::CutReply, Fault::SlowPieces, Fault::Silent};
constexpr double kTimeScales[] = {0.0, 0.001, 1.0, 1.0};
constexpr Micros kSettleLimit = 120'000'000;

struct Outcome {
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a of everything the unit sent
    std::uint64_t bytes = 0;
    bool settled = false;
    std::uint32_t bufferStart = 0;
    int bufferType = 0;
    bool lampOn = false;
    std::string device;
    bool operator==(const Outcome &) const = default;

    void add(const std::string &output) {
        for (const char c : output) {
            hash ^= static_cast<unsigned char>(c);
            hash *= 1099511628211ull;
        }
        bytes += output.size();
    }
};

Outcome run(const std::uint8_t *data, std::size_t size, bool checkRecovery) {
    const std::size_t script = data[0] % kScriptCount;
    const std::uint8_t options = size > 1 ? data[1] : 0;
    UnitOptions unitOptions;
    unitOptions.timeScale = kTimeScales[options & 3];
    Unit unit(unitOptions);
    const Fault fault = kFaults[(options >> 3) & 7];
    unit.setFault(fault);
    SimulatedLine line(unit, options & 4 ? 260 : 0);
    Outcome outcome;

    if (script == kScriptCount - 1)
        unit.selectDevice("");
    line.send(kScripts[script]);
    outcome.add(line.take());

    // The rest: bytes to the unit, where NUL k lets k times 10 ms pass and NUL NUL sends a NUL.
    std::string pending;
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] != 0 || i + 1 == size) {
            pending += char(data[i]);
            continue;
        }
        const std::uint8_t k = data[++i];
        if (k == 0) {
            pending += '\0';
            continue;
        }
        line.send(pending);
        pending.clear();
        line.wait(Micros(k) * 10'000);
        outcome.add(line.take());
    }
    line.send(pending);
    outcome.add(line.take());

    outcome.settled = line.settle(kSettleLimit);
    outcome.add(line.take());
    FUZZ_CHECK(outcome.settled, "the unit does not come to rest");
    FUZZ_CHECK(!unit.busy() && !unit.hasOutput(), "a settled unit is busy");
    FUZZ_CHECK(unit.clearToSend(line.now()), "a resting unit holds its busy line");

    outcome.bufferStart = unit.bufferStart();
    outcome.bufferType = unit.bufferType();
    outcome.lampOn = unit.lampOn();
    outcome.device = unit.selectedDevice() ? unit.selectedDevice()->code : std::string("-");

    if (checkRecovery && fault == Fault::None) {
        // An unfinished line is dropped after 2 s; then "ON" is answered as ever.
        line.wait(2'100'000);
        (void)line.take();
        line.send("ON\r\n");
        FUZZ_CHECK(line.settle(kSettleLimit), "the unit does not come to rest after ON");
        const std::string answer = line.take();
        if (answer != "00\r\n") {
            printHex("answer to ON", answer);
            FUZZ_CHECK(answer == "00\r\n", "a resting unit does not answer ON with 00");
        }
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const Outcome first = run(data, size, true);
    const Outcome second = run(data, size, false);
    FUZZ_CHECK(first == second, "the same input gives other output or state");
    return 0;
}
