#include "text/records.h"

#include <QIODevice>

#include <algorithm>
#include <array>
#include <vector>

namespace corvane {

QString RecordsError::text() const {
    return QString::number(line) + QStringLiteral(" 行目: ") + message;
}

namespace {

// No record is longer than 521 characters (S3 with 250 data bytes and its line end); a longer
// line is bad, so the reader never holds more than this of a line.
constexpr qsizetype kMaxLine = 1024;
constexpr qsizetype kChunk = 64 * 1024;
constexpr quint64 kAddressSpace = quint64(1) << 32;

constexpr std::array<qint8, 256> kHexValues = [] {
    std::array<qint8, 256> values{};
    values.fill(-1);
    for (int i = 0; i < 10; ++i)
        values[size_t('0' + i)] = qint8(i);
    for (int i = 0; i < 6; ++i) {
        values[size_t('A' + i)] = qint8(10 + i);
        values[size_t('a' + i)] = qint8(10 + i);
    }
    return values;
}();

constexpr char kHexDigits[] = "0123456789ABCDEF";

QString noRecord() {
    return QStringLiteral("レコードではありません。");
}
QString notHex() {
    return QStringLiteral("16 進数ではありません。");
}
QString badLength() {
    return QStringLiteral("レコードの長さが違います。");
}
QString badChecksum() {
    return QStringLiteral("チェックサムが違います。");
}
QString badType() {
    return QStringLiteral("レコードの種類が違います。");
}
QString pastAddressSpace() {
    return QStringLiteral("アドレスが 4 GiB を超えます。");
}
QString badCount() {
    return QStringLiteral("データレコードの数が違います。");
}
QString tooLong() {
    return QStringLiteral("行が長すぎます。");
}

// One record's bytes, decoded from its hex digits: count, address, type, data, checksum.
struct Bytes {
    std::array<quint8, kMaxLine / 2> bytes{};
    qsizetype size = 0;
    [[nodiscard]] quint8 sum() const {
        quint8 sum = 0;
        for (qsizetype i = 0; i < size; ++i)
            sum = quint8(sum + bytes[size_t(i)]);
        return sum;
    }
    [[nodiscard]] quint32 bigEndian(qsizetype from, qsizetype count) const {
        quint32 value = 0;
        for (qsizetype i = from; i < from + count; ++i)
            value = (value << 8) | bytes[size_t(i)];
        return value;
    }
};

// Decodes the hex digits [begin, end) into `out`; false for an odd count or another character.
bool decodeHex(const char *begin, const char *end, Bytes &out) {
    if ((end - begin) % 2 != 0)
        return false;
    out.size = (end - begin) / 2;
    for (qsizetype i = 0; i < out.size; ++i) {
        const qint8 high = kHexValues[uchar(begin[2 * i])];
        const qint8 low = kHexValues[uchar(begin[2 * i + 1])];
        if (high < 0 || low < 0)
            return false;
        out.bytes[size_t(i)] = quint8((high << 4) | low);
    }
    return true;
}

// Reads records line by line, keeping what it has read so far and the first bad record.
class Reader {
public:
    // Reads the complete lines of [begin, end), with `last` the rest as the last line too, and
    // returns how many bytes it used; the rest (part of a line) must come again with more bytes.
    qsizetype take(const char *begin, const char *end, bool last);
    [[nodiscard]] bool done() const { return m_done; }
    RecordsRead result() { return std::move(m_read); }

private:
    void line(const char *begin, const char *end);
    std::optional<QString> intel(const Bytes &record);
    std::optional<QString> motorola(char type, const Bytes &record);
    std::optional<QString> data(quint64 address, const quint8 *bytes, qsizetype size);
    void fail(const QString &message) {
        m_read.error = RecordsError{m_line, message};
        m_done = true;
    }

    RecordsRead m_read;
    qint64 m_line = 0;
    bool m_done = false;
    quint32 m_intelBase = 0;   // from the last type 02 or 04 record
    quint32 m_dataRecords = 0; // S1-S3 records so far, for S5/S6
};

qsizetype Reader::take(const char *begin, const char *end, bool last) {
    const char *p = begin;
    while (p != end && !m_done) {
        const char *lineEnd = std::find_if(p, end, [](char c) { return c == '\r' || c == '\n'; });
        if (lineEnd == end || (*lineEnd == '\r' && lineEnd + 1 == end && !last)) {
            // No line end yet, or a CR that an LF in the next bytes may belong to.
            if (!last && lineEnd - p <= kMaxLine)
                break;
            if (lineEnd == end) {
                line(p, end);
                return end - begin;
            }
        }
        line(p, lineEnd);
        p = lineEnd + 1;
        if (*lineEnd == '\r' && p != end && *p == '\n')
            ++p;
    }
    return p - begin;
}

void Reader::line(const char *begin, const char *end) {
    ++m_line;
    if (end - begin > kMaxLine)
        return fail(tooLong());
    while (end != begin && (end[-1] == ' ' || end[-1] == '\t'))
        --end;
    if (begin == end)
        return;
    Bytes record;
    std::optional<QString> failure;
    if (*begin == ':') {
        if (!decodeHex(begin + 1, end, record))
            return fail(notHex());
        failure = intel(record);
    } else if (*begin == 'S' && end - begin >= 2) {
        if (!decodeHex(begin + 2, end, record))
            return fail(notHex());
        failure = motorola(begin[1], record);
    } else {
        failure = noRecord();
    }
    if (failure)
        fail(*failure);
}

// The address of a data record is the base plus its offset, without wrapping at 64 KiB.
std::optional<QString> Reader::intel(const Bytes &record) {
    if (record.size < 5 || record.size != record.bytes[0] + 5)
        return badLength();
    if (record.sum() != 0)
        return badChecksum();
    const int type = record.bytes[3];
    const qsizetype size = record.bytes[0];
    const quint8 *data = record.bytes.data() + 4;
    static constexpr std::array<int, 6> kSizes = {-1, 0, 2, 4, 2, 4}; // -1: any
    if (type >= int(kSizes.size()))
        return badType();
    if (kSizes[size_t(type)] >= 0 && size != kSizes[size_t(type)])
        return badLength();
    switch (type) {
    case 0:
        return this->data(quint64(m_intelBase) + record.bigEndian(1, 2), data, size);
    case 1:
        m_done = true;
        break;
    case 2:
        m_intelBase = record.bigEndian(4, 2) << 4;
        break;
    case 4:
        m_intelBase = record.bigEndian(4, 2) << 16;
        break;
    default: // 03 (CS:IP, CS the upper half) and 05: the four bytes as one address
        m_read.entry = record.bigEndian(4, 4);
    }
    return std::nullopt;
}

std::optional<QString> Reader::motorola(char type, const Bytes &record) {
    // Address widths of S0-S9; S4 is not a record.
    static constexpr std::array<int, 10> kWidths = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    if (type < '0' || type > '9' || type == '4')
        return badType();
    const int kind = type - '0';
    const int width = kWidths[size_t(kind)];
    if (record.size < 1 || record.size != record.bytes[0] + 1 || record.size < width + 2)
        return badLength();
    if (record.sum() != 0xFF)
        return badChecksum();
    const quint32 address = record.bigEndian(1, width);
    const qsizetype size = record.size - width - 2;
    if (kind >= 5 && size != 0)
        return badLength();
    if (kind >= 1 && kind <= 3) {
        ++m_dataRecords;
        return data(address, record.bytes.data() + 1 + width, size);
    }
    if (kind == 5 || kind == 6) {
        if (address != m_dataRecords)
            return badCount();
    } else if (kind >= 7) {
        m_read.entry = address;
        m_done = true;
    }
    return std::nullopt;
}

std::optional<QString> Reader::data(quint64 address, const quint8 *bytes, qsizetype size) {
    if (address + quint64(size) > kAddressSpace)
        return pastAddressSpace();
    m_read.image.write(quint32(address),
                       QByteArrayView(reinterpret_cast<const char *>(bytes), size));
    return std::nullopt;
}

// Appends one record: its start, then count, address, type and data as hex and the checksum.
class Writer {
public:
    explicit Writer(RecordFormat format)
        : m_format(format) {}
    void record(int type, quint32 address, int width, QByteArrayView data);
    QByteArray text;

private:
    void hexByte(quint8 byte) {
        text.append(kHexDigits[byte >> 4]);
        text.append(kHexDigits[byte & 0xF]);
        m_sum = quint8(m_sum + byte);
    }
    RecordFormat m_format;
    quint8 m_sum = 0;
};

void Writer::record(int type, quint32 address, int width, QByteArrayView data) {
    m_sum = 0;
    if (m_format == RecordFormat::IntelHex) {
        text.append(':');
        hexByte(quint8(data.size()));
        hexByte(quint8(address >> 8));
        hexByte(quint8(address));
        hexByte(quint8(type));
    } else {
        text.append('S');
        text.append(char('0' + type));
        hexByte(quint8(width + data.size() + 1));
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
            hexByte(quint8(address >> shift));
    }
    for (char byte : data)
        hexByte(quint8(byte));
    const quint8 sum = m_sum;
    hexByte(m_format == RecordFormat::IntelHex ? quint8(-sum) : quint8(~sum));
    text.append("\r\n");
}

void writeIntel(Writer &out, const MemoryImage &image, int perRecord) {
    quint32 upper = 0; // the address bits 16-31 that the last type 04 record set
    for (const ByteRun &run : image.runs()) {
        for (qsizetype done = 0; done < run.bytes.size();) {
            const quint32 address = run.address + quint32(done);
            if (address >> 16 != upper) {
                upper = address >> 16;
                const char base[2] = {char(upper >> 8), char(upper)};
                out.record(4, 0, 2, QByteArrayView(base, 2));
            }
            const qsizetype size = std::min<qsizetype>(
                {perRecord, run.bytes.size() - done, 0x10000 - qsizetype(address & 0xFFFF)});
            out.record(0, address & 0xFFFF, 2, QByteArrayView(run.bytes).sliced(done, size));
            done += size;
        }
    }
    out.record(1, 0, 2, {});
}

// S0 without a name, data records of the narrowest width the highest address fits, a count record
// when the count fits in 24 bits, and the end record of the same width.
void writeMotorola(Writer &out, const MemoryImage &image, int perRecord) {
    const int width = image.highest() <= 0xFFFF ? 2 : image.highest() <= 0xFFFFFF ? 3 : 4;
    perRecord = std::min(perRecord, 255 - width - 1);
    out.record(0, 0, 2, {});
    quint32 count = 0;
    for (const ByteRun &run : image.runs()) {
        for (qsizetype done = 0; done < run.bytes.size(); done += perRecord, ++count)
            out.record(width - 1, run.address + quint32(done), width,
                       QByteArrayView(run.bytes).sliced(
                           done, std::min<qsizetype>(perRecord, run.bytes.size() - done)));
    }
    if (count <= 0xFFFFFF)
        out.record(count <= 0xFFFF ? 5 : 6, count, count <= 0xFFFF ? 2 : 3, {});
    out.record(11 - width, 0, width, {});
}

} // namespace

// A file without an end record is read whole and taken as it is.
RecordsRead readRecords(QIODevice *device) {
    Reader reader;
    QByteArray pending;
    std::vector<char> chunk(kChunk);
    while (!reader.done()) {
        const qint64 count = device->read(chunk.data(), kChunk);
        const bool last = count <= 0;
        pending.append(chunk.data(), qsizetype(std::max<qint64>(count, 0)));
        pending.remove(0, reader.take(pending.cbegin(), pending.cend(), last));
        if (last)
            break;
    }
    return reader.result();
}

RecordsRead readRecords(const QByteArray &text) {
    Reader reader;
    reader.take(text.cbegin(), text.cend(), true);
    return reader.result();
}

QByteArray writeRecords(RecordFormat format, const MemoryImage &image, int bytesPerRecord) {
    Writer out(format);
    out.text.reserve(qsizetype(image.byteCount() * 2 + image.byteCount() / 2) + 64);
    const int perRecord = std::clamp(bytesPerRecord, 1, 255);
    if (format == RecordFormat::IntelHex)
        writeIntel(out, image, perRecord);
    else
        writeMotorola(out, image, perRecord);
    return out.text;
}

} // namespace corvane
