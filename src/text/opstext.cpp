#include "text/opstext.h"

namespace corvane {

QString fiveCharAddress(const QString &field) {
    return (QStringLiteral("00000") + field).right(5);
}

AccessMode accessMode(const QString &letter) {
    if (letter.isEmpty() || letter == QLatin1String("A"))
        return {QStringLiteral("0"), QStringLiteral("    mode         = ALL")};
    if (letter == QLatin1String("O"))
        return {QStringLiteral("1"), QStringLiteral("    mode         = ODD")};
    if (letter == QLatin1String("E"))
        return {QStringLiteral("2"), QStringLiteral("    mode         = EVEN")};
    return {};
}

bool sendsAccessMode(const QString &word) {
    return word == QLatin1String("PG") || word == QLatin1String("WT") ||
           word == QLatin1String("CP") || word == QLatin1String("RD");
}

std::optional<std::uint32_t> dumpStartValue(const QString &text) {
    std::uint32_t value = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        std::uint32_t digit = 0;
        if (u >= u'0' && u <= u'9')
            digit = u - u'0';
        else if (u >= u'A' && u <= u'F')
            digit = u - u'A' + 10;
        else if (u >= u'a' && u <= u'f')
            digit = u - u'a' + 10;
        else
            break;
        value = value * 16 + digit;
        if (value >= kDumpAddressLimit)
            return std::nullopt;
    }
    return value;
}

QString dumpLabel(std::uint32_t address) {
    return QStringLiteral("%1")
        .arg((address % kDumpAddressLimit) >> 4, 5, 16, QLatin1Char('0'))
        .toUpper();
}

const QString &DumpTable::header() {
    static const QString text =
        QStringLiteral("  ADD +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F");
    return text;
}

DumpTable::DumpTable(std::uint32_t startValue)
    : m_lineAddress(startValue) {
    startLine();
    for (std::uint32_t column = 0; column < startValue % 16; ++column)
        m_line += QLatin1String(" --");
    // The blank before the first byte, which brings no "," of its own.
    m_line += QLatin1Char(' ');
}

void DumpTable::startLine() {
    m_line = dumpLabel(m_lineAddress);
    m_line.reserve(kLineLength + 2);
}

DumpTable::Step DumpTable::take(char c) {
    m_line += c == ',' ? QLatin1Char(' ') : QLatin1Char(c);
    if (c == '\n')
        return Step::End;
    if (m_line.size() < kLineLength)
        return Step::Taken;
    m_full = std::move(m_line);
    m_lineAddress += 16;
    startLine();
    return Step::LineFull;
}

std::optional<QString> DumpTable::lastLine() const {
    QString text = m_line;
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    // A line that holds only its label carries no data.
    if (text.size() <= kLabelLength)
        return std::nullopt;
    return text;
}

QString unopenedPortText(const QString &portText, const QString &reason, bool accessDenied) {
    QString line = QStringLiteral("！通信ポートを開けません。（") + portText + QStringLiteral("）");
    if (!reason.isEmpty())
        line += QLatin1Char(' ') + reason;
    if (accessDenied)
        line +=
            QStringLiteral("（dialout グループに入ると使えます: sudo usermod -aG dialout $USER）");
    return line;
}

} // namespace corvane
