// Fuzzes DataLineReader: the file's lines up to a too-long one, however the device reads.
#include <QFile> // datafile.h holds a QPointer<QFile> but declares QFile only

#include "files/datafile.h"
#include "fuzzqt.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

struct Reading {
    QList<QByteArray> lines;
    DataLineReader::Result last = DataLineReader::Result::End;
    bool operator==(const Reading &) const = default;
};

Reading readAll(QIODevice *device, qsizetype limit, qsizetype inputSize) {
    DataLineReader reader(device, limit);
    Reading reading;
    for (qsizetype calls = 0;; ++calls) {
        FUZZ_CHECK(calls <= inputSize + 1, "the reader does not come to an end");
        QByteArray line;
        reading.last = reader.next(line);
        if (reading.last != DataLineReader::Result::Line)
            break;
        reading.lines.append(line);
    }
    FUZZ_CHECK(reading.last != DataLineReader::Result::ReadError,
               "a read error from a good device");
    if (reading.last == DataLineReader::Result::End) {
        QByteArray after;
        FUZZ_CHECK(reader.next(after) == DataLineReader::Result::End,
                   "the reader goes on after its end");
    }
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const qsizetype limit = 1 + data[0] % 64;
    QByteArray file(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    const Reading reading = readAll(&buffer, limit, file.size());

    // The file's lines up to the first that is longer than the limit, which is reported instead.
    Reading expected;
    for (const QByteArray &line : splitLines(file)) {
        if (line.size() > limit) {
            expected.last = DataLineReader::Result::TooLong;
            break;
        }
        expected.lines.append(line);
    }
    if (reading != expected) {
        printHex("file", std::string_view(file.constData(), std::size_t(file.size())));
        FUZZ_CHECK(false, "the lines are not the file's lines up to a too-long one");
    }
    for (const QByteArray &line : reading.lines) {
        if (line.size() > limit || line.contains('\r') || line.contains('\n')) {
            printHex("file", std::string_view(file.constData(), std::size_t(file.size())));
            printHex("line", std::string_view(line.constData(), std::size_t(line.size())));
            FUZZ_CHECK(false, "a line longer than the limit or holding a CR or LF");
        }
    }

    buffer.seek(0);
    FUZZ_CHECK(readAll(&buffer, limit, file.size()) == reading, "reading again gives other lines");

    TrickleDevice trickle(file, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (readAll(&trickle, limit, file.size()) != reading) {
        printHex("file", std::string_view(file.constData(), std::size_t(file.size())));
        FUZZ_CHECK(false, "reading a few bytes at a time gives other lines");
    }
    return 0;
}
