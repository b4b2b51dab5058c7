#include "text/bytecompare.h"

#include <algorithm>
#include <array>

namespace corvane {

namespace {

// Bytes of a differing run shown on its line; a longer run shows its length.
constexpr qsizetype kShownBytes = 8;

QString hexBytes(const QByteArray &bytes) {
    return QString::fromLatin1(bytes.left(kShownBytes).toHex(' ').toUpper());
}

// The unit's bytes [from, to) (offsets into `unit`) against the file's run beginning at `fileAt`.
void compareSpan(Comparison &result, quint32 base, QByteArrayView unit, qsizetype from,
                 qsizetype to, const char *fileAt) {
    for (qsizetype i = from; i < to;) {
        if (unit[i] == fileAt[i - from]) {
            ++i;
            continue;
        }
        DifferingRun run{base + quint32(i), {}, {}};
        const qsizetype start = i;
        while (i < to && unit[i] != fileAt[i - from])
            ++i;
        run.unit = unit.sliced(start, i - start).toByteArray();
        run.file = QByteArray(fileAt + (start - from), i - start);
        result.differing += quint64(i - start);
        result.runs.push_back(std::move(run));
    }
}

} // namespace

const DifferingRun *Comparison::runAt(quint32 address) const {
    auto it = std::upper_bound(runs.begin(), runs.end(), address,
                               [](quint32 a, const DifferingRun &run) { return a < run.address; });
    if (it == runs.begin())
        return nullptr;
    --it;
    return quint64(address) < quint64(it->address) + quint64(it->unit.size()) ? &*it : nullptr;
}

std::optional<quint32> Comparison::next(quint32 address, bool backwards) const {
    if (backwards) {
        // The start of the run before the one holding `address`, or the last byte before it.
        auto it =
            std::lower_bound(runs.begin(), runs.end(), address,
                             [](const DifferingRun &run, quint32 a) { return run.address < a; });
        if (it == runs.begin())
            return std::nullopt;
        return std::prev(it)->address;
    }
    auto it = std::upper_bound(runs.begin(), runs.end(), address,
                               [](quint32 a, const DifferingRun &run) { return a < run.address; });
    if (it == runs.end())
        return std::nullopt;
    return it->address;
}

Comparison compareImage(quint32 base, QByteArrayView unit, const MemoryImage &file) {
    Comparison result;
    const quint64 end = quint64(base) + quint64(unit.size());
    quint64 covered = 0;
    for (const ByteRun &run : file.runs()) {
        const quint64 from = std::max<quint64>(run.address, base);
        const quint64 to = std::min(run.end(), end);
        if (from >= to) {
            result.outside += quint64(run.bytes.size());
            continue;
        }
        result.outside += quint64(run.bytes.size()) - (to - from);
        covered += to - from;
        compareSpan(result, base, unit, qsizetype(from - base), qsizetype(to - base),
                    run.bytes.constData() + (from - run.address));
    }
    result.uncovered = quint64(unit.size()) - covered;
    return result;
}

QString differingRunText(const DifferingRun &run) {
    QString text = QStringLiteral("%1: unit %2 file %3")
                       .arg(QString::number(run.address, 16).toUpper(), 5, QLatin1Char('0'))
                       .arg(hexBytes(run.unit), hexBytes(run.file));
    if (run.unit.size() > kShownBytes)
        text += QStringLiteral(" ... (%1 bytes)").arg(run.unit.size());
    return text;
}

ByteSums byteSums(QByteArrayView bytes) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    ByteSums sums;
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        const quint8 byte = quint8(c);
        sums.sum32 += byte;
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    sums.sum8 = quint8(sums.sum32);
    sums.sum16 = quint16(sums.sum32);
    sums.crc32 = crc ^ 0xFFFFFFFFu;
    return sums;
}

std::vector<ByteRun> changedRuns(quint32 base, QByteArrayView original, QByteArrayView current) {
    std::vector<ByteRun> runs;
    const qsizetype size = std::min(original.size(), current.size());
    for (qsizetype i = 0; i < size;) {
        if (original[i] == current[i]) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < size && original[i] != current[i])
            ++i;
        runs.push_back(
            ByteRun{base + quint32(start), current.sliced(start, i - start).toByteArray()});
    }
    return runs;
}

} // namespace corvane
