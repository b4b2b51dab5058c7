// Fuzzes DumpTable on any "BD" answer: 53-character lines, labels counting on by 16.
#include "fuzz.h"
#include "text/opstext.h"

#include <cctype>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The start text up to the first NUL, then the answer's characters after "00:".
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype nul = input.contains('\0') ? input.indexOf('\0') : input.size();
    const QString startText = QString::fromLatin1(input.left(nul));

    // The start value: its leading hex digits, refused at the label limit.
    qsizetype digits = 0;
    while (digits < nul && std::isxdigit(uchar(input[digits])))
        ++digits;
    bool ok = false;
    const qulonglong value = input.left(digits).toULongLong(&ok, 16);
    const std::optional<std::uint32_t> start = dumpStartValue(startText);
    FUZZ_CHECK(start.has_value() == (digits == 0 || (ok && value < kDumpAddressLimit)) &&
                   (!start || *start == value) && fiveCharAddress(startText).size() == 5,
               "a wrong start value or address");
    if (!start)
        return 0;

    // The label of a line: its address in six upper-case hex digits without the last.
    std::uint32_t label = *start >> 4;
    const auto labelText = [&] {
        return QString::number(label, 16).toUpper().rightJustified(5, u'0');
    };
    DumpTable table(*start);
    FUZZ_CHECK(DumpTable::header().size() == DumpTable::kLineLength, "the header's length");
    for (qsizetype i = nul + 1;; ++i) {
        FUZZ_CHECK(table.line().size() < DumpTable::kLineLength &&
                       table.line().startsWith(labelText()),
                   "a line grew past its length or has the wrong label");
        if (i >= input.size())
            break;
        const char c = input[i];
        const DumpTable::Step step = table.take(c);
        FUZZ_CHECK((step == DumpTable::Step::End) == (c == '\n'),
                   "an end without a LF or no end at one");
        if (step == DumpTable::Step::End) {
            const std::optional<QString> last = table.lastLine();
            FUZZ_CHECK(!last || (last->size() <= DumpTable::kLineLength &&
                                 last->size() > DumpTable::kLabelLength &&
                                 (table.line() == *last + u'\n' || table.line() == *last + "\r\n")),
                       "the last line is not the line without its line end");
            FUZZ_CHECK(last || table.line().size() <= DumpTable::kLabelLength + 2,
                       "a last line with data not reported");
            return 0;
        }
        if (step == DumpTable::Step::LineFull) {
            const QString full = table.takeLine();
            FUZZ_CHECK(full.size() == DumpTable::kLineLength && full.startsWith(labelText()) &&
                           !full.contains(u','),
                       "a full line of the wrong length or label, or with a separator");
            label = (label + 1) % (kDumpAddressLimit >> 4);
        }
    }
    return 0;
}
