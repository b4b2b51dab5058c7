#pragma once
// Hex and decimal numbers as the unit reads them from command fields and writes them in replies.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// 0-15 for a hex digit of either case, -1 otherwise.
[[nodiscard]] constexpr int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Appends `value` as exactly `digits` upper-case hex digits (higher digits are cut off).
inline void appendHex(std::string &out, std::uint32_t value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out += kDigits[(value >> shift) & 0xF];
}

[[nodiscard]] inline std::string hexText(std::uint32_t value, int digits) {
    std::string text;
    appendHex(text, value, digits);
    return text;
}

// A field of 1 to `maxDigits` hex digits (either case) and nothing else.
[[nodiscard]] inline std::optional<std::uint32_t> parseHex(std::string_view field, int maxDigits) {
    if (field.empty() || field.size() > std::size_t(maxDigits) || maxDigits > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : field) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value << 4 | std::uint32_t(digit);
    }
    return value;
}

// A field of 1 to 9 decimal digits and nothing else.
[[nodiscard]] inline std::optional<std::uint32_t> parseDecimal(std::string_view field) {
    if (field.empty() || field.size() > 9)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : field) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + std::uint32_t(c - '0');
    }
    return value;
}

} // namespace corvane
