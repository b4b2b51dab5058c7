#pragma once
// What the fuzz targets share: a check that stops the run (libFuzzer then keeps the input as a
// finding) and, for the Qt targets, texts from fuzz bytes, a plain line split and a slow device.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "\n*** fuzz check failed at %s:%d: %s\n", __FILE__, __LINE__,     \
                         what);                                                                    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

#ifdef QT_CORE_LIB
#include "text/cp932.h"

#include <QBuffer>
#include <QIODevice>
#include <QList>

#include <algorithm>
#include <cstring>

namespace corvane::fuzz {

// A text from fuzz bytes; the first byte picks how the rest is read: as CP932, UTF-8, raw UTF-16
// code units (lone surrogates included) or Latin-1.
inline QString textFromBytes(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return {};
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);
    switch (data[0] % 4) {
    case 0:
        return fromCp932(rest);
    case 1:
        return QString::fromUtf8(rest);
    case 2:
        return QString(reinterpret_cast<const QChar *>(rest.constData()), rest.size() / 2);
    default:
        return QString::fromLatin1(rest);
    }
}

// The lines of a text file: CR LF, CR or LF ends a line; the last line needs no end.
inline QList<QByteArray> splitLines(QByteArray text) {
    QList<QByteArray> lines = text.replace("\r\n", "\n").replace('\r', '\n').split('\n');
    if (lines.last().isEmpty()) // nothing after the last line end
        lines.removeLast();
    return lines;
}

// A sequential device that hands out 1 to 8 bytes a read (the counts cycle through `pieces`), as
// a pipe may: line ends and double-byte characters then fall across reads.
class TrickleDevice : public QIODevice {
public:
    TrickleDevice(QByteArray bytes, QByteArray pieces)
        : m_bytes(bytes)
        , m_pieces(pieces + 'x') {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return m_bytes.size() - m_pos + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override {
        const qint64 count = std::min<qint64>(
            {maxSize, 1 + uchar(m_pieces[m_turn++ % m_pieces.size()]) % 8, m_bytes.size() - m_pos});
        std::memcpy(data, m_bytes.constData() + m_pos, std::size_t(count));
        m_pos += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes, m_pieces;
    qsizetype m_pos = 0, m_turn = 0;
};

// A reader must give `expected` from `file` in one go, once more from the start, and a few bytes
// a read (the read sizes taken from `input`); `read` reads a whole device.
template<class Expected, class Read>
void checkReadings(QByteArray &file, const QByteArray &input, const Expected &expected, Read read) {
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    FUZZ_CHECK(read(&buffer) == expected, "not the file's lines");
    buffer.seek(0);
    FUZZ_CHECK(read(&buffer) == expected, "reading again gives other lines");
    TrickleDevice trickle(file, input);
    FUZZ_CHECK(read(&trickle) == expected, "reading a few bytes at a time differs");
}

} // namespace corvane::fuzz
#endif
