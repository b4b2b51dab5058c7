#include "protocol/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace corvane {

QByteArray toCp932(const QString &text) {
    // ASCII goes out as it is (the codec would move some control characters, SUB among them);
    // everything else through the codec.
    static QStringEncoder encoder("windows-31j", QStringConverter::Flag::Stateless);
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    qsizetype run = -1; // start of a run of non-ASCII characters
    auto flush = [&](qsizetype end) {
        if (run >= 0)
            bytes += encoder.encode(QStringView(text).mid(run, end - run));
        run = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() < 0x80) {
            flush(i);
            bytes.append(char(text[i].unicode()));
        } else if (run < 0) {
            run = i;
        }
    }
    flush(text.size());
    return bytes;
}

QString fromCp932(const QByteArray &bytes) {
    // Character by character, so that one broken byte costs one character and never its
    // neighbours: single bytes map directly, double-byte characters go through the codec.
    static QStringDecoder doubleByte("windows-31j", QStringConverter::Flag::Stateless);
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) {
            text.append(QChar(char16_t(byte)));
            continue;
        }
        if (byte >= 0xA1 && byte <= 0xDF) { // half-width katakana
            text.append(QChar(char16_t(0xFF61 + byte - 0xA1)));
            continue;
        }
        const bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        if (lead && i + 1 < bytes.size()) {
            doubleByte.resetState();
            const QString ch = doubleByte.decode(bytes.mid(i, 2));
            if (!doubleByte.hasError() && ch.size() == 1 && ch[0].unicode() >= 0x80) {
                text.append(ch);
                ++i;
                continue;
            }
        }
        text.append(QChar::ReplacementCharacter);
    }
    return text;
}

} // namespace corvane
