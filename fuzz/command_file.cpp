// Fuzzes CommandFileReader: the file's lines cut at the limit, however read; text decodes.
#include "console/commandfilereader.h"
#include "fuzzqt.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

struct ReadLine {
    QByteArray bytes;
    bool truncated = false;
    bool operator==(const ReadLine &) const = default;
};

struct Reading {
    QList<ReadLine> lines;
    CommandFileReader::Encoding encoding = CommandFileReader::Encoding::Cp932;
    bool operator==(const Reading &) const = default;
};

Reading readAll(QIODevice *device, qsizetype limit, qsizetype inputSize) {
    CommandFileReader reader(device, limit);
    Reading reading;
    // Every line but the last uses up at least one byte of its end; a long line may ask to be
    // called again once per MiB.
    const qsizetype maxCalls = 2 * inputSize + 16;
    for (qsizetype calls = 0;; ++calls) {
        FUZZ_CHECK(calls < maxCalls, "the reader does not come to an end");
        QByteArray line;
        const CommandFileReader::Status status = reader.next(line);
        if (status == CommandFileReader::Status::End)
            break;
        FUZZ_CHECK(status != CommandFileReader::Status::Error, "a read error from a good device");
        if (status == CommandFileReader::Status::Pending) {
            FUZZ_CHECK(line.isEmpty(), "a line handed back with Pending");
            continue;
        }
        reading.lines.append({line, reader.truncated()});
    }
    reading.encoding = reader.encoding();
    QByteArray after;
    FUZZ_CHECK(reader.next(after) == CommandFileReader::Status::End && after.isEmpty(),
               "the reader goes on after its end");
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const qsizetype limit = 1 + data[0] % 32;
    QByteArray file(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    const Reading reading = readAll(&buffer, limit, file.size());
    const QList<ReadLine> &lines = reading.lines;

    const QByteArray mark("\xEF\xBB\xBF");
    const bool utf8 = file.startsWith(mark);
    FUZZ_CHECK(reading.encoding ==
                   (utf8 ? CommandFileReader::Encoding::Utf8 : CommandFileReader::Encoding::Cp932),
               "the wrong encoding");
    const QByteArray text = utf8 ? file.mid(mark.size()) : file;
    const QList<QByteArray> expected = splitLines(text);
    bool sameLines = lines.size() == expected.size();
    for (qsizetype i = 0; sameLines && i < lines.size(); ++i) {
        sameLines = lines[i].bytes == expected[i].left(limit) &&
                    lines[i].truncated == (expected[i].size() > limit);
    }
    if (!sameLines) {
        printHex("file", std::string_view(file.constData(), std::size_t(file.size())));
        FUZZ_CHECK(false, "the lines are not the file's lines (cut at the limit)");
    }
    for (const ReadLine &line : lines) {
        if (line.bytes.size() > limit || line.bytes.contains('\r') || line.bytes.contains('\n')) {
            printHex("file", std::string_view(file.constData(), std::size_t(file.size())));
            printHex("line",
                     std::string_view(line.bytes.constData(), std::size_t(line.bytes.size())));
            FUZZ_CHECK(false, "a line longer than the limit or holding a CR or LF");
        }
        FUZZ_CHECK(!line.truncated || line.bytes.size() == limit,
                   "a cut line shorter than the limit");
        const QString lineText = commandLineText(line.bytes, reading.encoding);
        FUZZ_CHECK(lineText.size() <= line.bytes.size(), "the text is longer than its line");
        FUZZ_CHECK(!lineText.contains(u'\r') && !lineText.contains(u'\n'),
                   "a line end in the text");
        FUZZ_CHECK(commandLineText(line.bytes, reading.encoding) == lineText,
                   "the text differs the second time");
        // Text that has no U+FFFD stands for the line's bytes exactly (UTF-8: a U+FEFF at the
        // start of a line included; CP932: up to the characters it has two codes for).
        if (!lineText.contains(QChar::ReplacementCharacter)) {
            if (utf8) {
                FUZZ_CHECK(lineText.toUtf8() == line.bytes, "UTF-8 text is not its bytes");
            } else {
                const std::optional<QByteArray> back = encodeCp932(lineText);
                FUZZ_CHECK(back && fromCp932(*back) == lineText,
                           "CP932 text does not stand for its bytes");
            }
        }
    }

    buffer.seek(0);
    FUZZ_CHECK(readAll(&buffer, limit, file.size()) == reading, "reading again gives other lines");

    TrickleDevice trickle(file, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (readAll(&trickle, limit, file.size()) != reading) {
        printHex("file", std::string_view(file.constData(), std::size_t(file.size())));
        FUZZ_CHECK(false, "reading a few bytes at a time gives other lines or encoding");
    }
    return 0;
}
