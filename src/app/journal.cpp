#include "app/journal.h"

#include "protocol/cp932.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

#include <algorithm>
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

#ifdef Q_OS_UNIX
namespace {

constexpr std::array kCrashSignals{SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
std::array<struct sigaction, kCrashSignals.size()> g_crashActions{};

} // namespace

// Only what a signal handler may do: one write of the held lines, the signal's former action
// restored and the signal raised again for it.
void Journal::onCrash(int signalNumber) {
    const int savedErrno = errno;
    if (const Journal *holding = s_holding; holding && holding->m_fd >= 0) {
        s_holding = nullptr;
        for (qsizetype done = 0; done < holding->m_heldSize;) {
            const ssize_t written =
                ::write(holding->m_fd, holding->m_held.get() + done, holding->m_heldSize - done);
            if (written <= 0)
                break;
            done += written;
        }
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
    m_holdTimer.setInterval(kHoldMs);
    QObject::connect(&m_holdTimer, &QTimer::timeout, &m_holdTimer, [this] { writeHeld(); });
}

Journal::~Journal() {
    close();
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
    m_daily = true;
    return openDay(m_clock().date());
}

bool Journal::openFile(const QString &path) {
    close();
    m_error.clear();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        fail(QStringLiteral("cannot make the folder %1").arg(QDir::toNativeSeparators(folder)));
        return false;
    }
    return openPath(path);
}

void Journal::close() {
    flush();
    closeFile();
    m_daily = false;
}

void Journal::flush() {
    flushPending();
    writeHeld();
}

void Journal::header(const QString &version, const QString &port, const QString &speed) {
    if (!isOpen())
        return;
    flushPending();
    writeEntry(m_clock(), '*', " ",
               QStringLiteral("corvane %1 port %2 speed %3").arg(version, port, speed).toUtf8());
}

void Journal::logLine(const QString &line) {
    if (!isOpen())
        return;
    // Bytes being gathered stay gathered: a line of the log often comes between a received
    // line's CR and its LF.
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
    received(bytes);
}

void Journal::beginPurge() {}

void Journal::take(Direction direction, char byte) {
    // Most bytes go on a line being gathered in the same direction.
    if (m_pendingSize > 0 && m_pendingSize < kMaxPending - 1 && direction == m_pendingDirection &&
        byte != '\n' && m_pending[m_pendingSize - 1] != '\r') {
        m_pending[m_pendingSize++] = byte;
        return;
    }
    if (!isOpen())
        return;
    if (m_pendingSize > 0 &&
        (direction != m_pendingDirection || (m_pending[m_pendingSize - 1] == '\r' && byte != '\n')))
        flushPending();
    if (m_pendingSize == 0) {
        m_pendingDirection = direction;
        m_pendingTime = m_clock();
    }
    m_pending[m_pendingSize++] = byte;
    if (byte == '\n' || m_pendingSize == kMaxPending)
        flushPending();
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
        writeEntry(m_pendingTime, mark, ended ? " " : "-", *text);
    else
        writeEntry(m_pendingTime, mark, "x ", bytes.toHex(' ').toUpper());
}

void Journal::writeEntry(const QDateTime &time, char mark, QByteArrayView kind,
                         QByteArrayView content) {
    if (!isOpen())
        return;
    // The time's text up to its second changes once a second: made anew only then.
    const qint64 ms = time.toMSecsSinceEpoch();
    const qint64 second = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    if (second != m_stampSecond || m_stamp.isEmpty()) {
        m_stampSecond = second;
        m_stamp = time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.")).toUtf8();
        m_stampDay = time.date();
    }
    const int milli = int(ms - second * 1000);
    QByteArray &line = m_line;
    line.resize(0);
    line.append(m_stamp)
        .append(char('0' + milli / 100))
        .append(char('0' + milli / 10 % 10))
        .append(char('0' + milli % 10))
        .append(' ')
        .append(m_tag)
        .append(mark)
        .append(kind)
        .append(content)
        .append('\n');
    if (m_daily) {
        if (m_stampDay != m_day && !openDay(m_stampDay))
            return;
        if (m_size > 0 && m_size + line.size() > m_limit) {
            m_others += m_size;
            m_stuck = false;
            if (!openPath(dayPath(m_day, ++m_index)))
                return;
        }
        if (m_others > 0 && !m_stuck && m_others + m_size + line.size() > m_limit)
            makeRoom(m_size + line.size());
    }
    hold(line);
    m_size += line.size();
}

void Journal::hold(const QByteArray &line) {
    // Lines of two journals (several units) reach their files in the order they were made.
    if (Journal *other = s_holding; other && other != this)
        other->writeHeld();
    if (m_heldSize + line.size() > kHoldBytes)
        writeHeld();
    if (!isOpen())
        return;
    if (line.size() > kHoldBytes) {
        writeBytes(line.constData(), line.size());
        return;
    }
    std::copy(line.cbegin(), line.cend(), m_held.get() + m_heldSize);
    m_heldSize += line.size();
    s_holding = this;
    if (!m_holdTimer.isActive())
        m_holdTimer.start();
}

void Journal::writeHeld() {
    if (s_holding == this)
        s_holding = nullptr;
    m_holdTimer.stop();
    const qsizetype size = std::exchange(m_heldSize, 0);
    if (size > 0 && isOpen())
        writeBytes(m_held.get(), size);
}

void Journal::writeBytes(const char *data, qsizetype size) {
    if (m_file.write(data, size) != size)
        fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file.fileName()),
                                          m_file.errorString()));
}

bool Journal::openPath(const QString &path) {
    writeHeld(); // into the file they were counted in
    closeFile();
    m_file.setFileName(path);
    // A device or pipe (say /dev/stderr) is written as it is: appending would try to seek it.
    const QFileInfo info(path);
    const QIODevice::OpenMode append =
        info.exists() && !info.isFile() ? QIODevice::NotOpen : QIODevice::Append;
    if (!m_file.open(QIODevice::WriteOnly | append | QIODevice::Unbuffered)) {
        fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), m_file.errorString()));
        return false;
    }
    m_size = m_file.size();
    m_fd = m_file.handle();
    return true;
}

void Journal::closeFile() {
    if (s_holding == this)
        s_holding = nullptr;
    m_heldSize = 0;
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

void Journal::fail(const QString &error) {
    m_error = error;
    closeFile();
    m_pendingSize = 0;
    m_daily = false;
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
