// Fuzzes the settings file: 13 lines at most, flags judged, written settings read back.
#include "fuzz.h"
#include "text/settingsfile.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList lines = readSettingsLines(bytes);
    FUZZ_CHECK(lines.size() <= kSettingsLines &&
                   lines.size() <= bytes.count('\r') + bytes.count('\n') + 1,
               "more than thirteen lines, or more lines than line ends");
    FUZZ_CHECK(readSettingsLines(bytes) == lines, "the same file reads differently again");
    for (const int number : {0, kSettingsLines + 1})
        FUZZ_CHECK(!settingsDisplayLine(number, {}).ok && !settingsDisplayLine(number, {}).line,
                   "a display line for no setting");

    // The settings as the window takes them from the lines (missing lines keep their defaults).
    SettingsValues values;
    const struct {
        QString *text;
        bool *flag;
    } fields[kSettingsLines] = {{&values.port, nullptr},          {&values.speed, nullptr},
                                {&values.responseFile1, nullptr}, {&values.responseFile2, nullptr},
                                {nullptr, &values.noAutoRun},     {nullptr, &values.autoRunFile1},
                                {nullptr, &values.autoRunFile2},  {&values.loadPath, nullptr},
                                {&values.savePath, nullptr},      {nullptr, &values.intelHex},
                                {nullptr, &values.motorolaS},     {nullptr, &values.binary},
                                {&values.initDir, nullptr}};
    bool encodable = true;
    for (int i = 0; i < kSettingsLines; ++i) {
        const QString value = lines.value(i);
        const SettingsDisplay display = settingsDisplayLine(i + 1, value);
        const std::optional<bool> flag = parseSettingsFlag(value);
        if (fields[i].flag) {
            FUZZ_CHECK(display.ok == flag.has_value() &&
                           display.line.has_value() == flag.value_or(false),
                       "a flag line judged or logged wrongly");
        } else {
            FUZZ_CHECK(display.ok && display.line && display.line->contains(value) &&
                           !display.line->isEmpty(),
                       "a value line not logged with its value");
        }
        if (i < lines.size() && fields[i].text) {
            *fields[i].text = value;
            encodable = encodable && encodeCp932(value).has_value();
        } else if (i < lines.size() && flag) {
            *fields[i].flag = *flag;
        }
    }
    // Written again, they read back the same.
    const QByteArray written = formatSettings(values);
    const QStringList reread = readSettingsLines(written);
    FUZZ_CHECK(written.endsWith("\r\n") && reread.size() == kSettingsLines,
               "a written file is not thirteen lines ended by CR LF");
    for (int i = 0; encodable && i < kSettingsLines; ++i) {
        FUZZ_CHECK(reread[i] == (fields[i].text
                                     ? *fields[i].text
                                     : QLatin1String(*fields[i].flag ? "True" : "False")),
                   "a setting written and read back changed");
    }
    return 0;
}
