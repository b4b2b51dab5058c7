#pragma once
// The settings file "Corvane.INI": thirteen CP932 lines in a fixed order, each ended by CR LF, and
// the log lines that show it. Pure text functions; the window applies them (settings.cpp).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace corvane {

inline constexpr int kSettingsLines = 13;

struct SettingsValues {
    QString port = QStringLiteral("1");
    QString speed = QStringLiteral("9600");
    QString responseFile1;
    QString responseFile2;
    bool noAutoRun = true;
    bool autoRunFile1 = false;
    bool autoRunFile2 = false;
    QString loadPath;
    QString savePath;
    bool intelHex = true;
    bool motorolaS = false;
    bool binary = false;
    QString initDir = QStringLiteral("D:\\");
    bool operator==(const SettingsValues &) const = default;
};

// The file's bytes: thirteen lines in CP932, flags as "True" or "False", CR LF after each line.
[[nodiscard]] QByteArray formatSettings(const SettingsValues &values);
// The file's lines, decoded from CP932, at most kSettingsLines of them. CR LF ends a line; a CR or
// a LF alone is taken as a line end too, so hand-edited files read as far as they go.
[[nodiscard]] QStringList readSettingsLines(const QByteArray &bytes);
// "True" / "False" (any case, surrounding blanks ignored); nothing for any other text.
[[nodiscard]] std::optional<bool> parseSettingsFlag(const QString &text);

// What the display logs for line `number` (1..13) holding `value`.
struct SettingsDisplay {
    bool ok = true;              // false: the line is not a truth value where one is expected
    std::optional<QString> line; // the log line, if any (a false flag logs nothing)
};
[[nodiscard]] SettingsDisplay settingsDisplayLine(int number, const QString &value);

} // namespace corvane
