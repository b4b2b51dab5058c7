#include "text/replyjudge.h"

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

namespace corvane {

namespace {

const QString kWordRom = QStringLiteral("(Word ROM)");

bool isWord(const QString &mode, std::initializer_list<const char *> words) {
    for (const char *word : words) {
        if (mode == QLatin1String(word))
            return true;
    }
    return false;
}

void splitInto(ReplyOutcome &out) {
    out.fields = divideCommand(out.reply);
}

void judgeDeviceQuery(ReplyOutcome &out) {
    PanelChange &p = out.panel;
    if (out.reply.mid(3, 1) == QLatin1String("-")) {
        out.log << QStringLiteral("！ 装置内にデバイス・タイプが設定されてません。");
        p.deviceCode = QStringLiteral("--");
        out.busy = BusyChange::DeviceSetUpOnly;
        return;
    }
    splitInto(out);
    const auto &f = out.fields->field;
    out.log << QStringLiteral("装置内デバイス・コードは") + f[1] + QStringLiteral("です。");
    p.deviceCode = f[1];
    p.deviceEntry = f[1];
    p.text1 = f[2];
    p.text2 = f[3];
    if (f[4] == QLatin1String("00"))
        p.kind = QStringLiteral("EPROM");
    else if (f[4] == QLatin1String("10"))
        p.kind = QStringLiteral("EEPROM");
    else if (f[4] == QLatin1String("20"))
        p.kind = QStringLiteral("FLASH MEMORY");
    if (f[5] == QLatin1String("0")) {
        p.width = QStringLiteral("(Byte ROM)");
    } else if (f[5] == QLatin1String("1")) {
        p.width = kWordRom;
        p.bufferTypeEnabled = true;
    }
}

void judgeBufferQuery(ReplyOutcome &out, const QString &mode, const PanelFacts &facts) {
    splitInto(out);
    const auto &f = out.fields->field;
    PanelChange &p = out.panel;
    p.bufferAddress = f[1];
    if (mode != QLatin1String("US2CT"))
        out.log << QStringLiteral("バッファRAM先頭アドレスは、") + f[1] + QStringLiteral("H");
    bool isNumber = false;
    const double type = f[2].trimmed().toDouble(&isNumber);
    bool low = facts.bufferTypeLow;
    if (isNumber && (type == 0 || type == 1)) {
        low = type == 0;
        p.bufferTypeLow = low;
        p.bufferTypeHigh = !low;
    }
    if (facts.width == kWordRom && mode == QLatin1String("US2"))
        out.log << (low ? QStringLiteral("バッファタイプは、Low")
                        : QStringLiteral("バッファタイプは、Hi"));
}

void judgeSuccess(ReplyOutcome &out, const QString &mode, const PanelFacts &facts) {
    if (isWord(mode, {"WT", "RD", "CP", "PG"})) {
        QString body = out.reply;
        if (body.endsWith(QLatin1String("\r\n")))
            body.chop(2);
        out.log << QStringLiteral("OK: SUM = ") + body.mid(3) + QStringLiteral("H");
    } else if (isWord(mode, {"BL", "ER"})) {
        out.log << QStringLiteral("OK");
    } else if (mode == QLatin1String("US0")) {
        judgeDeviceQuery(out);
    } else if (mode == QLatin1String("US1")) {
        splitInto(out);
        out.panel.endAddress = out.reply.mid(3, 5);
    } else if (isWord(mode, {"US2", "US2CT", "US2CB"})) {
        judgeBufferQuery(out, mode, facts);
    } else if (mode == QLatin1String("TS")) {
        out.panel.deviceCodeRed = false;
    }
}

void judgeFailure(ReplyOutcome &out, const QString &code, const QString &mode) {
    if (code == QLatin1String("10")) {
        out.log << QStringLiteral("！ ブランクエラー")
                << QStringLiteral("-デバイスアドレス：") + out.reply.mid(3, 5)
                << QStringLiteral("-デバイスデーター：") + out.reply.mid(9, 2)
                << QStringLiteral("NG");
    } else if (code == QLatin1String("11") || code == QLatin1String("12")) {
        out.log << (code == QLatin1String("11") ? QStringLiteral("！ ライトエラー")
                                                : QStringLiteral("！ べリファイエラー"));
        splitInto(out);
        const auto &f = out.fields->field;
        out.log << QStringLiteral("- Address   : ") + f[1]
                << QStringLiteral("- BufferData: ") + f[2]
                << QStringLiteral("- DeviceData: ") + f[3] << QStringLiteral("NG");
    } else if (const std::optional<QString> message = replyCodeMessage(code, mode)) {
        out.log << *message;
        if (code == QLatin1String("21")) {
            out.busy = BusyChange::DeviceSetUpOnly;
            out.panel.deviceCodeRed = true;
        } else if (code == QLatin1String("34")) {
            out.clearCancel = true;
        } else if (code == QLatin1String("98")) {
            out.busy = BusyChange::LinkLost;
        }
    } else {
        out.log << unknownCodeMessage(code);
    }
}

// An unknown or refused device leaves dashes and blanks; the buffer type is chosen only while a
// word-wide device is known.
void tidyPanel(PanelChange &p, const PanelFacts &facts) {
    const QString code = p.deviceCode.value_or(facts.deviceCode);
    const bool red = p.deviceCodeRed.value_or(facts.deviceCodeRed);
    if (code == QLatin1String("--") || red) {
        p.endAddress = QStringLiteral("-----");
        p.text1 = p.text2 = p.kind = p.width = QString();
        p.deviceEntry = code;
    }
    if (p.width.value_or(facts.width) != kWordRom)
        p.bufferTypeEnabled = false;
}

} // namespace

ReplyOutcome judgeReply(const QString &code, const QString &mode, QString reply,
                        const PanelFacts &facts) {
    ReplyOutcome out;
    out.reply = std::move(reply);
    if (code == QLatin1String("00"))
        judgeSuccess(out, mode, facts);
    else
        judgeFailure(out, code, mode);
    tidyPanel(out.panel, facts);
    return out;
}

} // namespace corvane
