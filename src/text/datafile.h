#pragma once
// What the loads and saves share about data files: the path of a file command, the file an
// operation holds open, lines of a text data file read with bounded memory, and the hex log of
// binary data.

#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <QString>

class QIODevice;
class QObject;

namespace corvane {

// Longest line of a text data file the program forwards. A record line is at most 521 characters;
// the cap leaves ample room above that while keeping a huge file without line ends from taking
// unbounded memory.
constexpr qsizetype kMaxDataLineBytes = 1024 * 1024;

// The failure line of the loads.
inline constexpr char16_t kCannotOpenFile[] = u"ファイルをオープンできません！";
// A save's file could not be created; nothing was asked of the unit.
inline constexpr char16_t kCannotCreateFile[] = u"ファイルを作成できません！";
// A save received the unit's data but could not store it.
inline constexpr char16_t kFileNotWritten[] = u"ファイルに書き込めませんでした！";

// The path of a file command: the drive part and the first field joined again, kept exactly as
// typed (case and spaces).
[[nodiscard]] QString joinDrivePath(const QString &drive, const QString &rest);

// `path` with `tag` put into its file name before the extension ("out.hex", "EMU" →
// "out.EMU.hex"; "out" → "out.EMU"). The tag is made fit for a file name first: a scheme such as
// "tcp://" is dropped, characters a file name cannot hold become '-', and '-' at either end goes
// ("/dev/pts/4" → "dev-pts-4", "tcp://127.0.0.1:4000" → "127.0.0.1-4000").
[[nodiscard]] QString taggedSavePath(const QString &path, const QString &tag);

// A data file an operation holds open. While it lives, `slot` (the window's m_dataFile) points at
// it, so closing the window closes and flushes it; the destructor closes it and clears `slot`.
class HeldFile {
public:
    HeldFile(QPointer<QFile> &slot, QObject *owner, const QString &path = {});
    ~HeldFile();
    HeldFile(const HeldFile &) = delete;
    HeldFile &operator=(const HeldFile &) = delete;

    [[nodiscard]] QFile *file() const { return m_file; }
    // Names the file (before it is opened).
    void setPath(const QString &path) { m_file->setFileName(path); }
    // Flushes and closes; false when data could not be written.
    bool close();

private:
    QPointer<QFile> &m_slot;
    QPointer<QFile> m_file;
};

// Lines of a text data file: a line ends at CR LF, CR or LF (a CR LF is one end, also when a block
// ends between the two), the end is not part of the line, and a last line without an end is a
// line too. Reads in blocks and never holds more than one line of at most `maxLine` bytes plus one
// block.
class DataLineReader {
public:
    enum class Result { Line, End, ReadError, TooLong };

    explicit DataLineReader(QIODevice *device, qsizetype maxLine = kMaxDataLineBytes);
    Result next(QByteArray &line);

private:
    // Appends the next block; false at the end of the file or on an error (m_error says which).
    bool fill();

    QIODevice *m_device;
    qsizetype m_maxLine;
    QByteArray m_buffer;
    qsizetype m_pos = 0;  // start of the unread text in m_buffer
    qsizetype m_scan = 0; // where the search for a line end goes on
    bool m_atEnd = false;
    bool m_error = false;
};

// The hex log of binary data: two upper-case digits and a space per byte, 16 bytes a line.
class HexLogLine {
public:
    // Adds one byte; true when this byte completed a line of 16 (then take() returns it).
    bool add(quint8 byte);
    // The pending text, which is then emptied.
    QString take();
    [[nodiscard]] bool isEmpty() const { return m_count == 0; }

private:
    QString m_text;
    int m_count = 0;
};

} // namespace corvane
