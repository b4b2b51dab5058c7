#include "app/journal.h"

#include "protocol/cp932.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <optional>
#include <tuple>
#include <utility>

namespace corvane {

namespace {

// A longer run of bytes without a line end (a binary block) is cut into hex lines of this size.
constexpr qsizetype kMaxPending = 512;

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

// The text of a line that ended with CR LF and holds CP932 text alone, byte for byte.
// The text of `body` when it is one: CP932 without control characters (its bytes again when
// encoded).
std::optional<QString> textOf(const QByteArray &body) {
    bool ascii = true;
    for (const char c : body) {
        const auto byte = uchar(c);
        if (byte < 0x20 || byte == 0x7F)
            return std::nullopt;
        ascii = ascii && byte < 0x80;
    }
    if (ascii)
        return QString::fromLatin1(body);
    QString text = fromCp932(body);
    if (encodeCp932(text) != body)
        return std::nullopt;
    if (std::any_of(text.begin(), text.end(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::nullopt;
    return text;
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

Journal::Journal(qint64 limit, Clock clock)
    : m_clock(clock ? std::move(clock) : Clock(localWallClock))
    , m_limit(limit) {}

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
    flushPending();
    m_file.close();
    m_daily = false;
}

void Journal::header(const QString &version, const QString &port, const QString &speed) {
    if (!isOpen())
        return;
    flushPending();
    writeEntry(m_clock(), '*',
               QStringLiteral(" corvane %1 port %2 speed %3").arg(version, port, speed));
}

void Journal::logLine(const QString &line) {
    if (!isOpen())
        return;
    // Bytes being gathered stay gathered: a line of the log often comes between a received
    // line's CR and its LF.
    const QDateTime time = m_clock();
    const QStringList parts = line.split(QLatin1Char('\n'));
    for (QString part : parts) {
        if (part.endsWith(QLatin1Char('\r')))
            part.chop(1);
        writeEntry(time, '#', QLatin1Char(' ') + part);
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

void Journal::take(Direction direction, char byte) {
    if (!isOpen())
        return;
    if (!m_pending.isEmpty() &&
        (direction != m_pendingDirection || (m_pending.back() == '\r' && byte != '\n')))
        flushPending();
    if (m_pending.isEmpty()) {
        m_pendingDirection = direction;
        m_pendingTime = m_clock();
    }
    m_pending.append(byte);
    if (byte == '\n' || m_pending.size() >= kMaxPending)
        flushPending();
}

void Journal::flushPending() {
    if (m_pending.isEmpty())
        return;
    // A text line with its CR LF, a piece of text without a line end, or hex.
    const bool ended = m_pending.endsWith("\r\n");
    const std::optional<QString> text =
        m_pending.isEmpty() ? std::nullopt : textOf(ended ? m_pending.chopped(2) : m_pending);
    const QString content =
        text ? QLatin1Char(ended ? ' ' : '-') + *text
             : QStringLiteral("x ") + QString::fromLatin1(m_pending.toHex(' ').toUpper());
    m_pending.resize(0);
    writeEntry(m_pendingTime, char(m_pendingDirection), content);
}

void Journal::writeEntry(const QDateTime &time, char mark, const QString &content) {
    if (!isOpen())
        return;
    const QByteArray line =
        (time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")) + QLatin1Char(' ') + m_tag +
         QLatin1Char(mark) + content + QLatin1Char('\n'))
            .toUtf8();
    if (m_daily) {
        if (time.date() != m_day && !openDay(time.date()))
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
    if (m_file.write(line) != line.size()) {
        fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(m_file.fileName()),
                                          m_file.errorString()));
        return;
    }
    m_size += line.size();
}

bool Journal::openPath(const QString &path) {
    m_file.close();
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
    return true;
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
    m_file.close();
    m_pending.clear();
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
