// The emulated unit's device: its cells and the buffer's view of them, the rule of a cell write,
// the operations on a range of cells (blank check, read, verify, write, program, erase) and the
// buffer clear with the time they take, and the UV lamp.
#include "unit/hextext.h"
#include "unit/unitimpl.h"

#include <algorithm>
#include <cmath>

namespace corvane {

using namespace detail;

namespace {

// Times of the work on the device, before the time scale applies. The largest device (1 MiB)
// stays within the program's reply time-outs: read 4.2 s, write 31 s, program 36 s.
constexpr double kReadMicrosPerByte = 4;     // BL, RD, CP
constexpr double kWriteMicrosPerByte = 30;   // WT
constexpr double kProgramMicrosPerByte = 34; // PG: write, then verify
constexpr double kEepromEraseMicros = 1'000'000;
constexpr double kFlashEraseMicros = 2'500'000;
constexpr double kClearMicros = 300'000;
constexpr double kLampEraseMicros = 3'000'000; // UV light an EPROM needs to be erased

// What a cell holds after writing `wanted` over `old`: an EEPROM takes any value; EPROM and flash
// cells can only lose 1 bits (a 1 comes back only by erasing).
std::uint16_t writtenValue(DeviceKind kind, std::uint16_t old, std::uint16_t wanted) {
    if (kind == DeviceKind::Eeprom)
        return wanted;
    return old & wanted;
}

} // namespace

// --- cells ------------------------------------------------------------------------------------

std::uint16_t Unit::Impl::deviceCell(std::uint32_t address) const {
    if (wordWide())
        return std::uint16_t(deviceMemory[2 * address] | deviceMemory[2 * address + 1] << 8);
    return deviceMemory[address];
}

void Unit::Impl::setDeviceCell(std::uint32_t address, std::uint16_t value) {
    if (wordWide()) {
        deviceMemory[2 * address] = std::uint8_t(value);
        deviceMemory[2 * address + 1] = std::uint8_t(value >> 8);
    } else {
        deviceMemory[address] = std::uint8_t(value);
    }
}

// Buffer addresses of a cell's low and high byte (the same address twice for a byte device).
std::array<std::uint32_t, 2> Unit::Impl::bufferLanes(std::uint32_t address) const {
    if (!wordWide()) {
        const std::uint32_t at = (bufferStart + address) & kBufferMask;
        return {at, at};
    }
    const std::uint32_t first = (bufferStart + 2 * address) & kBufferMask;
    const std::uint32_t second = (first + 1) & kBufferMask;
    const bool firstIsEven = first % 2 == 0;
    const bool evenHoldsLow = bufferType == 0;
    return firstIsEven == evenHoldsLow ? std::array{first, second} : std::array{second, first};
}

std::uint16_t Unit::Impl::bufferCell(std::uint32_t address) const {
    const auto lanes = bufferLanes(address);
    if (!wordWide())
        return buffer[lanes[0]];
    return std::uint16_t(buffer[lanes[0]] | buffer[lanes[1]] << 8);
}

void Unit::Impl::setBufferCell(std::uint32_t address, std::uint16_t value) {
    const auto lanes = bufferLanes(address);
    buffer[lanes[0]] = std::uint8_t(value);
    if (wordWide())
        buffer[lanes[1]] = std::uint8_t(value >> 8);
}

// The one place that says what a blank check, read, verify, write or program finds at a cell and
// whether the operation fails there: both the steps of an operation and the foreseeing of its end
// ask here.
CellCheck Unit::Impl::checkCell(OpKind kind, std::uint32_t address) const {
    const std::uint16_t held = deviceCell(address);
    switch (kind) {
    case OpKind::Blank:
        return {held, blankCell(), held != blankCell()};
    case OpKind::Verify: {
        const std::uint16_t wanted = bufferCell(address);
        return {held, wanted, held != wanted};
    }
    case OpKind::Write:
    case OpKind::Program: {
        const std::uint16_t wanted = bufferCell(address);
        const std::uint16_t written = writtenValue(device()->kind, held, wanted);
        return {written, wanted, written != wanted};
    }
    case OpKind::Read:
    case OpKind::Erase: // Erase and Clear work on no single cell
    case OpKind::Clear:
        break;
    }
    return {held, held, false};
}

// The detail reply of the cell an operation fails at: "10" with what a blank check found, "12"
// (verify) and "11" (write, program) with what the buffer wants and what the cell holds.
std::string Unit::Impl::failureText(std::uint32_t address, const CellCheck &cell) const {
    const std::string where = ":" + hexText(address, 5) + ",";
    if (op.kind == OpKind::Blank)
        return "10" + where + hexText(cell.value, cellDigits());
    return (op.kind == OpKind::Verify ? "12" : "11") + where + hexText(cell.wanted, cellDigits()) +
           "," + hexText(cell.value, cellDigits());
}

// --- operations -------------------------------------------------------------------------------

double Unit::Impl::operationMicrosPerCell(OpKind kind) const {
    const double bytesPerCell = wordWide() ? 2 : 1;
    switch (kind) {
    case OpKind::Blank:
    case OpKind::Read:
    case OpKind::Verify:
        return scaled(kReadMicrosPerByte * bytesPerCell);
    case OpKind::Write:
        return scaled(kWriteMicrosPerByte * bytesPerCell);
    case OpKind::Program:
        return scaled(kProgramMicrosPerByte * bytesPerCell);
    case OpKind::Erase:
        return scaled(device()->kind == DeviceKind::Eeprom ? kEepromEraseMicros
                                                           : kFlashEraseMicros);
    case OpKind::Clear:
        return scaled(kClearMicros);
    }
    return 0;
}

// Cells until the operation ends: up to its first failing cell, or all of them.
std::uint64_t Unit::Impl::foreseenCells(const Operation &operation) const {
    if (operation.kind == OpKind::Erase || operation.kind == OpKind::Clear)
        return operation.cells;
    for (std::uint64_t i = 0; i < operation.cells; ++i) {
        const auto address = std::uint32_t(operation.first + i * operation.step);
        if (checkCell(operation.kind, address).fails)
            return i + 1;
    }
    return operation.cells;
}

// `operation` has its kind and its cells; its time and foreseen end are worked out here.
void Unit::Impl::startOperation(Operation operation) {
    op = operation;
    op.microsPerCell = operationMicrosPerCell(op.kind);
    op.expected = foreseenCells(op);
    op.begin = now;
    state = State::Operation;
    advanceOperation();
}

void Unit::Impl::advanceOperation() {
    std::uint64_t target = op.cells;
    if (op.microsPerCell > 0) {
        const double reached = std::floor(double(now - op.begin) / op.microsPerCell);
        target = std::min<std::uint64_t>(op.cells, std::uint64_t(std::max(0.0, reached)));
    }
    while (op.done < target) {
        if (!stepCell(op.done))
            return;
        ++op.done;
    }
    if (op.done < op.cells)
        return;
    const bool summed = op.kind == OpKind::Read || op.kind == OpKind::Verify ||
                        op.kind == OpKind::Write || op.kind == OpKind::Program;
    finishOperation(summed ? "00:" + hexText(op.sum & 0xFFFF, 4) : std::string("00"));
}

bool Unit::Impl::stepCell(std::uint64_t index) {
    if (op.kind == OpKind::Erase) {
        for (std::uint32_t a = op.first; a <= op.last; ++a)
            setDeviceCell(a, blankCell());
        return true;
    }
    if (op.kind == OpKind::Clear) {
        std::fill(buffer.begin(), buffer.end(), 0xFF);
        return true;
    }
    const auto address = std::uint32_t(op.first + index * op.step);
    const CellCheck cell = checkCell(op.kind, address);
    if (op.kind == OpKind::Read)
        setBufferCell(address, cell.value);
    if (op.kind == OpKind::Write || op.kind == OpKind::Program)
        setDeviceCell(address, cell.value);
    if (cell.fails) {
        finishOperation(failureText(address, cell));
        return false;
    }
    op.sum += wordWide() ? (cell.value & 0xFF) + (cell.value >> 8) : cell.value;
    return true;
}

void Unit::Impl::finishOperation(const std::string &replyText) {
    state = State::Idle;
    reply(replyText);
}

std::optional<Micros> Unit::Impl::operationDeadline() const {
    if (state != State::Operation)
        return std::nullopt;
    return op.begin + Micros(std::ceil(double(op.expected) * op.microsPerCell)) + 1;
}

// --- UV lamp ----------------------------------------------------------------------------------

Micros Unit::Impl::lampThreshold() const {
    return Micros(scaled(kLampEraseMicros));
}

bool Unit::Impl::lampErasePending() const {
    return lampOn && !lampErasedThisPeriod && device() && device()->kind == DeviceKind::Eprom;
}

void Unit::Impl::switchLamp(bool on) {
    if (on && !lampOn) {
        lampOn = true;
        lampSince = now;
        lampErasedThisPeriod = false;
    } else if (!on && lampOn) {
        if (!lampErasedThisPeriod)
            exposure += now - lampSince;
        lampOn = false;
    }
    updateLamp();
}

void Unit::Impl::updateLamp() {
    if (!lampErasePending())
        return;
    if (exposure + (now - lampSince) >= lampThreshold()) {
        std::fill(deviceMemory.begin(), deviceMemory.end(), 0xFF);
        exposure = 0;
        lampSince = now;
        lampErasedThisPeriod = true;
    }
}

std::optional<Micros> Unit::Impl::lampDeadline() const {
    if (!lampErasePending())
        return std::nullopt;
    const Micros lit = exposure + (now - lampSince);
    const Micros threshold = lampThreshold();
    return now + (threshold > lit ? threshold - lit : 0);
}

} // namespace corvane
