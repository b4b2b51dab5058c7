#pragma once
// The fixed parts of judging a reply: how long each caller's word waits, and the one-line messages
// of the unit's codes.

#include <QString>

#include <optional>

namespace corvane {

// Longest silence, in milliseconds, allowed while the reply to an operation named `mode` is
// awaited; nothing for "BD", whose caller receives the reply itself.
[[nodiscard]] std::optional<int> replyTimeoutMs(const QString &mode);

// The log line of a reply code whose judgement is a single fixed message ("13", "20", "98" ...);
// nothing for the codes with details or effects of their own ("00", "10", "11", "12") and for
// unknown codes.
[[nodiscard]] std::optional<QString> replyCodeMessage(const QString &code, const QString &mode);

// The line logged for a code the program does not know.
[[nodiscard]] QString unknownCodeMessage(const QString &code);

} // namespace corvane
