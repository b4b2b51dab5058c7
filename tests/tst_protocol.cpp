// The protocol with the unit: judging reply frames, CP932 text, and the operations on a scripted
// line: the exact lines sent, the replies judged, the log they leave and the controls afterwards.

#include "linktesting.h"
#include "text/cp932.h"
#include "text/replyjudge.h"
#include "unitfixture.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// The outcome of a judgement as text: log lines joined by "|", then "#", the panel changes as
// "field=value" words ("esc=0" for a cleared cancel), then "#" and the busy change.
QString outcomeText(const ReplyOutcome &o) {
    const PanelChange &p = o.panel;
    QStringList words;
    const auto text = [&](const char *key, const std::optional<QString> &v) {
        words << (v ? QLatin1String(key) + QLatin1Char('=') + *v : QString());
    };
    const auto flag = [&](const char *key, std::optional<bool> v) {
        words << (v ? QStringLiteral("%1=%2").arg(QLatin1String(key)).arg(int(*v)) : QString());
    };
    text("code", p.deviceCode), flag("red", p.deviceCodeRed), text("entry", p.deviceEntry);
    text("text1", p.text1), text("text2", p.text2), text("kind", p.kind), text("width", p.width);
    text("end", p.endAddress), text("buffer", p.bufferAddress), flag("low", p.bufferTypeLow);
    flag("hi", p.bufferTypeHigh), flag("typeOn", p.bufferTypeEnabled);
    words << (o.clearCancel ? QStringLiteral("esc=0") : QString());
    words.removeAll(QString());
    const char *busy[] = {"", "set-up only", "link lost"};
    return o.log.join('|') + '#' + words.join(' ') + '#' + QLatin1String(busy[int(o.busy)]);
}

// Starts an operation: a button's handler by the button's name, a sub with its parameter
// ("BS 1000", "BT H"), or DeviceCont titled "* Title" ("PG 100,7FF,E").
QCoro::Task<> start(UnitController &f, const QString &call) {
#define CLICK(name)                                                                                \
    { QStringLiteral(#name), &UnitController::name##_Click }
    static const QMap<QString, QCoro::Task<> (UnitController::*)()> clicks{
        CLICK(PbON),     CLICK(PbPG),  CLICK(PbCP),  CLICK(PbWT),      CLICK(PbBL), CLICK(PbRD),
        CLICK(PbER),     CLICK(PbBD),  CLICK(PbCL),  CLICK(PbEE),      CLICK(PbES), CLICK(PbBuff),
        CLICK(PbDevice), CLICK(PbUS0), CLICK(PbUS2), CLICK(インテルる)};
#undef CLICK
    const QString word = call.section(QLatin1Char(' '), 0, 0);
    const QString parameter = call.section(QLatin1Char(' '), 1);
    if (clicks.contains(word))
        return (f.*clicks[word])();
    if (word == QLatin1String("BS") || word == QLatin1String("BT"))
        return word == QLatin1String("BS") ? f.BSsub(parameter) : f.TWsub(parameter);
    return f.DeviceCont(QStringLiteral("* Title"), word, parameter);
}

// The panel as `before` says: "A" a word-wide EEPROM 2F up to 1FFFF, "E" an EPROM 03 up to
// 0FFFF, "-" no device; then the words of UnitFixture::set.
void prepare(UnitFixture &fx, const QString &before) {
    if (before.startsWith(QLatin1Char('A')))
        fx.setDevice("2F", "1FFFF", "EEPROM", "(Word ROM)");
    else if (before.startsWith(QLatin1Char('E')))
        fx.setDevice("03", "0FFFF", "EPROM");
    fx->AnsRxCode = QStringLiteral("00");
    fx->PbReEn();
    fx.set(before.mid(2));
    fx.clearLog();
}

// The unit's answer to "BD" for the bytes first..last (low eight bits of each address), and line
// `n` of the dump table it makes from address 0.
QByteArray dumpAnswer(int first, int last) {
    QByteArray data("00:");
    for (int a = first; a <= last; ++a)
        data += QByteArray(a > first, ',') + QByteArray::number(256 + a % 256, 16).mid(1).toUpper();
    return data + "\r\n";
}
QString dumpLine(int n) {
    const QByteArray bytes = dumpAnswer(n * 16, n * 16 + 15).mid(3).chopped(2).replace(',', ' ');
    return QStringLiteral("%1 ").arg(n, 5, 16, QLatin1Char('0')).toUpper() + bytes;
}

} // namespace

class TestProtocol : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void judge_data();
    void judge();
    void cp932_data();
    void cp932();
    void operation_data();
    void operation();
};

// Rows named after the frame and the word it answers, with the word's reply time-out (-1: none);
// the panel shows device 2F, word-wide unless "byte", black unless "red"; BLANK: no usable device.
void TestProtocol::judge_data() {
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("outcome");
    const auto row = [](const char *frame, const char *mode, int timeoutMs, const char *outcome,
                        const char *panel = "2F") {
        QTest::addRow("%s to %s", frame, mode) << timeoutMs << panel << outcome;
    };
    row("00", "WT", 45000, "OK: SUM = H##");
    row("11:00010,AA,55", "WT", 45000,
        "！ ライトエラー|- Address   : 00010|- BufferData: AA|- DeviceData: 55|NG##");
    row("12:00010,AA,55", "CP", 30000,
        "！ べリファイエラー|- Address   : 00010|- BufferData: AA|- DeviceData: 55|NG##");
    row("13", "BL", 30000, "！ バッファーにアクセスしませんでした。##");
    row("14", "PG", 90000, "！ デバイス・タイプが設定されてません。##");
    row("15", "ER", 45000, "！ EPROMは、電気的消去できません。##");
    row("16", "ER", 45000, "！ 消去に失敗しました。##");
    row("22", "ON", 500, "！ このコマンドは、定義されてません。##");
    row("32", "Load", 3000, "！ 受信タイムアウトです。##");
    row("33", "RD", 30000, "！ 検索データーが、見つかりません。##");
    row("34", "CL", 5000, "キャンセル・ストップしました。#esc=0#");
    row("45", "ESC", 30000, "！ エラー　code=45##");
    row("98", "Load", 3000, "！通信エラーか、ファイル異常です。##link lost");
    row("98", "BD", -1, "！通信エラーです。##link lost");
    for (const char *mode : {"BS", "TW", "EE", "ES"})
        row("00", mode, 500, "##");
    row("00", "TS", 500, "#red=0#", "2F red");
    row("00:03,A,B,00,0", "US0", 500,
        "装置内デバイス・コードは03です。#code=03 entry=03 text1=A "
        "text2=B kind=EPROM width=(Byte ROM) typeOn=0#");
    row("00:2F,X,Y,99,1", "US0", 500, "装置内デバイス・コードは2Fです。#code=2F entry=2F BLANK#",
        "2F red");
    row("00:1FFFF", "US1", 500, "#end=1FFFF#");
    row("00:00100,1", "US2", 500,
        "バッファRAM先頭アドレスは、00100H#buffer=00100 low=0 hi=1 typeOn=0#", "2F byte");
    row("00:00100,0", "US2CT", 500, "#buffer=00100 low=1 hi=0#");
    row("00:00100,1", "US2CB", 500, "バッファRAM先頭アドレスは、00100H#buffer=00100 low=0 hi=1#");
}

void TestProtocol::judge() {
    QFETCH(int, timeoutMs);
    QFETCH(QString, panel);
    QFETCH(QString, outcome);
    const QString name = QString::fromUtf8(QTest::currentDataTag());
    const PanelFacts facts{panel.section(' ', 0, 0), panel.contains("red"),
                           panel.contains("byte") ? "(Byte ROM)" : "(Word ROM)", true, false};
    // For "98" the reply is whatever arrived before the time-out.
    const QString reply = name.section(QLatin1String(" to "), 0, 0) + QStringLiteral("\r\n");
    const QString mode = name.section(QLatin1String(" to "), 1);
    QCOMPARE(replyTimeoutMs(mode).value_or(-1), timeoutMs);
    QCOMPARE(outcomeText(judgeReply(reply.left(2), mode, reply, facts)),
             outcome.replace("BLANK", "text1= text2= kind= width= end=----- typeOn=0"));
}

// Double-byte characters as code points, never look-alikes; texts CP932 lacks are refused.
void TestProtocol::cp932_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("CP932 forms")
        << QByteArray("\x81\x40\x82\xa0\x81\x60\x81\x5c\x87\x40\xfa\x40\xf0\x40\x95\x5c")
        << QStringLiteral("\u3000\u3042\uFF5E\u2015\u2460\u2170\uE000\u8868");
    QTest::newRow("lead 81 9F E0 FC, trail 7E 80 FC, kana A1 DF")
        << QByteArray("\x81\x7e\x9f\x40\xe0\x9f\xfc\x4b\xa1\x40\xdf\xa1\x81\x80\x9f\xfc")
        << QStringLiteral("×檗燹黑｡@ﾟ｡÷滌");
    QTest::newRow("lone lead byte at the end") << QByteArray("A\x82") << QStringLiteral("A\uFFFD");
    QTest::newRow("lead byte before CR LF")
        << QByteArray("\x82\r\n\x81\x7f") << QStringLiteral("\uFFFD\r\n\uFFFD\x7f");
    QTest::newRow("bad pair, then valid text")
        << QByteArray("\x82\xa0\x85\x40\x82\xa2") << QStringLiteral("\u3042\uFFFD@\u3044");
    QTest::newRow("bad pair whose trail is a lead byte")
        << QByteArray("\x85\x85\x40\xeb\x82\xa0") << QStringLiteral("\uFFFD\uFFFD@\uFFFD\u3042");
    for (const QString &text : QStringList{"aあé", "\U0001F600", "\u301C"})
        QTest::addRow("refused %s", qPrintable(text)) << QByteArray() << text;
}

void TestProtocol::cp932() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    if (!bytes.isNull()) {
        QCOMPARE(fromCp932(bytes), text);
        // A bad pair decoded in between changes nothing for the next text.
        QCOMPARE(fromCp932("\x85\x40"), QStringLiteral("\uFFFD@"));
        QCOMPARE(fromCp932(bytes), text);
    }
    const bool refused = bytes.isNull() || text.contains(QChar::ReplacementCharacter);
    QCOMPARE(encodeCp932(text).value_or("<refused>"), refused ? "<refused>" : bytes);
    // A refusal leaves nothing behind for the next text.
    QCOMPARE(encodeCp932(QStringLiteral("あ")).value_or("<refused>"), QByteArray("\x82\xa0"));
}

// The log after the empty line every operation starts with, lines joined by "|"; "$S", "$E",
// "$A" (start 00000, end 1FFFF, mode ALL) and the other "$" words as operation() spells them out.
void TestProtocol::operation_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("call");
    QTest::addColumn<QList<QByteArray>>("script"); // lines sent, each followed by the answer
    QTest::addColumn<QString>("log");
    QTest::addColumn<QString>("after"); // as UnitFixture::probe shows it
    const auto row = [](const char *name, const char *before, const char *call,
                        const QList<QByteArray> &script, const QString &log,
                        const char *after = "") {
        QTest::newRow(name) << before << call << script << log << after;
    };
    using L = QList<QByteArray>;
    // The device access buttons send 00000, the end address shown and the mode set.
    row("program all", "A", "PbPG", {"PG00000,1FFFF,0", "00:1A2B\r\n"},
        "* Program device|$S|$E|$A|OK: SUM = 1A2BH", "AnsRxCode=00;PbPG=1");
    row("write odd", "A;OpDevAModeO=1", "PbWT", {"WT00000,1FFFF,1", "00:1\r\n"},
        "* Write device|$S|$E|    mode         = ODD|OK: SUM = 1H");
    row("verify even", "A;OpDevAModeE=1", "PbCP", {"CP00000,1FFFF,2", "00:FF\r\n"},
        "* Verify device|$S|$E|    mode         = EVEN|OK: SUM = FFH");
    row("read all", "A", "PbRD", {"RD00000,1FFFF,0", "00:0\r\n"},
        "* Read device|$S|$E|$A|OK: SUM = 0H");
    row("blank check finds a cell", "A", "PbBL", {"BL00000,1FFFF", "10:00012,3C\r\n"},
        "* Blank check |$S|$E|！ ブランクエラー|-デバイスアドレス：00012|-デバイスデーター：3C|NG");
    row("erase sends no mode", "A;OpDevAModeE=1", "PbER", {"ER00000,1FFFF", "00\r\n"},
        "* Erase device |$S|$E|OK");
    // Typed: fields padded or cut to five characters, not validated; the unit refuses them.
    row("P123456,7FF,E", "A", "PG 123456,7FF,E", {"PG23456,007FF,2", "20\r\n"},
        "* Title|    start adress = 23456H|    end adress   = 007FFH|    mode         = EVEN|"
        "$BAD");
    row("B without device", "-", "BL", {"BL00000,-----", "20\r\n"},
        "* Title|$S|    end adress   = -----H|$BAD");
    row("mode X sends an empty field", "A", "RD 0,,X", {"RD00000,1FFFF,", "20\r\n"},
        "* Title|$S|$E|$BAD");

    // The greeting: no device type, no "TS"; a stored code the unit does not know, still "US2".
    const L on{"ON", "00\r\n", "US0"}, us2{"US2", "00:00000,0\r\n"};
    row("greeting, no device", "A", "PbON", on + L{"00:-\r\n", "US1", "00:-----\r\n"} + us2,
        "Corvaneと接続しました。|！ 装置内にデバイス・タイプが設定されてません。|$BUFFER00000H|OK",
        "PbPG=0;PbDevice=1");
    row("greeting, stored code unknown", "-", "PbON",
        on + L{"00:2F,A,B,00,0\r\n", "US1", "00:1FFFF\r\n", "TS2F,A", "21\r\n"} + us2,
        "Corvaneと接続しました。|$IS2F|！ 未定義デバイス・コードです。|$BUFFER00000H|OK", "red=1");

    const L queries{"US0", "00:03,A,B,00,0\r\n", "US1", "00:0FFFF\r\n"};
    row("TS03 on an empty panel", "-;TexDVS=03", "PbDevice", L{"TS03,-,-", "00\r\n"} + queries,
        "* Device Select|$IS03|OK", "LbDevSetCode=03;red=0;LbDevEAddr=0FFFF;PbPG=1");
    row("code and first text", "-;TexDVS=2F,AAA", "PbDevice",
        {"TS2F,AAA,-", "00\r\n", "US0", "00:2F,\x9f\x40,\xfc\x4b,10,1\r\n", "US1", "00:1FFFF\r\n"},
        "* Device Select|$IS2F|OK",
        "LbDevStr1=檗;LbDevStr2=黑;LbDevRom1=EEPROM;LbDevRom2=(Word ROM);OpBuffTypeH!=1");
    row("empty takes the shown device", "A;TexDVS=", "PbDevice",
        {"TS2F,X,Y", "00\r\n", "US0", "00:2F,X,Y,10,0\r\n", "US1", "00:1FFFF\r\n"},
        "* Device Select|$IS2F|OK", "OpBuffTypeH!=0");
    row("rejected code still queries, no OK", "-;TexDVS=99", "PbDevice",
        L{"TS99,-,-", "21\r\n"} + queries, "* Device Select|！ 未定義デバイス・コードです。|$IS03",
        "LbDevSetCode=03;red=1;LbDevEAddr=-----;LbDevStr1=;PbPG=0;PbDevice=1");
    row("no reply to TS: no queries", "-;TexDVS=03", "PbDevice", {"TS03,-,-", ""},
        "* Device Select||$LOST", "AnsRxCode=98;PbDevice=0;PbON=1");

    // The stand-alone queries. While the code is red every reply blanks the panel; the unit taking
    // its own code again turns it black.
    row("US0 reselects a red code", "A;red", "PbUS0",
        {"US0", "00:2F,X,Y,10,1\r\n", "US1", "00:1FFFF\r\n", "TS2F,", "00\r\n"}, "$IS2F|OK",
        "red=0;LbDevEAddr=-----");
    row("US0 without device", "E", "PbUS0", {"US0", "00:-\r\n", "US1", "00:-----\r\n"},
        "！ 装置内にデバイス・タイプが設定されてません。", "LbDevSetCode=--;PbPG=0;PbDevice=1");
    // イ 83 43, ン 83 93, テ 83 65, ル 83 8B, る 82 E9 in CP932; the panel is not queried.
    row("fixed device in CP932", "E", "インテルる",
        {"TS2F,\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9,am27r010gg", "00\r\n"}, "OK",
        "LbDevSetCode=03");

    row("set 0 Low", "A;StBuffAdr=0", "PbBuff",
        {"BS0", "00\r\n", "TW0", "00\r\n", "US2", "00:00000,0\r\n"},
        "* Set Buffer|$BUFFER00000H|バッファタイプは、Low|OK", "StBuffAdr=00000");
    row("empty address reads back only", "A;StBuffAdr=", "PbBuff", {"US2", "00:01000,1\r\n"},
        "* Set Buffer|$BUFFER01000H|バッファタイプは、Hi|OK", "OpBuffTypeH=1");
    row("rejected address stops", "A;StBuffAdr=ZZ;OpBuffTypeH=1", "PbBuff", {"BSZZ", "20\r\n"},
        "* Set Buffer|$BAD", "StBuffAdr=ZZ;OpBuffTypeH=1");
    row("typed BS1000", "A", "BS 1000", {"BS1000", "00\r\n", "US2", "00:1000,1\r\n"},
        "* Set Buffer start address|$BUFFER1000H|OK", "StBuffAdr=1000");
    row("typed BTH, the unit keeps Low", "A", "BT H", {"TW1", "00\r\n", "US2", "00:00000,0\r\n"},
        "* Buffer type|OK: Even = Low", "OpBuffTypeL=1");

    // The dump table, sixteen bytes a line, the columns before the start showing "--".
    QStringList table{"* Dump buffer RAM", "  ADD +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F"};
    for (int n = 0; n < 16; ++n)
        table << dumpLine(n);
    const auto dump = [&](int lines) { return table.mid(0, lines).join('|') + '|'; };
    row("dump button, 0 to 0FF", "A", "PbBD", {"BD0,0FF", dumpAnswer(0, 0xFF)}, dump(18) + "OK");
    row("start 5", "A;DUMPS=5;DUMPE=1F", "PbBD", {"BD5,1F", dumpAnswer(5, 0x1F)},
        dump(2) + "00000 -- -- -- -- --" + table[2].mid(20) + '|' + table[3] + "|OK");
    row("short last line", "A;DUMPE=12", "PbBD", {"BD0,12", dumpAnswer(0, 0x12)},
        dump(3) + "00001 10 11 12|OK");
    row("lost in the data", "A", "PbBD", {"BD0,0FF", dumpAnswer(0, 0xFF).left(3 + 20 * 3)},
        dump(3) + "$LOST", "AnsRxCode=98;PbBD=0;PbON=1");
    row("cancelled in the data", "A", "PbBD",
        {"BD0,0FF", dumpAnswer(0, 0xFF).left(3 + 4 * 48), "\x1b", "34\r\n"},
        dump(6) + "キャンセルしました。", "AnsRxCode=34");

    row("clear", "A", "PbCL", {"CL", "00\r\n"}, "* Buffer clear|OK");
    row("lamp off", "A", "PbEE", {"EE", "00\r\n"}, "* Erase LAMP OFF|OK");

    // Pieces 0.4 s apart make one reply; no reply in the time-out (" - Wait a moment " after 1 s,
    // so not for "TS" above), an endless one and a refused write end it (not after 90 s for PG).
    row("reply in pieces", "A", "PbUS2", {"US2", "00:0|10|00,1\r\n"},
        "$BUFFER01000H|バッファタイプは、Hi|OK", "StBuffAdr=01000;OpBuffTypeH=1");
    row("no reply in 5 s", "A", "PbCL", {"CL", ""}, "* Buffer clear| - Wait a moment |$LOST",
        "AnsRxCode=98;PbCL=0;PbON=1");
    row("endless reply", "A", "PbPG", {"PG00000,1FFFF,0", QByteArray(5000, 'Z')},
        "* Program device|$S|$E|$A||$LOST", "AnsRxCode=98");
    row("write refused", "-", "PbES", {"ES", "<refused>"},
        "* Erase LAMP ON|！送信タイムアウトです。", "AnsRxCode=99;PbES=0;PbON=1");
}

void TestProtocol::operation() {
    QFETCH(QString, before);
    QFETCH(QString, call);
    QFETCH(QList<QByteArray>, script);
    QFETCH(QString, log);
    QFETCH(QString, after);
    ScriptedPort *port = nullptr; // the unit's line, replaced by a (re)connect
    UnitFixture fx(0, [&](const QString &) {
        auto made = std::make_unique<ScriptedPort>();
        expectScript(port = made.get(), script);
        return made;
    });
    const QList<QByteArray> lines = expectScript(port = fx.useScripted(), script);
    port->setWriteRefused(script.contains("<refused>"));
    prepare(fx, before);
    QByteArray sent; // as the controller reports it
    QObject::connect(&fx.unit(), &UnitController::bytesSent, &fx.unit(),
                     [&sent](const QByteArray &bytes) { sent += bytes; });
    auto task = start(fx.unit(), call);
    // The cancel button, where the unit answers the cancel line, once the data flows.
    if (lines.contains("\x1b")) {
        QVERIFY(waitUntil([&] { return !port->written().isEmpty(); }, 3000));
        spin(150);
        fx->PbCansel_Click();
    }
    QVERIFY2(runToEnd(std::move(task), 20000), port->written().constData());
    QCOMPARE(port->writtenLines(), script.contains("<refused>") ? QList<QByteArray>() : lines);
    QCOMPARE(sent, port->written());
    const QList<std::pair<const char *, QString>> words{
        {"$S", "    start adress = 00000H"}, {"$E", "    end adress   = 1FFFFH"},
        {"$A", "    mode         = ALL"},    {"$BAD", "！ パラメータに、誤りがあります。"},
        {"$LOST", "！通信エラーです。"},     {"$BUFFER", "バッファRAM先頭アドレスは、"}};
    for (const auto &[word, text] : words)
        log.replace(word, text);
    log.replace(QRegularExpression(QStringLiteral("\\$IS(..)")),
                QStringLiteral("装置内デバイス・コードは\\1です。"));
    QCOMPARE(fx.log().join('|'), '|' + log);
    QCOMPARE(fx.probe(after), after);
    QVERIFY(!fx.enabled(QStringLiteral("PbCansel")) && !fx->EscFlag);
}

QTEST_MAIN(TestProtocol)
#include "tst_protocol.moc"
