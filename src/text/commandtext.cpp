#include "text/commandtext.h"

#include <QHash>

namespace corvane {

CommandFields divideCommand(QString &text) {
    CommandFields out;
    if (text.isEmpty())
        return out;
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);

    // Positions count from 1, 0 means "not found".
    const qsizetype c = text.indexOf(QLatin1Char(':')) + 1;
    if (c > 0)
        out.field[0] = text.left(c - 1);
    const qsizetype p1 = text.indexOf(QLatin1Char(',')) + 1;
    if (p1 == 0) {
        out.field[1] = text.mid(c);
        return out;
    }
    // A ":" behind the first "," leaves the first field empty rather than running backwards.
    out.field[1] = p1 - 1 > c ? text.mid(c, p1 - 1 - c) : QString();
    qsizetype from = p1;
    for (int i = 2; i <= 5; ++i) {
        const qsizetype next = text.indexOf(QLatin1Char(','), from) + 1;
        if (next == 0) {
            out.field[i] = text.mid(from);
            return out;
        }
        out.field[i] = text.mid(from, next - 1 - from);
        from = next;
    }
    return out;
}

namespace {

// Full-width katakana and Japanese punctuation to half width; voiced kana become two characters.
const QHash<QChar, QString> &kanaTable() {
    static const QHash<QChar, QString> table = [] {
        QHash<QChar, QString> t;
        const QString full = QStringLiteral(
            "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒ"
            "フヘホマミムメモヤユヨラリルレロワン゛゜");
        const QString half =
            QStringLiteral("｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ");
        for (qsizetype i = 0; i < full.size(); ++i)
            t.insert(full[i], QString(half[i]));
        const QString voiced = QStringLiteral("ガギグゲゴザジズゼゾダヂヅデドバビブベボ");
        const QString voicedBase = QStringLiteral("ｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾊﾋﾌﾍﾎ");
        for (qsizetype i = 0; i < voiced.size(); ++i)
            t.insert(voiced[i], QString(voicedBase[i]) + QStringLiteral("ﾞ"));
        const QString semi = QStringLiteral("パピプペポ");
        const QString semiBase = QStringLiteral("ﾊﾋﾌﾍﾎ");
        for (qsizetype i = 0; i < semi.size(); ++i)
            t.insert(semi[i], QString(semiBase[i]) + QStringLiteral("ﾟ"));
        t.insert(QChar(0x30F4), QStringLiteral("ｳﾞ")); // ヴ
        t.insert(QChar(0x3000), QStringLiteral(" "));
        t.insert(QChar(0x2019), QStringLiteral("'")); // full-width apostrophe of CP932
        t.insert(QChar(0x201D), QStringLiteral("\""));
        t.insert(QChar(0xFFE5), QStringLiteral("\\"));
        t.insert(QChar(0xFFE3), QStringLiteral("~"));
        return t;
    }();
    return table;
}

} // namespace

QString narrowText(const QString &text) {
    QString out;
    out.reserve(text.size());
    const QHash<QChar, QString> &kana = kanaTable();
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E) {
            out.append(QChar(char16_t(u - 0xFF01 + 0x21)));
            continue;
        }
        const auto it = kana.constFind(ch);
        if (it != kana.constEnd())
            out.append(*it);
        else
            out.append(ch);
    }
    return out;
}

QString reMakeCmd(QString &text) {
    text = narrowText(text.toUpper());
    text.remove(QLatin1Char(' '));
    const qsizetype quote = text.indexOf(QLatin1Char('\''));
    return quote < 0 ? text : text.left(quote);
}

} // namespace corvane
