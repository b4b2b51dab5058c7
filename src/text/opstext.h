#pragma once
// Text rules of the device and buffer operations: the five-character address, the access-mode
// letters and the dump table built from the unit's answer to "BD".

#include <QString>

#include <cstdint>
#include <optional>

namespace corvane {

// Whether a reply code reports success.
[[nodiscard]] inline bool isOkCode(const QString &code) {
    return code == QLatin1String("00");
}

// The last five characters of "00000" followed by `field`: "" gives "00000", "100" gives "00100",
// a longer field keeps its last five characters. Nothing is validated.
[[nodiscard]] QString fiveCharAddress(const QString &field);

// What an access-mode letter of a parameter text becomes: the digit sent and the log line. Any
// text but "", "A", "O" and "E" gives an empty digit and no log line.
struct AccessMode {
    QString digit;
    QString logLine;
};
[[nodiscard]] AccessMode accessMode(const QString &letter);

// Whether the device command `word` carries the access mode on the line ("PG", "WT", "CP", "RD").
[[nodiscard]] bool sendsAccessMode(const QString &word);

// The log line of a port that cannot be opened: "！通信ポートを開けません。（PORT）", the port's
// reason after a space when it gave one, and how to get access when this user may not use the
// device.
[[nodiscard]] QString unopenedPortText(const QString &portText, const QString &reason,
                                       bool accessDenied);

// Lowest address the dump table cannot label (labels have six hexadecimal digits).
inline constexpr std::uint32_t kDumpAddressLimit = 0x1000000;

// The dump start text read as a hexadecimal number up to its first non-hex character (none gives
// 0); nothing when the value is kDumpAddressLimit or more.
[[nodiscard]] std::optional<std::uint32_t> dumpStartValue(const QString &text);

// The label of the table line holding `address`: six upper-case hex digits without the last one
// (12340h gives "01234"). Addresses wrap at kDumpAddressLimit.
[[nodiscard]] QString dumpLabel(std::uint32_t address);

// Assembles the lines of the dump table from the characters that follow "00:" in the unit's answer:
// every byte brings its separator ("," before all bytes but the first), so a full line is the label
// and sixteen columns of a blank and two characters.
class DumpTable {
public:
    static constexpr int kLabelLength = 5;
    static constexpr int kLineLength = 53;
    static const QString &header();

    enum class Step {
        Taken,    // the character is part of the line under construction
        LineFull, // a line of kLineLength characters is ready in takeLine(); the next has begun
        End,      // LF: the answer is complete, see lastLine()
    };

    // The first line starts at `startValue`: its columns before the start show "--".
    explicit DumpTable(std::uint32_t startValue);

    Step take(char c);
    [[nodiscard]] QString takeLine() { return std::move(m_full); }
    // After End: the last line without its line end, or nothing when it holds no data.
    [[nodiscard]] std::optional<QString> lastLine() const;
    // The line under construction.
    [[nodiscard]] const QString &line() const { return m_line; }

private:
    void startLine();

    std::uint32_t m_lineAddress;
    QString m_line;
    QString m_full;
};

} // namespace corvane
