#pragma once
// The emulated Corvane unit: a deterministic state machine fed with the bytes the program sends and
// with the current time, producing the bytes the unit answers and its busy line. Plain C++, no Qt.
//
// Addressing, as the unit understands it:
// - The buffer RAM holds 1 MiB (buffer addresses 00000-FFFFF); every buffer address wraps at 1 MiB.
// - Device address a of a byte-wide device is buffer address start+a (start = the buffer start
//   address, "BS"). Device word w of a word-wide device is the two buffer bytes start+2w and
//   start+2w+1; with buffer type 0 (Low) the byte at the even buffer address is the word's low
//   byte, with type 1 (Hi) its high byte.
// - "BD" dumps buffer addresses as they are. Loads ("LH", "LS", "LB") and saves ("SH", "SS", "SB")
//   count from the buffer start address, like the device: record address (plus the load address
//   field of a load) r is buffer address start+r, so a file saved from a range loads back to the
//   same place. Record addresses beyond 1 MiB wrap.
// - The device's memory is kept as bytes; word w of a word-wide device is bytes 2w (low) and
//   2w+1 (high).
//
// Rules of the line and of the work, where the program leaves the unit free:
// - A line ends with CR LF (a lone CR or LF does not end it); a line left unfinished for 2 s is
//   dropped; a line longer than 1024 bytes is answered "20" (known command word) or "22". Command
//   words are upper case; hex fields take either case.
// - Every command line gets one reply line, except "BD" (the data line is the reply), the saves
//   and a cancel. A line ending in ESC cancels a running operation, dump, save or text load with
//   "34"; while idle it is ignored. Other lines are ignored while an operation or a stream runs.
//   The raw bytes of "LB" are data, whatever their value (ESC CR LF included).
// - Device operations: "14" without a device, then "20" for a malformed field, start > end, an end
//   beyond the device or a mode other than 0, 1, 2 or empty. Device data in "10", "11" and "12"
//   details has 2 hex digits, 4 for a word-wide device. Writing (WT, PG) an EPROM or a flash memory
//   can only clear bits: a cell that needs a 1 over a 0 ends the write with "11" (the other cells
//   up to it are written); an EEPROM takes any value. ER answers "15" for an EPROM. The UV lamp
//   erases the EPROM (the selected type is an EPROM) once it has been lit for 3 s x timeScale in
//   all since the last erase; it erases at most once per time it is switched on.
// - Durations before the time scale: BL, RD, CP 4 us a byte, WT 30 us, PG 34 us (write and
//   verify), ER 1 s (EEPROM) or 2.5 s (flash), CL 0.3 s. A cancel keeps the cells done so far.
// - Text loads: "LH"/"LS" with an optional hex load address answer "01"; a malformed record, a bad
//   checksum or a count record that does not match answers "30" at once, the end record "00".
//   After either, the rest of the file is swallowed until 0.5 s of silence or the next line that
//   starts with a command word. 2 s without data: "00" when no record came (an empty file), "32"
//   otherwise. Blank lines are ignored. "LB<decimal length>[,<hex address>]" takes at most 1 MiB.
// - Saves: "SH"/"SS" <start>,<end>[,<n>] with n the data bytes per record in decimal, 1-250
//   (0 or empty: 16); a bad field sends only the byte 26. Intel HEX uses type 04 records where the
//   range needs them; Motorola S writes S0, S1 or S2 records by the range's end, an S5 count and
//   the matching end record. "SB" with a bad field sends nothing. With a word-wide device selected
//   the range of a save is in device words (word w: record addresses 2w and 2w+1), so that the
//   device's end address saves the whole image; load addresses are always byte addresses.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace corvane {

// Time is microseconds on a monotonic clock chosen by the caller.
using Micros = std::uint64_t;

// Ways the unit can be told to misbehave, for tests.
enum class Fault {
    None,
    Silent,     // receives everything, answers nothing
    CutReply,   // sends each reply without its final CR LF
    SlowPieces, // sends each reply in three pieces with 0.4 s gaps
    Noise,      // answers every command line with an endless stream of bytes without CR LF
    Vanish,     // as if unplugged: receives nothing, sends nothing, busy line low
};

struct UnitOptions {
    // Factor on every duration an operation takes on the device (1.0 = realistic, 0 = instant).
    double timeScale = 1.0;
    // Microseconds the unit keeps its busy line (the program's CTS) low while digesting one data
    // line of a file load, before the time scale applies.
    Micros lineDigestMicros = 2000;
};

// What a device's cells are, which decides how they are written and erased.
enum class DeviceKind {
    Eprom,  // written cells only lose 1 bits; erased by the UV lamp only
    Eeprom, // cells take any value; erased electrically
    Flash,  // written cells only lose 1 bits; erased electrically
};

// One device type of the unit's catalog.
struct DeviceType {
    std::string code;  // two characters, e.g. "03", "2F"
    std::string text1; // first device text (CP932 bytes)
    std::string text2; // second device text (CP932 bytes)
    DeviceKind kind = DeviceKind::Eprom;
    bool wordWide = false;
    std::uint32_t endAddress = 0; // last device address (in device words for word-wide devices)
};

class Unit {
public:
    explicit Unit(UnitOptions options = {});
    ~Unit();
    Unit(const Unit &) = delete;
    Unit &operator=(const Unit &) = delete;

    // A byte arrives from the program at time `now`.
    void receive(std::uint8_t byte, Micros now);
    // Advances time-driven work (device operations, streams) to `now`.
    void poll(Micros now);
    // Moves up to `max` bytes the unit sends now into `out`; returns how many. Sends nothing while
    // the program holds DTR/RTS low (see setHostReady).
    std::size_t transmit(std::uint8_t *out, std::size_t max, Micros now);
    // Whether the unit has bytes waiting to be sent (ignoring the program's DTR/RTS), as of the
    // latest time it was given. Bytes due later (a reply sent in slow pieces) count from their
    // time.
    [[nodiscard]] bool hasOutput() const;
    // Whether anything is in progress that will produce output or change the busy line later
    // (an operation on the device, a stream, a load awaiting data). An idle unit needs no poll()
    // until the next byte arrives.
    [[nodiscard]] bool busy() const;
    // The earliest later time at which poll() has something to do (an operation ends, a time-out
    // runs out, a delayed piece of a reply is due, the busy line rises), or none. Lets a caller
    // sleep instead of polling while busy().
    [[nodiscard]] std::optional<Micros> nextDeadline() const;

    // The program's DTR/RTS outputs: false asks the unit to pause its output.
    void setHostReady(bool ready);
    // The unit's busy line as the program sees it on CTS: true when the unit may receive.
    [[nodiscard]] bool clearToSend(Micros now) const;

    void setFault(Fault fault);
    [[nodiscard]] Fault fault() const;

    // Catalog and state, for tests and for the pty server's command line.
    [[nodiscard]] const std::vector<DeviceType> &catalog() const;
    [[nodiscard]] const DeviceType *selectedDevice() const;
    void selectDevice(const std::string &code);              // "" deselects
    [[nodiscard]] std::vector<std::uint8_t> &buffer();       // buffer RAM, 1 MiB
    [[nodiscard]] std::vector<std::uint8_t> &deviceMemory(); // the device's bytes
    [[nodiscard]] std::uint32_t bufferStart() const;
    [[nodiscard]] int bufferType() const; // 0 Low, 1 Hi
    [[nodiscard]] bool lampOn() const;
    // Every command line the unit has received, without CR LF (for tests). Data lines of text loads
    // and cancel lines are included; raw bytes of "LB" are not. The newest 100000 lines are kept.
    [[nodiscard]] const std::vector<std::string> &receivedLines() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace corvane
