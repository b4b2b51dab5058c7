#pragma once
// CP932 ("Shift-JIS") text on the line and in the program's text files.

#include <QByteArray>
#include <QString>

namespace corvane {

[[nodiscard]] QByteArray toCp932(const QString &text);
// Bytes that are not valid CP932 (a lone lead byte at the end included) become U+FFFD, one per
// byte, without disturbing their neighbours; never fails.
[[nodiscard]] QString fromCp932(const QByteArray &bytes);

} // namespace corvane
