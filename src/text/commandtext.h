#pragma once
// Splitting and normalising command texts and reply texts.

#include <QString>

#include <array>

namespace corvane {

// The drive part (or reply code) before the first ":" and up to five comma fields.
struct CommandFields {
    std::array<QString, 6> field; // field[0] = Rcmd0 ... field[5] = Rcmd5
};

// Splits `text`; a final CR LF is removed from `text` itself.
[[nodiscard]] CommandFields divideCommand(QString &text);

// Full-width letters, digits, symbols, the ideographic space and katakana to their half-width
// forms.
[[nodiscard]] QString narrowText(const QString &text);

// Upper case, half width and without spaces is left in `text`; the result is that text up to the
// first "'" (a comment).
[[nodiscard]] QString reMakeCmd(QString &text);

} // namespace corvane
