// Intel HEX and Motorola S records: reading and writing.
#include "unit/records.h"

#include "unit/hextext.h"

#include <array>

namespace corvane::records {

namespace {

constexpr std::size_t kMaxRecordBytes = 260; // count, address, 255 data bytes, checksum

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

// Decodes pairs of hex digits; false on an odd length, a non-hex character or too many bytes.
bool decodeBytes(std::string_view text, std::array<std::uint8_t, kMaxRecordBytes> &bytes,
                 std::size_t &count) {
    if (text.size() % 2 != 0 || text.size() / 2 > bytes.size())
        return false;
    count = text.size() / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const int high = hexDigitValue(text[2 * i]);
        const int low = hexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes[i] = std::uint8_t(high * 16 + low);
    }
    return true;
}

} // namespace

LineOutcome RecordReader::readLine(std::string_view line, const ByteSink &store) {
    line = trimmed(line);
    if (line.empty())
        return LineOutcome::Blank;
    const LineOutcome outcome =
        m_format == Format::IntelHex ? readIntel(line, store) : readMotorola(line, store);
    if (outcome != LineOutcome::Bad)
        m_sawRecord = true;
    return outcome;
}

LineOutcome RecordReader::readIntel(std::string_view line, const ByteSink &store) {
    if (line.front() != ':')
        return LineOutcome::Bad;
    std::array<std::uint8_t, kMaxRecordBytes> b{};
    std::size_t n = 0;
    if (!decodeBytes(line.substr(1), b, n) || n < 5 || n != std::size_t(b[0]) + 5)
        return LineOutcome::Bad;
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += b[i];
    if ((sum & 0xFF) != 0)
        return LineOutcome::Bad;

    const unsigned length = b[0];
    const std::uint32_t offset = std::uint32_t(b[1]) << 8 | b[2];
    const std::uint8_t *data = &b[4];
    switch (b[3]) {
    case 0x00:
        for (unsigned i = 0; i < length; ++i)
            store(m_base + ((offset + i) & 0xFFFF), data[i]);
        return LineOutcome::Record;
    case 0x01:
        return length == 0 ? LineOutcome::End : LineOutcome::Bad;
    case 0x02:
        if (length != 2)
            return LineOutcome::Bad;
        m_base = (std::uint32_t(data[0]) << 8 | data[1]) << 4;
        return LineOutcome::Record;
    case 0x04:
        if (length != 2)
            return LineOutcome::Bad;
        m_base = (std::uint32_t(data[0]) << 8 | data[1]) << 16;
        return LineOutcome::Record;
    case 0x03:
    case 0x05:
        return length == 4 ? LineOutcome::Record : LineOutcome::Bad;
    default:
        return LineOutcome::Bad;
    }
}

LineOutcome RecordReader::readMotorola(std::string_view line, const ByteSink &store) {
    if (line.size() < 2 || (line[0] != 'S' && line[0] != 's') || line[1] < '0' || line[1] > '9')
        return LineOutcome::Bad;
    const int type = line[1] - '0';
    std::array<std::uint8_t, kMaxRecordBytes> b{};
    std::size_t n = 0;
    if (!decodeBytes(line.substr(2), b, n) || n < 2 || n != std::size_t(b[0]) + 1)
        return LineOutcome::Bad;
    unsigned sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += b[i];
    if ((sum & 0xFF) != 0xFF)
        return LineOutcome::Bad;

    static constexpr std::array<std::size_t, 10> kAddressBytes{2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const std::size_t addressBytes = kAddressBytes[std::size_t(type)];
    if (n < addressBytes + 2)
        return LineOutcome::Bad;
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < addressBytes; ++i)
        address = address << 8 | b[1 + i];
    const std::uint8_t *data = &b[1 + addressBytes];
    const std::size_t length = n - addressBytes - 2;

    switch (type) {
    case 1:
    case 2:
    case 3:
        for (std::size_t i = 0; i < length; ++i)
            store(address + std::uint32_t(i), data[i]);
        ++m_dataRecords;
        return LineOutcome::Record;
    case 5:
    case 6:
        return length == 0 && address == m_dataRecords ? LineOutcome::Record : LineOutcome::Bad;
    case 7:
    case 8:
    case 9:
        return length == 0 ? LineOutcome::End : LineOutcome::Bad;
    default: // S0 header, S4 reserved
        return LineOutcome::Record;
    }
}

RecordWriter::RecordWriter(Format format, std::uint32_t first, std::uint32_t last,
                           unsigned bytesPerRecord, ByteSource read)
    : m_format(format)
    , m_next(first)
    , m_last(last)
    , m_perRecord(bytesPerRecord)
    , m_read(std::move(read))
    , m_addressBytes(last <= 0xFFFF     ? 2
                     : last <= 0xFFFFFF ? 3
                                        : 4)
    , m_dataDone(first > last)
    , m_stage(format == Format::MotorolaS ? Stage::Header : Stage::Data) {}

bool RecordWriter::nextLine(std::string &out) {
    std::array<std::uint8_t, 256> data{};
    switch (m_stage) {
    case Stage::Header:
        out += "S0030000FC\r\n";
        m_stage = Stage::Data;
        return true;
    case Stage::Data: {
        if (m_dataDone) {
            m_stage = m_format == Format::MotorolaS ? Stage::Count : Stage::End;
            return nextLine(out);
        }
        std::uint64_t count = std::min<std::uint64_t>(m_perRecord, m_last - m_next + 1);
        if (m_format == Format::IntelHex) {
            count = std::min<std::uint64_t>(count, 0x10000 - (m_next & 0xFFFF));
            const std::uint32_t upper = std::uint32_t(m_next >> 16);
            if (upper != m_upper) {
                m_upper = upper;
                const std::array<std::uint8_t, 2> base{std::uint8_t(upper >> 8),
                                                       std::uint8_t(upper)};
                writeIntel(out, 0x04, 0, base.data(), 2);
                return true;
            }
        }
        for (std::uint64_t i = 0; i < count; ++i)
            data[i] = m_read(std::uint32_t(m_next + i));
        if (m_format == Format::IntelHex)
            writeIntel(out, 0x00, std::uint16_t(m_next), data.data(), unsigned(count));
        else
            writeMotorola(out, char('1' + m_addressBytes - 2), std::uint32_t(m_next), data.data(),
                          unsigned(count));
        ++m_records;
        m_next += count;
        if (m_next > m_last)
            m_dataDone = true;
        return true;
    }
    case Stage::Count:
        m_stage = Stage::End;
        if (m_records <= 0xFFFF)
            writeMotorola(out, '5', m_records, nullptr, 0);
        else if (m_records <= 0xFFFFFF)
            writeMotorola(out, '6', m_records, nullptr, 0);
        else
            return nextLine(out);
        return true;
    case Stage::End:
        m_stage = Stage::Done;
        if (m_format == Format::IntelHex)
            out += ":00000001FF\r\n";
        else
            writeMotorola(out, char('9' - (m_addressBytes - 2)), 0, nullptr, 0);
        return true;
    case Stage::Done:
        break;
    }
    return false;
}

void RecordWriter::writeIntel(std::string &out, std::uint8_t type, std::uint16_t address,
                              const std::uint8_t *data, unsigned count) {
    unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
    out += ':';
    appendHex(out, count, 2);
    appendHex(out, address, 4);
    appendHex(out, type, 2);
    for (unsigned i = 0; i < count; ++i) {
        appendHex(out, data[i], 2);
        sum += data[i];
    }
    appendHex(out, (0x100 - (sum & 0xFF)) & 0xFF, 2);
    out += "\r\n";
}

void RecordWriter::writeMotorola(std::string &out, char type, std::uint32_t address,
                                 const std::uint8_t *data, unsigned count) {
    const int addressBytes = type == '0' || type == '1' || type == '5' || type == '9' ? 2
                             : type == '2' || type == '6' || type == '8'              ? 3
                                                                                      : 4;
    const unsigned length = unsigned(addressBytes) + count + 1;
    unsigned sum = length;
    out += 'S';
    out += type;
    appendHex(out, length, 2);
    for (int i = addressBytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        appendHex(out, byte, 2);
        sum += byte;
    }
    for (unsigned i = 0; i < count; ++i) {
        appendHex(out, data[i], 2);
        sum += data[i];
    }
    appendHex(out, ~sum & 0xFF, 2);
    out += "\r\n";
}

} // namespace corvane::records
