#pragma once
// The journal: every log line and every byte on the line, one UTF-8 text line each, written and
// handed to the system line by line so that it survives a crash of the program.
//
// A journal line is the local time to the millisecond, a space, a mark and the content:
//   2024-05-01 10:00:00.123 * corvane 1.0.0 port EMU speed 9600   session header
//   2024-05-01 10:00:00.130 # ...                                  a line of the window's log
//   2024-05-01 10:00:00.131 > RE                                   sent: the text, then CR LF
//   2024-05-01 10:00:00.140 < ｵｰｹｰ 完了                            received: the text, then CR LF
//   2024-05-01 10:00:00.150 >x 1B 0D 0A                            sent: exactly these bytes
// After ">" or "<" a space means a text line (CP932 decoded, no control bytes) that ended with
// CR LF, "-" a piece of such text without a line end, "x" hex bytes exactly as they crossed the
// line. A line is cut at its end (CR LF, LF, or CR followed by anything else), at a pause, at the
// other direction and after 512 bytes without an end, so the bytes of each direction are the
// concatenation of its lines in order.
//
// Daily mode writes folder/YYYY-MM-DD.log, moves to the new day's file after midnight and keeps
// the folder's journal files under a size limit by removing the oldest; a day that outgrows the
// limit goes on in YYYY-MM-DD.2.log, .3.log and so on. A journal that cannot write stays silent:
// after a failed open or write every call does nothing until the next successful open.

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace corvane {

class Journal {
public:
    using Clock = std::function<QDateTime()>;
    static constexpr qint64 kDefaultLimit = qint64(100) * 1024 * 1024;

    // `limit`: the most bytes the journal files of a daily folder may take. `clock` gives the
    // local time of each line (the current time when empty).
    explicit Journal(qint64 limit = kDefaultLimit, Clock clock = {});
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // The user's data folder for the journal: AppLocalDataLocation + "/journal".
    [[nodiscard]] static QString defaultFolder();

    // Daily files in `folder` (made when missing), appended to. False with errorString() set when
    // the folder or file cannot be opened.
    bool openDaily(const QString &folder);
    // One chosen file, appended to; no rotation and nothing removed.
    bool openFile(const QString &path);
    // Writes what is pending and closes the file.
    void close();
    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    [[nodiscard]] QString errorString() const { return m_error; }
    // The file being written (empty when closed).
    [[nodiscard]] QString fileName() const { return isOpen() ? m_file.fileName() : QString(); }

    void header(const QString &version, const QString &port, const QString &speed);
    // A tag written at the start of every line's content ("[tag] "), e.g. the port of one of
    // several units writing to the same file; none when empty.
    void setTag(const QString &tag) {
        m_tag = tag.isEmpty() ? QString() : QLatin1Char('[') + tag + QLatin1String("] ");
    }
    // A line of the window's log; several lines make several journal lines.
    void logLine(const QString &line);
    // Bytes on the line. They gather into a journal line until a line end (CR LF, LF, or CR
    // followed by anything else), a change of direction or flushPending(); a log line written
    // meanwhile goes before them.
    void sent(const QByteArray &bytes);
    void received(const QByteArray &bytes);
    void received(char byte);
    // Writes the bytes gathered so far: the owner calls it on a quiet gap of the line.
    void flushPending();

    // Journal file names of a daily folder in their order: YYYY-MM-DD.log, YYYY-MM-DD.2.log, ...
    struct FileEntry {
        QString name;
        qint64 size = 0;
    };
    // Which of `files` to remove, oldest first, so that the journal files left take at most
    // `limit` bytes. Names that are not journal file names are neither counted nor removed.
    [[nodiscard]] static QStringList filesToRemove(const QList<FileEntry> &files, qint64 limit);

private:
    QString m_tag;
    enum class Direction : char { Sent = '>', Received = '<' };

    void take(Direction direction, char byte);
    void writeEntry(const QDateTime &time, char mark, const QString &content);
    bool openPath(const QString &path);
    bool openDay(QDate day);
    void makeRoom(qint64 needed);
    void fail(const QString &error);
    [[nodiscard]] QString dayPath(QDate day, int index) const;

    QFile m_file;
    QString m_error;
    Clock m_clock;
    qint64 m_limit;

    bool m_daily = false;
    QString m_folder;
    QDate m_day;
    int m_index = 1;      // 1 for YYYY-MM-DD.log, n for YYYY-MM-DD.n.log
    qint64 m_size = 0;    // bytes in the current file
    qint64 m_others = 0;  // bytes in the folder's other journal files
    bool m_stuck = false; // a removal failed: no further tries until the file changes

    QByteArray m_pending;
    Direction m_pendingDirection = Direction::Sent;
    QDateTime m_pendingTime;
};

} // namespace corvane
