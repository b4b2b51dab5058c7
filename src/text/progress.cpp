#include "text/progress.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr quint64 kRecordDataBytes = 16;

QString kiloBytes(double bytes) {
    return QString::number(bytes / 1000.0, 'f', 1) + QStringLiteral(" kB");
}

} // namespace

qint64 expectedTransferBytes(const QString &word, quint64 first, quint64 last) {
    if (last < first)
        return 0;
    const quint64 length = last - first + 1;
    const quint64 records = (length + kRecordDataBytes - 1) / kRecordDataBytes;
    if (word == QLatin1String("SB"))
        return qint64(length);
    if (word == QLatin1String("BD")) // "00:", a hex pair and its separator a byte, CR LF
        return qint64(3 + 3 * length + 1);
    if (word == QLatin1String("SH")) // ":" count address type data checksum CR LF; the end record
        return qint64(records * (13 + 2 * kRecordDataBytes) + 13);
    // "S" type count address data checksum CR LF; the header and count records (12 characters
    // each) and the end record (one without data)
    const quint64 addressBytes = last <= 0xFFFF ? 2 : last <= 0xFFFFFF ? 3 : 4;
    const quint64 record = 8 + 2 * addressBytes;
    return qint64(records * (record + 2 * kRecordDataBytes) + 24 + record);
}

void TransferProgress::begin(const QString &word, qint64 expected, bool sending, qint64 nowMs) {
    m_word = word;
    m_expected = std::max<qint64>(expected, 0);
    m_done = 0;
    m_startMs = nowMs;
    m_sending = sending;
    m_ctsWait = false;
    m_shown = false;
}

QString TransferProgress::text(qint64 nowMs) const {
    const qint64 elapsed = nowMs - m_startMs;
    if (!active() || (elapsed < kShowAfterMs && !m_shown))
        return {};
    const QString wait = m_ctsWait ? QStringLiteral(" CTS待ち") : QString();
    const double rate = double(m_done) * 1000.0 / double(elapsed); // bytes a second
    const QString speed = kiloBytes(rate) + QStringLiteral("/s");
    if (m_expected <= 0 || m_done > m_expected)
        return m_word + QLatin1Char(' ') + kiloBytes(double(m_done)) + QLatin1Char(' ') + speed +
               wait;
    const int percent = int(m_done * 100 / m_expected);
    QString left = QStringLiteral("-:--");
    if (rate > 0) {
        const qint64 seconds = qint64(double(m_expected - m_done) / rate + 0.5);
        left = QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1 %2 % %3 %4").arg(m_word).arg(percent).arg(speed, left) + wait;
}

} // namespace corvane
