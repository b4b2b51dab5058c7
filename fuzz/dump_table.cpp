// Fuzzes DumpTable on any "BD" answer: 53-character lines, labels counting on by 16.
#include "fuzzqt.h"
#include "ops/opstext.h"

#include <QString>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

bool isUpperHex(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F');
}

// The label of an address: its six hex digits without the last.
QString expectedLabel(std::uint32_t address) {
    static const char digits[] = "0123456789ABCDEF";
    QString label;
    for (int shift = 20; shift >= 4; shift -= 4)
        label += QLatin1Char(digits[(address >> shift) & 0xF]);
    return label;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The start text up to the first NUL, then the answer's characters after "00:".
    const char *text = reinterpret_cast<const char *>(data);
    std::size_t textEnd = 0;
    while (textEnd < size && data[textEnd] != 0)
        ++textEnd;
    const QString startText = QString::fromLatin1(text, qsizetype(textEnd));
    const std::size_t answerAt = std::min(size, textEnd + 1);

    // The start value: the leading hex digits, nothing at or past the label limit.
    std::uint64_t value = 0;
    bool tooLarge = false;
    for (const QChar c : startText) {
        const int digit = QStringView(u"0123456789ABCDEF").indexOf(c.toUpper());
        if (digit < 0 || c.unicode() > 0x7F)
            break;
        value = value * 16 + std::uint64_t(digit);
        if (value >= kDumpAddressLimit) {
            tooLarge = true;
            break;
        }
    }
    const std::optional<std::uint32_t> start = dumpStartValue(startText);
    FUZZ_CHECK(start.has_value() == !tooLarge, "start value refused wrongly");
    if (!start)
        return 0;
    FUZZ_CHECK(*start == value, "wrong start value");
    FUZZ_CHECK(fiveCharAddress(startText).size() == 5, "the address is not five characters");

    FUZZ_CHECK(DumpTable::header().size() == DumpTable::kLineLength, "the header's length");
    DumpTable table(*start);
    std::uint32_t address = *start & ~0xFu;
    FUZZ_CHECK(table.line().size() < DumpTable::kLineLength, "the first line starts too long");
    FUZZ_CHECK(table.line().startsWith(expectedLabel(address)), "the first line's label");
    for (std::size_t i = answerAt; i < size; ++i) {
        const char c = char(data[i]);
        const DumpTable::Step step = table.take(c);
        if (step == DumpTable::Step::End) {
            FUZZ_CHECK(c == '\n', "an end without a LF");
            const std::optional<QString> last = table.lastLine();
            if (last) {
                FUZZ_CHECK(last->size() <= DumpTable::kLineLength, "the last line is too long");
                FUZZ_CHECK(last->size() > DumpTable::kLabelLength, "a last line without data");
                FUZZ_CHECK(last->startsWith(expectedLabel(address)), "the last line's label");
                FUZZ_CHECK(table.line() == *last + u'\n' ||
                               table.line() == *last + QLatin1String("\r\n"),
                           "the last line is not the line without its CR LF or LF");
            }
            return 0;
        }
        FUZZ_CHECK(c != '\n', "a LF that does not end the answer");
        if (step == DumpTable::Step::LineFull) {
            const QString full = table.takeLine();
            if (full.size() != DumpTable::kLineLength || !full.startsWith(expectedLabel(address))) {
                printText("line", full);
                FUZZ_CHECK(false, "a full line of the wrong length or label");
            }
            FUZZ_CHECK(!full.contains(u','), "a separator left in a line");
            address = (address + 16) % kDumpAddressLimit;
            FUZZ_CHECK(table.line() == expectedLabel(address),
                       "the next line does not start at its label");
        }
        FUZZ_CHECK(table.line().size() < DumpTable::kLineLength, "a line grew past its length");
        for (qsizetype k = 0; k < DumpTable::kLabelLength; ++k)
            FUZZ_CHECK(isUpperHex(table.line()[k]), "a label that is not upper-case hex");
    }
    return 0;
}
