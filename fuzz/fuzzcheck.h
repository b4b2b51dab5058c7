#pragma once
// What every fuzz target shares: a check that stops the run with a line saying what broke, so that
// libFuzzer keeps the input as a finding.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace corvane::fuzz {

[[noreturn]] inline void failCheck(const char *condition, const char *what, const char *file,
                                   int line) {
    std::fprintf(stderr, "\n*** fuzz check failed at %s:%d: %s\n*** condition: %s\n", file, line,
                 what, condition);
    std::abort();
}

// Prints `bytes` as hex on stderr under `label`, for the report of a failed check.
inline void printHex(const char *label, std::string_view bytes) {
    std::fprintf(stderr, "%s (%zu bytes):", label, bytes.size());
    for (std::size_t i = 0; i < bytes.size() && i < 256; ++i)
        std::fprintf(stderr, " %02X", static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
    std::fprintf(stderr, bytes.size() > 256 ? " ...\n" : "\n");
}

} // namespace corvane::fuzz

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::corvane::fuzz::failCheck(#condition, what, __FILE__, __LINE__);                      \
    } while (0)
