#pragma once
// Qt helpers of the fuzz targets: texts made from fuzz bytes, the lines of a text file, a device
// that hands out its bytes a few at a time, and QString dumps for the report of a failed check.

#include "fuzzcheck.h"
#include "protocol/cp932.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstring>
#include <utility>

namespace corvane::fuzz {

// A text from fuzz bytes. The first byte picks how the rest is read: as CP932 (the program's files
// and the line), as UTF-8, as raw UTF-16 code units (any QString, lone surrogates included) or as
// Latin-1.
inline QString textFromBytes(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return QString();
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const auto restSize = qsizetype(size - 1);
    switch (data[0] % 4) {
    case 0:
        return fromCp932(QByteArray(rest, restSize));
    case 1:
        return QString::fromUtf8(rest, restSize);
    case 2: {
        QString text(restSize / 2, Qt::Uninitialized);
        std::memcpy(text.data(), rest, std::size_t(text.size()) * 2);
        return text;
    }
    default:
        return QString::fromLatin1(rest, restSize);
    }
}

// The lines of a text file by the rules the program's readers share: CR LF, CR or LF ends a line,
// the end is no part of it, and the last line needs no end.
inline QList<QByteArray> splitLines(const QByteArray &text) {
    QList<QByteArray> lines;
    QByteArray line;
    bool open = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.append(std::exchange(line, QByteArray()));
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.append(line);
    return lines;
}

inline void printText(const char *label, const QString &text) {
    std::fprintf(stderr, "%s (%lld code units):", label, static_cast<long long>(text.size()));
    for (qsizetype i = 0; i < text.size() && i < 128; ++i)
        std::fprintf(stderr, " %04X", static_cast<unsigned>(text[i].unicode()));
    std::fprintf(stderr, text.size() > 128 ? " ...\n" : "\n");
}

// A sequential read-only device over fixed bytes that returns at most a few bytes per read (the
// counts cycle through `pieces`), as a pipe or a slow disk may: line ends and double-byte
// characters then fall across the reads.
class TrickleDevice : public QIODevice {
public:
    TrickleDevice(QByteArray bytes, QByteArray pieces)
        : m_bytes(std::move(bytes))
        , m_pieces(pieces.isEmpty() ? QByteArray(1, '\x01') : std::move(pieces)) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return (m_bytes.size() - m_pos) + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        // 1 to 8 bytes a read: never 0 while bytes are left, which would read as the end.
        const qint64 piece =
            1 + static_cast<unsigned char>(m_pieces[m_turn++ % m_pieces.size()]) % 8;
        const qint64 count = std::min<qint64>({maxSize, piece, m_bytes.size() - m_pos});
        std::memcpy(data, m_bytes.constData() + m_pos, std::size_t(count));
        m_pos += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    QByteArray m_pieces;
    qsizetype m_pos = 0;
    qsizetype m_turn = 0;
};

} // namespace corvane::fuzz
