#include "text/memoryimage.h"

#include <algorithm>

namespace corvane {

void MemoryImage::write(quint32 address, QByteArrayView bytes) {
    if (bytes.isEmpty())
        return;
    const quint64 end = quint64(address) + quint64(bytes.size());
    // The common case of a file read in order: the bytes continue the last run.
    if (!m_runs.empty() && m_runs.back().end() == address) {
        m_runs.back().bytes.append(bytes);
        return;
    }
    // The runs that overlap or touch [address, end) are merged with the new bytes into one.
    auto first = std::lower_bound(m_runs.begin(), m_runs.end(), address,
                                  [](const ByteRun &run, quint32 a) { return run.end() < a; });
    auto last = first;
    while (last != m_runs.end() && last->address <= end)
        ++last;
    if (first == last) {
        m_runs.insert(first, ByteRun{address, bytes.toByteArray()});
        return;
    }
    const quint32 start = std::min(address, first->address);
    const quint64 stop = std::max(end, std::prev(last)->end());
    QByteArray merged(qsizetype(stop - start), '\0');
    for (auto it = first; it != last; ++it)
        std::copy(it->bytes.cbegin(), it->bytes.cend(), merged.begin() + (it->address - start));
    std::copy(bytes.begin(), bytes.end(), merged.begin() + (address - start));
    *first = ByteRun{start, std::move(merged)};
    m_runs.erase(std::next(first), last);
}

quint64 MemoryImage::byteCount() const {
    quint64 count = 0;
    for (const ByteRun &run : m_runs)
        count += quint64(run.bytes.size());
    return count;
}

quint32 MemoryImage::lowest() const {
    return m_runs.empty() ? 0 : m_runs.front().address;
}

quint32 MemoryImage::highest() const {
    return m_runs.empty() ? 0 : quint32(m_runs.back().end() - 1);
}

const ByteRun *MemoryImage::runAt(quint32 address) const {
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), address,
                               [](quint32 a, const ByteRun &run) { return a < run.address; });
    if (it == m_runs.begin())
        return nullptr;
    --it;
    return address < it->end() ? &*it : nullptr;
}

std::optional<quint8> MemoryImage::at(quint32 address) const {
    const ByteRun *run = runAt(address);
    if (!run)
        return std::nullopt;
    return quint8(run->bytes[qsizetype(address - run->address)]);
}

} // namespace corvane
