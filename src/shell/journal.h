#pragma once
// The journal: every log line and every byte on the line, one UTF-8 text line each. Lines reach
// the file at most kHoldMs after they were made, those of that time in one write (a fast dump
// makes thousands a second); a crash of the program writes them, and the bytes of a line not yet
// ended, before it ends (writeHeldOnCrash()). A line of bytes is made at its end or a pause.
//
// A journal line is the local time to the millisecond, a space, a mark and the content:
//   2024-05-01 10:00:00.123 * corvane 1.0.0 port EMU speed 9600   session header
//   2024-05-01 10:00:00.130 # ...                                  a line of the window's log
//   2024-05-01 10:00:00.131 > RE                                   sent: the text, then CR LF
//   2024-05-01 10:00:00.140 < ｵｰｹｰ 完了                            received: the text, then CR LF
//   2024-05-01 10:00:00.150 >x 1B 0D 0A                            sent: exactly these bytes
//   2024-05-01 10:00:01.150 <! 92160 bytes received and discarded, not recorded
//   2024-05-01 10:00:09.000 ! 12 lines lost: the journal could not write them
// After ">" or "<" a space means a text line (CP932 decoded, no control bytes) that ended with
// CR LF, "-" a piece of such text without a line end, "x" hex bytes exactly as they crossed the
// line. A line is cut at its end (CR LF, LF, or CR followed by anything else), at a pause (no
// byte for 5 to 10 ms: bytes without a line end are in the file within 10 ms of the last one),
// a second after its first byte, at the other direction and after 512 bytes without an end, so
// the bytes of each direction are the concatenation of its lines in order. Lines are in the order
// of their times: a log line made while a line of bytes is gathered goes after it.
//
// "<!" counts received bytes the program dropped unread beyond kDiscardBudget (see discarded()):
// those bytes are in no "<" line. "!" says how many lines were lost while the file could not be
// written; it is the first line written again.
//
// Daily mode writes folder/YYYY-MM-DD.log, moves to the new day's file after midnight and keeps
// the folder's journal files under a size limit by removing the oldest; a day that outgrows the
// limit goes on in YYYY-MM-DD.2.log, .3.log and so on. The folder is private to the user (0700),
// its journal files too (0600); a chosen file is made 0600 when the journal creates it.
//
// A journal that stops writing (a write fails, its file was removed, a new day's file cannot be
// opened) tells the notice "！ ジャーナルを書けません。（PATH: REASON）" once, counts the lines it
// loses and tries its file again at the next line at least a second after the last try (making no
// folder); once a line is written again the notice gets "ジャーナルの記録を再開しました。（PATH）".
// A file found to end inside a line (a write cut short) gets a line end before the next line.

#include "ports/journalingport.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <atomic>
#include <functional>
#include <limits>
#include <memory>

namespace corvane {

class Journal : public PortTap {
public:
    using Clock = std::function<QDateTime()>;
    static constexpr qint64 kDefaultLimit = qint64(100) * 1024 * 1024;

    // `limit`: the most bytes the journal files of a daily folder may take. `clock` gives the
    // local time of each line (the current time when empty).
    explicit Journal(qint64 limit = kDefaultLimit, Clock clock = {});
    ~Journal() override;
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // The user's data folder for the journal: AppLocalDataLocation + "/journal".
    [[nodiscard]] static QString defaultFolder();

    // Daily files in `folder` (made when missing), appended to. False with errorString() set when
    // the folder or file cannot be opened: the journal then stays closed and writes nothing.
    bool openDaily(const QString &folder);
    // One chosen file, appended to; no rotation and nothing removed.
    bool openFile(const QString &path);
    // The chosen file when `path` is not empty, else the daily files in defaultFolder().
    bool openChosenOrDaily(const QString &path) {
        return path.isEmpty() ? openDaily(defaultFolder()) : openFile(path);
    }
    // The operator's line for a journal that cannot write: "！ ジャーナルを書けません。（ERROR）".
    [[nodiscard]] static QString cannotWriteText(const QString &error);
    // Writes what is pending (a last count of discarded bytes too) and closes the file.
    void close();
    [[nodiscard]] bool isOpen() const { return m_file.isOpen(); }
    [[nodiscard]] QString errorString() const { return m_error; }
    // The file being written (empty when closed).
    [[nodiscard]] QString fileName() const { return isOpen() ? m_file.fileName() : QString(); }

    void header(const QString &version, const QString &port, const QString &speed);
    // A tag written at the start of every line's content ("[tag] "), e.g. the port of one of
    // several units writing to the same file; none when empty.
    void setTag(const QString &tag) {
        m_tag = tag.isEmpty() ? QByteArray() : '[' + tag.toUtf8() + "] ";
    }
    // A line of the window's log; several lines make several journal lines.
    void logLine(const QString &line);
    // Bytes on the line, always recorded exactly. They gather into a journal line until a line
    // end (CR LF, LF, or CR followed by anything else), a change of direction, a pause or flush().
    void sent(const QByteArray &bytes) override;
    void received(const QByteArray &bytes) override;
    void received(char byte);
    // Received bytes the program drops unread (the input purge, the idle discard, the maintenance
    // buttons). The first kDiscardBudget of them are recorded exactly; beyond that they are only
    // counted, in a "<!" line at most once a second and a last one when exact recording resumes
    // (or other bytes come, or the journal is flushed). The budget renews at beginPurge() and
    // once discarded input has been quiet for a second.
    void discarded(const QByteArray &bytes) override;
    static constexpr qsizetype kDiscardBudget = 4096;
    // A purge begins: its bytes are recorded exactly again, up to the budget.
    void beginPurge();
    // `notice` gets one line for the operator when the journal stops writing (it cannot open or
    // write its file) and one when it writes again, at the end of the call that found it (never
    // from the destructor).
    void setNotice(std::function<void(const QString &)> notice) { m_notice = std::move(notice); }
    // Writes out the bytes gathered so far, as a line, a count of discarded bytes not yet written
    // and every line held back.
    void flush();

    // Makes a crash of the program (a fault or an abort) write the lines held back and the bytes
    // being gathered before the program ends. Called once, early in main().
    static void writeHeldOnCrash();

    // Journal file names of a daily folder in their order: YYYY-MM-DD.log, YYYY-MM-DD.2.log, ...
    struct FileEntry {
        QString name;
        qint64 size = 0;
    };
    // Which of `files` to remove, oldest first, so that the journal files left take at most
    // `limit` bytes. Names that are not journal file names are neither counted nor removed.
    [[nodiscard]] static QStringList filesToRemove(const QList<FileEntry> &files, qint64 limit);

private:
    QByteArray m_tag;
    std::function<void(const QString &)> m_notice;
    enum class Direction : char { Sent = '>', Received = '<' };

    // The start of a journal line: its time's text with a space after it, its day and its time.
    struct Stamp {
        std::array<char, 40> text{};
        qsizetype size = 0;
        QDate day;
        qint64 ms = 0;
    };
    void makeStamp(const QDateTime &time, Stamp &stamp);

    void take(Direction direction, char byte);
    void startPending(Direction direction);
    void onPause();
    void flushPending();
    void hold(const QByteArray &line);
    void writeHeld(bool whole = false);
    bool writeBytes(const char *data, qsizetype size);
    bool fileRemoved();
    void closeFile();
    static void onCrash(int signalNumber);
    static void writeOnCrash(const Journal &journal);
    // One journal line: time, tag, mark, kind (" ", "-" or "x ") and content.
    void writeEntry(const QDateTime &time, char mark, QByteArrayView kind, QByteArrayView content);
    void writeEntry(const Stamp &stamp, char mark, QByteArrayView kind, QByteArrayView content);
    void formatLine(const Stamp &stamp, char mark, QByteArrayView kind, QByteArrayView content);
    bool openPath(const QString &path);
    bool openDay(QDate day);
    void makeRoom(qint64 needed);
    void fail(const QString &error);
    bool resume(const Stamp &stamp);
    void writeCount(const QDateTime &time);
    void deliverNotices();
    [[nodiscard]] bool recording() const { return m_file.isOpen() || m_stopped; }
    [[nodiscard]] QString dayPath(QDate day, int index) const;

    QFile m_file;
    int m_fd = -1; // m_file's descriptor, for a crash
    QString m_error;
    Clock m_clock;
    qint64 m_limit;

    bool m_daily = false;
    QString m_folder;
    QString m_chosen; // the chosen file (not daily)
    QDate m_day;
    int m_index = 1;      // 1 for YYYY-MM-DD.log, n for YYYY-MM-DD.n.log
    qint64 m_size = 0;    // bytes in the current file
    qint64 m_others = 0;  // bytes in the folder's other journal files
    bool m_stuck = false; // a removal failed: no further tries until the file changes

    // Stopped: the file could not be written; lines are counted until a try writes again.
    bool m_opened = false; // an open succeeded since openDaily()/openFile()
    bool m_stopped = false;
    qint64 m_lost = 0;
    qint64 m_lastTryMs = 0;
    qint64 m_lastLineMs = 0;
    qint64 m_lastCheckMs = 0; // the last look whether the file was removed
    QStringList m_notices;    // told at the end of the call that made them
    bool m_noticing = false;

    // Discarded input: exact bytes left in the budget, bytes left out and not yet counted.
    qsizetype m_discardBudget = kDiscardBudget;
    qint64 m_leftOut = 0;
    qint64 m_lastDiscardMs = kLongAgo;
    qint64 m_lastCountMs = kLongAgo;
    static constexpr qint64 kLongAgo = std::numeric_limits<qint64>::min() / 2;

    qint64 m_stampSecond = 0;
    QByteArray m_stamp; // the text of m_stampSecond's time up to its second, with the dot
    QDate m_stampDay;   // and its day
    QByteArray m_line;  // the line being written (kept for its capacity)

    static constexpr int kHoldMs = 10;
    static constexpr qsizetype kHoldBytes = 64 * 1024;
    std::unique_ptr<char[]> m_held; // kHoldBytes: never moves, a crash may write it
    qsizetype m_heldSize = 0;
    // Where the line being gathered goes among the held lines when log lines were held after it
    // began (-1: at their end).
    qsizetype m_slot = -1;
    QTimer m_holdTimer;
    static std::atomic<Journal *> s_holding; // the one journal holding lines back

    // A longer run of bytes without a line end (a binary block) is cut into lines of this size.
    static constexpr qsizetype kMaxPending = 512;
    std::array<char, kMaxPending> m_pending{};
    qsizetype m_pendingSize = 0;
    Direction m_pendingDirection = Direction::Sent;
    Stamp m_pendingStamp;
    qint64 m_pendingSince = 0; // on a steady clock, in ms
    // A pause: no byte between two looks kPauseMs apart, so the last bytes of a line without an
    // end reach the file within 2 * kPauseMs.
    static constexpr int kPauseMs = 5;
    static constexpr qint64 kMaxGatherMs = 1000;
    quint64 m_pendingLine = 0; // counts the lines gathered
    quint64 m_lookedLine = 0;  // the line and its size at the last look
    qsizetype m_lookedSize = 0;
};

} // namespace corvane
