#pragma once
// A unit's journal: every byte its ports carry (through a journaling port around each port the
// factory makes) and its log lines, connections and purges.

#include "controller/unitcontroller.h"

namespace corvane {

class Journal;

// `options` with every port it makes recorded in `journal` (unchanged when it is null).
[[nodiscard]] ControllerOptions journaled(ControllerOptions options, Journal *journal);
// Records `unit`'s log lines, connections and purges in `journal`.
void recordEvents(UnitController &unit, Journal &journal);

} // namespace corvane
