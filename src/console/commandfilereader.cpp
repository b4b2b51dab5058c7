#include "console/commandfilereader.h"

#include "protocol/cp932.h"

#include <QIODevice>

#include <algorithm>
#include <utility>

namespace corvane {

CommandFileReader::CommandFileReader(QIODevice *device, qsizetype maxLineBytes)
    : m_device(device)
    , m_maxLineBytes(maxLineBytes) {}

bool CommandFileReader::fill() {
    m_pos = 0;
    m_buffer.resize(kChunkBytes);
    const qint64 got = m_device->isOpen() ? m_device->read(m_buffer.data(), kChunkBytes) : -1;
    if (got < 0) {
        m_failed = true;
        m_buffer.clear();
        return false;
    }
    m_buffer.resize(got);
    return got > 0;
}

CommandFileReader::Status CommandFileReader::next(QByteArray &line) {
    line.clear();
    if (!m_started)
        m_truncated = false;
    int chunks = 0;
    for (;;) {
        if (m_failed)
            return Status::Error;
        if (m_pos >= m_buffer.size()) {
            if (chunks == kChunksPerCall)
                return Status::Pending;
            ++chunks;
            if (!fill()) {
                if (m_failed)
                    return Status::Error;
                if (!m_started)
                    return Status::End;
                m_started = false;
                line = std::exchange(m_line, QByteArray());
                return Status::Line;
            }
        }
        if (m_skipLf) {
            m_skipLf = false;
            if (m_buffer.at(m_pos) == '\n') {
                ++m_pos;
                continue;
            }
        }
        const qsizetype cr = m_buffer.indexOf('\r', m_pos);
        const qsizetype end = cr < 0 ? m_buffer.size() : cr;
        const qsizetype room = m_maxLineBytes - m_line.size();
        const qsizetype take = std::min(end - m_pos, room);
        m_line.append(m_buffer.constData() + m_pos, take);
        if (end - m_pos > room)
            m_truncated = true;
        m_started = true;
        m_pos = end;
        if (cr >= 0) {
            ++m_pos;
            m_skipLf = true;
            m_started = false;
            line = std::exchange(m_line, QByteArray());
            return Status::Line;
        }
    }
}

QString commandLineText(const QByteArray &line) {
    // The decoder holds back a double-byte character left unfinished at the end; a closing LF
    // (never a trail byte) pushes it out as an invalid character instead of losing it.
    QString text = fromCp932(line + '\n');
    text.chop(1);
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t') || u == 0x7f)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace corvane
