#pragma once
// Intel HEX and Motorola S records: reading the data lines of a file load, writing the lines of a
// save. Plain C++, no Qt.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvane::records {

enum class Format { IntelHex, MotorolaS };

// Receives one data byte of a record at its full record address.
using ByteSink = std::function<void(std::uint32_t address, std::uint8_t byte)>;
// Gives the byte at a record address, for writing.
using ByteSource = std::function<std::uint8_t(std::uint32_t address)>;

// What one line of a file did.
enum class LineOutcome {
    Blank,  // empty or only blanks: ignored
    Record, // a well-formed record other than the end record (data stored, base or count taken)
    End,    // the end record (Intel 01; Motorola S7, S8, S9)
    Bad,    // malformed, wrong checksum, unknown type, or a count record that does not match
};

// Reads the lines of one file in order. Intel HEX: types 00 (data), 01 (end), 02 (segment base,
// times 16), 03 (start address, ignored), 04 (upper 16 address bits), 05 (start address, ignored);
// a data record's address runs base + ((offset + i) mod 10000h). Motorola S: S0 (header, ignored),
// S1/S2/S3 (data with 16/24/32-bit address), S4 (reserved, ignored), S5/S6 (count of the data
// records so far, checked), S7/S8/S9 (end). Every record's checksum is checked; hex digits may be
// upper or lower case; blanks around a line are ignored.
class RecordReader {
public:
    explicit RecordReader(Format format)
        : m_format(format) {}

    LineOutcome readLine(std::string_view line, const ByteSink &store);
    // Whether any well-formed record (the end record included) has been read.
    [[nodiscard]] bool sawRecord() const { return m_sawRecord; }

private:
    LineOutcome readIntel(std::string_view line, const ByteSink &store);
    LineOutcome readMotorola(std::string_view line, const ByteSink &store);

    Format m_format;
    std::uint32_t m_base = 0;        // Intel: segment * 16 or upper address bits << 16
    std::uint32_t m_dataRecords = 0; // Motorola: S1/S2/S3 records read
    bool m_sawRecord = false;
};

// Writes the records of the address range first..last, one line at a time, each with CR LF.
// Intel HEX: data records of `bytesPerRecord` bytes that never cross a 64 KiB boundary, a type 04
// record wherever the upper 16 address bits change (none for a range below 10000h), then
// ":00000001FF". Motorola S: an empty S0 header "S0030000FC", S1 records for a range ending at or
// below FFFFh, S2 up to FFFFFFh, S3 above; an S5 count (S6 above FFFFh records); the end record
// S9/S8/S7 matching the data records, with address 0.
class RecordWriter {
public:
    // `bytesPerRecord` must be 1 to 250.
    RecordWriter(Format format, std::uint32_t first, std::uint32_t last, unsigned bytesPerRecord,
                 ByteSource read);

    // Appends the next line (with CR LF) to `out`; false when every line has been written.
    bool nextLine(std::string &out);

private:
    void writeIntel(std::string &out, std::uint8_t type, std::uint16_t address,
                    const std::uint8_t *data, unsigned count);
    void writeMotorola(std::string &out, char type, std::uint32_t address, const std::uint8_t *data,
                       unsigned count);

    Format m_format;
    std::uint64_t m_next;
    std::uint32_t m_last;
    unsigned m_perRecord;
    ByteSource m_read;
    int m_addressBytes = 2; // Motorola: 2, 3 or 4
    std::uint32_t m_upper = 0;
    std::uint32_t m_records = 0;
    bool m_dataDone = false;
    enum class Stage { Header, Data, Count, End, Done } m_stage;
};

// The default number of data bytes per record of a save.
constexpr unsigned kDefaultBytesPerRecord = 16;

} // namespace corvane::records
