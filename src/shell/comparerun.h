#pragma once
// `corvane --compare FILE`: each unit's buffer over the file's range read and compared with the
// file, without a window.

#include "shell/commandline.h"

namespace corvane {

// Compares every unit `line` names with its file and returns the worst status: 0 equal,
// 1 different, 2 cancelled, 3 no connection, 4 the file cannot be used.
[[nodiscard]] int compareUnattended(const CommandLine &line);

} // namespace corvane
