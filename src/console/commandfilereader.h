#pragma once
// Reading a command-response file: CP932 text, one command a line, read a line at a time so that
// any file, however long or odd, is handled in bounded memory.

#include <QByteArray>
#include <QString>

class QIODevice;

namespace corvane {

// Splits an open device into lines: CR LF or a CR alone ends a line, a LF alone does not; the last
// line needs no end. Of a line longer than `maxLineBytes` only the first `maxLineBytes` are kept
// and the rest is skipped up to its line end. The device must outlive the reader.
class CommandFileReader {
public:
    // Enough bytes for the longest text the command box holds (32767 characters of up to two
    // CP932 bytes each).
    static constexpr qsizetype kMaxLineBytes = 65536;
    static constexpr qsizetype kChunkBytes = 16384;
    // Chunks one call reads at most before it hands back Pending (1 MiB).
    static constexpr int kChunksPerCall = 64;

    enum class Status {
        Line,    // `line` holds the next line, without its end
        Pending, // a long line is still being read: call again (the caller may let events run)
        End,     // no more lines
        Error,   // the device could not be read
    };

    explicit CommandFileReader(QIODevice *device, qsizetype maxLineBytes = kMaxLineBytes);

    [[nodiscard]] Status next(QByteArray &line);
    // The line last returned was longer than the limit and has been cut.
    [[nodiscard]] bool truncated() const { return m_truncated; }

private:
    // Reads the next chunk; false at the end of the device or on an error (m_failed).
    bool fill();

    QIODevice *m_device;
    qsizetype m_maxLineBytes;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    QByteArray m_line;      // the line being read
    bool m_started = false; // the line being read has begun
    bool m_skipLf = false;  // the last line ended with a CR: a LF right after it belongs to it
    bool m_truncated = false;
    bool m_failed = false;
};

// The text of one command line as the command box would hold it: decoded from CP932, with every
// byte that is no CP932 character and every control character but the tab (NUL, a lone LF …)
// turned into U+FFFD, so that no such byte reaches a file name or the line to the unit.
[[nodiscard]] QString commandLineText(const QByteArray &line);

} // namespace corvane
