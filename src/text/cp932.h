#pragma once
// CP932 ("Shift-JIS") text on the line and in the program's text files.

#include <QByteArray>
#include <QString>

#include <optional>

namespace corvane {

// Characters CP932 cannot carry become its substitute bytes: for text that stays on this machine.
[[nodiscard]] QByteArray toCp932(const QString &text);
// The bytes of `text` in CP932, or nothing when some character has no CP932 form (U+FFFD, the
// mark of a byte that was no character, included): text for the line to the unit must never go
// out altered.
[[nodiscard]] std::optional<QByteArray> encodeCp932(const QString &text);
// ASCII (control characters included) and half-width katakana map byte for byte. Bytes that are
// not valid CP932 (a lone lead byte at the end included) become U+FFFD, one per byte, without
// disturbing their neighbours: a lead byte whose pair is no character is one U+FFFD and the byte
// after it is read on its own. The text depends on the bytes alone; never fails.
[[nodiscard]] QString fromCp932(const QByteArray &bytes);

} // namespace corvane
