#pragma once
// Reading a command-response file: text, one command a line, read a line at a time so that any
// file, however long or odd, is handled in bounded memory.

#include <QByteArray>
#include <QString>

class QIODevice;

namespace corvane {

// Splits an open device into lines: CR LF, a CR alone or a LF alone ends a line; the last line
// needs no end. A file that begins with the UTF-8 byte-order mark (EF BB BF) is UTF-8 text and the
// mark is no part of its first line; any other file is CP932 text. Of a line longer than
// `maxLineBytes` only the first `maxLineBytes` are kept and the rest is skipped up to its line
// end. The device must outlive the reader.
class CommandFileReader {
public:
    enum class Encoding { Cp932, Utf8 };

    // Enough bytes for the longest text the command box holds (32767 characters of up to three
    // UTF-8 bytes each).
    static constexpr qsizetype kMaxLineBytes = 3 * 32768;
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
    // The encoding of the file's text, known once next() has returned anything but Pending.
    [[nodiscard]] Encoding encoding() const { return m_encoding; }

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
    bool m_filled = false; // the first chunk has been read (and looked at for the mark)
    Encoding m_encoding = Encoding::Cp932;
};

// The text of one command line of a file in `encoding`, as the command box holds it. Control
// characters (TAB, NUL, ESC, SUB …) stay as they are, as in the lines of a data file; bytes that
// are no character (a character cut at the end of the line included) become U+FFFD, which the
// program never sends to the unit.
[[nodiscard]] QString commandLineText(const QByteArray &line, CommandFileReader::Encoding encoding);

} // namespace corvane
