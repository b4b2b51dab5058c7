#include "protocol/replyjudge.h"

namespace corvane {

std::optional<int> replyTimeoutMs(const QString &mode) {
    if (mode == QLatin1String("BD"))
        return std::nullopt;
    if (mode == QLatin1String("Load"))
        return 3000;
    if (mode == QLatin1String("CL"))
        return 5000;
    if (mode == QLatin1String("CP") || mode == QLatin1String("RD") || mode == QLatin1String("BL") ||
        mode == QLatin1String("ESC"))
        return 30000;
    if (mode == QLatin1String("WT") || mode == QLatin1String("ER"))
        return 45000;
    if (mode == QLatin1String("PG"))
        return 90000;
    return 500;
}

std::optional<QString> replyCodeMessage(const QString &code, const QString &mode) {
    struct Row {
        const char *code;
        const char16_t *message;
    };
    static const Row rows[] = {
        {"01", u"Corvaneの受信準備ができました。"},
        {"13", u"！ バッファーにアクセスしませんでした。"},
        {"14", u"！ デバイス・タイプが設定されてません。"},
        {"15", u"！ EPROMは、電気的消去できません。"},
        {"16", u"！ 消去に失敗しました。"},
        {"20", u"！ パラメータに、誤りがあります。"},
        {"21", u"！ 未定義デバイス・コードです。"},
        {"22", u"！ このコマンドは、定義されてません。"},
        {"30", u"！ 受信データーのチェックサムに異常がありました。"},
        {"32", u"！ 受信タイムアウトです。"},
        {"33", u"！ 検索データーが、見つかりません。"},
        {"34", u"キャンセル・ストップしました。"},
        {"99", u"！送信タイムアウトです。"},
    };
    if (code == QLatin1String("98")) {
        return mode == QLatin1String("Load") ? QStringLiteral("！通信エラーか、ファイル異常です。")
                                             : QStringLiteral("！通信エラーです。");
    }
    for (const Row &row : rows) {
        if (code == QLatin1String(row.code))
            return QString::fromUtf16(row.message);
    }
    return std::nullopt;
}

QString unknownCodeMessage(const QString &code) {
    return QStringLiteral("！ エラー　code=") + code;
}

} // namespace corvane
