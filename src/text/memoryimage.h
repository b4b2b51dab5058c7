#pragma once
// A sparse image of memory: the bytes a data file or the unit's buffer holds at 32-bit addresses,
// kept as sorted runs that neither overlap nor touch.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace corvane {

// Bytes from `address` on.
struct ByteRun {
    quint32 address = 0;
    QByteArray bytes;
    // One past the last address (may be 2^32).
    [[nodiscard]] quint64 end() const { return quint64(address) + quint64(bytes.size()); }
    bool operator==(const ByteRun &) const = default;
};

class MemoryImage {
public:
    // Puts `bytes` at `address`, replacing what was there; `address` + size must not pass 2^32.
    void write(quint32 address, QByteArrayView bytes);

    [[nodiscard]] const std::vector<ByteRun> &runs() const { return m_runs; }
    [[nodiscard]] bool isEmpty() const { return m_runs.empty(); }
    // The number of bytes held (gaps not counted).
    [[nodiscard]] quint64 byteCount() const;
    // The lowest and the highest address held; 0 for an empty image.
    [[nodiscard]] quint32 lowest() const;
    [[nodiscard]] quint32 highest() const;
    [[nodiscard]] std::optional<quint8> at(quint32 address) const;
    // The run holding `address`, or nullptr.
    [[nodiscard]] const ByteRun *runAt(quint32 address) const;

private:
    std::vector<ByteRun> m_runs;
};

} // namespace corvane
