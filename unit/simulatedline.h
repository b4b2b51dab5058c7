#pragma once
// A simulated clock and line around a Unit, for tests and fuzzing: bytes go to the unit one byte
// time apart, time runs forward from deadline to deadline, and whatever the unit sends is collected
// at once (the output side is not paced).

#include "unit/unit.h"

#include <string>
#include <string_view>

namespace corvane {

class SimulatedLine {
public:
    // `byteMicros`: time between two bytes sent to the unit (0: all at the same instant).
    explicit SimulatedLine(Unit &unit, Micros byteMicros = 0, Micros start = 1'000'000);

    [[nodiscard]] Micros now() const { return m_now; }
    [[nodiscard]] Unit &unit() { return m_unit; }

    // Sends bytes to the unit, collecting its output meanwhile.
    void send(std::string_view bytes);
    // Sends `line` followed by CR LF.
    void sendLine(std::string_view line);
    // Lets `duration` pass, collecting output.
    void wait(Micros duration);
    // Lets time pass until the unit is neither busy nor has output, at most `limit`; false when the
    // limit was reached first.
    bool settle(Micros limit = 600'000'000);
    // Everything collected since the last take().
    [[nodiscard]] std::string take();
    // Whether any output waits to be taken.
    [[nodiscard]] bool collected() const { return !m_output.empty(); }

private:
    void drain();

    Unit &m_unit;
    Micros m_byteMicros;
    Micros m_now;
    std::string m_output;
};

} // namespace corvane
