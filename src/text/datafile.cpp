#include "text/datafile.h"

#include <QFile>

#include <algorithm>

namespace corvane {

namespace {

constexpr qsizetype kReadBlock = 64 * 1024;

} // namespace

QString joinDrivePath(const QString &drive, const QString &rest) {
    return drive.isEmpty() ? rest : drive + QLatin1Char(':') + rest;
}

QString taggedSavePath(const QString &path, const QString &tag) {
    const qsizetype scheme = tag.indexOf(QLatin1String("://"));
    QString clean = scheme < 0 ? tag : tag.mid(scheme + 3);
    static const QString kUnfit = QStringLiteral("/\\:*?\"<>|");
    for (QChar &c : clean) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || kUnfit.contains(c))
            c = u'-';
    }
    while (clean.startsWith(u'-'))
        clean.remove(0, 1);
    while (clean.endsWith(u'-'))
        clean.chop(1);
    const qsizetype nameStart = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1;
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot <= nameStart) // no extension (a leading dot starts a name, not an extension)
        return path + u'.' + clean;
    return path.left(dot) + u'.' + clean + path.mid(dot);
}

HeldFile::HeldFile(QPointer<QFile> &slot, QObject *owner, const QString &path)
    : m_slot(slot)
    , m_file(new QFile(path, owner)) {
    m_slot = m_file;
}

HeldFile::~HeldFile() {
    close();
    if (m_slot == m_file)
        m_slot.clear();
    delete m_file.data();
}

bool HeldFile::close() {
    if (!m_file || !m_file->isOpen())
        return true;
    bool ok = true;
    if (m_file->openMode() & QIODevice::WriteOnly)
        ok = m_file->flush() && m_file->error() == QFileDevice::NoError;
    m_file->close();
    return ok && m_file->error() == QFileDevice::NoError;
}

DataLineReader::DataLineReader(QIODevice *device, qsizetype maxLine)
    : m_device(device)
    , m_maxLine(maxLine) {}

DataLineReader::Result DataLineReader::next(QByteArray &line) {
    for (;;) {
        const char *const begin = m_buffer.constData();
        const char *const stop = std::find_if(begin + m_scan, begin + m_buffer.size(),
                                              [](char c) { return c == '\r' || c == '\n'; });
        const qsizetype end = stop - begin;
        if (end < m_buffer.size()) {
            const bool cr = *stop == '\r';
            // A CR at the end of the block may be the first half of CR LF.
            if (cr && end + 1 == m_buffer.size() && !m_atEnd) {
                fill();
                continue;
            }
            if (m_error)
                return Result::ReadError;
            if (end - m_pos > m_maxLine)
                return Result::TooLong;
            line = m_buffer.mid(m_pos, end - m_pos);
            m_pos = end + 1;
            if (cr && m_pos < m_buffer.size() && m_buffer.at(m_pos) == '\n')
                ++m_pos;
            m_scan = m_pos;
            return Result::Line;
        }
        m_scan = m_buffer.size();
        if (m_buffer.size() - m_pos > m_maxLine)
            return Result::TooLong;
        if (!m_atEnd && fill())
            continue;
        if (m_error)
            return Result::ReadError;
        if (m_pos < m_buffer.size()) {
            line = m_buffer.mid(m_pos);
            m_pos = m_scan = m_buffer.size();
            return Result::Line;
        }
        return Result::End;
    }
}

bool DataLineReader::fill() {
    m_buffer.remove(0, m_pos);
    m_scan -= m_pos;
    m_pos = 0;
    const qsizetype had = m_buffer.size();
    m_buffer.resize(had + kReadBlock);
    const qint64 got = m_device->read(m_buffer.data() + had, kReadBlock);
    m_buffer.resize(had + std::max<qint64>(got, 0));
    if (got < 0)
        m_error = true;
    if (got <= 0)
        m_atEnd = true;
    return got > 0;
}

bool HexLogLine::add(quint8 byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    m_text.append(QLatin1Char(kDigits[byte >> 4]));
    m_text.append(QLatin1Char(kDigits[byte & 0x0F]));
    m_text.append(QLatin1Char(' '));
    return ++m_count == 16;
}

QString HexLogLine::take() {
    m_count = 0;
    QString text = std::move(m_text);
    m_text.clear();
    return text;
}

} // namespace corvane
