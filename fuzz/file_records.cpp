// Fuzzes readRecords: any bytes give the same reading from a string and however a device reads,
// and the image read comes back whole through writeRecords and readRecords in both formats.
#include "fuzz.h"
#include "text/records.h"

using namespace corvane;

namespace {

struct Reading {
    std::vector<ByteRun> runs;
    std::optional<quint32> entry;
    qint64 line = 0;
    QString message;
    bool operator==(const Reading &) const = default;
};

Reading reading(const RecordsRead &read) {
    return {read.image.runs(), read.entry, read.error ? read.error->line : 0,
            read.error ? read.error->message : QString()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    QByteArray file(reinterpret_cast<const char *>(data), qsizetype(size));
    const RecordsRead read = readRecords(file);
    FUZZ_CHECK(read.image.byteCount() <= size / 2, "more bytes than the file's hex digits");
    FUZZ_CHECK(!read.error || (read.error->line >= 1 &&
                               read.error->line <= file.count('\n') + file.count('\r') + 1),
               "the bad record's line is not in the file");
    fuzz::checkReadings(file, file, reading(read),
                        [](QIODevice *device) { return reading(readRecords(device)); });

    const int perRecord = size == 0 ? 16 : 1 + data[0] % 255;
    for (RecordFormat format : {RecordFormat::IntelHex, RecordFormat::MotorolaS}) {
        const RecordsRead back = readRecords(writeRecords(format, read.image, perRecord));
        FUZZ_CHECK(!back.error, "a written file does not read back");
        FUZZ_CHECK(back.image.runs() == read.image.runs(), "the image changes on the way back");
    }
    return 0;
}
