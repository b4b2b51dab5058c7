// The emulated unit's data streams: the dump ("BD"), the loads ("LH", "LS", "LB") with their data
// lines and bytes, the saves ("SH", "SS", "SB") and the endless noise of Fault::Noise.
#include "unit/hextext.h"
#include "unit/unitimpl.h"

namespace corvane {

using namespace detail;

namespace {

constexpr unsigned kMaxBytesPerRecord = 250;

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

records::Format formatOf(std::string_view word) {
    return word == "LH" || word == "SH" ? records::Format::IntelHex : records::Format::MotorolaS;
}

} // namespace

void Unit::Impl::startNoise() {
    if (!noise)
        noise = std::make_unique<NoiseStream>();
}

// --- dump -------------------------------------------------------------------------------------

void Unit::Impl::dumpCommand(std::string_view /*word*/, std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const auto first = fields.size() == 2 ? parseHex(fields[0], 8) : std::nullopt;
    const auto last = fields.size() == 2 ? parseHex(fields[1], 8) : std::nullopt;
    if (!first || !last || *first > *last || *last > kLastBufferAddress) {
        reply("20");
        return;
    }
    startStream(std::make_unique<DumpStream>(buffer, *first, *last, fault != Fault::CutReply));
}

// --- loads ------------------------------------------------------------------------------------

// "LH", "LS" with an optional hex load address.
void Unit::Impl::loadTextCommand(std::string_view word, std::string_view rest) {
    const auto address = rest.empty() ? std::optional<std::uint32_t>(0) : parseHex(rest, 8);
    if (!address) {
        reply("20");
        return;
    }
    reader.emplace(formatOf(word));
    loadBase = bufferStart + *address;
    state = State::LoadText;
    lastByte = now;
    reply("01");
}

// "LB" with a decimal length and an optional hex load address.
void Unit::Impl::loadBinaryCommand(std::string_view /*word*/, std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const auto length = parseDecimal(fields[0]);
    const auto address = fields.size() < 2 || fields[1].empty() ? std::optional<std::uint32_t>(0)
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
}

void Unit::Impl::loadLine(const std::string &text, bool overflow) {
    digestUntil = now + Micros(scaled(double(options.lineDigestMicros)));
    const records::LineOutcome outcome =
        overflow ? records::LineOutcome::Bad
                 : reader->readLine(text, [this](std::uint32_t address, std::uint8_t byte) {
                       buffer[(loadBase + address) & kBufferMask] = byte;
                   });
    if (outcome == records::LineOutcome::Bad) {
        state = State::Swallow;
        reply("30");
    } else if (outcome == records::LineOutcome::End) {
        state = State::Swallow;
        reply("00");
    }
}

void Unit::Impl::loadByte(std::uint8_t byte) {
    lastByte = now;
    buffer[binaryNext] = byte;
    binaryNext = (binaryNext + 1) & kBufferMask;
    if (--binaryLeft == 0) {
        state = State::Idle;
        reply("00");
    }
}

void Unit::Impl::checkLoadSilence() {
    if ((state != State::LoadText && state != State::LoadBinary) ||
        now - lastByte < kLoadSilenceMicros)
        return;
    // An empty text file ends well; data that stopped coming is a time-out.
    const bool partial = state == State::LoadBinary || (reader && reader->sawRecord());
    state = State::Idle;
    reply(partial ? "32" : "00");
}

// --- saves ------------------------------------------------------------------------------------

// The record addresses of a save's range, or none for a bad field. With a word-wide device the
// fields are device words (the program's default end is the device's end address), each of them
// two buffer bytes.
std::optional<std::array<std::uint32_t, 2>>
Unit::Impl::saveRange(std::string_view firstField, std::string_view lastField) const {
    auto first = parseHex(firstField, 8);
    auto last = parseHex(lastField, 8);
    if (first && last && wordWide()) {
        first = *first <= kLastBufferAddress ? std::optional(2 * *first) : std::nullopt;
        last = *last <= kLastBufferAddress ? std::optional(2 * *last + 1) : std::nullopt;
    }
    if (!first || !last || *first > *last || *last > kLastBufferAddress)
        return std::nullopt;
    return std::array{*first, *last};
}

// "SH", "SS" <start>,<end>[,<data bytes per record>]; only the byte 26 for a bad field.
void Unit::Impl::saveRecordsCommand(std::string_view word, std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const auto range =
        fields.size() == 2 || fields.size() == 3 ? saveRange(fields[0], fields[1]) : std::nullopt;
    std::optional<std::uint32_t> perRecord = records::kDefaultBytesPerRecord;
    if (fields.size() == 3 && !fields[2].empty()) {
        perRecord = parseDecimal(fields[2]);
        if (perRecord && *perRecord == 0)
            perRecord = records::kDefaultBytesPerRecord;
    }
    if (!range || !perRecord || *perRecord > kMaxBytesPerRecord) {
        sendRaw(std::string(1, kSub));
        return;
    }
    const std::uint32_t start = bufferStart;
    records::RecordWriter writer(
        formatOf(word), (*range)[0], (*range)[1], *perRecord,
        [this, start](std::uint32_t address) { return buffer[(start + address) & kBufferMask]; });
    startStream(std::make_unique<RecordStream>(std::move(writer)));
}

// "SB" <start>,<end>; nothing at all for a bad field.
void Unit::Impl::saveRawCommand(std::string_view /*word*/, std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const auto range = fields.size() == 2 ? saveRange(fields[0], fields[1]) : std::nullopt;
    if (range)
        startStream(std::make_unique<RawStream>(buffer, bufferStart, (*range)[0], (*range)[1]));
}

} // namespace corvane
