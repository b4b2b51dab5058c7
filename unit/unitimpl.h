#pragma once
// The emulated unit's inner state, shared by the files that make it up: unit.cpp (byte intake, line
// framing, dispatch, output), commands.cpp (command handlers), device.cpp (the device's cells and
// the operations on them) and streams.cpp (loads, saves, the dump). Not for users of the unit.

#include "unit/records.h"
#include "unit/unit.h"

#include <array>
#include <deque>
#include <string_view>

namespace corvane {

namespace detail {

constexpr std::uint32_t kBufferSize = 0x100000;
constexpr std::uint32_t kBufferMask = kBufferSize - 1;
constexpr std::uint32_t kLastBufferAddress = kBufferSize - 1;
constexpr char kSub = 0x1A;

// A load waits this long for its data; the time scale does not apply.
constexpr Micros kLoadSilenceMicros = 2'000'000;

// The comma-separated fields of a command's parameters (one empty field for none).
[[nodiscard]] std::vector<std::string_view> splitFields(std::string_view text);

// Hands out a long answer piece by piece, as the line takes it.
class Stream {
public:
    virtual ~Stream() = default;
    // Appends the next piece to `out`; false (and nothing appended) when the stream has ended.
    virtual bool produce(std::string &out) = 0;
};

enum class State {
    Idle,
    Operation,  // a device operation or the buffer clear runs
    Stream,     // "BD", "SH", "SS" or "SB" output runs
    LoadText,   // "LH"/"LS": data lines awaited
    LoadBinary, // "LB": raw bytes awaited
    Swallow,    // a text load ended: its remaining data lines are swallowed
};

enum class OpKind { Blank, Read, Verify, Write, Program, Erase, Clear };

struct Operation {
    OpKind kind = OpKind::Blank;
    std::uint32_t first = 0; // first selected device address
    std::uint32_t step = 1;
    std::uint32_t last = 0;  // last address of the range (Erase)
    std::uint64_t cells = 0; // selected cells; Erase and Clear are one step
    std::uint64_t done = 0;
    std::uint64_t expected = 0; // cells until the foreseen end (the first failure, or all)
    Micros begin = 0;
    double microsPerCell = 0;
    std::uint32_t sum = 0;
};

// What one step of a blank check, read, verify, write or program finds at a cell.
struct CellCheck {
    std::uint16_t value = 0;  // what the cell holds afterwards (read, verified or written)
    std::uint16_t wanted = 0; // what it should hold: blank, or the buffer's cell
    bool fails = false;       // the operation ends here with its detail reply
};

struct Chunk {
    std::string bytes;
    std::size_t taken = 0;
    Micros due = 0;
};

} // namespace detail

struct Unit::Impl {
    using Operation = detail::Operation;
    using OpKind = detail::OpKind;
    using State = detail::State;
    // A command handler: the command word and the rest of the line.
    using Handler = void (Impl::*)(std::string_view word, std::string_view rest);

    explicit Impl(UnitOptions unitOptions);

    // unit.cpp: time, byte intake, line framing, dispatch, output.
    void advance(Micros now);
    void onByte(std::uint8_t byte);
    void onLine(const std::string &line, bool overflow, bool cancel);
    void dispatch(std::string_view line, bool overflow);
    [[nodiscard]] int findDevice(std::string_view code) const; // catalog index or -1
    void reply(const std::string &text);
    void startStream(std::unique_ptr<detail::Stream> output);
    void sendRaw(const std::string &bytes);
    void queue(std::string bytes, Micros due);

    // commands.cpp: the command handlers, one per word or group of words.
    bool noParameters(std::string_view rest); // "20" answered when there are some
    void connectCommand(std::string_view word, std::string_view rest);
    void queryCommand(std::string_view word, std::string_view rest);
    void selectCommand(std::string_view word, std::string_view rest);
    void bufferStartCommand(std::string_view word, std::string_view rest);
    void bufferTypeCommand(std::string_view word, std::string_view rest);
    void cellCommand(std::string_view word, std::string_view rest);
    void eraseCommand(std::string_view word, std::string_view rest);
    void clearCommand(std::string_view word, std::string_view rest);
    void lampCommand(std::string_view word, std::string_view rest);
    std::optional<Operation> operationRange(std::string_view rest, bool hasMode);

    // device.cpp: the device's cells, the buffer's view of them, operations, the UV lamp.
    [[nodiscard]] const DeviceType *device() const {
        return selected < 0 ? nullptr : &catalog[std::size_t(selected)];
    }
    [[nodiscard]] bool wordWide() const { return device() && device()->wordWide; }
    [[nodiscard]] std::uint16_t blankCell() const { return wordWide() ? 0xFFFF : 0xFF; }
    [[nodiscard]] int cellDigits() const { return wordWide() ? 4 : 2; }
    [[nodiscard]] std::uint16_t deviceCell(std::uint32_t address) const;
    void setDeviceCell(std::uint32_t address, std::uint16_t value);
    [[nodiscard]] std::array<std::uint32_t, 2> bufferLanes(std::uint32_t address) const;
    [[nodiscard]] std::uint16_t bufferCell(std::uint32_t address) const;
    void setBufferCell(std::uint32_t address, std::uint16_t value);
    [[nodiscard]] detail::CellCheck checkCell(OpKind kind, std::uint32_t address) const;
    [[nodiscard]] std::string failureText(std::uint32_t address,
                                          const detail::CellCheck &cell) const;
    [[nodiscard]] double operationMicrosPerCell(OpKind kind) const;
    [[nodiscard]] std::uint64_t foreseenCells(const Operation &operation) const;
    void startOperation(Operation operation);
    void advanceOperation();
    bool stepCell(std::uint64_t index); // false when the operation ended on this cell
    void finishOperation(const std::string &replyText);
    [[nodiscard]] std::optional<Micros> operationDeadline() const;
    [[nodiscard]] Micros lampThreshold() const;
    void switchLamp(bool on);
    void updateLamp();
    [[nodiscard]] bool lampErasePending() const;
    [[nodiscard]] std::optional<Micros> lampDeadline() const;
    [[nodiscard]] double scaled(double micros) const { return micros * options.timeScale; }

    // streams.cpp: the dump, loads and saves.
    void dumpCommand(std::string_view word, std::string_view rest);
    void loadTextCommand(std::string_view word, std::string_view rest);
    void loadBinaryCommand(std::string_view word, std::string_view rest);
    void saveRecordsCommand(std::string_view word, std::string_view rest);
    void saveRawCommand(std::string_view word, std::string_view rest);
    [[nodiscard]] std::optional<std::array<std::uint32_t, 2>>
    saveRange(std::string_view first, std::string_view last) const;
    void loadLine(const std::string &line, bool overflow);
    void loadByte(std::uint8_t byte);
    void checkLoadSilence();
    void startNoise();

    UnitOptions options;
    Fault fault = Fault::None;
    std::vector<DeviceType> catalog;
    int selected = -1;
    std::vector<std::uint8_t> buffer;
    std::vector<std::uint8_t> deviceMemory;
    std::uint32_t bufferStart = 0;
    int bufferType = 0;
    bool hostReady = true;
    Micros now = 0;

    // UV lamp: light on the chip since the last erase; one erase per period the lamp is on.
    bool lampOn = false;
    Micros lampSince = 0;
    Micros exposure = 0;
    bool lampErasedThisPeriod = false;

    // Line assembly.
    std::string line;
    bool lineOverflow = false;
    std::array<std::uint8_t, 3> tail{}; // the last three bytes, for ESC CR LF
    Micros lastByte = 0;
    std::vector<std::string> receivedLines;

    State state = State::Idle;
    Operation op;
    std::unique_ptr<detail::Stream> stream;
    std::unique_ptr<detail::Stream> noise;
    std::optional<records::RecordReader> reader;
    std::uint32_t loadBase = 0; // buffer address of record address 0
    std::uint32_t binaryLeft = 0;
    std::uint32_t binaryNext = 0;
    Micros digestUntil = 0;

    std::deque<detail::Chunk> out;
};

} // namespace corvane
