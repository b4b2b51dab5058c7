#pragma once
// The buffer window's byte texts: hex bytes as typed or pasted, bytes copied as hex lines, and
// the search through the bytes that wraps at either end.

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvane {

// Bytes written as hex pairs ("12 AB CD", "12ABCD", over several lines); nothing when the text
// holds anything else, an odd digit included, or no byte at all.
[[nodiscard]] std::optional<QByteArray> parseHexBytes(const QString &text);

// Bytes as copied: "12 AB CD ...", 16 to a line, lines ended with LF.
[[nodiscard]] QString hexLines(QByteArrayView bytes);

struct Found {
    qsizetype at = -1;    // where `needle` begins, -1 when it is nowhere
    bool wrapped = false; // found only past the end (or before the start) of the bytes
};
// Looks for `needle` from `from` on towards the end (towards the start from `from` when
// `backwards`), then from the other end.
[[nodiscard]] Found findBytes(const QByteArray &bytes, QByteArrayView needle, qsizetype from,
                              bool backwards);

} // namespace corvane
