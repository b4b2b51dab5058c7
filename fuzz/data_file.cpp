// Fuzzes DataLineReader: the file's lines up to a too-long one, however the device reads.
#include <QFile> // datafile.h holds a QPointer<QFile> but declares QFile only

#include "fuzz.h"
#include "text/datafile.h"

#include <QBuffer>

using namespace corvane;

namespace {

struct Reading {
    QList<QByteArray> lines;
    DataLineReader::Result last = DataLineReader::Result::End;
    bool operator==(const Reading &) const = default;
};

Reading readAll(QIODevice *device, qsizetype limit, qsizetype bytes) {
    DataLineReader reader(device, limit);
    Reading reading;
    for (qsizetype calls = 0;; ++calls) {
        FUZZ_CHECK(calls <= bytes + 1, "the reader does not come to an end");
        QByteArray line;
        reading.last = reader.next(line);
        if (reading.last != DataLineReader::Result::Line)
            break;
        reading.lines.append(line);
    }
    QByteArray after;
    FUZZ_CHECK(reading.last != DataLineReader::Result::End ||
                   reader.next(after) == DataLineReader::Result::End,
               "the reader goes on after its end");
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const qsizetype limit = 1 + data[0] % 64;
    QByteArray file(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    // The file's lines up to the first that is longer than the limit, which is reported instead.
    Reading expected;
    for (const QByteArray &line : fuzz::splitLines(file)) {
        if (line.size() > limit) {
            expected.last = DataLineReader::Result::TooLong;
            break;
        }
        expected.lines.append(line);
    }
    fuzz::checkReadings(file, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                        expected,
                        [&](QIODevice *device) { return readAll(device, limit, file.size()); });
    return 0;
}
