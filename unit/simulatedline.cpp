// A simulated clock and line around a Unit.
#include "unit/simulatedline.h"

#include <array>

namespace corvane {

namespace {
// One drain takes at most this much, so an endless stream (Fault::Noise) stays bounded.
constexpr std::size_t kMaxDrainBytes = 1 << 16;
} // namespace

SimulatedLine::SimulatedLine(Unit &unit, Micros byteMicros, Micros start)
    : m_unit(unit)
    , m_byteMicros(byteMicros)
    , m_now(start) {}

void SimulatedLine::send(std::string_view bytes) {
    for (const char c : bytes) {
        m_unit.receive(static_cast<std::uint8_t>(c), m_now);
        if (m_unit.hasOutput())
            drain();
        if (m_byteMicros > 0)
            wait(m_byteMicros);
    }
}

void SimulatedLine::sendLine(std::string_view line) {
    send(line);
    send("\r\n");
}

void SimulatedLine::wait(Micros duration) {
    const Micros target = m_now + duration;
    drain();
    for (;;) {
        const std::optional<Micros> next = m_unit.nextDeadline();
        if (!next || *next > target)
            break;
        m_now = std::max(*next, m_now + 1);
        if (m_now > target)
            break;
        m_unit.poll(m_now);
        drain();
    }
    m_now = target;
    m_unit.poll(m_now);
    drain();
}

bool SimulatedLine::settle(Micros limit) {
    const Micros end = m_now + limit;
    drain();
    while (m_unit.busy() || m_unit.hasOutput()) {
        if (m_now >= end)
            return false;
        const std::optional<Micros> next = m_unit.nextDeadline();
        m_now = std::min(end, next ? std::max(*next, m_now + 1) : m_now + 1000);
        m_unit.poll(m_now);
        drain();
    }
    return true;
}

std::string SimulatedLine::take() {
    std::string output;
    output.swap(m_output);
    return output;
}

void SimulatedLine::drain() {
    std::array<std::uint8_t, 4096> chunk{};
    std::size_t total = 0;
    while (total < kMaxDrainBytes) {
        const std::size_t count = m_unit.transmit(chunk.data(), chunk.size(), m_now);
        if (count == 0)
            break;
        m_output.append(reinterpret_cast<const char *>(chunk.data()), count);
        total += count;
    }
}

} // namespace corvane
