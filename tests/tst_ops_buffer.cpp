// Buffer settings, the buffer dump, the buffer clear and the UV lamp on a scripted line: the bytes
// sent, the log lines and the window state.

#include "formfixture.h"

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

using Script = QList<QPair<QByteArray, QByteArray>>;
using Lines = QList<QByteArray>;

// A window with a word device selected on a scripted line.
struct Setup {
    Setup() {
        port = fx.useScripted();
        fx.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"), QStringLiteral("EEPROM"),
                     QStringLiteral("(Word ROM)"));
        fx->List1->clear();
        fx.clearHistory();
    }
    void play(const Script &script) {
        for (const auto &[line, reply] : script)
            port->expect(line, reply);
    }
    // The operation's log lines as appended, without the input purge's temporary line.
    [[nodiscard]] QStringList lines() const {
        QStringList all = fx.history();
        all.removeAll(QStringLiteral("  "));
        return all;
    }
    FormFixture fx;
    ScriptedPort *port = nullptr;
};

// The unit's answer to "BD" for the bytes first..last (low eight bits of each address).
QByteArray dumpAnswer(int first, int last) {
    QByteArray data("00:");
    for (int a = first; a <= last; ++a) {
        if (a != first)
            data += ',';
        data += QByteArray::number(a & 0xFF, 16).toUpper().rightJustified(2, '0');
    }
    return data + "\r\n";
}

enum class Op { Buff, BS, TW, Command4 };

const QString kHeader = QStringLiteral("  ADD +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F");

} // namespace

class TestOpsBuffer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settings_data();
    void settings();

    void dump_data();
    void dump();
    void dumpErrorAnswer();
    void dumpStartBeyondTable();
    void dumpCancelledInTheData();
    void dumpReplyLostInTheData();
    void dumpNoAnswer();
    void dumpLetsEventsRunPerLine();

    void clearAndLamp_data();
    void clearAndLamp();
    void lampWithoutReply();
};

void TestOpsBuffer::settings_data() {
    QTest::addColumn<int>("op");
    QTest::addColumn<QString>("address"); // StBuffAdr, or the typed parameter
    QTest::addColumn<bool>("hi");
    QTest::addColumn<Script>("script");
    QTest::addColumn<Lines>("written");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("addressAfter");
    QTest::addColumn<bool>("hiAfter");

    QTest::newRow("set 0 Low") << int(Op::Buff) << "0" << false
                               << Script{{"BS0", "00\r\n"},
                                         {"TW0", "00\r\n"},
                                         {"US2", "00:00000,0\r\n"}}
                               << Lines{"BS0", "TW0", "US2"}
                               << QStringList{"", "* Set Buffer",
                                              "バッファRAM先頭アドレスは、00000H",
                                              "バッファタイプは、Low", "OK"}
                               << "00000" << false;
    QTest::newRow("set 100 Hi") << int(Op::Buff) << "100" << true
                                << Script{{"BS100", "00\r\n"},
                                          {"TW1", "00\r\n"},
                                          {"US2", "00:00100,1\r\n"}}
                                << Lines{"BS100", "TW1", "US2"}
                                << QStringList{"", "* Set Buffer",
                                               "バッファRAM先頭アドレスは、00100H",
                                               "バッファタイプは、Hi", "OK"}
                                << "00100" << true;
    QTest::newRow("empty address reads back only")
        << int(Op::Buff) << "" << false << Script{{"US2", "00:01000,1\r\n"}} << Lines{"US2"}
        << QStringList{"", "* Set Buffer", "バッファRAM先頭アドレスは、01000H",
                       "バッファタイプは、Hi", "OK"}
        << "01000" << true;
    QTest::newRow("rejected address stops")
        << int(Op::Buff) << "ZZ" << true << Script{{"BSZZ", "20\r\n"}} << Lines{"BSZZ"}
        << QStringList{"", "* Set Buffer", "！ パラメータに、誤りがあります。"} << "ZZ" << true;
    QTest::newRow("rejected type stops")
        << int(Op::Buff) << "0" << true << Script{{"BS0", "00\r\n"}, {"TW1", "22\r\n"}}
        << Lines{"BS0", "TW1"}
        << QStringList{"", "* Set Buffer", "！ このコマンドは、定義されてません。"} << "0" << true;
    QTest::newRow("typed BS1000") << int(Op::BS) << "1000" << false
                                  << Script{{"BS1000", "00\r\n"}, {"US2", "00:1000,1\r\n"}}
                                  << Lines{"BS1000", "US2"}
                                  << QStringList{"", "* Set Buffer start address",
                                                 "バッファRAM先頭アドレスは、1000H", "OK"}
                                  << "1000" << true;
    QTest::newRow("typed BS alone")
        << int(Op::BS) << "" << false << Script{{"US2", "00:00000,0\r\n"}} << Lines{"US2"}
        << QStringList{"", "* Set Buffer start address", "バッファRAM先頭アドレスは、00000H", "OK"}
        << "00000" << false;
    QTest::newRow("typed BS, failed read-back")
        << int(Op::BS) << "10" << false << Script{{"BS10", "00\r\n"}, {"US2", "45\r\n"}}
        << Lines{"BS10", "US2"}
        << QStringList{"", "* Set Buffer start address", "！ エラー　code=45"} << "0" << false;
    QTest::newRow("typed BT alone")
        << int(Op::TW) << "" << false << Script{{"US2", "00:00000,1\r\n"}} << Lines{"US2"}
        << QStringList{"", "* Buffer type", "OK: Even = Hi"} << "00000" << true;
    QTest::newRow("typed BTH, the unit keeps Low")
        << int(Op::TW) << "H" << false << Script{{"TW1", "00\r\n"}, {"US2", "00:00000,0\r\n"}}
        << Lines{"TW1", "US2"} << QStringList{"", "* Buffer type", "OK: Even = Low"} << "00000"
        << false;
    QTest::newRow("typed BTX sends nothing")
        << int(Op::TW) << "X" << true << Script{} << Lines{}
        << QStringList{"", "* Buffer type", "！ パラメータに、誤りがあります。"} << "0" << true;
    QTest::newRow("Command4 is BTL")
        << int(Op::Command4) << "" << true << Script{{"TW0", "00\r\n"}, {"US2", "00:00000,0\r\n"}}
        << Lines{"TW0", "US2"} << QStringList{"", "* Buffer type", "OK: Even = Low"} << "00000"
        << false;
}

void TestOpsBuffer::settings() {
    QFETCH(int, op);
    QFETCH(QString, address);
    QFETCH(bool, hi);
    QFETCH(Script, script);
    QFETCH(Lines, written);
    QFETCH(QStringList, log);
    QFETCH(QString, addressAfter);
    QFETCH(bool, hiAfter);

    Setup s;
    s.fx->StBuffAdr->setText(Op(op) == Op::Buff ? address : QStringLiteral("0"));
    Form1::setOptionValue(hi ? s.fx->OpBuffTypeH : s.fx->OpBuffTypeL, true);
    s.play(script);
    QCoro::Task<> task = Op(op) == Op::Buff ? s.fx->PbBuff_Click()
                         : Op(op) == Op::BS ? s.fx->BSsub(address)
                         : Op(op) == Op::TW ? s.fx->TWsub(address)
                                            : s.fx->Command4_Click();
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(s.port->writtenLines(), written);
    QCOMPARE(s.fx.log(), log);
    QCOMPARE(s.fx->StBuffAdr->text(), addressAfter);
    QCOMPARE(s.fx->OpBuffTypeH->isChecked(), hiAfter);
    QCOMPARE(s.fx->OpBuffTypeL->isChecked(), !hiAfter);
    QCOMPARE(s.fx->AnsRxCode == QLatin1String("00"), log.last().startsWith(QLatin1String("OK")));
    QVERIFY(s.fx->PbBuff->isEnabled());
}

void TestOpsBuffer::dump_data() {
    QTest::addColumn<QString>("parameter");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("table"); // the lines after the header

    QStringList full;
    for (int line = 0; line < 16; ++line) {
        QString text = QStringLiteral("%1").arg(line, 5, 16, QLatin1Char('0')).toUpper();
        for (int b = 0; b < 16; ++b)
            text += QStringLiteral(" %1").arg(line * 16 + b, 2, 16, QLatin1Char('0')).toUpper();
        full << text;
    }
    // The button with the window's initial range.
    QTest::newRow("button, 0 to 0FF")
        << "button" << QByteArray("BD0,0FF") << dumpAnswer(0, 0xFF) << full;
    QTest::newRow("start 5") << "5,1F" << QByteArray("BD5,1F") << dumpAnswer(5, 0x1F)
                             << QStringList{"00000 -- -- -- -- -- 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
                                            full[1]};
    QTest::newRow("short last line") << "0,12" << QByteArray("BD0,12") << dumpAnswer(0, 0x12)
                                     << QStringList{full[0], "00001 10 11 12"};
    QTest::newRow("exact multiple of 16")
        << "0,1F" << QByteArray("BD0,1F") << dumpAnswer(0, 0x1F) << full.mid(0, 2);
    QTest::newRow("no data") << "" << QByteArray("BD0,1FFFF") << QByteArray("00:\r\n")
                             << QStringList{"00000 "};
    QTest::newRow("high start, no data") << "12342,12350" << QByteArray("BD12342,12350")
                                         << QByteArray("00:\r\n") << QStringList{"01234 -- -- "};
}

void TestOpsBuffer::dump() {
    QFETCH(QString, parameter);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, table);

    Setup s;
    // The answer in pieces with gaps well below a second.
    s.port->expectPieces(
        line, {{0, answer.left(10)}, {300, answer.mid(10, 100)}, {300, answer.mid(110)}});
    // As the line monitor leaves them after a full input buffer: an emptied input releases them.
    s.port->setDtr(false);
    s.port->setRts(false);
    QVERIFY(runToEnd(parameter == QLatin1String("button") ? s.fx->PbBD_Click()
                                                          : s.fx->BDsub(parameter)));
    QCOMPARE(s.port->written(), line + "\r\n");
    QStringList expected{"", "* Dump buffer RAM", kHeader};
    expected << table << "OK";
    QCOMPARE(s.lines(), expected);
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("00"));
    if (answer.size() > 10) // the dump found its input empty between the pieces
        QVERIFY(s.port->dtr() && s.port->rts());
    QVERIFY(s.fx->PbBD->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsBuffer::dumpErrorAnswer() {
    Setup s;
    s.play({{"BD0,FFFFFF", "20\r\n"}});
    QVERIFY(runToEnd(s.fx->BDsub(QStringLiteral("0,FFFFFF"))));
    QCOMPARE(s.lines(),
             (QStringList{"", "* Dump buffer RAM", "！ パラメータに、誤りがあります。"}));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("20"));
    QVERIFY(s.fx->PbBD->isEnabled());
}

void TestOpsBuffer::dumpStartBeyondTable() {
    Setup s;
    QVERIFY(runToEnd(s.fx->BDsub(QStringLiteral("1000000,1000010"))));
    QVERIFY(s.port->written().isEmpty());
    QCOMPARE(s.lines(),
             (QStringList{"", "* Dump buffer RAM", "！ パラメータに、誤りがあります。"}));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("20"));
    QVERIFY(s.fx->PbBD->isEnabled());
}

void TestOpsBuffer::dumpCancelledInTheData() {
    Setup s;
    const QByteArray answer = dumpAnswer(0, 0xFF);
    // Four lines' worth, then the unit pauses; it answers the cancel line with "34".
    s.port->expectPieces("BD0,FF", {{0, answer.left(3 + 4 * 48)}, {5000, answer.mid(3 + 4 * 48)}});
    s.port->expect(QByteArray("\x1b"), "34\r\n");
    auto task = s.fx->BDsub(QStringLiteral("0,FF"));
    QElapsedTimer clock;
    clock.start();
    while (s.fx.history().size() < 7 && clock.elapsed() < 3000)
        spin(2);
    QVERIFY(s.fx->PbCansel->isEnabled());
    QVERIFY(!s.fx->PbBD->isEnabled());
    s.fx->PbCansel->click();
    QVERIFY(runToEnd(std::move(task)));

    QCOMPARE(s.port->written(), QByteArray("BD0,FF\r\n\x1b\r\n"));
    const QStringList lines = s.lines();
    QCOMPARE(lines.mid(0, 3), (QStringList{"", "* Dump buffer RAM", kHeader}));
    QCOMPARE(lines.mid(3, lines.size() - 4).size(), 4);
    QCOMPARE(lines[3], QStringLiteral("00000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"));
    QCOMPARE(lines.last(), QStringLiteral("キャンセルしました。"));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("34"));
    QVERIFY(!s.fx->EscFlag);
    QVERIFY(!s.fx->PbCansel->isEnabled());
    QVERIFY(s.fx->PbBD->isEnabled());
}

void TestOpsBuffer::dumpReplyLostInTheData() {
    Setup s;
    // One full line and part of the next, then silence.
    s.play({{"BD0,FF", dumpAnswer(0, 0xFF).left(3 + 20 * 3)}});
    QVERIFY(runToEnd(s.fx->BDsub(QStringLiteral("0,FF"))));
    QCOMPARE(s.lines(), (QStringList{"", "* Dump buffer RAM", kHeader,
                                     "00000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
                                     "！通信エラーです。"}));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("98"));
    // The lost-link state: only reconnecting and the safe controls.
    QVERIFY(s.fx->PbON->isEnabled());
    QVERIFY(s.fx->PbExit->isEnabled());
    QVERIFY(!s.fx->PbBD->isEnabled());
    QVERIFY(!s.fx->PbDevice->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsBuffer::dumpNoAnswer() {
    Setup s;
    s.play({{"BD0,FF", "0"}});
    QVERIFY(runToEnd(s.fx->BDsub(QStringLiteral("0,FF"))));
    QCOMPARE(s.lines(), (QStringList{"", "* Dump buffer RAM", "！通信エラーです。"}));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("98"));
    QVERIFY(!s.fx->PbBD->isEnabled());
}

void TestOpsBuffer::dumpLetsEventsRunPerLine() {
    Setup s;
    // The whole answer is waiting at once: the window must still be served between lines.
    s.play({{"BD0,3FF", dumpAnswer(0, 0x3FF)}});
    int linesWhenServed = -1;
    QObject::connect(&s.fx.form(), &Form1::logLineAdded, &s.fx.form(), [&](const QString &line) {
        if (line.startsWith(QLatin1String("00000 ")))
            QTimer::singleShot(0, &s.fx.form(),
                               [&] { linesWhenServed = int(s.fx.history().size()); });
    });
    QVERIFY(runToEnd(s.fx->BDsub(QStringLiteral("0,3FF"))));
    QCOMPARE(s.lines().size(), 3 + 64 + 1);
    QVERIFY(linesWhenServed > 0);
    QVERIFY2(linesWhenServed <= 6, qPrintable(QString::number(linesWhenServed)));
}

void TestOpsBuffer::clearAndLamp_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("clear") << "CL" << QByteArray("00\r\n")
                           << QStringList{"", "* Buffer clear", "OK"};
    QTest::newRow("clear cancelled by the unit")
        << "CL" << QByteArray("34\r\n")
        << QStringList{"", "* Buffer clear", "キャンセル・ストップしました。"};
    QTest::newRow("lamp on") << "ES" << QByteArray("00\r\n")
                             << QStringList{"", "* Erase LAMP ON", "OK"};
    QTest::newRow("lamp off") << "EE" << QByteArray("00\r\n")
                              << QStringList{"", "* Erase LAMP OFF", "OK"};
    QTest::newRow("lamp refused") << "ES" << QByteArray("22\r\n")
                                  << QStringList{"", "* Erase LAMP ON",
                                                 "！ このコマンドは、定義されてません。"};
}

void TestOpsBuffer::clearAndLamp() {
    QFETCH(QString, word);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, log);

    Setup s;
    s.port->expect(word.toLatin1(), reply, 100);
    Form1 &f = s.fx.form();
    auto task = word == QLatin1String("CL")   ? f.PbCL_Click()
                : word == QLatin1String("ES") ? f.PbES_Click()
                                              : f.PbEE_Click();
    QElapsedTimer clock;
    clock.start();
    while (s.port->written().isEmpty() && clock.elapsed() < 3000)
        spin(2);
    QVERIFY(!f.PbCansel->isEnabled());
    QVERIFY(!f.PbCL->isEnabled());
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(s.port->written(), word.toLatin1() + "\r\n");
    QCOMPARE(s.fx.log(), log);
    QCOMPARE(f.AnsRxCode, QString::fromLatin1(reply.left(2)));
    QVERIFY(!f.EscFlag);
    QVERIFY(f.PbCL->isEnabled());
    QVERIFY(!f.PbCansel->isEnabled());
}

void TestOpsBuffer::lampWithoutReply() {
    Setup s;
    QVERIFY(runToEnd(s.fx->PbEE_Click()));
    QCOMPARE(s.fx.log(), (QStringList{"", "* Erase LAMP OFF", "", "！通信エラーです。"}));
    QVERIFY(!s.fx->PbEE->isEnabled());
    QVERIFY(s.fx->PbON->isEnabled());
}

QTEST_MAIN(TestOpsBuffer)
#include "tst_ops_buffer.moc"
