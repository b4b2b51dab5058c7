#pragma once
// Progress of a long transfer (a load, a save, a dump): the bytes done against the bytes expected,
// the rate and the time left, shown once the transfer has run for a while.

#include <QString>

namespace corvane {

// The bytes the unit sends for a save or a dump of the buffer range `first`..`last` (word "SH",
// "SS", "SB" or "BD"): records of 16 data bytes for the text formats, three characters a byte for
// the dump. An estimate: the unit may cut its records differently.
[[nodiscard]] qint64 expectedTransferBytes(const QString &word, quint64 first, quint64 last);

class TransferProgress {
public:
    // A transfer has run this long before its progress is shown.
    static constexpr qint64 kShowAfterMs = 2000;

    // A transfer of `expected` bytes (0: unknown) begins at `nowMs`; its bytes are the ones it
    // sends when `sending`, else the ones it receives.
    void begin(const QString &word, qint64 expected, bool sending, qint64 nowMs);
    void end() { m_word.clear(); }
    [[nodiscard]] bool active() const { return !m_word.isEmpty(); }
    void sent(qint64 bytes) {
        if (m_sending)
            m_done += bytes;
    }
    void received(qint64 bytes) {
        if (!m_sending)
            m_done += bytes;
    }
    // The transfer waits for the unit's CTS (or no longer). A transfer that waited is shown from
    // then on, young or not.
    void setCtsWait(bool waiting) {
        m_ctsWait = waiting;
        m_shown = m_shown || waiting;
    }

    // "LH 42 % 3.8 kB/s 1:20" (the time left as m:ss), or empty while the transfer is young or
    // none runs. Without an expected size, or past it: "SH 123.4 kB 3.8 kB/s". While it waits for
    // CTS, " CTS待ち" follows.
    [[nodiscard]] QString text(qint64 nowMs) const;

private:
    QString m_word;
    qint64 m_expected = 0;
    qint64 m_done = 0;
    qint64 m_startMs = 0;
    bool m_sending = false;
    bool m_ctsWait = false;
    bool m_shown = false;
};

} // namespace corvane
