#include "window/bufferfind.h"

#include <QRegularExpression>

namespace corvane {

std::optional<QByteArray> parseHexBytes(const QString &text) {
    static const QRegularExpression pair(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    QByteArray bytes;
    for (const QString &word :
         text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        if (!pair.match(word).hasMatch())
            return std::nullopt;
        bytes += QByteArray::fromHex(word.toLatin1());
    }
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QString hexLines(QByteArrayView bytes) {
    QString text;
    for (qsizetype i = 0; i < bytes.size(); i += 16) {
        text += QString::fromLatin1(bytes.sliced(i, std::min<qsizetype>(16, bytes.size() - i))
                                        .toByteArray()
                                        .toHex(' ')
                                        .toUpper());
        text += QLatin1Char('\n');
    }
    return text;
}

Found findBytes(const QByteArray &bytes, QByteArrayView needle, qsizetype from, bool backwards) {
    if (needle.isEmpty() || needle.size() > bytes.size())
        return {};
    if (backwards) {
        // lastIndexOf takes a negative start as counted from the end: none is passed to it.
        const qsizetype at = from >= 0 ? bytes.lastIndexOf(needle, from) : -1;
        if (at >= 0)
            return {at, false};
        const qsizetype again = bytes.lastIndexOf(needle);
        return {again, again >= 0};
    }
    const qsizetype at =
        from < bytes.size() ? bytes.indexOf(needle, std::max<qsizetype>(from, 0)) : -1;
    if (at >= 0)
        return {at, false};
    const qsizetype again = bytes.indexOf(needle);
    return {again, again >= 0};
}

} // namespace corvane
