#include "text/commandfilereader.h"

#include "text/cp932.h"

#include <QIODevice>
#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace corvane {

CommandFileReader::CommandFileReader(QIODevice *device, qsizetype maxLineBytes)
    : m_device(device)
    , m_maxLineBytes(maxLineBytes) {}

bool CommandFileReader::fill() {
    auto read = [this](qsizetype at) {
        return m_device->isOpen() ? m_device->read(m_buffer.data() + at, kChunkBytes - at) : -1;
    };
    m_pos = 0;
    m_buffer.resize(kChunkBytes);
    qint64 got = read(0);
    if (!m_filled) {
        // The mark decides the encoding; a device that hands out a few bytes a read is asked
        // again until it is clear whether the file starts with it.
        m_filled = true;
        const QByteArrayView mark("\xEF\xBB\xBF");
        while (got > 0 && got < mark.size() && mark.startsWith(m_buffer.first(got))) {
            const qint64 more = read(got);
            if (more <= 0) {
                got = more < 0 ? more : got;
                break;
            }
            got += more;
        }
        if (got >= mark.size() && m_buffer.startsWith(mark)) {
            m_encoding = Encoding::Utf8;
            m_pos = mark.size();
        }
    }
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
            continue; // the first chunk may hold nothing but the mark
        }
        if (m_skipLf) {
            m_skipLf = false;
            if (m_buffer.at(m_pos) == '\n') {
                ++m_pos;
                continue;
            }
        }
        const char *const begin = m_buffer.constData();
        const char *const stop = std::find_if(begin + m_pos, begin + m_buffer.size(),
                                              [](char c) { return c == '\r' || c == '\n'; });
        const qsizetype end = stop - begin;
        const bool ended = end < m_buffer.size();
        const qsizetype room = m_maxLineBytes - m_line.size();
        const qsizetype take = std::min(end - m_pos, room);
        m_line.append(m_buffer.constData() + m_pos, take);
        if (end - m_pos > room)
            m_truncated = true;
        m_started = true;
        m_pos = end;
        if (ended) {
            ++m_pos;
            m_skipLf = *stop == '\r';
            m_started = false;
            line = std::exchange(m_line, QByteArray());
            return Status::Line;
        }
    }
}

QString commandLineText(const QByteArray &line, CommandFileReader::Encoding encoding) {
    if (encoding == CommandFileReader::Encoding::Cp932)
        return fromCp932(line);
    // Exactly the line's characters: QString::fromUtf8 would drop a U+FEFF at its start.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder(line);
}

} // namespace corvane
