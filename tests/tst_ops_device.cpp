// Device access, device selection and the stand-alone unit queries on a scripted line: the bytes
// sent, the log lines, the device panel and the busy state.

#include "formfixture.h"
#include "linktesting.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

// Command lines (without CR LF) and the unit's answers to them.
using Script = QList<QPair<QByteArray, QByteArray>>;
using Lines = QList<QByteArray>;

const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);
const QString kStart = QStringLiteral("    start adress = 00000H");
const QString kEnd = QStringLiteral("    end adress   = 1FFFFH");

// A window on a scripted line; play() empties the log so that log() holds one operation's lines.
struct Setup {
    Setup() {
        port = fx.useScripted();
        fx->AnsRxCode = QStringLiteral("00");
        fx->PbReEn();
    }
    // Expects the script's lines in turn (an empty reply: no answer).
    void play(const Script &script) {
        for (const auto &[line, reply] : script) {
            port->expect(line, reply);
            lines << line;
        }
        fx->List1->clear();
    }
    bool sent() const { return !port->written().isEmpty(); }
    FormFixture fx;
    ScriptedPort *port = nullptr;
    Lines lines;
};

using Click = QCoro::Task<> (Form1::*)();

struct Access {
    Click button; // none: DeviceCont with word and parameter
    char mode;    // the option set: 'A', 'O' or 'E'
    QString word, parameter, endLabel;
    QByteArray line, reply;
    QStringList log;
};
struct Select {
    QString shownCode; // "--" or a code with texts X, Y
    QString typed;
    Script script;
    QStringList log;
    QString code;
    bool red;
    QString endAddress;
};
struct Query {
    Click query;
    QString shownCode; // "--", a code, or "red" for a red 2F
    Script script;
    QStringList log;
    QString code, endAddress;
};

} // namespace

Q_DECLARE_METATYPE(Access)
Q_DECLARE_METATYPE(Select)
Q_DECLARE_METATYPE(Query)

class TestOpsDevice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void access_data();
    void access();
    void busyStateAndCancel();
    void epromKeepsEraseDisabled();

    void deviceSelect_data();
    void deviceSelect();

    void queries_data();
    void queries();
    void secondQueryIsRefused();
    void queryIsRefusedWhileOperationRuns();
    void operationWaitsForRunningQuery();
};

void TestOpsDevice::access_data() {
    QTest::addColumn<Access>("c");
    auto button = [](const char *name, Click click, char mode, const char *line, const char *reply,
                     const QStringList &log) {
        QTest::newRow(name) << Access{click, mode, {}, {}, "1FFFF", line, reply, log};
    };
    button("program all", &Form1::PbPG_Click, 'A', "PG00000,1FFFF,0", "00:1A2B\r\n",
           {"", "* Program device", kStart, kEnd, "    mode         = ALL", "OK: SUM = 1A2BH"});
    button("verify even", &Form1::PbCP_Click, 'E', "CP00000,1FFFF,2", "00:1234\r\n",
           {"", "* Verify device", kStart, kEnd, "    mode         = EVEN", "OK: SUM = 1234H"});
    button("write odd", &Form1::PbWT_Click, 'O', "WT00000,1FFFF,1", "00:0001\r\n",
           {"", "* Write device", kStart, kEnd, "    mode         = ODD", "OK: SUM = 0001H"});
    button("read all", &Form1::PbRD_Click, 'A', "RD00000,1FFFF,0", "00:00FF\r\n",
           {"", "* Read device", kStart, kEnd, "    mode         = ALL", "OK: SUM = 00FFH"});
    button("blank check sends no mode", &Form1::PbBL_Click, 'O', "BL00000,1FFFF", "00\r\n",
           {"", "* Blank check ", kStart, kEnd, "OK"});
    button("erase sends no mode", &Form1::PbER_Click, 'E', "ER00000,1FFFF", "00\r\n",
           {"", "* Erase device ", kStart, kEnd, "OK"});

    // Typed: the unit refuses each line, so the log ends with the message of its code "20".
    auto typed = [](const char *name, const char *word, const char *parameter, const char *endLabel,
                    const char *line, QStringList details) {
        QStringList log{"", "* Title"};
        log << details << "！ パラメータに、誤りがあります。";
        QTest::newRow(name) << Access{{}, 'A', word, parameter, endLabel, line, "20\r\n", log};
    };
    typed("P100,7FF,E", "PG", "100,7FF,E", "1FFFF", "PG00100,007FF,2",
          {"    start adress = 00100H", "    end adress   = 007FFH", "    mode         = EVEN"});
    typed("B alone without device", "BL", "", "-----", "BL00000,-----",
          {kStart, "    end adress   = -----H"});
    typed("start of six characters", "RD", "123456,,A", "1FFFF", "RD23456,1FFFF,0",
          {"    start adress = 23456H", kEnd, "    mode         = ALL"});
    typed("start 1, end of six characters", "CP", "1,ABCDEF,O", "1FFFF", "CP00001,BCDEF,1",
          {"    start adress = 00001H", "    end adress   = BCDEFH", "    mode         = ODD"});
    typed("mode X sends an empty field", "RD", "0,,X", "1FFFF", "RD00000,1FFFF,", {kStart, kEnd});
    typed("empty mode is ALL", "RD", "", "0FFFF", "RD00000,0FFFF,0",
          {kStart, "    end adress   = 0FFFFH", "    mode         = ALL"});
    typed("erase ignores a mode, fields not validated", "ER", "1G,20,O", "1FFFF", "ER0001G,00020",
          {"    start adress = 0001GH", "    end adress   = 00020H"});
}

void TestOpsDevice::access() {
    QFETCH(Access, c);
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.fx->LbDevEAddr->setText(c.endLabel);
    s.fx->OpDevAModeA->setChecked(c.mode == 'A');
    s.fx->OpDevAModeO->setChecked(c.mode == 'O');
    s.fx->OpDevAModeE->setChecked(c.mode == 'E');
    s.play({{c.line, c.reply}});
    QVERIFY(runToEnd(c.button ? (s.fx.form().*c.button)()
                              : s.fx->DeviceCont(QStringLiteral("* Title"), c.word, c.parameter)));
    QCOMPARE(s.port->written(), c.line + "\r\n");
    QCOMPARE(s.fx.log(), c.log);
    QCOMPARE(s.fx->AnsRxCode, QString::fromLatin1(c.reply.left(2)));
    QVERIFY(s.fx->PbPG->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsDevice::busyStateAndCancel() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.port->expect(QByteArray("\x1b"), "34\r\n", 20);
    s.fx->List1->clear();
    auto task = s.fx->PbPG_Click();

    // Before the line is sent (the input purge): all disabled, cancel too.
    spin(100);
    QVERIFY(!s.sent());
    QVERIFY(!s.fx->PbCansel->isEnabled());
    QVERIFY(!s.fx->PbPG->isEnabled());

    // While the reply is awaited: cancel enabled, the rest disabled, the queries untouched.
    QVERIFY(waitUntil([&] { return s.sent(); }, 3000));
    QVERIFY(s.fx->PbCansel->isEnabled());
    for (QPushButton *b : {s.fx->PbPG, s.fx->PbBL, s.fx->PbER, s.fx->PbDevice, s.fx->PbBuff,
                           s.fx->PbBD, s.fx->PbON, s.fx->PbExit, s.fx->PbCMD})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName() + b->text()));
    QVERIFY(s.fx->PbUS0->isEnabled());

    s.fx->PbCansel->click();
    QVERIFY(s.fx->EscFlag);
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(s.port->written(), QByteArray("PG00000,1FFFF,0\r\n\x1b\r\n"));
    QCOMPARE(s.fx.log().last(), QStringLiteral("キャンセル・ストップしました。"));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("34"));
    QVERIFY(!s.fx->EscFlag);
    QVERIFY(!s.fx->PbCansel->isEnabled());
    for (QPushButton *b : {s.fx->PbPG, s.fx->PbBL, s.fx->PbER, s.fx->PbDevice, s.fx->PbON})
        QVERIFY(b->isEnabled());
}

void TestOpsDevice::epromKeepsEraseDisabled() {
    Setup s;
    s.fx.setDevice(QStringLiteral("03"), QStringLiteral("0FFFF"), QStringLiteral("EPROM"));
    QVERIFY(!s.fx->PbER->isEnabled());
    s.play({{"BL00000,0FFFF", "00\r\n"}});
    QVERIFY(runToEnd(s.fx->PbBL_Click()));
    QVERIFY(s.fx->PbPG->isEnabled());
    QVERIFY(!s.fx->PbER->isEnabled());
}

void TestOpsDevice::deviceSelect_data() {
    QTest::addColumn<Select>("c");
    auto row = [](const char *name, const char *shown, const char *typed, const Script &script,
                  const QStringList &log, const char *code, bool red, const char *end) {
        QTest::newRow(name) << Select{
            shown, typed, script, QStringList{"", "* Device Select"} + log, code, red, end};
    };
    const Script queries03{{"US0", "00:03,A,B,00,0\r\n"}, {"US1", "00:0FFFF\r\n"}};
    const QString is03 = QStringLiteral("装置内デバイス・コードは03です。");
    const QString is2F = QStringLiteral("装置内デバイス・コードは2Fです。");

    row("TS03,-,- on an empty panel", "--", "03", Script{{"TS03,-,-", "00\r\n"}} << queries03,
        {is03, "OK"}, "03", false, "0FFFF");
    row("first text given", "--", "2F,AAA",
        {{"TS2F,AAA,-", "00\r\n"}, {"US0", "00:2F,AAA,B,10,0\r\n"}, {"US1", "00:1FFFF\r\n"}},
        {is2F, "OK"}, "2F", false, "1FFFF");
    row("empty takes the shown device", "2F", "",
        {{"TS2F,X,Y", "00\r\n"}, {"US0", "00:2F,X,Y,10,0\r\n"}, {"US1", "00:1FFFF\r\n"}},
        {is2F, "OK"}, "2F", false, "1FFFF");
    row("empty without device only queries", "--", "", queries03, {is03, "OK"}, "03", false,
        "0FFFF");
    row("rejected code still queries, no OK", "--", "99",
        Script{{"TS99,-,-", "21\r\n"}} << queries03, {"！ 未定義デバイス・コードです。", is03},
        "03", true, "-----");
    row("other error stops", "--", "03", {{"TS03,-,-", "20\r\n"}},
        {"！ パラメータに、誤りがあります。"}, "--", false, "-----");
    row("failed US0 stops before US1", "--", "03", {{"TS03,-,-", "00\r\n"}, {"US0", "22\r\n"}},
        {"！ このコマンドは、定義されてません。"}, "--", false, "-----");
    row("failed US1 leaves out OK", "--", "03",
        {{"TS03,-,-", "00\r\n"}, {"US0", "00:03,A,B,00,0\r\n"}, {"US1", "45\r\n"}},
        {is03, "！ エラー　code=45"}, "03", false, "-----");
    row("no reply: no queries, link lost", "--", "03", {{"TS03,-,-", ""}},
        {"", "！通信エラーです。"}, "--", false, "-----");
}

void TestOpsDevice::deviceSelect() {
    QFETCH(Select, c);
    Setup s;
    if (c.shownCode != QLatin1String("--"))
        s.fx.setDevice(c.shownCode, QStringLiteral("1FFFF"));
    s.fx->TexDVS->setText(c.typed);
    s.play(c.script);
    QVERIFY(runToEnd(s.fx->PbDevice_Click()));
    QCOMPARE(s.port->writtenLines(), s.lines);
    QCOMPARE(s.fx.log(), c.log);
    QCOMPARE(s.fx->LbDevSetCode->text(), c.code);
    QCOMPARE(Form1::textColor(s.fx->LbDevSetCode) == kRed, c.red);
    QCOMPARE(s.fx->LbDevEAddr->text(), c.endAddress);
    // Device access only with an accepted device; selecting stays possible unless the link is
    // lost, when only reconnecting and the safe controls remain.
    const bool lost = c.script.last().second.isEmpty();
    QCOMPARE(s.fx->AnsRxCode == QLatin1String("98"), lost);
    QCOMPARE(s.fx->PbPG->isEnabled(), !c.red && c.code != QLatin1String("--"));
    QCOMPARE(s.fx->PbDevice->isEnabled(), !lost);
    QCOMPARE(s.fx->PbBuff->isEnabled(), !lost);
    QVERIFY(s.fx->PbON->isEnabled());
    QVERIFY(s.fx->PbExit->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsDevice::queries_data() {
    QTest::addColumn<Query>("c");
    auto row = [](const char *name, Click query, const char *shown, const Script &script,
                  const QStringList &log, const char *code, const char *end) {
        QTest::newRow(name) << Query{query, shown, script, log, code, end};
    };
    const Script us0 = {{"US0", "00:2F,X,Y,10,1\r\n"}, {"US1", "00:1FFFF\r\n"}};
    const QStringList selected{"", "装置内デバイス・コードは2Fです。", "OK"};
    // While the code is red every reply blanks the panel (first text and end address too); the
    // unit taking its own code again turns it black.
    row("US0 reselects a red code", &Form1::PbUS0_Click, "red", us0 + Script{{"TS2F,", "00\r\n"}},
        selected, "2F", "-----");
    row("US0 sends code and first text", &Form1::PbUS0_Click, "03",
        us0 + Script{{"TS2F,X", "00\r\n"}}, selected, "2F", "1FFFF");
    row("US0 without device", &Form1::PbUS0_Click, "--",
        {{"US0", "00:-\r\n"}, {"US1", "00:-----\r\n"}},
        {"", "！ 装置内にデバイス・タイプが設定されてません。"}, "--", "-----");
    row("US2", &Form1::PbUS2_Click, "2F", {{"US2", "00:00100,1\r\n"}},
        {"", "バッファRAM先頭アドレスは、00100H", "バッファタイプは、Hi", "OK"}, "2F", "0FFFF");
    // イ 83 43, ン 83 93, テ 83 65, ル 83 8B, る 82 E9 in CP932.
    row("fixed device button sends CP932", &Form1::インテルる_Click, "03",
        {{"TS2F,\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9,am27r010gg", "00\r\n"}}, {"", "OK"}, "03",
        "0FFFF");
}

void TestOpsDevice::queries() {
    QFETCH(Query, c);
    Setup s;
    if (c.shownCode != QLatin1String("--")) {
        const bool red = c.shownCode == QLatin1String("red");
        s.fx.setDevice(red ? QStringLiteral("2F") : c.shownCode, QStringLiteral("0FFFF"),
                       QStringLiteral("EEPROM"), QStringLiteral("(Word ROM)"));
        if (red)
            Form1::setTextColor(s.fx->LbDevSetCode, kRed);
    }
    s.play(c.script);
    Form1 &f = s.fx.form();
    QVERIFY(runToEnd((f.*c.query)()));
    QCOMPARE(s.port->writtenLines(), s.lines);
    QCOMPARE(s.fx.log(), c.log);
    QCOMPARE(f.LbDevSetCode->text(), c.code);
    QCOMPARE(Form1::textColor(f.LbDevSetCode), kBlack);
    QCOMPARE(f.LbDevEAddr->text(), c.endAddress);
}

void TestOpsDevice::secondQueryIsRefused() {
    Setup s;
    s.port->expect("US2", "00:00000,0\r\n", 200);
    s.fx->List1->clear();
    auto first = s.fx->PbUS2_Click();
    QVERIFY(waitUntil([&] { return s.sent(); }, 3000));
    QVERIFY(runToEnd(s.fx->PbUS0_Click(), 50));
    QVERIFY(runToEnd(s.fx->PbUS2_Click(), 50));
    QVERIFY(runToEnd(s.fx->インテルる_Click(), 50));
    QVERIFY(runToEnd(std::move(first)));
    QCOMPARE(s.port->writtenLines(), Lines{"US2"});
    QCOMPARE(s.fx.log(), (QStringList{"", "バッファRAM先頭アドレスは、00000H", "OK"}));
}

void TestOpsDevice::queryIsRefusedWhileOperationRuns() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.port->expect("BL00000,1FFFF", "00\r\n", 200);
    auto operation = s.fx->PbBL_Click();
    // During the input purge (nothing sent yet) and during the reply wait.
    spin(50);
    QVERIFY(runToEnd(s.fx->PbUS0_Click(), 50));
    QVERIFY(waitUntil([&] { return s.sent(); }, 3000));
    QVERIFY(runToEnd(s.fx->PbUS2_Click(), 50));
    QVERIFY(runToEnd(std::move(operation)));
    QCOMPARE(s.port->writtenLines(), Lines{"BL00000,1FFFF"});
    QCOMPARE(s.fx.log().last(), QStringLiteral("OK"));
}

void TestOpsDevice::operationWaitsForRunningQuery() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    // The query's reply comes after the operation's input purge would have ended.
    s.port->expect("US2", "00:00000,0\r\n", 450);
    s.port->expect("ER00000,1FFFF", "00\r\n");
    s.fx->List1->clear();
    auto query = s.fx->PbUS2_Click();
    QVERIFY(runToEnd(s.fx->PbER_Click()));
    QVERIFY(runToEnd(std::move(query)));
    // The query's reply was neither purged nor taken by the operation.
    QCOMPARE(s.port->writtenLines(), (Lines{"US2", "ER00000,1FFFF"}));
    QCOMPARE(s.fx.log(), (QStringList{"", "バッファRAM先頭アドレスは、00000H", "OK", "",
                                      "* Erase device ", kStart, kEnd, "OK"}));
}

QTEST_MAIN(TestOpsDevice)
#include "tst_ops_device.moc"
