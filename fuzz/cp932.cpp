// Fuzzes CP932 decode/encode: a decode never depends on earlier input, decode(encode(x)) == x.
#include "protocol/cp932.h"
#include "fuzzqt.h"

#include <QByteArray>
#include <QString>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

// Japanese text, half-width katakana, a backslash-like trail byte (表, ソ), an NEC special
// character (①), an IBM extension (髙) and the full-width space, with the text they stand for.
const QByteArray &sampleBytes() {
    static const QByteArray bytes("\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67 \xB1\xB2\xB3 "
                                  "\x95\x5C\x83\x5C\x87\x40\xFB\xFC\x82\xA0\x81\x40"
                                  "A");
    return bytes;
}
const QString &sampleText() {
    static const QString text = QStringLiteral("日本語テスト ｱｲｳ 表ソ①髙あ　A");
    return text;
}

void checkSample(const char *after) {
    const QString decoded = fromCp932(sampleBytes());
    if (decoded != sampleText()) {
        printText("decoded", decoded);
        FUZZ_CHECK(decoded == sampleText(), after);
    }
    const std::optional<QByteArray> encoded = encodeCp932(sampleText());
    FUZZ_CHECK(encoded && *encoded == sampleBytes(), after);
    FUZZ_CHECK(toCp932(sampleText()) == sampleBytes(), after);
}

// decode(encode(text)) == text when encodeCp932 takes the text, and toCp932 gives the same bytes.
void checkRoundTrip(const QString &text, bool mustEncode) {
    const std::optional<QByteArray> encoded = encodeCp932(text);
    if (!encoded) {
        if (mustEncode) {
            printText("text", text);
            FUZZ_CHECK(encoded, "decoded CP932 text without U+FFFD cannot be encoded again");
        }
        return;
    }
    const QString back = fromCp932(*encoded);
    if (back != text) {
        printText("text", text);
        printHex("encoded", std::string_view(encoded->constData(), std::size_t(encoded->size())));
        printText("decoded again", back);
        FUZZ_CHECK(back == text, "decode(encode(x)) != x");
    }
    const QByteArray substituting = toCp932(text);
    if (substituting != *encoded) {
        printText("text", text);
        FUZZ_CHECK(substituting == *encoded, "toCp932 and encodeCp932 differ on encodable text");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    const QString text = fromCp932(bytes);
    // One character per byte, or one per valid pair.
    FUZZ_CHECK(text.size() <= bytes.size() && 2 * text.size() >= bytes.size(),
               "decoded length out of range");
    checkSample("a fixed text decodes differently after other input");
    FUZZ_CHECK(fromCp932(bytes) == text, "the same bytes decode differently the second time");

    // A LF is never part of a double-byte character: it splits the decode without disturbing
    // either side.
    const qsizetype half = bytes.size() / 2;
    const QByteArray left = bytes.left(half);
    const QByteArray right = bytes.mid(half);
    FUZZ_CHECK(fromCp932(left + '\n' + right) == fromCp932(left) + u'\n' + fromCp932(right),
               "a LF between two byte runs disturbs their decode");

    checkRoundTrip(text, !text.contains(QChar::ReplacementCharacter));

    // Any text at all, lone surrogates included, as UTF-16 code units.
    QString anyText(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(anyText.data(), data, std::size_t(anyText.size()) * 2);
    checkRoundTrip(anyText, false);
    (void)toCp932(anyText);
    checkSample("a fixed text encodes differently after other text");
    return 0;
}
