// Placeholder until the emulated unit lands.
#include "unit/unit.h"

namespace corvane {
struct Unit::Impl {};
Unit::Unit(UnitOptions) {}
Unit::~Unit() = default;
} // namespace corvane
