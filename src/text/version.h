#pragma once
// The program's version, from the build.

#include <QString>

namespace corvane {

// "major.minor.patch" of this program.
[[nodiscard]] QString programVersion();

} // namespace corvane
