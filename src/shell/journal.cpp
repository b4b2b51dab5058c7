#include "shell/journal.h"

#include "text/cp932.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <optional>
#include <tuple>
#include <utility>

namespace corvane {

namespace {

// The place of a journal file name in the folder's order: its day, then 1 for YYYY-MM-DD.log and
// n for YYYY-MM-DD.n.log.
struct Place {
    QString day;
    int index = 1;
    bool operator<(const Place &other) const {
        return std::tie(day, index) < std::tie(other.day, other.index);
    }
};

std::optional<Place> placeOf(const QString &name) {
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{4}-[0-9]{2}-[0-9]{2})(?:\\.([0-9]{1,9}))?\\.log$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return std::nullopt;
    return Place{match.captured(1), match.hasCaptured(2) ? match.captured(2).toInt() : 1};
}

// `body` as UTF-8 when it is text: CP932 without control characters (its bytes again when
// encoded).
std::optional<QByteArray> textOf(const QByteArray &body) {
    bool ascii = true;
    for (const char c : body) {
        const auto byte = uchar(c);
        if (byte < 0x20 || byte == 0x7F)
            return std::nullopt;
        ascii = ascii && byte < 0x80;
    }
    if (ascii)
        return body;
    QString text = fromCp932(body);
    if (encodeCp932(text) != body)
        return std::nullopt;
    if (std::any_of(text.begin(), text.end(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::nullopt;
    return text.toUtf8();
}

// The local time as a wall clock (a UTC time that reads as the local one). The local time zone's
// offset is looked up once a minute: each lookup reads the zone from the system, far too dear for
// every line of a fast dump.
QDateTime localWallClock() {
    static qint64 offsetUntil = 0;
    static qint64 offsetMs = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now >= offsetUntil) {
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc()) * 1000;
        offsetUntil = now - now % 60000 + 60000;
    }
    return QDateTime::fromMSecsSinceEpoch(now + offsetMs, Qt::UTC);
}

} // namespace

std::atomic<Journal *> Journal::s_holding = nullptr;

namespace {

// Every journal, for a crash: a fixed table, as a signal handler may not allocate.
std::array<std::atomic<const Journal *>, 64> g_journals{};

// The least time between two tries of a stopped journal, two looks whether its file was removed
// and two counts of discarded bytes; and the quiet that renews the budget of discarded bytes.
constexpr qint64 kSecondMs = 1000;

constexpr QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// True when the regular file `path` of `size` bytes does not end with a line end.
bool endsInsideLine(const QString &path, qint64 size) {
    QFile file(path);
    char last = '\n';
    return file.open(QIODevice::ReadOnly) && file.seek(size - 1) && file.getChar(&last) &&
           last != '\n';
}

} // namespace

#ifdef Q_OS_UNIX
namespace {

constexpr std::array kCrashSignals{SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
std::array<struct sigaction, kCrashSignals.size()> g_crashActions{};

void writeAll(int fd, const char *data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, std::size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        size -= written;
    }
}

} // namespace

// The held lines before the slot, the bytes being gathered as a line (text when printable ASCII,
// hex otherwise) and the held lines after the slot: only write() on what was made beforehand.
void Journal::writeOnCrash(const Journal &journal) {
    const int fd = journal.m_fd;
    if (fd < 0)
        return;
    const char *held = journal.m_held.get();
    const qsizetype slot =
        journal.m_slot >= 0 ? std::min(journal.m_slot, journal.m_heldSize) : journal.m_heldSize;
    writeAll(fd, held, slot);
    if (const qsizetype size = journal.m_pendingSize; size > 0) {
        const auto *bytes = reinterpret_cast<const uchar *>(journal.m_pending.data());
        const bool text = std::all_of(bytes, bytes + size,
                                      [](uchar byte) { return byte >= 0x20 && byte < 0x7F; });
        std::array<char, 3 * kMaxPending + 4> content;
        qsizetype n = 0;
        content[n++] = char(journal.m_pendingDirection);
        content[n++] = text ? '-' : 'x';
        for (qsizetype i = 0; i < size; ++i) {
            if (text) {
                content[n++] = char(bytes[i]);
                continue;
            }
            content[n++] = ' ';
            content[n++] = "0123456789ABCDEF"[bytes[i] >> 4];
            content[n++] = "0123456789ABCDEF"[bytes[i] & 15];
        }
        content[n++] = '\n';
        writeAll(fd, journal.m_pendingStamp.text.data(), journal.m_pendingStamp.size);
        writeAll(fd, journal.m_tag.constData(), journal.m_tag.size());
        writeAll(fd, content.data(), n);
    }
    writeAll(fd, held + slot, journal.m_heldSize - slot);
}

// Only what a signal handler may do: the journals' lines written, the signal's former action
// restored and the signal raised again for it.
void Journal::onCrash(int signalNumber) {
    const int savedErrno = errno;
    // The one journal holding lines holds the oldest: first.
    const Journal *holding = s_holding.exchange(nullptr);
    if (holding)
        writeOnCrash(*holding);
    for (std::atomic<const Journal *> &entry : g_journals) {
        const Journal *journal = entry.exchange(nullptr);
        if (journal && journal != holding)
            writeOnCrash(*journal);
    }
    for (std::size_t i = 0; i < kCrashSignals.size(); ++i) {
        if (kCrashSignals[i] == signalNumber)
            ::sigaction(signalNumber, &g_crashActions[i], nullptr);
    }
    ::raise(signalNumber);
    errno = savedErrno;
}
#endif

void Journal::writeHeldOnCrash() {
#ifdef Q_OS_UNIX
    struct sigaction action = {};
    action.sa_handler = onCrash;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kCrashSignals.size(); ++i)
        ::sigaction(kCrashSignals[i], &action, &g_crashActions[i]);
#endif
}

Journal::Journal(qint64 limit, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(localWallClock))
    , m_limit(limit)
    , m_held(new char[kHoldBytes]) {
    m_holdTimer.setSingleShot(true);
    QObject::connect(&m_holdTimer, &QTimer::timeout, &m_holdTimer, [this] { onPause(); });
    for (std::atomic<const Journal *> &entry : g_journals) {
        const Journal *empty = nullptr;
        if (entry.compare_exchange_strong(empty, this))
            break;
    }
}

Journal::~Journal() {
    m_notice = nullptr; // whoever listens may be gone already
    close();
    for (std::atomic<const Journal *> &entry : g_journals) {
        const Journal *self = this;
        entry.compare_exchange_strong(self, nullptr);
    }
}

QString Journal::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/journal");
}

bool Journal::openDaily(const QString &folder) {
    close();
    m_error.clear();
    if (!QDir().mkpath(folder)) {
        fail(QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    m_folder = QDir(folder).absolutePath();
    // Private to the user: the journal holds every byte of the firmware that crossed the line.
    QFile::setPermissions(m_folder, kPrivateFile | QFileDevice::ExeOwner);
    m_daily = true;
    m_opened = openDay(m_clock().date());
    return m_opened;
}

bool Journal::openFile(const QString &path) {
    close();
    m_error.clear();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        fail(QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    m_chosen = path;
    m_opened = openPath(path);
    return m_opened;
}

void Journal::close() {
    flush();
    closeFile();
    m_daily = false;
    m_opened = false;
    m_stopped = false;
    m_lost = 0;
    m_discardBudget = kDiscardBudget;
    m_lastDiscardMs = m_lastCountMs = kLongAgo;
    deliverNotices();
}

void Journal::flush() {
    if (m_leftOut > 0)
        writeCount(m_clock());
    flushPending();
    writeHeld(true);
    deliverNotices();
}

void Journal::header(const QString &version, const QString &port, const QString &speed) {
    if (!recording())
        return;
    flushPending();
    writeEntry(m_clock(), '*', " ",
               QStringLiteral("corvane %1 port %2 speed %3").arg(version, port, speed).toUtf8());
    deliverNotices();
}

void Journal::logLine(const QString &line) {
    if (!recording())
        return;
    // Bytes being gathered stay gathered (a line of the log often comes between a received
    // line's CR and its LF) and go before the log line, being older.
    if (m_pendingSize > 0 && m_slot < 0)
        m_slot = m_heldSize;
    const QDateTime time = m_clock();
    for (qsizetype from = 0;;) {
        const qsizetype end = line.indexOf(QLatin1Char('\n'), from);
        QStringView part = QStringView(line).sliced(from, (end < 0 ? line.size() : end) - from);
        if (part.endsWith(QLatin1Char('\r')))
            part.chop(1);
        writeEntry(time, '#', " ", part.toUtf8());
        if (end < 0)
            break;
        from = end + 1;
    }
    deliverNotices();
}

void Journal::sent(const QByteArray &bytes) {
    for (const char byte : bytes)
        take(Direction::Sent, byte);
}

void Journal::received(const QByteArray &bytes) {
    for (const char byte : bytes)
        take(Direction::Received, byte);
}

void Journal::received(char byte) {
    take(Direction::Received, byte);
}

void Journal::discarded(const QByteArray &bytes) {
    if (!recording() || bytes.isEmpty())
        return;
    const QDateTime now = m_clock();
    const qint64 ms = now.toMSecsSinceEpoch();
    if (ms - m_lastDiscardMs >= kSecondMs) {
        if (m_leftOut > 0)
            writeCount(now);
        m_discardBudget = kDiscardBudget;
    }
    m_lastDiscardMs = ms;
    const qsizetype exact = std::min(bytes.size(), m_discardBudget);
    m_discardBudget -= exact;
    for (const char byte : QByteArrayView(bytes).first(exact))
        take(Direction::Received, byte);
    m_leftOut += bytes.size() - exact;
    if (m_leftOut > 0 && ms - m_lastCountMs >= kSecondMs)
        writeCount(now);
    deliverNotices();
}

void Journal::beginPurge() {
    if (m_leftOut > 0)
        writeCount(m_clock());
    m_discardBudget = kDiscardBudget;
    deliverNotices();
}

// The line counting the discarded bytes left out since the last one.
void Journal::writeCount(const QDateTime &time) {
    flushPending();
    const qint64 bytes = std::exchange(m_leftOut, 0);
    m_lastCountMs = time.toMSecsSinceEpoch();
    writeEntry(time, '<', "! ",
               QByteArray::number(bytes) + " bytes received and discarded, not recorded");
}

void Journal::take(Direction direction, char byte) {
    // Most bytes go on a line being gathered in the same direction.
    if (m_pendingSize > 0 && m_pendingSize < kMaxPending - 1 && direction == m_pendingDirection &&
        byte != '\n' && m_pending[m_pendingSize - 1] != '\r') {
        m_pending[m_pendingSize++] = byte;
        return;
    }
    if (!recording())
        return;
    if (m_pendingSize > 0 &&
        (direction != m_pendingDirection || (m_pending[m_pendingSize - 1] == '\r' && byte != '\n')))
        flushPending();
    if (m_pendingSize == 0)
        startPending(direction);
    m_pending[m_pendingSize++] = byte;
    if (byte == '\n' || m_pendingSize == kMaxPending)
        flushPending();
    if (!m_notices.isEmpty())
        deliverNotices();
}

// A new line of bytes: the discarded bytes not yet counted before it, its time ready for a
// crash, and the pause that cuts it when no line end comes.
void Journal::startPending(Direction direction) {
    const QDateTime now = m_clock();
    if (m_leftOut > 0)
        writeCount(now);
    m_pendingDirection = direction;
    makeStamp(now, m_pendingStamp);
    m_pendingSince = steadyMs();
    ++m_pendingLine;
    if (!m_holdTimer.isActive())
        m_holdTimer.start(kPauseMs);
}

// Every kPauseMs while bytes are gathered, else kHoldMs after the first held line: the gathered
// bytes as a line when none came since the last look (a pause) or they began kMaxGatherMs ago,
// and the held lines before them written. The fast path of take() stays free of clocks.
void Journal::onPause() {
    if (m_pendingSize > 0 && ((m_pendingLine == m_lookedLine && m_pendingSize == m_lookedSize) ||
                              steadyMs() - m_pendingSince >= kMaxGatherMs))
        flushPending();
    m_lookedLine = m_pendingLine;
    m_lookedSize = m_pendingSize;
    writeHeld(false);
    if (m_pendingSize > 0)
        m_holdTimer.start(kPauseMs);
    deliverNotices();
}

void Journal::flushPending() {
    if (m_pendingSize == 0)
        return;
    // A text line with its CR LF, a piece of text without a line end, or hex.
    const QByteArray bytes = QByteArray::fromRawData(m_pending.data(), m_pendingSize);
    m_pendingSize = 0;
    const bool ended = bytes.endsWith("\r\n");
    const char mark = char(m_pendingDirection);
    if (const std::optional<QByteArray> text = textOf(ended ? bytes.chopped(2) : bytes))
        writeEntry(m_pendingStamp, mark, ended ? " " : "-", *text);
    else
        writeEntry(m_pendingStamp, mark, "x ", bytes.toHex(' ').toUpper());
    m_slot = -1;
}

void Journal::makeStamp(const QDateTime &time, Stamp &stamp) {
    // The time's text up to its second changes once a second: made anew only then.
    const qint64 ms = time.toMSecsSinceEpoch();
    const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (second != m_stampSecond || m_stamp.isEmpty()) {
        m_stampSecond = second;
        m_stamp = time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.")).toUtf8();
        m_stampDay = time.date();
    }
    const int milli = int(ms - second * 1000);
    const qsizetype size = std::min(m_stamp.size(), qsizetype(stamp.text.size()) - 4);
    char *text = std::copy_n(m_stamp.constData(), size, stamp.text.data());
    text[0] = char('0' + milli / 100);
    text[1] = char('0' + milli / 10 % 10);
    text[2] = char('0' + milli % 10);
    text[3] = ' ';
    stamp.size = size + 4;
    stamp.day = m_stampDay;
    stamp.ms = ms;
}

void Journal::formatLine(const Stamp &stamp, char mark, QByteArrayView kind,
                         QByteArrayView content) {
    m_line.resize(0);
    m_line.append(stamp.text.data(), stamp.size)
        .append(m_tag)
        .append(mark)
        .append(kind)
        .append(content)
        .append('\n');
}

void Journal::writeEntry(const QDateTime &time, char mark, QByteArrayView kind,
                         QByteArrayView content) {
    if (!recording())
        return;
    Stamp stamp;
    makeStamp(time, stamp);
    writeEntry(stamp, mark, kind, content);
}

void Journal::writeEntry(const Stamp &stamp, char mark, QByteArrayView kind,
                         QByteArrayView content) {
    if (!recording())
        return;
    m_lastLineMs = stamp.ms;
    if (m_stopped && !resume(stamp)) {
        ++m_lost;
        return;
    }
    formatLine(stamp, mark, kind, content);
    const QByteArray &line = m_line;
    if (m_daily) {
        if (stamp.day != m_day && !openDay(stamp.day)) {
            ++m_lost;
            return;
        }
        if (m_size > 0 && m_size + line.size() > m_limit) {
            m_others += m_size;
            m_stuck = false;
            if (!openPath(dayPath(m_day, ++m_index))) {
                ++m_lost;
                return;
            }
        }
        if (m_others > 0 && !m_stuck && m_others + m_size + line.size() > m_limit)
            makeRoom(m_size + line.size());
    }
    hold(line);
    m_size += line.size();
}

// A stopped journal tries its file again, at most once a second: opened anew, the count of the
// lines lost is its first line, and only once that is written does the journal go on.
bool Journal::resume(const Stamp &stamp) {
    if (stamp.ms - m_lastTryMs < kSecondMs)
        return false;
    m_lastTryMs = stamp.ms;
    if (!(m_daily ? openDay(stamp.day) : openPath(m_chosen)))
        return false;
    formatLine(stamp, '!', " ",
               QByteArray::number(m_lost) + " lines lost: the journal could not write them");
    const qint64 lost = m_lost;
    if (!writeBytes(m_line.constData(), m_line.size())) {
        m_lost = lost;
        return false;
    }
    m_size += m_line.size();
    m_stopped = false;
    m_lost = 0;
    m_notices.append(QStringLiteral("ジャーナルの記録を再開しました。（%1）")
                         .arg(QDir::toNativeSeparators(m_file.fileName())));
    return true;
}

void Journal::hold(const QByteArray &line) {
    // Lines of two journals (several units) reach their files in the order they were made.
    if (Journal *other = s_holding; other && other != this)
        other->writeHeld(true);
    // The gathered line goes before the log lines held since it began.
    const bool atSlot = m_slot >= 0 && m_pendingSize == 0;
    if (m_heldSize + line.size() > kHoldBytes)
        writeHeld(!atSlot);
    if (!isOpen()) {
        ++m_lost;
        return;
    }
    if (m_heldSize + line.size() > kHoldBytes) {
        writeBytes(line.constData(), line.size());
        return;
    }
    char *const held = m_held.get();
    const qsizetype at = atSlot ? m_slot : m_heldSize;
    std::copy_backward(held + at, held + m_heldSize, held + m_heldSize + line.size());
    std::copy(line.cbegin(), line.cend(), held + at);
    m_heldSize += line.size();
    s_holding = this;
    if (!m_holdTimer.isActive())
        m_holdTimer.start(kHoldMs);
}

// The held lines, or (`whole` false) those before the slot; those after it stay held.
void Journal::writeHeld(bool whole) {
    const qsizetype size = std::exchange(m_heldSize, 0);
    const qsizetype upTo = whole || m_slot < 0 ? size : m_slot;
    m_slot = -1;
    if (upTo > 0 && isOpen() && !writeBytes(m_held.get(), upTo)) {
        m_lost += std::count(m_held.get() + upTo, m_held.get() + size, '\n');
        return;
    }
    if (upTo < size) {
        std::copy(m_held.get() + upTo, m_held.get() + size, m_held.get());
        m_heldSize = size - upTo;
        m_slot = 0;
    } else if (s_holding == this) {
        s_holding = nullptr;
    }
    if (m_pendingSize == 0)
        m_holdTimer.stop();
}

// A failure stops the journal; the lines not written are counted as lost.
bool Journal::writeBytes(const char *data, qsizetype size) {
    qsizetype done = 0;
    QString reason;
    if (fileRemoved()) {
        reason = QStringLiteral("the file was removed");
    } else {
        while (done < size) {
            const qint64 written = m_file.write(data + done, size - done);
            if (written <= 0)
                break;
            done += written;
        }
        if (done == size)
            return true;
        reason = m_file.errorString();
    }
    m_lost += std::count(data + done, data + size, '\n');
    fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file.fileName()), reason));
    return false;
}

// Whether the file has no name left in its folder (removed, or its folder removed), looked at
// once a second of the lines' time: its lines would be lost.
bool Journal::fileRemoved() {
#ifdef Q_OS_UNIX
    if (m_lastLineMs - m_lastCheckMs < kSecondMs)
        return false;
    m_lastCheckMs = m_lastLineMs;
    struct stat status = {};
    return ::fstat(m_fd, &status) == 0 && status.st_nlink == 0;
#else
    return false;
#endif
}

bool Journal::openPath(const QString &path) {
    const bool wasOpen = isOpen();
    writeHeld(true); // into the file they were counted in
    if (wasOpen && !isOpen())
        return false;
    closeFile();
    m_file.setFileName(path);
    // A device or pipe (say /dev/stderr) is written as it is: appending would try to seek it.
    const QFileInfo info(path);
    const bool plain = !info.exists() || info.isFile();
    const QIODevice::OpenMode append = plain ? QIODevice::Append : QIODevice::NotOpen;
    if (!m_file.open(QIODevice::WriteOnly | append | QIODevice::Unbuffered, kPrivateFile)) {
        fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), m_file.errorString()));
        return false;
    }
    m_size = m_file.size();
    m_fd = m_file.handle();
    m_lastCheckMs = kLongAgo;
    if (m_daily)
        m_file.setPermissions(kPrivateFile);
    // A line cut short (a full disk, a crash) ends before the next one begins.
    if (plain && m_size > 0 && endsInsideLine(path, m_size)) {
        const qint64 lost = m_lost;
        if (!writeBytes("\n", 1)) {
            m_lost = lost;
            return false;
        }
        ++m_size;
    }
    return true;
}

void Journal::closeFile() {
    if (s_holding == this)
        s_holding = nullptr;
    m_lost += std::count(m_held.get(), m_held.get() + m_heldSize, '\n');
    m_heldSize = 0;
    m_slot = -1;
    m_holdTimer.stop();
    m_fd = -1;
    m_file.close();
}

// Goes on in the day's last file; one look at the folder for the sizes of the others.
bool Journal::openDay(QDate day) {
    const QFileInfoList entries = QDir(m_folder).entryInfoList(QDir::Files);
    const QString dayText = day.toString(QStringLiteral("yyyy-MM-dd"));
    int index = 1;
    for (const QFileInfo &entry : entries) {
        const std::optional<Place> place = placeOf(entry.fileName());
        if (place && place->day == dayText)
            index = std::max(index, place->index);
    }
    const QString path = dayPath(day, index);
    m_others = 0;
    for (const QFileInfo &entry : entries) {
        if (placeOf(entry.fileName()) && entry.absoluteFilePath() != path)
            m_others += entry.size();
    }
    m_day = day;
    m_index = index;
    m_stuck = false;
    return openPath(path);
}

// Removes the oldest other journal files until `needed` more bytes in the current file fit.
void Journal::makeRoom(qint64 needed) {
    QDir dir(m_folder);
    const QString current = QFileInfo(m_file.fileName()).fileName();
    QList<FileEntry> others;
    QHash<QString, qint64> sizes;
    m_others = 0;
    for (const QFileInfo &entry : dir.entryInfoList(QDir::Files)) {
        if (entry.fileName() == current || !placeOf(entry.fileName()))
            continue;
        others.append({entry.fileName(), entry.size()});
        sizes.insert(entry.fileName(), entry.size());
        m_others += entry.size();
    }
    for (const QString &name : filesToRemove(others, m_limit - needed)) {
        if (dir.remove(name))
            m_others -= sizes.value(name);
        else
            m_stuck = true;
    }
}

// Before any open succeeded the journal just stays closed; after, it stops and says so once.
void Journal::fail(const QString &error) {
    m_error = error;
    closeFile();
    if (!m_opened) {
        m_pendingSize = 0;
        m_daily = false;
        return;
    }
    if (m_stopped)
        return;
    m_stopped = true;
    m_lastTryMs = m_lastLineMs;
    m_notices.append(cannotWriteText(error));
}

QString Journal::cannotWriteText(const QString &error) {
    return QStringLiteral("！ ジャーナルを書けません。（%1）").arg(error);
}

// The notices are told where the journal is whole again (the end of a public call): a notice
// that writes a log line into this journal finds it ready.
void Journal::deliverNotices() {
    if (m_noticing)
        return;
    m_noticing = true;
    while (!m_notices.isEmpty()) {
        const QString notice = m_notices.takeFirst();
        if (m_notice)
            m_notice(notice);
    }
    m_noticing = false;
}

QString Journal::dayPath(QDate day, int index) const {
    const QString number = index > 1 ? QLatin1Char('.') + QString::number(index) : QString();
    return m_folder + QLatin1Char('/') + day.toString(QStringLiteral("yyyy-MM-dd")) + number +
           QStringLiteral(".log");
}

QStringList Journal::filesToRemove(const QList<FileEntry> &files, qint64 limit) {
    QList<std::pair<Place, const FileEntry *>> journal;
    qint64 total = 0;
    for (const FileEntry &file : files) {
        if (const std::optional<Place> place = placeOf(file.name)) {
            journal.append({*place, &file});
            total += file.size;
        }
    }
    std::sort(journal.begin(), journal.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (const auto &[place, file] : journal) {
        if (total <= limit)
            break;
        names.append(file->name);
        total -= file->size;
    }
    return names;
}

} // namespace corvane
