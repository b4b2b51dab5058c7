// The reply checker: waiting for a reply line, judging its code, and what it writes into the log
// and the device panel.

#include "formfixture.h"
#include "protocol/cp932.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace corvane;
using namespace corvane::test;

namespace {

// Sends `command`, lets the scripted unit answer `reply`, and runs the checker with `mode`.
void exchange(FormFixture &f, ScriptedPort *port, const QByteArray &reply, const QString &mode) {
    port->expect("CMD", reply);
    f->Output(QStringLiteral("CMD"));
    QVERIFY(runToEnd(f->CeckAnsRX(mode)));
}

// The operation set that is enabled, by name.
QStringList enabledButtons(Form1 &form) {
    const QList<QPair<QString, QPushButton *>> buttons{
        {"PbBD", form.PbBD},           {"PbBL", form.PbBL},          {"PbBuff", form.PbBuff},
        {"PbCansel", form.PbCansel},   {"PbCL", form.PbCL},          {"PbCMD", form.PbCMD},
        {"PbCP", form.PbCP},           {"PbDevice", form.PbDevice},  {"PbER", form.PbER},
        {"PbES", form.PbES},           {"PbEE", form.PbEE},          {"PbExit", form.PbExit},
        {"PbGoLoad", form.PbGoLoad},   {"PbGoSave", form.PbGoSave},  {"PbON", form.PbON},
        {"PbPG", form.PbPG},           {"PbRD", form.PbRD},          {"PbResGo1", form.PbResGo1},
        {"PbResGo2", form.PbResGo2},   {"PbWT", form.PbWT},          {"PbLoadDir", form.PbLoadDir},
        {"PbSaveDir", form.PbSaveDir}, {"PBsysinit", form.PBsysinit}};
    QStringList names;
    for (const auto &[name, button] : buttons) {
        if (button->isEnabled())
            names << name;
    }
    return names;
}

} // namespace

class TestReplyChecker : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void judge_data();
    void judge();
    void us0WithoutDevice();
    void us0WordDevice();
    void us0DeviceTextInCp932();
    void us1EndAddress();
    void us2ByMode_data();
    void us2ByMode();
    void ts21RestrictsToDeviceSetUp();
    void tsTurnsCodeBlackAgain();
    void cancelConfirmationClearsFlag();
    void bdJudgesWithoutWaiting();
    void noReplyTimesOut();
    void replyInSlowPiecesIsNotATimeOut();
    void loadWaitShowsWaitAMoment();
    void endlessReplyIsCapped();
    void refusedWriteIs99();
    void lostPortEndsTheWait();
    void garbageReplies_data();
    void garbageReplies();
};

void TestReplyChecker::judge_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("ON 00") << "ON" << QByteArray("00\r\n") << "00" << QStringList{};
    QTest::newRow("WT sum") << "WT" << QByteArray("00:1A2B\r\n") << "00"
                            << QStringList{"OK: SUM = 1A2BH"};
    QTest::newRow("WT no sum") << "WT" << QByteArray("00\r\n") << "00"
                               << QStringList{"OK: SUM = H"};
    QTest::newRow("PG sum") << "PG" << QByteArray("00:00FF\r\n") << "00"
                            << QStringList{"OK: SUM = 00FFH"};
    QTest::newRow("RD sum") << "RD" << QByteArray("00:ABCD\r\n") << "00"
                            << QStringList{"OK: SUM = ABCDH"};
    QTest::newRow("CP sum") << "CP" << QByteArray("00:0000\r\n") << "00"
                            << QStringList{"OK: SUM = 0000H"};
    QTest::newRow("BL ok") << "BL" << QByteArray("00\r\n") << "00" << QStringList{"OK"};
    QTest::newRow("ER ok") << "ER" << QByteArray("00\r\n") << "00" << QStringList{"OK"};
    QTest::newRow("CL ok logs nothing") << "CL" << QByteArray("00\r\n") << "00" << QStringList{};
    QTest::newRow("blank error") << "BL" << QByteArray("10:1FFFF,FF\r\n") << "10"
                                 << QStringList{"！ ブランクエラー", "-デバイスアドレス：1FFFF",
                                                "-デバイスデーター：FF", "NG"};
    QTest::newRow("write error") << "WT" << QByteArray("11:00010,AA,55\r\n") << "11"
                                 << QStringList{"！ ライトエラー", "- Address   : 00010",
                                                "- BufferData: AA", "- DeviceData: 55", "NG"};
    QTest::newRow("verify error") << "CP" << QByteArray("12:00010,AA,55\r\n") << "12"
                                  << QStringList{"！ べリファイエラー", "- Address   : 00010",
                                                 "- BufferData: AA", "- DeviceData: 55", "NG"};
    QTest::newRow("ready") << "Load" << QByteArray("01\r\n") << "01"
                           << QStringList{"Corvaneの受信準備ができました。"};
    QTest::newRow("13") << "RD" << QByteArray("13\r\n") << "13"
                        << QStringList{"！ バッファーにアクセスしませんでした。"};
    QTest::newRow("14") << "PG" << QByteArray("14\r\n") << "14"
                        << QStringList{"！ デバイス・タイプが設定されてません。"};
    QTest::newRow("15") << "ER" << QByteArray("15\r\n") << "15"
                        << QStringList{"！ EPROMは、電気的消去できません。"};
    QTest::newRow("16") << "ER" << QByteArray("16\r\n") << "16"
                        << QStringList{"！ 消去に失敗しました。"};
    QTest::newRow("20") << "BS" << QByteArray("20\r\n") << "20"
                        << QStringList{"！ パラメータに、誤りがあります。"};
    QTest::newRow("22") << "ON" << QByteArray("22\r\n") << "22"
                        << QStringList{"！ このコマンドは、定義されてません。"};
    QTest::newRow("30") << "Load" << QByteArray("30\r\n") << "30"
                        << QStringList{"！ 受信データーのチェックサムに異常がありました。"};
    QTest::newRow("32") << "Load" << QByteArray("32\r\n") << "32"
                        << QStringList{"！ 受信タイムアウトです。"};
    QTest::newRow("33") << "RD" << QByteArray("33\r\n") << "33"
                        << QStringList{"！ 検索データーが、見つかりません。"};
    QTest::newRow("34") << "CL" << QByteArray("34\r\n") << "34"
                        << QStringList{"キャンセル・ストップしました。"};
    QTest::newRow("unknown code") << "ON" << QByteArray("45\r\n") << "45"
                                  << QStringList{"！ エラー　code=45"};
    QTest::newRow("only the first CR LF counts")
        << "WT" << QByteArray("00:0001\r\n00:0002\r\n") << "00" << QStringList{"OK: SUM = 0001H"};
}

void TestReplyChecker::judge() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, reply);
    QFETCH(QString, code);
    QFETCH(QStringList, lines);

    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    f->AddList1(QStringLiteral("before"));
    exchange(f, port, reply, mode);
    QCOMPARE(f->AnsRxCode, code);
    const QStringList log = f.log();
    QCOMPARE(log.mid(log.lastIndexOf(QStringLiteral("before")) + 1), lines);
}

void TestReplyChecker::us0WithoutDevice() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"), QStringLiteral("EEPROM"),
                QStringLiteral("(Word ROM)"));
    f->Label18->setEnabled(true);
    f->PbUnEn();
    exchange(f, port, "00:-\r\n", QStringLiteral("US0"));
    QCOMPARE(f.log().last(), QStringLiteral("！ 装置内にデバイス・タイプが設定されてません。"));
    QCOMPARE(f->LbDevSetCode->text(), QStringLiteral("--"));
    QCOMPARE(f->LbDevEAddr->text(), QStringLiteral("-----"));
    for (QLabel *l : {f->LbDevStr1, f->LbDevStr2, f->LbDevRom1, f->LbDevRom2})
        QCOMPARE(l->text(), QString());
    QCOMPARE(f->TexDVS->text(), QStringLiteral("--"));
    QVERIFY(!f->Label18->isEnabled());
    QVERIFY(!f->OpBuffTypeL->isEnabled());
    QVERIFY(!f->OpBuffTypeH->isEnabled());
    QCOMPARE(enabledButtons(f.form()), (QStringList{"PbBuff", "PbDevice"}));
}

void TestReplyChecker::us0WordDevice() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    exchange(f, port, "00:2F,X,Y,10,1\r\n", QStringLiteral("US0"));
    QCOMPARE(f.log().last(), QStringLiteral("装置内デバイス・コードは2Fです。"));
    QCOMPARE(f->LbDevSetCode->text(), QStringLiteral("2F"));
    QCOMPARE(f->TexDVS->text(), QStringLiteral("2F"));
    QCOMPARE(f->LbDevStr1->text(), QStringLiteral("X"));
    QCOMPARE(f->LbDevStr2->text(), QStringLiteral("Y"));
    QCOMPARE(f->LbDevRom1->text(), QStringLiteral("EEPROM"));
    QCOMPARE(f->LbDevRom2->text(), QStringLiteral("(Word ROM)"));
    QVERIFY(f->Label18->isEnabled());
    QVERIFY(f->OpBuffTypeL->isEnabled());
    QVERIFY(f->OpBuffTypeH->isEnabled());

    // A byte device afterwards takes the buffer type away again.
    exchange(f, port, "00:03,A,B,00,0\r\n", QStringLiteral("US0"));
    QCOMPARE(f->LbDevRom1->text(), QStringLiteral("EPROM"));
    QCOMPARE(f->LbDevRom2->text(), QStringLiteral("(Byte ROM)"));
    QVERIFY(!f->OpBuffTypeH->isEnabled());
}

void TestReplyChecker::us0DeviceTextInCp932() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    exchange(f, port, "00:2F," + toCp932(QStringLiteral("インテルる")) + ",am27r010gg,20,0\r\n",
             QStringLiteral("US0"));
    QCOMPARE(f->LbDevStr1->text(), QStringLiteral("インテルる"));
    QCOMPARE(f->LbDevRom1->text(), QStringLiteral("FLASH MEMORY"));
}

void TestReplyChecker::us1EndAddress() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    exchange(f, port, "00:1FFFF\r\n", QStringLiteral("US1"));
    QCOMPARE(f->LbDevEAddr->text(), QStringLiteral("1FFFF"));
    QCOMPARE(f->Rcmd1, QStringLiteral("1FFFF"));
}

void TestReplyChecker::us2ByMode_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("width");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("hiSelected");
    QTest::addColumn<QStringList>("lines");
    const QString word = QStringLiteral("(Word ROM)");
    const QString byte = QStringLiteral("(Byte ROM)");
    QTest::newRow("US2 word Hi") << "US2" << word << QByteArray("00:00000,1\r\n") << true
                                 << QStringList{"バッファRAM先頭アドレスは、00000H",
                                                "バッファタイプは、Hi"};
    QTest::newRow("US2 word Low") << "US2" << word << QByteArray("00:01000,0\r\n") << false
                                  << QStringList{"バッファRAM先頭アドレスは、01000H",
                                                 "バッファタイプは、Low"};
    QTest::newRow("US2 byte device") << "US2" << byte << QByteArray("00:00000,1\r\n") << true
                                     << QStringList{"バッファRAM先頭アドレスは、00000H"};
    QTest::newRow("US2CB") << "US2CB" << word << QByteArray("00:1000,1\r\n") << true
                           << QStringList{"バッファRAM先頭アドレスは、1000H"};
    QTest::newRow("US2CT logs nothing")
        << "US2CT" << word << QByteArray("00:00000,1\r\n") << true << QStringList{};
}

void TestReplyChecker::us2ByMode() {
    QFETCH(QString, mode);
    QFETCH(QString, width);
    QFETCH(QByteArray, reply);
    QFETCH(bool, hiSelected);
    QFETCH(QStringList, lines);

    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("0FFFF"), QStringLiteral("EEPROM"), width);
    f->AddList1(QStringLiteral("before"));
    exchange(f, port, reply, mode);
    QCOMPARE(f->StBuffAdr->text(), QString::fromLatin1(reply.mid(3, reply.indexOf(',') - 3)));
    QCOMPARE(f->OpBuffTypeH->isChecked(), hiSelected);
    QCOMPARE(f->OpBuffTypeL->isChecked(), !hiSelected);
    const QStringList log = f.log();
    QCOMPARE(log.mid(log.lastIndexOf(QStringLiteral("before")) + 1), lines);
}

void TestReplyChecker::ts21RestrictsToDeviceSetUp() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    exchange(f, port, "21\r\n", QStringLiteral("TS"));
    QCOMPARE(f.log().last(), QStringLiteral("！ 未定義デバイス・コードです。"));
    QCOMPARE(Form1::textColor(f->LbDevSetCode), QColor(255, 0, 0));
    QCOMPARE(f->LbDevSetCode->text(), QStringLiteral("2F"));
    QCOMPARE(f->LbDevEAddr->text(), QStringLiteral("-----"));
    QCOMPARE(f->LbDevStr1->text(), QString());
    QCOMPARE(f->TexDVS->text(), QStringLiteral("2F"));
    QCOMPARE(enabledButtons(f.form()), (QStringList{"PbBuff", "PbDevice"}));
    QVERIFY(!f->MenuFile->isEnabled());

    // The busy state after the operation keeps the device operations away (state B).
    f->PbReEn();
    QVERIFY(!f->PbPG->isEnabled());
    QVERIFY(f->PbDevice->isEnabled());
}

void TestReplyChecker::tsTurnsCodeBlackAgain() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    Form1::setTextColor(f->LbDevSetCode, QColor(255, 0, 0));
    exchange(f, port, "00\r\n", QStringLiteral("TS"));
    QCOMPARE(Form1::textColor(f->LbDevSetCode), QColor(0, 0, 0));
}

void TestReplyChecker::cancelConfirmationClearsFlag() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f->EscFlag = true;
    exchange(f, port, "34\r\n", QStringLiteral("CL"));
    QCOMPARE(f->EscFlag, false);
}

void TestReplyChecker::bdJudgesWithoutWaiting() {
    FormFixture f;
    f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    const int before = int(f.log().size());
    f->AnsRxCode = QStringLiteral("98");
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("BD"))));
    QVERIFY(clock.elapsed() < 400);
    QCOMPARE(f.log().mid(before), QStringList{"！通信エラーです。"});
    QCOMPARE(enabledButtons(f.form()), (QStringList{"PbExit", "PbON"}));
}

void TestReplyChecker::noReplyTimesOut() {
    FormFixture f;
    f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    f->AddList1(QStringLiteral("Corvaneと接続しました。"));
    f->Output(QStringLiteral("US0"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("US0"))));
    QVERIFY2(clock.elapsed() >= 500 && clock.elapsed() < 1000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(f->AnsRxCode, QStringLiteral("98"));
    QCOMPARE(f.log().mid(f.log().size() - 3),
             (QStringList{"Corvaneと接続しました。", "", "！通信エラーです。"}));
    QCOMPARE(enabledButtons(f.form()), (QStringList{"PbExit", "PbON"}));
    // Afterwards the busy state keeps the lost-link state.
    f->PbReEn();
    QCOMPARE(enabledButtons(f.form()), (QStringList{"PbCMD", "PbExit", "PbON", "PBsysinit"}));
}

void TestReplyChecker::replyInSlowPiecesIsNotATimeOut() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    port->expectPieces("US1", {{0, "0"}, {400, "0:1"}, {400, "234\r\n"}});
    f->Output(QStringLiteral("US1"));
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("ON"))));
    QCOMPARE(f->AnsRxCode, QStringLiteral("00"));
    QCOMPARE(f->AddData, QStringLiteral("00:1234\r\n"));
}

void TestReplyChecker::loadWaitShowsWaitAMoment() {
    FormFixture f;
    f.useScripted();
    f->AddList1(QStringLiteral("before"));
    f->Output(QStringLiteral("LH0"));
    bool sawWaitLine = false;
    auto task = f->CeckAnsRX(QStringLiteral("Load"));
    QElapsedTimer clock;
    clock.start();
    spin(1150);
    sawWaitLine = f.log().last() == QStringLiteral(" - Wait a moment ");
    QVERIFY(runToEnd(std::move(task)));
    QVERIFY(sawWaitLine);
    QVERIFY(clock.elapsed() >= 3000);
    QCOMPARE(f.log().mid(f.log().size() - 3),
             (QStringList{"before", " - Wait a moment ", "！通信エラーか、ファイル異常です。"}));
}

void TestReplyChecker::endlessReplyIsCapped() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    port->expect("ON", QByteArray(Form1::kMaxReplyBytes + 100, 'Z'));
    f->Output(QStringLiteral("ON"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("PG"))));
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(f->AnsRxCode, QStringLiteral("98"));
    QCOMPARE(f->AddData.size(), Form1::kMaxReplyBytes);
    QCOMPARE(f.log().last(), QStringLiteral("！通信エラーです。"));
}

void TestReplyChecker::refusedWriteIs99() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    port->setWriteRefused(true);
    QVERIFY(!f->Output(QStringLiteral("ON")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("PG"))));
    QVERIFY(clock.elapsed() < 400);
    QCOMPARE(f->AnsRxCode, QStringLiteral("99"));
    QCOMPARE(f.log().last(), QStringLiteral("！送信タイムアウトです。"));
    f->PbReEn();
    QVERIFY(!f->PbPG->isEnabled());
    QVERIFY(!f->PbDevice->isEnabled());
    QVERIFY(f->PbON->isEnabled());
}

void TestReplyChecker::lostPortEndsTheWait() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    f->Output(QStringLiteral("PG00000,07FFF,0"));
    QTimer::singleShot(100, port, &ScriptedPort::vanish);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("PG"))));
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(f->AnsRxCode, QStringLiteral("98"));
    QCOMPARE(f.log().last(), QStringLiteral("！通信エラーです。"));
    QCOMPARE(f->PbON->isEnabled(), true);
    QCOMPARE(f->PbPG->isEnabled(), false);
}

void TestReplyChecker::garbageReplies_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("code");
    QTest::newRow("not CP932") << "US0" << QByteArray("00:\xff\xfe,\x81,Y,10,1\r\n") << "00";
    QTest::newRow("fields missing") << "US0" << QByteArray("00:2F\r\n") << "00";
    QTest::newRow("fields extra") << "US2" << QByteArray("00:1,2,3,4,5,6,7\r\n") << "00";
    QTest::newRow("short US1") << "US1" << QByteArray("00:1\r\n") << "00";
    QTest::newRow("short blank error") << "BL" << QByteArray("10\r\n") << "10";
    QTest::newRow("only CR LF") << "ON" << QByteArray("\r\n") << "\r\n";
    QTest::newRow("NUL bytes") << "RD" << QByteArray("00:\0\0\r\n", 7) << "00";
}

void TestReplyChecker::garbageReplies() {
    QFETCH(QString, mode);
    QFETCH(QByteArray, reply);
    QFETCH(QString, code);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    exchange(f, port, reply, mode);
    QCOMPARE(f->AnsRxCode, code);
}

QTEST_MAIN(TestReplyChecker)
#include "tst_replychecker.moc"
