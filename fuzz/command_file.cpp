// Fuzzes CommandFileReader: the file's lines cut at the limit, however read; text decodes.
#include "fuzz.h"
#include "text/commandfilereader.h"

#include <QBuffer>

using namespace corvane;
using Reader = CommandFileReader;

namespace {

struct Reading {
    QList<std::pair<QByteArray, bool>> lines; // each line and whether it was cut
    Reader::Encoding encoding = Reader::Encoding::Cp932;
    bool operator==(const Reading &) const = default;
};

Reading readAll(QIODevice *device, qsizetype limit, qsizetype bytes) {
    Reader reader(device, limit);
    Reading reading;
    // Every line but the last uses up a byte of its end; a long line may ask for another call.
    for (qsizetype calls = 0;; ++calls) {
        FUZZ_CHECK(calls < 2 * bytes + 16, "the reader does not come to an end");
        QByteArray line;
        const Reader::Status status = reader.next(line);
        if (status == Reader::Status::End)
            break;
        FUZZ_CHECK(status != Reader::Status::Error, "a read error from a good device");
        FUZZ_CHECK(status == Reader::Status::Line || line.isEmpty(), "a line with Pending");
        if (status == Reader::Status::Line)
            reading.lines.append({line, reader.truncated()});
    }
    reading.encoding = reader.encoding();
    QByteArray after;
    FUZZ_CHECK(reader.next(after) == Reader::Status::End && after.isEmpty(),
               "the reader goes on after its end");
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const qsizetype limit = 1 + data[0] % 32;
    QByteArray file(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    // A file that starts with the UTF-8 mark is UTF-8 without it; lines are cut at the limit.
    Reading expected;
    const bool utf8 = file.startsWith("\xEF\xBB\xBF");
    expected.encoding = utf8 ? Reader::Encoding::Utf8 : Reader::Encoding::Cp932;
    for (const QByteArray &line : fuzz::splitLines(utf8 ? file.mid(3) : file))
        expected.lines.append({line.left(limit), line.size() > limit});

    fuzz::checkReadings(file, QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)),
                        expected,
                        [&](QIODevice *device) { return readAll(device, limit, file.size()); });

    for (const auto &[bytes, cut] : expected.lines) {
        const QString text = commandLineText(bytes, expected.encoding);
        FUZZ_CHECK(text.size() <= bytes.size() && !text.contains(u'\r') && !text.contains(u'\n'),
                   "the text is longer than its line or holds a line end");
        FUZZ_CHECK(commandLineText(bytes, expected.encoding) == text, "the text differs again");
        // Text without U+FFFD stands for the line's bytes exactly (UTF-8: a U+FEFF at the start
        // of a line included; CP932: up to the characters it has two codes for).
        if (text.contains(QChar::ReplacementCharacter))
            continue;
        const std::optional<QByteArray> back = utf8 ? text.toUtf8() : encodeCp932(text);
        FUZZ_CHECK(utf8 ? back == bytes : back && fromCp932(*back) == text,
                   "the text does not stand for its line");
    }
    return 0;
}
