// Fuzzes the record reader on any lines, and writer-to-reader round trips of any range.
#include "unit/records.h"
#include "fuzz.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

using namespace corvane::records;

namespace {

std::uint32_t take32(const std::uint8_t *&data, std::size_t &size) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4 && size > 0; ++i, ++data, --size)
        value = value << 8 | *data;
    return value;
}

void readLines(Format format, std::string_view text) {
    RecordReader reader(format);
    bool sawRecord = false;
    while (!text.empty()) {
        const std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        std::size_t stored = 0;
        const LineOutcome outcome =
            reader.readLine(line, [&](std::uint32_t, std::uint8_t) { ++stored; });
        // A record line holds two hex digits per byte after its mark and type.
        FUZZ_CHECK(stored == 0 || (outcome == LineOutcome::Record && 2 * stored + 2 <= line.size()),
                   "bytes stored from no record, or more than the line holds");
        sawRecord = sawRecord || outcome == LineOutcome::Record || outcome == LineOutcome::End;
        FUZZ_CHECK(reader.sawRecord() == sawRecord, "wrong record seen");
    }
}

// Writes first..last from `source` (repeated) and reads it back.
void roundTrip(Format format, std::uint32_t first, std::uint32_t last, unsigned perRecord,
               const std::vector<std::uint8_t> &source) {
    const auto byteAt = [&](std::uint32_t address) {
        return source[(address - first) % source.size()];
    };
    RecordWriter writer(format, first, last, perRecord, byteAt);
    RecordReader reader(format);
    std::map<std::uint32_t, std::uint8_t> stored;
    std::string line;
    bool ended = false;
    for (std::size_t lines = 1; writer.nextLine(line); ++lines, line.clear()) {
        FUZZ_CHECK(!ended && lines <= 2 * (std::size_t(last - first) + 1) + 4,
                   "a line after the end record, or too many lines");
        FUZZ_CHECK(line.size() >= 2 && line.find_first_of("\r\n") == line.size() - 2 &&
                       line.ends_with("\r\n"),
                   "a line not ended by its only CR LF");
        const LineOutcome outcome = reader.readLine(
            std::string_view(line).substr(0, line.size() - 2),
            [&](std::uint32_t address, std::uint8_t b) {
                FUZZ_CHECK(stored.emplace(address, b).second, "an address written twice");
            });
        FUZZ_CHECK(outcome == LineOutcome::Record || outcome == LineOutcome::End,
                   "a written line does not read as a record");
        ended = outcome == LineOutcome::End;
    }
    FUZZ_CHECK(ended && stored.size() == std::size_t(last - first) + 1,
               "no end record, or not every address read back");
    for (const auto &[address, byte] : stored)
        FUZZ_CHECK(address >= first && address <= last && byte == byteAt(address),
                   "an address outside the range, or a byte read back changed");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const Format format = data[0] & 1 ? Format::MotorolaS : Format::IntelHex;
    const bool write = data[0] & 2;
    ++data;
    --size;
    if (!write) {
        readLines(format, std::string_view(reinterpret_cast<const char *>(data), size));
        return 0;
    }
    // A range of up to 1 KiB anywhere in the address space, 1 to 250 bytes a record.
    const std::uint32_t first = take32(data, size);
    const std::uint32_t length = 1 + (take32(data, size) & 0x3FF);
    const unsigned perRecord = 1 + (size > 0 ? (--size, *data++) : 15u) % 250;
    const std::uint32_t last =
        first > 0xFFFFFFFFu - (length - 1) ? 0xFFFFFFFFu : first + length - 1;
    std::vector<std::uint8_t> source(data, data + size);
    if (source.empty())
        source.push_back(0xA5);
    roundTrip(format, first, last, perRecord, source);
    return 0;
}
