// Fuzzes the settings file: 13 lines at most, flags judged, written settings read back.
#include "app/settingsfile.h"
#include "fuzzqt.h"

#include <QByteArray>
#include <QStringList>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

// Lines 5, 6, 7, 10, 11 and 12 hold truth values.
bool isFlagLine(int number) {
    return number == 5 || number == 6 || number == 7 || number == 10 || number == 11 ||
           number == 12;
}

std::optional<bool> expectedFlag(const QString &text) {
    const QString t = text.trimmed().toCaseFolded();
    if (t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("false"))
        return false;
    return std::nullopt;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = readSettingsLines(bytes);
    FUZZ_CHECK(lines.size() <= kSettingsLines, "more than thirteen lines");
    qsizetype ends = 0;
    for (const char c : bytes)
        ends += c == '\r' || c == '\n';
    FUZZ_CHECK(lines.size() <= ends + 1, "more lines than line ends");
    FUZZ_CHECK(readSettingsLines(bytes) == lines,
               "the same file reads differently the second time");

    for (int number = 0; number <= kSettingsLines + 1; ++number) {
        const QString value = number >= 1 && number <= lines.size() ? lines[number - 1] : QString();
        const SettingsDisplay display = settingsDisplayLine(number, value);
        if (number < 1 || number > kSettingsLines) {
            FUZZ_CHECK(!display.ok && !display.line, "a display line for no setting");
            continue;
        }
        FUZZ_CHECK(parseSettingsFlag(value) == expectedFlag(value), "wrong truth value");
        if (isFlagLine(number)) {
            const std::optional<bool> flag = expectedFlag(value);
            FUZZ_CHECK(display.ok == flag.has_value(), "a truth value refused or other text taken");
            FUZZ_CHECK(display.line.has_value() == (flag && *flag), "a flag line logged wrongly");
        } else {
            FUZZ_CHECK(display.ok && display.line && !display.line->isEmpty(),
                       "a value line not logged");
            FUZZ_CHECK(display.line->contains(value), "a value line without its value");
        }
    }

    // The settings as the window takes them from the lines (missing lines keep their defaults),
    // written again.
    SettingsValues values;
    QString *texts[] = {
        &values.port, &values.speed, &values.responseFile1, &values.responseFile2, nullptr,
        nullptr,      nullptr,       &values.loadPath,      &values.savePath,      nullptr,
        nullptr,      nullptr,       &values.initDir};
    bool *flags[] = {nullptr,
                     nullptr,
                     nullptr,
                     nullptr,
                     &values.noAutoRun,
                     &values.autoRunFile1,
                     &values.autoRunFile2,
                     nullptr,
                     nullptr,
                     &values.intelHex,
                     &values.motorolaS,
                     &values.binary,
                     nullptr};
    bool encodable = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (texts[i]) {
            *texts[i] = lines[i];
            encodable = encodable && encodeCp932(lines[i]).has_value();
        } else if (const std::optional<bool> flag = parseSettingsFlag(lines[i])) {
            *flags[i] = *flag;
        }
    }
    const QByteArray written = formatSettings(values);
    FUZZ_CHECK(written.endsWith("\r\n"), "the file does not end with CR LF");
    const QStringList reread = readSettingsLines(written);
    FUZZ_CHECK(reread.size() == kSettingsLines, "a written file does not read as thirteen lines");
    if (encodable) {
        for (qsizetype i = 0; i < kSettingsLines; ++i) {
            const QString expected =
                texts[i] ? *texts[i]
                         : (*flags[i] ? QStringLiteral("True") : QStringLiteral("False"));
            if (reread[i] != expected) {
                printText("value", expected);
                printText("read back", reread[i]);
                FUZZ_CHECK(false, "a setting written and read back changed");
            }
        }
    }
    return 0;
}
