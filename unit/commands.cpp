// The emulated unit's command handlers: queries, device selection, buffer settings, the device
// operations' fields, the buffer clear and the UV lamp. Dump, loads and saves are in streams.cpp.
#include "unit/hextext.h"
#include "unit/unitimpl.h"

#include <algorithm>
#include <cctype>

namespace corvane {

using namespace detail;

namespace {

// A device kind as "US0" gives it.
std::string_view kindCode(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Eprom:
        return "00";
    case DeviceKind::Eeprom:
        return "10";
    case DeviceKind::Flash:
        return "20";
    }
    return "00"; // not reached: every kind has its code above
}

// The operations on a range of cells, by command word.
struct CellOperation {
    std::string_view word;
    OpKind kind;
    bool hasMode; // takes the access mode field
};

constexpr std::array<CellOperation, 5> kCellOperations{{
    {"BL", OpKind::Blank, false},
    {"RD", OpKind::Read, true},
    {"CP", OpKind::Verify, true},
    {"WT", OpKind::Write, true},
    {"PG", OpKind::Program, true},
}};

} // namespace

bool Unit::Impl::noParameters(std::string_view rest) {
    if (rest.empty())
        return true;
    reply("20");
    return false;
}

void Unit::Impl::connectCommand(std::string_view /*word*/, std::string_view rest) {
    if (noParameters(rest))
        reply("00");
}

// --- queries and settings ---------------------------------------------------------------------

void Unit::Impl::queryCommand(std::string_view /*word*/, std::string_view rest) {
    const DeviceType *type = device();
    if (rest == "0") {
        if (!type) {
            reply("00:-");
            return;
        }
        reply("00:" + type->code + "," + type->text1 + "," + type->text2 + "," +
              std::string(kindCode(type->kind)) + "," + (type->wordWide ? "1" : "0"));
    } else if (rest == "1") {
        reply(type ? "00:" + hexText(type->endAddress, 5) : std::string("00:-----"));
    } else if (rest == "2") {
        reply("00:" + hexText(bufferStart, 5) + "," + std::to_string(bufferType));
    } else {
        reply("22");
    }
}

void Unit::Impl::selectCommand(std::string_view /*word*/, std::string_view rest) {
    const std::vector<std::string_view> fields = splitFields(rest);
    const std::string_view code = fields[0];
    if (fields.size() > 3 || code.size() != 2 || hexDigitValue(code[0]) < 0 ||
        hexDigitValue(code[1]) < 0) {
        reply("20");
        return;
    }
    std::string upper(code);
    for (char &c : upper)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const int index = findDevice(upper);
    if (index < 0) {
        reply("21");
        return;
    }
    selected = index;
    reply("00");
}

void Unit::Impl::bufferStartCommand(std::string_view /*word*/, std::string_view rest) {
    const auto start = parseHex(rest, 5);
    if (!start) {
        reply("20");
        return;
    }
    bufferStart = *start;
    reply("00");
}

void Unit::Impl::bufferTypeCommand(std::string_view /*word*/, std::string_view rest) {
    if (rest != "0" && rest != "1") {
        reply("20");
        return;
    }
    bufferType = rest == "1" ? 1 : 0;
    reply("00");
}

// --- device operations ------------------------------------------------------------------------

// The cells a device command selects: start, end and, where the command has one, the access mode
// (0 or empty: every address, 1: the odd ones, 2: the even ones). Answers "14" without a device
// and "20" for a bad field, and gives none then.
std::optional<Unit::Impl::Operation> Unit::Impl::operationRange(std::string_view rest,
                                                                bool hasMode) {
    const DeviceType *type = device();
    if (!type) {
        reply("14");
        return std::nullopt;
    }
    const std::vector<std::string_view> fields = splitFields(rest);
    if (fields.size() < 2 || fields.size() > (hasMode ? 3u : 2u)) {
        reply("20");
        return std::nullopt;
    }
    const auto start = parseHex(fields[0], 5);
    const auto end = parseHex(fields[1], 5);
    const std::string_view mode = fields.size() > 2 ? fields[2] : std::string_view();
    if (!start || !end || *start > *end || *end > type->endAddress ||
        !(mode.empty() || mode == "0" || mode == "1" || mode == "2")) {
        reply("20");
        return std::nullopt;
    }
    Operation operation;
    operation.first = *start;
    operation.last = *end;
    if (mode == "1" || mode == "2") {
        const std::uint32_t parity = mode == "1" ? 1 : 0;
        operation.first = *start % 2 == parity ? *start : *start + 1;
        operation.step = 2;
    }
    operation.cells = operation.first > *end ? 0 : (*end - operation.first) / operation.step + 1;
    return operation;
}

// "BL", "RD", "CP", "WT", "PG".
void Unit::Impl::cellCommand(std::string_view word, std::string_view rest) {
    const auto what = std::find_if(kCellOperations.begin(), kCellOperations.end(),
                                   [&](const CellOperation &entry) { return entry.word == word; });
    std::optional<Operation> operation = operationRange(rest, what->hasMode);
    if (!operation)
        return;
    operation->kind = what->kind;
    startOperation(*operation);
}

void Unit::Impl::eraseCommand(std::string_view /*word*/, std::string_view rest) {
    std::optional<Operation> operation = operationRange(rest, false);
    if (!operation)
        return;
    if (device()->kind == DeviceKind::Eprom) {
        reply("15");
        return;
    }
    operation->kind = OpKind::Erase;
    operation->cells = 1;
    startOperation(*operation);
}

void Unit::Impl::clearCommand(std::string_view /*word*/, std::string_view rest) {
    if (!noParameters(rest))
        return;
    Operation clear;
    clear.kind = OpKind::Clear;
    clear.cells = 1;
    startOperation(clear);
}

// "ES" switches the UV lamp on, "EE" off.
void Unit::Impl::lampCommand(std::string_view word, std::string_view rest) {
    if (!noParameters(rest))
        return;
    switchLamp(word == "ES");
    reply("00");
}

} // namespace corvane
