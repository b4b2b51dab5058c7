// The emulated Corvane unit: byte intake, line framing, the table that hands each command line to
// its handler, the output queue with its faults, and the unit's public face.
#include "unit/unit.h"

#include "unit/catalog.h"
#include "unit/unitimpl.h"

#include <algorithm>
#include <cstring>

namespace corvane {

using namespace detail;

namespace {

constexpr std::size_t kMaxLineBytes = 1024;
constexpr std::size_t kMaxKeptLines = 100000;
constexpr std::uint8_t kEsc = 0x1B;

// Times of the line protocol; the time scale does not apply to them.
constexpr Micros kStaleLineMicros =
    2'000'000;                              // a command line left unfinished this long is dropped
constexpr Micros kSwallowMicros = 500'000;  // after a load ends, its data lines are swallowed
constexpr Micros kPieceGapMicros = 400'000; // Fault::SlowPieces

struct Command {
    std::string_view word;
    Unit::Impl::Handler handler;
};

// Every command word the unit knows, with the handler of its lines.
constexpr std::array<Command, 21> kCommands{{
    {"ON", &Unit::Impl::connectCommand},     {"US", &Unit::Impl::queryCommand},
    {"TS", &Unit::Impl::selectCommand},      {"BS", &Unit::Impl::bufferStartCommand},
    {"TW", &Unit::Impl::bufferTypeCommand},  {"BL", &Unit::Impl::cellCommand},
    {"RD", &Unit::Impl::cellCommand},        {"CP", &Unit::Impl::cellCommand},
    {"WT", &Unit::Impl::cellCommand},        {"PG", &Unit::Impl::cellCommand},
    {"ER", &Unit::Impl::eraseCommand},       {"BD", &Unit::Impl::dumpCommand},
    {"CL", &Unit::Impl::clearCommand},       {"ES", &Unit::Impl::lampCommand},
    {"EE", &Unit::Impl::lampCommand},        {"LH", &Unit::Impl::loadTextCommand},
    {"LS", &Unit::Impl::loadTextCommand},    {"LB", &Unit::Impl::loadBinaryCommand},
    {"SH", &Unit::Impl::saveRecordsCommand}, {"SS", &Unit::Impl::saveRecordsCommand},
    {"SB", &Unit::Impl::saveRawCommand},
}};

// The command a line starts with, or none.
const Command *findCommand(std::string_view line) {
    if (line.size() < 2)
        return nullptr;
    const auto found =
        std::find_if(kCommands.begin(), kCommands.end(),
                     [&](const Command &command) { return command.word == line.substr(0, 2); });
    return found == kCommands.end() ? nullptr : &*found;
}

} // namespace

std::vector<std::string_view> detail::splitFields(std::string_view text) {
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

Unit::Impl::Impl(UnitOptions unitOptions)
    : options(unitOptions)
    , catalog(standardCatalog())
    , buffer(kBufferSize, 0xFF) {
    std::uint32_t largest = 0;
    for (const DeviceType &type : catalog)
        largest = std::max(largest, deviceBytes(type));
    deviceMemory.assign(largest, 0xFF);
    selected = findDevice("03");
    if (!(options.timeScale >= 0)) // also NaN
        options.timeScale = 0;
}

int Unit::Impl::findDevice(std::string_view code) const {
    for (std::size_t i = 0; i < catalog.size(); ++i) {
        if (catalog[i].code == code)
            return int(i);
    }
    return -1;
}

void Unit::Impl::advance(Micros time) {
    now = std::max(now, time);
    updateLamp();
    if (state == State::Operation)
        advanceOperation();
    checkLoadSilence();
}

// --- receiving --------------------------------------------------------------------------------

void Unit::Impl::onByte(std::uint8_t byte) {
    if (state == State::LoadBinary) {
        loadByte(byte);
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
        } else if (findCommand(text)) {
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
    const Command *command = findCommand(text);
    if (overflow || !command) {
        reply(command ? "20" : "22");
        return;
    }
    (this->*command->handler)(command->word, text.substr(2));
}

// --- sending ----------------------------------------------------------------------------------

void Unit::Impl::queue(std::string bytes, Micros due) {
    if (bytes.empty())
        return;
    if (!out.empty())
        due = std::max(due, out.back().due);
    out.push_back({std::move(bytes), 0, due});
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
    const auto consider = [&](std::optional<Micros> time) {
        if (!time)
            return;
        const Micros due = std::max(*time, d->now);
        if (!earliest || due < *earliest)
            earliest = due;
    };
    consider(d->operationDeadline());
    if (d->state == State::LoadText || d->state == State::LoadBinary)
        consider(d->lastByte + kLoadSilenceMicros);
    const auto later = std::find_if(d->out.begin(), d->out.end(),
                                    [&](const Chunk &chunk) { return chunk.due > d->now; });
    if (later != d->out.end())
        consider(later->due);
    if (d->digestUntil > d->now)
        consider(d->digestUntil);
    consider(d->lampDeadline());
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
    if (const int index = d->findDevice(code); index >= 0)
        d->selected = index;
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
