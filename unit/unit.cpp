// The emulated Corvane unit: command lines in, reply lines and data streams out, with the time each
// operation takes on the device.
#include "unit/unit.h"

#include "unit/catalog.h"
#include "unit/hextext.h"
#include "unit/records.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <deque>
#include <string_view>

namespace corvane {

namespace {

constexpr std::uint32_t kBufferSize = 0x100000;
constexpr std::uint32_t kBufferMask = kBufferSize - 1;
constexpr std::uint32_t kLastBufferAddress = kBufferSize - 1;
constexpr std::size_t kMaxLineBytes = 1024;
constexpr std::size_t kMaxKeptLines = 100000;
constexpr std::uint8_t kEsc = 0x1B;
constexpr char kSub = 0x1A;
constexpr unsigned kMaxBytesPerRecord = 250;

// Times of the line protocol; the time scale does not apply to them.
constexpr Micros kSecond = 1'000'000;
constexpr Micros kStaleLineMicros =
    2 * kSecond; // a command line left unfinished this long is dropped
constexpr Micros kLoadSilenceMicros = 2 * kSecond; // a load waits this long for its data
constexpr Micros kSwallowMicros = kSecond / 2; // after a load ends, its data lines are swallowed
constexpr Micros kPieceGapMicros = 400'000;    // Fault::SlowPieces

// Times of the work on the device, before the time scale applies. The largest device (1 MiB)
// stays within the program's reply time-outs: read 4.2 s, write 31 s, program 36 s.
constexpr double kReadMicrosPerByte = 4;     // BL, RD, CP
constexpr double kWriteMicrosPerByte = 30;   // WT
constexpr double kProgramMicrosPerByte = 34; // PG: write, then verify
constexpr double kEepromEraseMicros = 1'000'000;
constexpr double kFlashEraseMicros = 2'500'000;
constexpr double kClearMicros = 300'000;
constexpr double kLampEraseMicros = 3'000'000; // UV light an EPROM needs to be erased

std::vector<std::string_view> splitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = text.find(',', from);
        if (comma == std::string_view::npos) {
            fields.push_back(text.substr(from));
            return fields;
        }
        fields.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
}

bool isCommandWord(std::string_view line) {
    static constexpr std::array<std::string_view, 21> kWords{
        "ON", "US", "TS", "BS", "TW", "BL", "RD", "CP", "WT", "PG", "ER",
        "BD", "CL", "ES", "EE", "LH", "LS", "LB", "SH", "SS", "SB"};
    return line.size() >= 2 &&
           std::find(kWords.begin(), kWords.end(), line.substr(0, 2)) != kWords.end();
}

// Hands out a long answer piece by piece, as the line takes it.
class Stream {
public:
    virtual ~Stream() = default;
    // Appends the next piece to `out`; false (and nothing appended) when the stream has ended.
    virtual bool produce(std::string &out) = 0;
};

// "BD": "00:" and the bytes as hex pairs separated by ",", then CR LF.
class DumpStream : public Stream {
public:
    DumpStream(const std::vector<std::uint8_t> &buffer, std::uint32_t first, std::uint32_t last,
               bool withLineEnd)
        : m_buffer(buffer)
        , m_next(first)
        , m_first(first)
        , m_last(last)
        , m_withLineEnd(withLineEnd) {}
    bool produce(std::string &out) override {
        if (m_ended)
            return false;
        if (!m_started) {
            out += "00:";
            m_started = true;
        }
        for (int i = 0; i < 256 && m_next <= m_last; ++i, ++m_next) {
            if (m_next != m_first)
                out += ',';
            appendHex(out, m_buffer[m_next], 2);
        }
        if (m_next > m_last) {
            if (m_withLineEnd)
                out += "\r\n";
            m_ended = true;
        }
        return true;
    }

private:
    const std::vector<std::uint8_t> &m_buffer;
    std::uint32_t m_next;
    std::uint32_t m_first;
    std::uint32_t m_last;
    bool m_withLineEnd;
    bool m_started = false;
    bool m_ended = false;
};

// "SH", "SS": the records of a range, then the byte 26.
class RecordStream : public Stream {
public:
    explicit RecordStream(records::RecordWriter writer)
        : m_writer(std::move(writer)) {}
    bool produce(std::string &out) override {
        if (m_ended)
            return false;
        while (out.size() < 512) {
            if (!m_writer.nextLine(out)) {
                out += kSub;
                m_ended = true;
                break;
            }
        }
        return true;
    }

private:
    records::RecordWriter m_writer;
    bool m_ended = false;
};

// "SB": the raw bytes of a range (record addresses, counted from the buffer start).
class RawStream : public Stream {
public:
    RawStream(const std::vector<std::uint8_t> &buffer, std::uint32_t start, std::uint32_t first,
              std::uint32_t last)
        : m_buffer(buffer)
        , m_start(start)
        , m_next(first)
        , m_last(last) {}
    bool produce(std::string &out) override {
        if (m_next > m_last)
            return false;
        for (int i = 0; i < 512 && m_next <= m_last; ++i, ++m_next)
            out += char(m_buffer[(m_start + m_next) & kBufferMask]);
        return true;
    }

private:
    const std::vector<std::uint8_t> &m_buffer;
    std::uint32_t m_start;
    std::uint32_t m_next;
    std::uint32_t m_last;
};

// Fault::Noise: bytes without end, never CR, LF or 26.
class NoiseStream : public Stream {
public:
    bool produce(std::string &out) override {
        for (int i = 0; i < 256; ++i) {
            m_state = m_state * 1103515245u + 12345u;
            char c = char((m_state >> 16) & 0xFF);
            if (c == '\r' || c == '\n' || c == kSub)
                c = '#';
            out += c;
        }
        return true;
    }

private:
    std::uint32_t m_state = 2024;
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

struct Chunk {
    std::string bytes;
    std::size_t taken = 0;
    Micros due = 0;
};

} // namespace

struct Unit::Impl {
    explicit Impl(UnitOptions unitOptions);

    void advance(Micros now);
    void onByte(std::uint8_t byte);
    void onLine(const std::string &line, bool overflow, bool cancel);
    void dispatch(std::string_view line, bool overflow);

    void queryCommand(std::string_view rest);
    void selectCommand(std::string_view rest);
    void deviceCommand(std::string_view word, std::string_view rest);
    void dumpCommand(std::string_view rest);
    void loadCommand(std::string_view word, std::string_view rest);
    void saveCommand(std::string_view word, std::string_view rest);

    void startOperation(Operation operation);
    void advanceOperation();
    bool stepCell(std::uint64_t index); // false when the operation ended on this cell
    void finishOperation(const std::string &replyText);
    void loadLine(const std::string &line, bool overflow);
    void storeLoaded(std::uint32_t address, std::uint8_t byte);
    void updateLamp();

    void reply(const std::string &text);
    void startStream(std::unique_ptr<Stream> output);
    void sendRaw(const std::string &bytes);
    void queue(std::string bytes, Micros due);
    void startNoise();

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
    [[nodiscard]] std::uint16_t writtenValue(std::uint16_t old, std::uint16_t wanted) const;
    [[nodiscard]] double scaled(double micros) const { return micros * options.timeScale; }
    [[nodiscard]] bool lampErasePending() const;
    [[nodiscard]] Micros lampThreshold() const { return Micros(scaled(kLampEraseMicros)); }

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
    std::unique_ptr<Stream> stream;
    std::unique_ptr<Stream> noise;
    std::optional<records::RecordReader> reader;
    std::uint32_t loadBase = 0; // buffer address of record address 0
    std::uint32_t binaryLeft = 0;
    std::uint32_t binaryNext = 0;
    Micros digestUntil = 0;

    std::deque<Chunk> out;
};

Unit::Impl::Impl(UnitOptions unitOptions)
    : options(unitOptions)
    , catalog(standardCatalog())
    , buffer(kBufferSize, 0xFF) {
    std::uint32_t largest = 0;
    for (const DeviceType &type : catalog)
        largest = std::max(largest, deviceBytes(type));
    deviceMemory.assign(largest, 0xFF);
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        if (catalog[i].code == "03")
            selected = int(i);
    }
    if (!(options.timeScale >= 0)) // also NaN
        options.timeScale = 0;
}

// --- time -------------------------------------------------------------------------------------

void Unit::Impl::advance(Micros time) {
    now = std::max(now, time);
    updateLamp();
    if (state == State::Operation)
        advanceOperation();
    if ((state == State::LoadText || state == State::LoadBinary) &&
        now - lastByte >= kLoadSilenceMicros) {
        // An empty text file ends well; data that stopped coming is a time-out.
        const bool partial = state == State::LoadBinary || (reader && reader->sawRecord());
        state = State::Idle;
        reply(partial ? "32" : "00");
    }
}

bool Unit::Impl::lampErasePending() const {
    return lampOn && !lampErasedThisPeriod && device() && device()->kind == "00";
}

void Unit::Impl::updateLamp() {
    if (!lampErasePending())
        return;
    if (exposure + (now - lampSince) >= lampThreshold()) {
        std::fill(deviceMemory.begin(), deviceMemory.end(), 0xFF);
        exposure = 0;
        lampSince = now;
        lampErasedThisPeriod = true;
    }
}

// --- receiving --------------------------------------------------------------------------------

void Unit::Impl::onByte(std::uint8_t byte) {
    if (state == State::LoadBinary) {
        lastByte = now;
        buffer[binaryNext] = byte;
        binaryNext = (binaryNext + 1) & kBufferMask;
        if (--binaryLeft == 0) {
            state = State::Idle;
            reply("00");
        }
        return;
    }
    if (now - lastByte >= kStaleLineMicros) {
        line.clear();
        lineOverflow = false;
        tail = {};
    }
    if (state == State::Swallow && now - lastByte >= kSwallowMicros)
        state = State::Idle;
    lastByte = now;

    tail = {tail[1], tail[2], byte};
    if (byte == '\n' && tail[1] == '\r') {
        std::string complete;
        complete.swap(line);
        if (!complete.empty() && complete.back() == '\r')
            complete.pop_back();
        const bool overflow = lineOverflow;
        lineOverflow = false;
        const bool cancel = tail[0] == kEsc;
        tail = {};
        onLine(complete, overflow, cancel);
        return;
    }
    if (line.size() < kMaxLineBytes)
        line += char(byte);
    else
        lineOverflow = true;
}

void Unit::Impl::onLine(const std::string &text, bool overflow, bool cancel) {
    if (receivedLines.size() >= kMaxKeptLines)
        receivedLines.erase(receivedLines.begin(),
                            receivedLines.begin() + std::ptrdiff_t(kMaxKeptLines / 2));
    receivedLines.push_back(text);

    switch (state) {
    case State::Idle:
        if (!cancel)
            dispatch(text, overflow);
        break;
    case State::Swallow:
        if (cancel) {
            state = State::Idle;
        } else if (isCommandWord(text)) {
            state = State::Idle;
            dispatch(text, overflow);
        }
        break;
    case State::Operation:
        if (cancel)
            finishOperation("34");
        break;
    case State::Stream:
        if (cancel) {
            stream.reset();
            state = State::Idle;
            reply("34");
        }
        break;
    case State::LoadText:
        if (cancel) {
            state = State::Idle;
            reply("34");
        } else {
            loadLine(text, overflow);
        }
        break;
    case State::LoadBinary: // bytes do not reach here
        break;
    }
}

void Unit::Impl::dispatch(std::string_view text, bool overflow) {
    if (overflow) {
        reply(isCommandWord(text) ? "20" : "22");
        return;
    }
    if (text.size() < 2) {
        reply("22");
        return;
    }
    const std::string_view word = text.substr(0, 2);
    const std::string_view rest = text.substr(2);
    const auto noParameters = [&] {
        if (rest.empty())
            return true;
        reply("20");
        return false;
    };

    if (word == "ON") {
        if (noParameters())
            reply("00");
    } else if (word == "US") {
        queryCommand(rest);
    } else if (word == "TS") {
        selectCommand(rest);
    } else if (word == "BS") {
        const auto start = parseHex(rest, 5);
        if (start) {
            bufferStart = *start;
            reply("00");
        } else {
            reply("20");
        }
    } else if (word == "TW") {
        if (rest == "0" || rest == "1") {
            bufferType = rest == "1" ? 1 : 0;
            reply("00");
        } else {
            reply("20");
        }
    } else if (word == "BL" || word == "RD" || word == "CP" || word == "WT" || word == "PG" ||
               word == "ER") {
        deviceCommand(word, rest);
    } else if (word == "BD") {
        dumpCommand(rest);
    } else if (word == "CL") {
        if (noParameters()) {
            Operation clear;
            clear.kind = OpKind::Clear;
            clear.cells = 1;
            clear.expected = 1;
            clear.microsPerCell = scaled(kClearMicros);
            startOperation(clear);
        }
    } else if (word == "ES") {
        if (noParameters()) {
            if (!lampOn) {
                lampOn = true;
                lampSince = now;
                lampErasedThisPeriod = false;
            }
            updateLamp();
            reply("00");
        }
    } else if (word == "EE") {
        if (noParameters()) {
            if (lampOn) {
                if (!lampErasedThisPeriod)
                    exposure += now - lampSince;
                lampOn = false;
            }
            reply("00");
        }
    } else if (word == "LH" || word == "LS" || word == "LB") {
        loadCommand(word, rest);
    } else if (word == "SH" || word == "SS" || word == "SB") {
        saveCommand(word, rest);
    } else {
        reply("22");
    }
}

// --- queries and settings ---------------------------------------------------------------------

void Unit::Impl::queryCommand(std::string_view rest) {
    const DeviceType *type = device();
    if (rest == "0") {
        if (!type) {
            reply("00:-");
            return;
        }
        reply("00:" + type->code + "," + type->text1 + "," + type->text2 + "," + type->kind + "," +
              (type->wordWide ? "1" : "0"));
    } else if (rest == "1") {
        reply(type ? "00:" + hexText(type->endAddress, 5) : std::string("00:-----"));
    } else if (rest == "2") {
        reply("00:" + hexText(bufferStart, 5) + "," + std::to_string(bufferType));
    } else {
        reply("22");
    }
}

void Unit::Impl::selectCommand(std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const std::string_view code = fields[0];
    if (fields.size() > 3 || code.size() != 2 || hexDigitValue(code[0]) < 0 ||
        hexDigitValue(code[1]) < 0) {
        reply("20");
        return;
    }
    std::string upper(code);
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        if (catalog[i].code == upper) {
            selected = int(i);
            reply("00");
            return;
        }
    }
    reply("21");
}

// --- device operations ------------------------------------------------------------------------

std::uint16_t Unit::Impl::deviceCell(std::uint32_t address) const {
    if (wordWide())
        return std::uint16_t(deviceMemory[2 * address] | deviceMemory[2 * address + 1] << 8);
    return deviceMemory[address];
}

void Unit::Impl::setDeviceCell(std::uint32_t address, std::uint16_t value) {
    if (wordWide()) {
        deviceMemory[2 * address] = std::uint8_t(value);
        deviceMemory[2 * address + 1] = std::uint8_t(value >> 8);
    } else {
        deviceMemory[address] = std::uint8_t(value);
    }
}

// Buffer addresses of a cell's low and high byte (the same address twice for a byte device).
std::array<std::uint32_t, 2> Unit::Impl::bufferLanes(std::uint32_t address) const {
    if (!wordWide()) {
        const std::uint32_t at = (bufferStart + address) & kBufferMask;
        return {at, at};
    }
    const std::uint32_t first = (bufferStart + 2 * address) & kBufferMask;
    const std::uint32_t second = (first + 1) & kBufferMask;
    const bool firstIsEven = first % 2 == 0;
    const bool evenHoldsLow = bufferType == 0;
    return firstIsEven == evenHoldsLow ? std::array{first, second} : std::array{second, first};
}

std::uint16_t Unit::Impl::bufferCell(std::uint32_t address) const {
    const auto lanes = bufferLanes(address);
    if (!wordWide())
        return buffer[lanes[0]];
    return std::uint16_t(buffer[lanes[0]] | buffer[lanes[1]] << 8);
}

void Unit::Impl::setBufferCell(std::uint32_t address, std::uint16_t value) {
    const auto lanes = bufferLanes(address);
    buffer[lanes[0]] = std::uint8_t(value);
    if (wordWide())
        buffer[lanes[1]] = std::uint8_t(value >> 8);
}

// What a cell holds after writing `wanted` over `old`: an EEPROM takes any value; EPROM and flash
// cells can only lose 1 bits (a 1 comes back only by erasing).
std::uint16_t Unit::Impl::writtenValue(std::uint16_t old, std::uint16_t wanted) const {
    if (device()->kind == "10")
        return wanted;
    return old & wanted;
}

void Unit::Impl::deviceCommand(std::string_view word, std::string_view rest) {
    const DeviceType *type = device();
    if (!type) {
        reply("14");
        return;
    }
    const bool hasMode = word != "BL" && word != "ER";
    const std::vector<std::string_view> fields = splitFields(rest);
    if (fields.size() < 2 || fields.size() > (hasMode ? 3u : 2u)) {
        reply("20");
        return;
    }
    const auto start = parseHex(fields[0], 5);
    const auto end = parseHex(fields[1], 5);
    const std::string_view mode = fields.size() > 2 ? fields[2] : std::string_view();
    if (!start || !end || *start > *end || *end > type->endAddress ||
        !(mode.empty() || mode == "0" || mode == "1" || mode == "2")) {
        reply("20");
        return;
    }

    Operation operation;
    const double bytesPerCell = type->wordWide ? 2 : 1;
    operation.first = *start;
    operation.last = *end;
    if (mode == "1" || mode == "2") {
        const std::uint32_t parity = mode == "1" ? 1 : 0;
        operation.first = *start % 2 == parity ? *start : *start + 1;
        operation.step = 2;
    }
    operation.cells = operation.first > *end ? 0 : (*end - operation.first) / operation.step + 1;

    if (word == "ER") {
        if (type->kind == "00") {
            reply("15");
            return;
        }
        operation.kind = OpKind::Erase;
        operation.cells = 1;
        operation.microsPerCell =
            scaled(type->kind == "10" ? kEepromEraseMicros : kFlashEraseMicros);
    } else if (word == "BL") {
        operation.kind = OpKind::Blank;
        operation.microsPerCell = scaled(kReadMicrosPerByte * bytesPerCell);
    } else if (word == "RD") {
        operation.kind = OpKind::Read;
        operation.microsPerCell = scaled(kReadMicrosPerByte * bytesPerCell);
    } else if (word == "CP") {
        operation.kind = OpKind::Verify;
        operation.microsPerCell = scaled(kReadMicrosPerByte * bytesPerCell);
    } else if (word == "WT") {
        operation.kind = OpKind::Write;
        operation.microsPerCell = scaled(kWriteMicrosPerByte * bytesPerCell);
    } else {
        operation.kind = OpKind::Program;
        operation.microsPerCell = scaled(kProgramMicrosPerByte * bytesPerCell);
    }

    // Foresee where the operation ends, so that a caller can sleep until then.
    operation.expected = operation.cells;
    for (std::uint64_t i = 0; i < operation.cells && operation.kind != OpKind::Erase; ++i) {
        const auto address = std::uint32_t(operation.first + i * operation.step);
        const std::uint16_t held = deviceCell(address);
        bool fails = false;
        switch (operation.kind) {
        case OpKind::Blank:
            fails = held != blankCell();
            break;
        case OpKind::Verify:
            fails = held != bufferCell(address);
            break;
        case OpKind::Write:
        case OpKind::Program:
            fails = writtenValue(held, bufferCell(address)) != bufferCell(address);
            break;
        default:
            break;
        }
        if (fails) {
            operation.expected = i + 1;
            break;
        }
    }
    startOperation(operation);
}

void Unit::Impl::startOperation(Operation operation) {
    op = operation;
    op.begin = now;
    state = State::Operation;
    advanceOperation();
}

void Unit::Impl::advanceOperation() {
    std::uint64_t target = op.cells;
    if (op.microsPerCell > 0) {
        const double reached = std::floor(double(now - op.begin) / op.microsPerCell);
        target = std::min<std::uint64_t>(op.cells, std::uint64_t(std::max(0.0, reached)));
    }
    while (op.done < target) {
        if (!stepCell(op.done))
            return;
        ++op.done;
    }
    if (op.done == op.cells) {
        switch (op.kind) {
        case OpKind::Read:
        case OpKind::Verify:
        case OpKind::Write:
        case OpKind::Program:
            finishOperation("00:" + hexText(op.sum & 0xFFFF, 4));
            break;
        default:
            finishOperation("00");
            break;
        }
    }
}

bool Unit::Impl::stepCell(std::uint64_t index) {
    const auto address = std::uint32_t(op.first + index * op.step);
    const auto addSum = [this](std::uint16_t value) {
        op.sum += wordWide() ? (value & 0xFF) + (value >> 8) : value;
    };
    const auto detail = [this, address](const char *code, std::uint16_t first,
                                        std::optional<std::uint16_t> second) {
        std::string text =
            std::string(code) + ":" + hexText(address, 5) + "," + hexText(first, cellDigits());
        if (second)
            text += "," + hexText(*second, cellDigits());
        finishOperation(text);
        return false;
    };

    switch (op.kind) {
    case OpKind::Blank: {
        const std::uint16_t held = deviceCell(address);
        if (held != blankCell())
            return detail("10", held, std::nullopt);
        return true;
    }
    case OpKind::Read: {
        const std::uint16_t held = deviceCell(address);
        setBufferCell(address, held);
        addSum(held);
        return true;
    }
    case OpKind::Verify: {
        const std::uint16_t held = deviceCell(address);
        const std::uint16_t wanted = bufferCell(address);
        if (held != wanted)
            return detail("12", wanted, held);
        addSum(held);
        return true;
    }
    case OpKind::Write:
    case OpKind::Program: {
        const std::uint16_t wanted = bufferCell(address);
        const std::uint16_t held = writtenValue(deviceCell(address), wanted);
        setDeviceCell(address, held);
        if (held != wanted)
            return detail("11", wanted, held);
        addSum(held);
        return true;
    }
    case OpKind::Erase:
        for (std::uint32_t a = op.first; a <= op.last; ++a)
            setDeviceCell(a, blankCell());
        return true;
    case OpKind::Clear:
        std::fill(buffer.begin(), buffer.end(), 0xFF);
        return true;
    }
    return true;
}

void Unit::Impl::finishOperation(const std::string &replyText) {
    state = State::Idle;
    reply(replyText);
}

// --- dump, loads, saves -----------------------------------------------------------------------

void Unit::Impl::dumpCommand(std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const auto first = fields.size() == 2 ? parseHex(fields[0], 8) : std::nullopt;
    const auto last = fields.size() == 2 ? parseHex(fields[1], 8) : std::nullopt;
    if (!first || !last || *first > *last || *last > kLastBufferAddress) {
        reply("20");
        return;
    }
    startStream(std::make_unique<DumpStream>(buffer, *first, *last, fault != Fault::CutReply));
}

void Unit::Impl::loadCommand(std::string_view word, std::string_view rest) {
    if (word == "LB") {
        const std::vector<std::string_view> fields = splitFields(rest);
        const auto length = parseDecimal(fields[0]);
        const auto address = fields.size() < 2 || fields[1].empty()
                                 ? std::optional<std::uint32_t>(0)
                                 : parseHex(fields[1], 8);
        if (fields.size() > 2 || !length || *length > kBufferSize || !address) {
            reply("20");
            return;
        }
        reply("01");
        lastByte = now;
        if (*length == 0) {
            reply("00");
            return;
        }
        state = State::LoadBinary;
        binaryLeft = *length;
        binaryNext = (bufferStart + *address) & kBufferMask;
        return;
    }
    const auto address = rest.empty() ? std::optional<std::uint32_t>(0) : parseHex(rest, 8);
    if (!address) {
        reply("20");
        return;
    }
    reader.emplace(word == "LH" ? records::Format::IntelHex : records::Format::MotorolaS);
    loadBase = bufferStart + *address;
    state = State::LoadText;
    lastByte = now;
    reply("01");
}

void Unit::Impl::storeLoaded(std::uint32_t address, std::uint8_t byte) {
    buffer[(loadBase + address) & kBufferMask] = byte;
}

void Unit::Impl::loadLine(const std::string &text, bool overflow) {
    digestUntil = now + Micros(scaled(double(options.lineDigestMicros)));
    const records::LineOutcome outcome =
        overflow ? records::LineOutcome::Bad
                 : reader->readLine(text, [this](std::uint32_t address, std::uint8_t byte) {
                       storeLoaded(address, byte);
                   });
    if (outcome == records::LineOutcome::Bad) {
        state = State::Swallow;
        reply("30");
    } else if (outcome == records::LineOutcome::End) {
        state = State::Swallow;
        reply("00");
    }
}

void Unit::Impl::saveCommand(std::string_view word, std::string_view rest) {
    const bool raw = word == "SB";
    const std::vector<std::string_view> fields = splitFields(rest);
    const bool fieldCountOk = raw ? fields.size() == 2 : fields.size() == 2 || fields.size() == 3;
    auto first = fieldCountOk ? parseHex(fields[0], 8) : std::nullopt;
    auto last = fieldCountOk ? parseHex(fields[1], 8) : std::nullopt;
    // With a word-wide device the range is in device words (the program's default end is the
    // device's end address), each of them two buffer bytes.
    if (first && last && wordWide()) {
        first = *first <= kLastBufferAddress ? std::optional(2 * *first) : std::nullopt;
        last = *last <= kLastBufferAddress ? std::optional(2 * *last + 1) : std::nullopt;
    }
    std::optional<std::uint32_t> perRecord = records::kDefaultBytesPerRecord;
    if (fields.size() == 3 && !fields[2].empty()) {
        perRecord = parseDecimal(fields[2]);
        if (perRecord && *perRecord == 0)
            perRecord = records::kDefaultBytesPerRecord;
    }
    const bool ok = first && last && *first <= *last && *last <= kLastBufferAddress && perRecord &&
                    *perRecord <= kMaxBytesPerRecord;
    if (raw) {
        if (ok)
            startStream(std::make_unique<RawStream>(buffer, bufferStart, *first, *last));
        return;
    }
    if (!ok) {
        sendRaw(std::string(1, kSub));
        return;
    }
    const std::uint32_t start = bufferStart;
    records::RecordWriter writer(
        word == "SH" ? records::Format::IntelHex : records::Format::MotorolaS, *first, *last,
        *perRecord,
        [this, start](std::uint32_t address) { return buffer[(start + address) & kBufferMask]; });
    startStream(std::make_unique<RecordStream>(std::move(writer)));
}

// --- sending ----------------------------------------------------------------------------------

void Unit::Impl::queue(std::string bytes, Micros due) {
    if (bytes.empty())
        return;
    if (!out.empty())
        due = std::max(due, out.back().due);
    out.push_back({std::move(bytes), 0, due});
}

void Unit::Impl::startNoise() {
    if (!noise)
        noise = std::make_unique<NoiseStream>();
}

void Unit::Impl::reply(const std::string &text) {
    switch (fault) {
    case Fault::Silent:
    case Fault::Vanish:
        return;
    case Fault::Noise:
        startNoise();
        return;
    case Fault::CutReply:
        queue(text, now);
        return;
    case Fault::SlowPieces: {
        const std::string whole = text + "\r\n";
        const std::size_t piece = whole.size() / 3;
        queue(whole.substr(0, piece), now);
        queue(whole.substr(piece, piece), now + kPieceGapMicros);
        queue(whole.substr(2 * piece), now + 2 * kPieceGapMicros);
        return;
    }
    case Fault::None:
        queue(text + "\r\n", now);
        return;
    }
}

void Unit::Impl::startStream(std::unique_ptr<Stream> output) {
    if (fault == Fault::Silent || fault == Fault::Vanish)
        return;
    if (fault == Fault::Noise) {
        startNoise();
        return;
    }
    stream = std::move(output);
    state = State::Stream;
}

void Unit::Impl::sendRaw(const std::string &bytes) {
    if (fault == Fault::Silent || fault == Fault::Vanish)
        return;
    if (fault == Fault::Noise) {
        startNoise();
        return;
    }
    queue(bytes, now);
}

// --- Unit -------------------------------------------------------------------------------------

Unit::Unit(UnitOptions options)
    : d(std::make_unique<Impl>(options)) {}

Unit::~Unit() = default;

void Unit::receive(std::uint8_t byte, Micros now) {
    d->advance(now);
    if (d->fault == Fault::Vanish)
        return;
    d->onByte(byte);
}

void Unit::poll(Micros now) {
    d->advance(now);
}

std::size_t Unit::transmit(std::uint8_t *out, std::size_t max, Micros now) {
    d->advance(now);
    if (d->fault == Fault::Vanish || !d->hostReady)
        return 0;
    std::size_t count = 0;
    while (count < max) {
        if (!d->out.empty()) {
            Chunk &chunk = d->out.front();
            if (chunk.due > d->now)
                break;
            const std::size_t take = std::min(max - count, chunk.bytes.size() - chunk.taken);
            std::memcpy(out + count, chunk.bytes.data() + chunk.taken, take);
            count += take;
            chunk.taken += take;
            if (chunk.taken == chunk.bytes.size())
                d->out.pop_front();
            continue;
        }
        std::string piece;
        if (d->stream) {
            if (d->stream->produce(piece)) {
                d->queue(std::move(piece), d->now);
            } else {
                d->stream.reset();
                if (d->state == State::Stream)
                    d->state = State::Idle;
            }
            continue;
        }
        if (d->noise) {
            d->noise->produce(piece);
            d->queue(std::move(piece), d->now);
            continue;
        }
        break;
    }
    return count;
}

bool Unit::hasOutput() const {
    if (d->fault == Fault::Vanish)
        return false;
    return (!d->out.empty() && d->out.front().due <= d->now) || d->stream || d->noise;
}

bool Unit::busy() const {
    return d->state == State::Operation || d->state == State::Stream ||
           d->state == State::LoadText || d->state == State::LoadBinary ||
           (!d->out.empty() && d->out.back().due > d->now) || d->digestUntil > d->now ||
           d->lampErasePending();
}

std::optional<Micros> Unit::nextDeadline() const {
    std::optional<Micros> earliest;
    const auto consider = [&](Micros time) {
        time = std::max(time, d->now);
        if (!earliest || time < *earliest)
            earliest = time;
    };
    if (d->state == State::Operation)
        consider(d->op.begin + Micros(std::ceil(double(d->op.expected) * d->op.microsPerCell)) + 1);
    if (d->state == State::LoadText || d->state == State::LoadBinary)
        consider(d->lastByte + kLoadSilenceMicros);
    for (const Chunk &chunk : d->out) {
        if (chunk.due > d->now) {
            consider(chunk.due);
            break;
        }
    }
    if (d->digestUntil > d->now)
        consider(d->digestUntil);
    if (d->lampErasePending()) {
        const Micros lit = d->exposure + (d->now - d->lampSince);
        const Micros threshold = d->lampThreshold();
        consider(d->now + (threshold > lit ? threshold - lit : 0));
    }
    return earliest;
}

void Unit::setHostReady(bool ready) {
    d->hostReady = ready;
}

bool Unit::clearToSend(Micros now) const {
    return d->fault != Fault::Vanish && now >= d->digestUntil;
}

void Unit::setFault(Fault fault) {
    d->fault = fault;
    if (fault != Fault::Noise)
        d->noise.reset();
    if (fault == Fault::Vanish) {
        d->out.clear();
        d->stream.reset();
        if (d->state == State::Stream)
            d->state = State::Idle;
    }
}

Fault Unit::fault() const {
    return d->fault;
}

const std::vector<DeviceType> &Unit::catalog() const {
    return d->catalog;
}

const DeviceType *Unit::selectedDevice() const {
    return d->device();
}

void Unit::selectDevice(const std::string &code) {
    if (code.empty()) {
        d->selected = -1;
        return;
    }
    for (std::size_t i = 0; i < d->catalog.size(); ++i) {
        if (d->catalog[i].code == code)
            d->selected = int(i);
    }
}

std::vector<std::uint8_t> &Unit::buffer() {
    return d->buffer;
}

std::vector<std::uint8_t> &Unit::deviceMemory() {
    return d->deviceMemory;
}

std::uint32_t Unit::bufferStart() const {
    return d->bufferStart;
}

int Unit::bufferType() const {
    return d->bufferType;
}

bool Unit::lampOn() const {
    return d->lampOn;
}

const std::vector<std::string> &Unit::receivedLines() const {
    return d->receivedLines;
}

} // namespace corvane
