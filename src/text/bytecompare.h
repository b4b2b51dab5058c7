#pragma once
// What the buffer window and `corvane --compare` share: the comparison of the unit's bytes with a
// file's image, the sums of a selection, and the runs an edit changed.

#include "text/memoryimage.h"

#include <QByteArrayView>
#include <QString>

#include <vector>

namespace corvane {

// The last address of the unit's buffer RAM (1 MiB).
constexpr quint32 kLastBufferAddress = 0xFFFFF;

// Bytes that differ, side by side, from `address` on (the same number of each).
struct DifferingRun {
    quint32 address = 0;
    QByteArray unit;
    QByteArray file;
    bool operator==(const DifferingRun &) const = default;
};

struct Comparison {
    std::vector<DifferingRun> runs; // in ascending order, each as long as the difference goes on
    quint64 differing = 0;          // differing bytes
    quint64 uncovered = 0;          // bytes of the unit's range the file does not cover
    quint64 outside = 0;            // bytes of the file outside the unit's range
    // The differing run holding `address`, or nullptr.
    [[nodiscard]] const DifferingRun *runAt(quint32 address) const;
    // The first differing address after `address` (before it when `backwards`), if any.
    [[nodiscard]] std::optional<quint32> next(quint32 address, bool backwards) const;
};

// Compares `unit`, the bytes from `base` on, with the bytes `file` holds at the same addresses.
[[nodiscard]] Comparison compareImage(quint32 base, QByteArrayView unit, const MemoryImage &file);

// A differing run as `corvane --compare` prints it: "0001F: unit 3A file 3B" (the address as five
// or more hex digits, at most eight bytes of each, then the run's length).
[[nodiscard]] QString differingRunText(const DifferingRun &run);

// The byte sums (8-, 16-, 32-bit, carries dropped) and the CRC-32 (the one of zlib and PNG).
struct ByteSums {
    quint8 sum8 = 0;
    quint16 sum16 = 0;
    quint32 sum32 = 0;
    quint32 crc32 = 0;
};
[[nodiscard]] ByteSums byteSums(QByteArrayView bytes);

// The runs of `current` that differ from `original` (both from `base` on, of the same length),
// with the bytes of `current`: what a write-back sends.
[[nodiscard]] std::vector<ByteRun> changedRuns(quint32 base, QByteArrayView original,
                                               QByteArrayView current);

} // namespace corvane
