// Device access, device selection and the stand-alone unit queries on a scripted line: the bytes
// sent, the log lines, the device panel and the busy state.

#include "formfixture.h"
#include "protocol/cp932.h"

#include <QElapsedTimer>
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

bool spinUntil(const std::function<bool()> &condition, int timeoutMs = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        spin(2);
    return condition();
}

// A window on a scripted line; the log is emptied so that log() holds one operation's lines.
struct Setup {
    Setup() {
        port = fx.useScripted();
        fx->AnsRxCode = QStringLiteral("00");
        fx->PbReEn();
    }
    void play(const Script &script) {
        for (const auto &[line, reply] : script)
            port->expect(line, reply);
        fx->List1->clear();
    }
    FormFixture fx;
    ScriptedPort *port = nullptr;
};

enum class Button { PG, CP, WT, RD, BL, ER };

QCoro::Task<> click(Form1 &f, Button button) {
    switch (button) {
    case Button::PG:
        return f.PbPG_Click();
    case Button::CP:
        return f.PbCP_Click();
    case Button::WT:
        return f.PbWT_Click();
    case Button::RD:
        return f.PbRD_Click();
    case Button::BL:
        return f.PbBL_Click();
    case Button::ER:
        break;
    }
    return f.PbER_Click();
}

} // namespace

class TestOpsDevice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void accessButtons_data();
    void accessButtons();
    void typedAccess_data();
    void typedAccess();
    void busyStateDuringAccess();
    void epromKeepsEraseDisabled();
    void cancelWhileReplyAwaited();

    void deviceSelect_data();
    void deviceSelect();
    void fullSelectionFillsPanel();
    void noReplyToSelect();

    void us0QueryReselects();
    void us0QuerySendsCodeAndFirstText();
    void us0QueryWithoutDevice();
    void us2Query();
    void fixedDeviceButtonSendsCp932();
    void secondQueryIsRefused();
    void queryIsRefusedWhileOperationRuns();
    void operationWaitsForRunningQuery();
};

void TestOpsDevice::accessButtons_data() {
    QTest::addColumn<int>("button");
    QTest::addColumn<char>("mode"); // 'A', 'O', 'E': the option selected
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("log");

    auto rows = [](const char *name, Button b, char mode, const char *line, const char *reply,
                   QStringList log) {
        QTest::newRow(name) << int(b) << mode << QByteArray(line) << QByteArray(reply) << log;
    };
    const QString start = QStringLiteral("    start adress = 00000H");
    const QString end = QStringLiteral("    end adress   = 1FFFFH");
    rows("program all", Button::PG, 'A', "PG00000,1FFFF,0", "00:1A2B\r\n",
         {"", "* Program device", start, end, "    mode         = ALL", "OK: SUM = 1A2BH"});
    rows("program odd", Button::PG, 'O', "PG00000,1FFFF,1", "00:0001\r\n",
         {"", "* Program device", start, end, "    mode         = ODD", "OK: SUM = 0001H"});
    rows("program even", Button::PG, 'E', "PG00000,1FFFF,2", "00:FFFF\r\n",
         {"", "* Program device", start, end, "    mode         = EVEN", "OK: SUM = FFFFH"});
    rows("verify even", Button::CP, 'E', "CP00000,1FFFF,2", "00:1234\r\n",
         {"", "* Verify device", start, end, "    mode         = EVEN", "OK: SUM = 1234H"});
    rows("write odd", Button::WT, 'O', "WT00000,1FFFF,1", "00\r\n",
         {"", "* Write device", start, end, "    mode         = ODD", "OK: SUM = H"});
    rows("read all", Button::RD, 'A', "RD00000,1FFFF,0", "00:00FF\r\n",
         {"", "* Read device", start, end, "    mode         = ALL", "OK: SUM = 00FFH"});
    rows("blank check sends no mode", Button::BL, 'O', "BL00000,1FFFF", "00\r\n",
         {"", "* Blank check ", start, end, "OK"});
    rows("erase sends no mode", Button::ER, 'E', "ER00000,1FFFF", "00\r\n",
         {"", "* Erase device ", start, end, "OK"});
}

void TestOpsDevice::accessButtons() {
    QFETCH(int, button);
    QFETCH(char, mode);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, log);

    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.fx->OpDevAModeA->setChecked(mode == 'A');
    s.fx->OpDevAModeO->setChecked(mode == 'O');
    s.fx->OpDevAModeE->setChecked(mode == 'E');
    s.play({{line, reply}});
    QVERIFY(runToEnd(click(s.fx.form(), Button(button))));
    QCOMPARE(s.port->written(), line + "\r\n");
    QCOMPARE(s.fx.log(), log);
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("00"));
    QVERIFY(s.fx->PbPG->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsDevice::typedAccess_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QString>("endLabel");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("details"); // log lines after the title

    QTest::newRow("P100,7FF,E") << "PG"
                                << "100,7FF,E"
                                << "1FFFF" << QByteArray("PG00100,007FF,2")
                                << QStringList{"    start adress = 00100H",
                                               "    end adress   = 007FFH",
                                               "    mode         = EVEN"};
    QTest::newRow("B alone without device")
        << "BL"
        << ""
        << "-----" << QByteArray("BL00000,-----")
        << QStringList{"    start adress = 00000H", "    end adress   = -----H"};
    QTest::newRow("start of six characters")
        << "RD"
        << "123456,,A"
        << "1FFFF" << QByteArray("RD23456,1FFFF,0")
        << QStringList{"    start adress = 23456H", "    end adress   = 1FFFFH",
                       "    mode         = ALL"};
    QTest::newRow("start 1, end of six characters")
        << "CP"
        << "1,ABCDEF,O"
        << "1FFFF" << QByteArray("CP00001,BCDEF,1")
        << QStringList{"    start adress = 00001H", "    end adress   = BCDEFH",
                       "    mode         = ODD"};
    QTest::newRow("mode X sends an empty field")
        << "RD"
        << "0,,X"
        << "1FFFF" << QByteArray("RD00000,1FFFF,")
        << QStringList{"    start adress = 00000H", "    end adress   = 1FFFFH"};
    QTest::newRow("empty mode is ALL")
        << "RD"
        << ""
        << "0FFFF" << QByteArray("RD00000,0FFFF,0")
        << QStringList{"    start adress = 00000H", "    end adress   = 0FFFFH",
                       "    mode         = ALL"};
    QTest::newRow("erase ignores a mode")
        << "ER"
        << "10,20,O"
        << "1FFFF" << QByteArray("ER00010,00020")
        << QStringList{"    start adress = 00010H", "    end adress   = 00020H"};
}

void TestOpsDevice::typedAccess() {
    QFETCH(QString, word);
    QFETCH(QString, parameter);
    QFETCH(QString, endLabel);
    QFETCH(QByteArray, line);
    QFETCH(QStringList, details);

    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.fx->LbDevEAddr->setText(endLabel);
    s.play({{line, "20\r\n"}});
    QVERIFY(runToEnd(s.fx->DeviceCont(QStringLiteral("* Title"), word, parameter)));
    QCOMPARE(s.port->written(), line + "\r\n");
    QStringList log{"", "* Title"};
    log << details << "！ パラメータに、誤りがあります。";
    QCOMPARE(s.fx.log(), log);
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("20"));
}

void TestOpsDevice::busyStateDuringAccess() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.port->expect("PG00000,1FFFF,0", "00:0000\r\n", 300);
    auto task = s.fx->PbPG_Click();

    // Steps before the line is sent (the input purge): all disabled, cancel too.
    spin(100);
    QVERIFY(s.port->written().isEmpty());
    QVERIFY(!s.fx->PbCansel->isEnabled());
    QVERIFY(!s.fx->PbPG->isEnabled());

    // While the reply is awaited: cancel enabled, the rest disabled, the queries untouched.
    QVERIFY(spinUntil([&] { return !s.port->written().isEmpty(); }));
    QVERIFY(s.fx->PbCansel->isEnabled());
    for (QPushButton *b : {s.fx->PbPG, s.fx->PbBL, s.fx->PbER, s.fx->PbDevice, s.fx->PbBuff,
                           s.fx->PbBD, s.fx->PbON, s.fx->PbExit, s.fx->PbCMD})
        QVERIFY2(!b->isEnabled(), qPrintable(b->objectName() + b->text()));
    QVERIFY(s.fx->PbUS0->isEnabled());

    QVERIFY(runToEnd(std::move(task)));
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

void TestOpsDevice::cancelWhileReplyAwaited() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.port->expect(QByteArray("\x1b"), "34\r\n", 20);
    s.fx->List1->clear();
    auto task = s.fx->PbPG_Click();
    QVERIFY(spinUntil([&] { return !s.port->written().isEmpty(); }));
    QVERIFY(s.fx->PbCansel->isEnabled());
    s.fx->PbCansel->click();
    QVERIFY(s.fx->EscFlag);
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(s.port->written(), QByteArray("PG00000,1FFFF,0\r\n\x1b\r\n"));
    QCOMPARE(s.fx.log().last(), QStringLiteral("キャンセル・ストップしました。"));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("34"));
    QVERIFY(!s.fx->EscFlag);
    QVERIFY(s.fx->PbPG->isEnabled());
}

void TestOpsDevice::deviceSelect_data() {
    QTest::addColumn<QString>("shownCode"); // "--" or a code with texts X, Y
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Script>("script");
    QTest::addColumn<Lines>("written");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("red");
    QTest::addColumn<QString>("endAddress");

    const Script queries03{{"US0", "00:03,A,B,00,0\r\n"}, {"US1", "00:0FFFF\r\n"}};
    auto with = [](Script first, const Script &rest) { return first << rest; };

    QTest::newRow("TS03,-,- on an empty panel")
        << "--"
        << "03" << with({{"TS03,-,-", "00\r\n"}}, queries03) << Lines{"TS03,-,-", "US0", "US1"}
        << QStringList{"", "* Device Select", "装置内デバイス・コードは03です。", "OK"} << "03"
        << false << "0FFFF";
    QTest::newRow("first text given")
        << "--"
        << "2F,AAA"
        << Script{{"TS2F,AAA,-", "00\r\n"},
                  {"US0", "00:2F,AAA,B,10,0\r\n"},
                  {"US1", "00:1FFFF\r\n"}}
        << Lines{"TS2F,AAA,-", "US0", "US1"}
        << QStringList{"", "* Device Select", "装置内デバイス・コードは2Fです。", "OK"} << "2F"
        << false << "1FFFF";
    QTest::newRow("empty takes the shown device")
        << "2F"
        << ""
        << Script{{"TS2F,X,Y", "00\r\n"}, {"US0", "00:2F,X,Y,10,0\r\n"}, {"US1", "00:1FFFF\r\n"}}
        << Lines{"TS2F,X,Y", "US0", "US1"}
        << QStringList{"", "* Device Select", "装置内デバイス・コードは2Fです。", "OK"} << "2F"
        << false << "1FFFF";
    QTest::newRow("empty without device only queries")
        << "--"
        << "" << queries03 << Lines{"US0", "US1"}
        << QStringList{"", "* Device Select", "装置内デバイス・コードは03です。", "OK"} << "03"
        << false << "0FFFF";
    QTest::newRow("rejected code still queries, no OK")
        << "--"
        << "99" << with({{"TS99,-,-", "21\r\n"}}, queries03) << Lines{"TS99,-,-", "US0", "US1"}
        << QStringList{"", "* Device Select", "！ 未定義デバイス・コードです。",
                       "装置内デバイス・コードは03です。"}
        << "03" << true << "-----";
    QTest::newRow("other error stops")
        << "--"
        << "03" << Script{{"TS03,-,-", "20\r\n"}} << Lines{"TS03,-,-"}
        << QStringList{"", "* Device Select", "！ パラメータに、誤りがあります。"} << "--" << false
        << "-----";
    QTest::newRow("failed US0 stops before US1")
        << "--"
        << "03" << Script{{"TS03,-,-", "00\r\n"}, {"US0", "22\r\n"}} << Lines{"TS03,-,-", "US0"}
        << QStringList{"", "* Device Select", "！ このコマンドは、定義されてません。"} << "--"
        << false << "-----";
    QTest::newRow("failed US1 leaves out OK")
        << "--"
        << "03" << Script{{"TS03,-,-", "00\r\n"}, {"US0", "00:03,A,B,00,0\r\n"}, {"US1", "45\r\n"}}
        << Lines{"TS03,-,-", "US0", "US1"}
        << QStringList{"", "* Device Select", "装置内デバイス・コードは03です。",
                       "！ エラー　code=45"}
        << "03" << false << "-----";
}

void TestOpsDevice::deviceSelect() {
    QFETCH(QString, shownCode);
    QFETCH(QString, typed);
    QFETCH(Script, script);
    QFETCH(Lines, written);
    QFETCH(QStringList, log);
    QFETCH(QString, code);
    QFETCH(bool, red);
    QFETCH(QString, endAddress);

    Setup s;
    if (shownCode != QLatin1String("--"))
        s.fx.setDevice(shownCode, QStringLiteral("1FFFF"));
    s.fx->TexDVS->setText(typed);
    s.play(script);
    QVERIFY(runToEnd(s.fx->PbDevice_Click()));
    QCOMPARE(s.port->writtenLines(), written);
    QCOMPARE(s.fx.log(), log);
    QCOMPARE(s.fx->LbDevSetCode->text(), code);
    QCOMPARE(Form1::textColor(s.fx->LbDevSetCode) == kRed, red);
    QCOMPARE(s.fx->LbDevEAddr->text(), endAddress);
    // Device access only with an accepted device; selecting stays possible.
    QCOMPARE(s.fx->PbPG->isEnabled(), !red && code != QLatin1String("--"));
    QVERIFY(s.fx->PbDevice->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsDevice::fullSelectionFillsPanel() {
    Setup s;
    s.fx->TexDVS->setText(QStringLiteral("2F"));
    s.play({{"TS2F,-,-", "00\r\n"}, {"US0", "00:2F,X,Y,10,1\r\n"}, {"US1", "00:1FFFF\r\n"}});
    QVERIFY(runToEnd(s.fx->PbDevice_Click()));
    Form1 &f = s.fx.form();
    QCOMPARE(f.LbDevSetCode->text(), QStringLiteral("2F"));
    QCOMPARE(Form1::textColor(f.LbDevSetCode), QColor(0, 0, 0));
    QCOMPARE(f.LbDevStr1->text(), QStringLiteral("X"));
    QCOMPARE(f.LbDevStr2->text(), QStringLiteral("Y"));
    QCOMPARE(f.LbDevRom1->text(), QStringLiteral("EEPROM"));
    QCOMPARE(f.LbDevRom2->text(), QStringLiteral("(Word ROM)"));
    QCOMPARE(f.LbDevEAddr->text(), QStringLiteral("1FFFF"));
    QVERIFY(f.Label18->isEnabled());
    QVERIFY(f.OpBuffTypeL->isEnabled());
    QVERIFY(f.OpBuffTypeH->isEnabled());
    QVERIFY(f.PbER->isEnabled());
}

void TestOpsDevice::noReplyToSelect() {
    Setup s;
    s.fx->TexDVS->setText(QStringLiteral("03"));
    s.fx->List1->clear();
    QVERIFY(runToEnd(s.fx->PbDevice_Click()));
    QCOMPARE(s.port->writtenLines(), Lines{"TS03,-,-"});
    QCOMPARE(s.fx.log(), (QStringList{"", "* Device Select", "", "！通信エラーです。"}));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("98"));
    QVERIFY(s.fx->PbON->isEnabled());
    QVERIFY(s.fx->PbExit->isEnabled());
    QVERIFY(!s.fx->PbDevice->isEnabled());
    QVERIFY(!s.fx->PbBuff->isEnabled());
}

void TestOpsDevice::us0QueryReselects() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    Form1::setTextColor(s.fx->LbDevSetCode, kRed);
    // While the code is red every reply blanks the panel, so the first text sent back is empty.
    s.play({{"US0", "00:2F,X,Y,10,1\r\n"}, {"US1", "00:1FFFF\r\n"}, {"TS2F,", "00\r\n"}});
    QVERIFY(runToEnd(s.fx->PbUS0_Click()));
    QCOMPARE(s.port->writtenLines(), (Lines{"US0", "US1", "TS2F,"}));
    QCOMPARE(s.fx.log(), (QStringList{"", "装置内デバイス・コードは2Fです。", "OK"}));
    // The unit took its own code again: black.
    QCOMPARE(Form1::textColor(s.fx->LbDevSetCode), QColor(0, 0, 0));
}

void TestOpsDevice::us0QuerySendsCodeAndFirstText() {
    Setup s;
    s.fx.setDevice(QStringLiteral("03"), QStringLiteral("0FFFF"));
    s.play({{"US0", "00:2F,X,Y,10,1\r\n"}, {"US1", "00:1FFFF\r\n"}, {"TS2F,X", "00\r\n"}});
    QVERIFY(runToEnd(s.fx->PbUS0_Click()));
    QCOMPARE(s.port->writtenLines(), (Lines{"US0", "US1", "TS2F,X"}));
    QCOMPARE(s.fx->LbDevEAddr->text(), QStringLiteral("1FFFF"));
    QCOMPARE(s.fx.log(), (QStringList{"", "装置内デバイス・コードは2Fです。", "OK"}));
}

void TestOpsDevice::us0QueryWithoutDevice() {
    Setup s;
    s.play({{"US0", "00:-\r\n"}, {"US1", "00:-----\r\n"}});
    QVERIFY(runToEnd(s.fx->PbUS0_Click()));
    QCOMPARE(s.port->writtenLines(), (Lines{"US0", "US1"}));
    QCOMPARE(s.fx.log(), (QStringList{"", "！ 装置内にデバイス・タイプが設定されてません。"}));
}

void TestOpsDevice::us2Query() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"), QStringLiteral("EEPROM"),
                   QStringLiteral("(Word ROM)"));
    s.play({{"US2", "00:00100,1\r\n"}});
    QVERIFY(runToEnd(s.fx->PbUS2_Click()));
    QCOMPARE(s.port->writtenLines(), Lines{"US2"});
    QCOMPARE(s.fx.log(),
             (QStringList{"", "バッファRAM先頭アドレスは、00100H", "バッファタイプは、Hi", "OK"}));
    QCOMPARE(s.fx->StBuffAdr->text(), QStringLiteral("00100"));
    QVERIFY(s.fx->OpBuffTypeH->isChecked());
}

void TestOpsDevice::fixedDeviceButtonSendsCp932() {
    Setup s;
    // イ 83 43, ン 83 93, テ 83 65, ル 83 8B, る 82 E9 in CP932.
    const QByteArray line("TS2F,\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9,am27r010gg");
    s.play({{line, "00\r\n"}});
    QVERIFY(runToEnd(s.fx->インテルる_Click()));
    QCOMPARE(s.port->written(), line + "\r\n");
    QCOMPARE(s.fx.log(), (QStringList{"", "OK"}));
}

void TestOpsDevice::secondQueryIsRefused() {
    Setup s;
    s.port->expect("US2", "00:00000,0\r\n", 200);
    s.fx->List1->clear();
    auto first = s.fx->PbUS2_Click();
    QVERIFY(spinUntil([&] { return !s.port->written().isEmpty(); }));
    QVERIFY(runToEnd(s.fx->PbUS0_Click(), 50));
    QVERIFY(runToEnd(s.fx->PbUS2_Click(), 50));
    QVERIFY(runToEnd(s.fx->インテルる_Click(), 50));
    QVERIFY(runToEnd(std::move(first)));
    QCOMPARE(s.port->writtenLines(), Lines{"US2"});
    QCOMPARE(s.fx.log(), (QStringList{"", "バッファRAM先頭アドレスは、00000H", "OK"}));

    // Once the first has ended, a query runs again.
    s.play({{"US2", "00:00000,0\r\n"}});
    QVERIFY(runToEnd(s.fx->PbUS2_Click()));
    QCOMPARE(s.port->writtenLines(), (Lines{"US2", "US2"}));
}

void TestOpsDevice::queryIsRefusedWhileOperationRuns() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.port->expect("BL00000,1FFFF", "00\r\n", 200);
    auto operation = s.fx->PbBL_Click();
    // During the input purge (nothing sent yet) and during the reply wait.
    spin(50);
    QVERIFY(runToEnd(s.fx->PbUS0_Click(), 50));
    QVERIFY(spinUntil([&] { return !s.port->written().isEmpty(); }));
    QVERIFY(runToEnd(s.fx->PbUS2_Click(), 50));
    QVERIFY(runToEnd(std::move(operation)));
    QCOMPARE(s.port->writtenLines(), Lines{"BL00000,1FFFF"});
    QCOMPARE(s.fx.log().last(), QStringLiteral("OK"));
}

void TestOpsDevice::operationWaitsForRunningQuery() {
    Setup s;
    s.fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    s.port->expect("US2", "00:00000,0\r\n", 450);
    s.port->expect("ER00000,1FFFF", "00\r\n");
    s.fx->List1->clear();
    auto query = s.fx->PbUS2_Click();
    auto operation = s.fx->PbER_Click();
    QVERIFY(runToEnd(std::move(operation)));
    QVERIFY(runToEnd(std::move(query)));
    // The query's reply was neither purged nor taken by the operation.
    QCOMPARE(s.port->writtenLines(), (Lines{"US2", "ER00000,1FFFF"}));
    QCOMPARE(s.fx.log(),
             (QStringList{"", "バッファRAM先頭アドレスは、00000H", "OK", "", "* Erase device ",
                          "    start adress = 00000H", "    end adress   = 1FFFFH", "OK"}));
}

QTEST_MAIN(TestOpsDevice)
#include "tst_ops_device.moc"
