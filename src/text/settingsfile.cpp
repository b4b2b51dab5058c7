#include "text/settingsfile.h"

#include "text/cp932.h"

namespace corvane {

namespace {

QString flag(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

QByteArray formatSettings(const SettingsValues &v) {
    const QStringList lines{v.port,
                            v.speed,
                            v.responseFile1,
                            v.responseFile2,
                            flag(v.noAutoRun),
                            flag(v.autoRunFile1),
                            flag(v.autoRunFile2),
                            v.loadPath,
                            v.savePath,
                            flag(v.intelHex),
                            flag(v.motorolaS),
                            flag(v.binary),
                            v.initDir};
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += toCp932(line) + "\r\n";
    return bytes;
}

QStringList readSettingsLines(const QByteArray &bytes) {
    QStringList lines;
    qsizetype start = 0;
    while (start < bytes.size() && lines.size() < kSettingsLines) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n')
            ++end;
        lines.append(fromCp932(bytes.mid(start, end - start)));
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return lines;
}

std::optional<bool> parseSettingsFlag(const QString &text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    return std::nullopt;
}

SettingsDisplay settingsDisplayLine(int number, const QString &value) {
    const QString none = QStringLiteral("設定無し");
    auto pathLine = [&](const QString &label) {
        return SettingsDisplay{true, label + (value.isEmpty() ? none : value)};
    };
    auto flagLine = [&](const QString &text) {
        const std::optional<bool> f = parseSettingsFlag(value);
        if (!f)
            return SettingsDisplay{false, std::nullopt};
        return SettingsDisplay{true, *f ? std::optional<QString>(text) : std::nullopt};
    };
    switch (number) {
    case 1:
        return {true, QStringLiteral("　通信ポート　　　No") + value};
    case 2:
        return {true, QStringLiteral("　通信速度　　　　") + value + QStringLiteral("bps")};
    case 3:
        return pathLine(QStringLiteral("　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ１　 "));
    case 4:
        return pathLine(QStringLiteral("　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ２　 "));
    case 5:
        return flagLine(QStringLiteral("　ｺﾏﾝﾄﾞﾚｽ起動　　 自動起動しない。"));
    case 6:
        return flagLine(QStringLiteral("　ｺﾏﾝﾄﾞﾚｽ起動　　 自動起動する。（ﾌｧｲﾙ１）"));
    case 7:
        return flagLine(QStringLiteral("　ｺﾏﾝﾄﾞﾚｽ起動　　 自動起動する。（ﾌｧｲﾙ２）"));
    case 8:
        return pathLine(QStringLiteral("　読込ファイル　  "));
    case 9:
        return pathLine(QStringLiteral("　保存ファイル　  "));
    case 10:
        return flagLine(QStringLiteral("　ﾃﾞｰﾀｰ形式　　 　ＨＥＸファイル"));
    case 11:
        return flagLine(QStringLiteral("　ﾃﾞｰﾀｰ形式　　 　Ｓファイル"));
    case 12:
        return flagLine(QStringLiteral("　ﾃﾞｰﾀｰ形式　　 　バイナリファイル"));
    case 13:
        return pathLine(QStringLiteral("　ﾌｧｲﾙ参照ﾊﾟｽ　   "));
    default:
        return {false, std::nullopt};
    }
}

} // namespace corvane
