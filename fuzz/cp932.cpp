// Fuzzes CP932 decode/encode: a decode never depends on earlier input, decode(encode(x)) == x.
#include "fuzz.h"

using namespace corvane;

namespace {

// Japanese text, half-width katakana, a backslash-like trail byte (表, ソ), an NEC special
// character (①), an IBM extension (髙) and the full-width space, with the text they stand for.
const QByteArray kSampleBytes("\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x58\x83\x67 \xB1\xB2\xB3 "
                              "\x95\x5C\x83\x5C\x87\x40\xFB\xFC\x82\xA0\x81\x40"
                              "A");
const QString kSampleText = QStringLiteral("日本語テスト ｱｲｳ 表ソ①髙あ　A");

void checkSample(const char *after) {
    FUZZ_CHECK(fromCp932(kSampleBytes) == kSampleText, after);
    FUZZ_CHECK(encodeCp932(kSampleText) == kSampleBytes, after);
    FUZZ_CHECK(toCp932(kSampleText) == kSampleBytes, after);
}

// decode(encode(text)) == text when encodeCp932 takes the text, and toCp932 gives the same bytes.
void checkRoundTrip(const QString &text, bool mustEncode) {
    const std::optional<QByteArray> encoded = encodeCp932(text);
    FUZZ_CHECK(encoded || !mustEncode, "decoded text without U+FFFD cannot be encoded again");
    FUZZ_CHECK(!encoded || fromCp932(*encoded) == text, "decode(encode(x)) != x");
    const QByteArray substituted = toCp932(text);
    FUZZ_CHECK(!encoded || substituted == *encoded, "toCp932 and encodeCp932 differ");
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

    // A LF is never part of a double-byte character: it splits the decode cleanly.
    const QByteArray left = bytes.left(bytes.size() / 2), right = bytes.mid(bytes.size() / 2);
    FUZZ_CHECK(fromCp932(left + '\n' + right) == fromCp932(left) + u'\n' + fromCp932(right),
               "a LF between two byte runs disturbs their decode");

    checkRoundTrip(text, !text.contains(QChar::ReplacementCharacter));
    // Any text at all, lone surrogates included, as UTF-16 code units.
    checkRoundTrip(QString(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2),
                   false);
    checkSample("a fixed text encodes differently after other text");
    return 0;
}
