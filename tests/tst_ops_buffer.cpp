// Buffer settings, the buffer dump, the buffer clear and the UV lamp on a scripted line: the bytes
// sent, the log lines and the window state.

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
    // Every log line appended (the dump's table outgrows the log), without the purge's own line.
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
    for (int a = first; a <= last; ++a)
        data += (a == first ? "" : ",") +
                QByteArray::number(a & 0xFF, 16).toUpper().rightJustified(2, '0');
    return data + "\r\n";
}

enum class Op { Buff, BS, TW, Command4 };
struct Settings {
    Op op;
    QString address; // StBuffAdr, or the typed parameter
    bool hi;
    Script script; // each line is expected once, in this order
    QStringList log;
    QString addressAfter;
    bool hiAfter;
};

const QString kHeader = QStringLiteral("  ADD +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F");
const QString kLine0 = QStringLiteral("00000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F");
const QString kLost = QStringLiteral("！通信エラーです。");

} // namespace

Q_DECLARE_METATYPE(Settings)

class TestOpsBuffer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void settings_data();
    void settings();

    void dump_data();
    void dump();
    void dumpCancelledInTheData();
    void dumpLetsEventsRunPerLine();

    void clearAndLamp_data();
    void clearAndLamp();
};

void TestOpsBuffer::settings_data() {
    QTest::addColumn<Settings>("c");
    auto row = [](const char *name, Op op, const char *address, bool hi, const Script &script,
                  const QStringList &log, const char *addressAfter, bool hiAfter) {
        QStringList full{"", op == Op::Buff ? "* Set Buffer"
                             : op == Op::BS ? "* Set Buffer start address"
                                            : "* Buffer type"};
        QTest::newRow(name) << Settings{op, address, hi, script, full + log, addressAfter, hiAfter};
    };
    const QString type = QStringLiteral("バッファタイプは、");
    row("set 0 Low", Op::Buff, "0", false,
        {{"BS0", "00\r\n"}, {"TW0", "00\r\n"}, {"US2", "00:00000,0\r\n"}},
        {"バッファRAM先頭アドレスは、00000H", type + "Low", "OK"}, "00000", false);
    row("set 100 Hi", Op::Buff, "100", true,
        {{"BS100", "00\r\n"}, {"TW1", "00\r\n"}, {"US2", "00:00100,1\r\n"}},
        {"バッファRAM先頭アドレスは、00100H", type + "Hi", "OK"}, "00100", true);
    row("empty address reads back only", Op::Buff, "", false, {{"US2", "00:01000,1\r\n"}},
        {"バッファRAM先頭アドレスは、01000H", type + "Hi", "OK"}, "01000", true);
    row("rejected address stops", Op::Buff, "ZZ", true, {{"BSZZ", "20\r\n"}},
        {"！ パラメータに、誤りがあります。"}, "ZZ", true);
    row("rejected type stops", Op::Buff, "0", true, {{"BS0", "00\r\n"}, {"TW1", "22\r\n"}},
        {"！ このコマンドは、定義されてません。"}, "0", true);
    row("typed BS1000", Op::BS, "1000", false, {{"BS1000", "00\r\n"}, {"US2", "00:1000,1\r\n"}},
        {"バッファRAM先頭アドレスは、1000H", "OK"}, "1000", true);
    row("typed BS alone", Op::BS, "", false, {{"US2", "00:00000,0\r\n"}},
        {"バッファRAM先頭アドレスは、00000H", "OK"}, "00000", false);
    row("typed BS, failed read-back", Op::BS, "10", false, {{"BS10", "00\r\n"}, {"US2", "45\r\n"}},
        {"！ エラー　code=45"}, "0", false);
    row("typed BT alone", Op::TW, "", false, {{"US2", "00:00000,1\r\n"}}, {"OK: Even = Hi"},
        "00000", true);
    row("typed BTH, the unit keeps Low", Op::TW, "H", false,
        {{"TW1", "00\r\n"}, {"US2", "00:00000,0\r\n"}}, {"OK: Even = Low"}, "00000", false);
    row("Command4 is BTL", Op::Command4, "", true, {{"TW0", "00\r\n"}, {"US2", "00:00000,0\r\n"}},
        {"OK: Even = Low"}, "00000", false);
}

void TestOpsBuffer::settings() {
    QFETCH(Settings, c);
    Setup s;
    s.fx->StBuffAdr->setText(c.op == Op::Buff ? c.address : QStringLiteral("0"));
    Form1::setOptionValue(c.hi ? s.fx->OpBuffTypeH : s.fx->OpBuffTypeL, true);
    Lines written;
    for (const auto &[line, reply] : c.script) {
        s.port->expect(line, reply);
        written << line;
    }
    QVERIFY(runToEnd(c.op == Op::Buff ? s.fx->PbBuff_Click()
                     : c.op == Op::BS ? s.fx->BSsub(c.address)
                     : c.op == Op::TW ? s.fx->TWsub(c.address)
                                      : s.fx->Command4_Click()));
    QCOMPARE(s.port->writtenLines(), written);
    QCOMPARE(s.fx.log(), c.log);
    QCOMPARE(s.fx->StBuffAdr->text(), c.addressAfter);
    QCOMPARE(s.fx->OpBuffTypeH->isChecked(), c.hiAfter);
    QCOMPARE(s.fx->OpBuffTypeL->isChecked(), !c.hiAfter);
    QCOMPARE(s.fx->AnsRxCode == QLatin1String("00"), c.log.last().startsWith(QLatin1String("OK")));
    QVERIFY(s.fx->PbBuff->isEnabled());
}

void TestOpsBuffer::dump_data() {
    QTest::addColumn<QString>("parameter"); // "button": the button with the initial range
    QTest::addColumn<QByteArray>("line");   // null: nothing may be sent
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("log"); // after "" and "* Dump buffer RAM"
    QTest::addColumn<QString>("code");

    QStringList full;
    for (int line = 0; line < 16; ++line) {
        QString text = QStringLiteral("%1").arg(line, 5, 16, QLatin1Char('0')).toUpper();
        for (int b = 0; b < 16; ++b)
            text += QStringLiteral(" %1").arg(line * 16 + b, 2, 16, QLatin1Char('0')).toUpper();
        full << text;
    }
    auto ok = [](const char *name, const char *parameter, const char *line,
                 const QByteArray &answer, const QStringList &table) {
        QTest::newRow(name) << parameter << QByteArray(line) << answer
                            << QStringList{kHeader} + table + QStringList{"OK"} << "00";
    };
    ok("button, 0 to 0FF", "button", "BD0,0FF", dumpAnswer(0, 0xFF), full);
    ok("start 5", "5,1F", "BD5,1F", dumpAnswer(5, 0x1F),
       {"00000 -- -- -- -- -- 05 06 07 08 09 0A 0B 0C 0D 0E 0F", full[1]});
    ok("short last line", "0,12", "BD0,12", dumpAnswer(0, 0x12), {full[0], "00001 10 11 12"});
    ok("exact multiple of 16", "0,1F", "BD0,1F", dumpAnswer(0, 0x1F), full.mid(0, 2));
    ok("no data", "", "BD0,1FFFF", "00:\r\n", {"00000 "});
    ok("high start, no data", "12342,12350", "BD12342,12350", "00:\r\n", {"01234 -- -- "});
    ok("one byte at start F", "F,F", "BDF,F", "00:AA\r\n",
       {"00000" + QString(" --").repeated(15) + " AA"});
    ok("bare LF keeps the data", "0,1", "BD0,1", "00:01,02\n", {"00000 01 02"});

    const QString bad = QStringLiteral("！ パラメータに、誤りがあります。");
    QTest::newRow("error answer") << "0,FFFFFF" << QByteArray("BD0,FFFFFF") << QByteArray("20\r\n")
                                  << QStringList{bad} << "20";
    QTest::newRow("no answer") << "0,FF" << QByteArray("BD0,FF") << QByteArray("0")
                               << QStringList{kLost} << "98";
    // One full line and part of the next, then silence: the full line stays.
    QTest::newRow("reply lost in the data")
        << "0,FF" << QByteArray("BD0,FF") << dumpAnswer(0, 0xFF).left(3 + 20 * 3)
        << QStringList{kHeader, kLine0, kLost} << "98";
}

void TestOpsBuffer::dump() {
    QFETCH(QString, parameter);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, log);
    QFETCH(QString, code);

    Setup s;
    // The answer in pieces with short gaps.
    s.port->expectPieces(line,
                         {{0, answer.left(10)}, {50, answer.mid(10, 100)}, {50, answer.mid(110)}});
    // As the line monitor leaves them after a full input buffer: an emptied input releases them.
    s.port->setDtr(false);
    s.port->setRts(false);
    QVERIFY(runToEnd(parameter == QLatin1String("button") ? s.fx->PbBD_Click()
                                                          : s.fx->BDsub(parameter)));
    QCOMPARE(s.port->written(), line.isNull() ? QByteArray() : line + "\r\n");
    QCOMPARE(s.lines(), QStringList({"", "* Dump buffer RAM"}) + log);
    QCOMPARE(s.fx->AnsRxCode, code);
    if (code == QLatin1String("00") && answer.size() > 10) // the input was empty between pieces
        QVERIFY(s.port->dtr() && s.port->rts());
    // After a lost reply only reconnecting and the safe controls remain.
    const bool lost = code == QLatin1String("98");
    QCOMPARE(s.fx->PbBD->isEnabled(), !lost);
    QCOMPARE(s.fx->PbDevice->isEnabled(), !lost);
    QVERIFY(s.fx->PbON->isEnabled());
    QVERIFY(s.fx->PbExit->isEnabled());
    QVERIFY(!s.fx->PbCansel->isEnabled());
}

void TestOpsBuffer::dumpCancelledInTheData() {
    Setup s;
    const QByteArray answer = dumpAnswer(0, 0xFF);
    // Four lines' worth, then the unit pauses; it answers the cancel line with "34".
    s.port->expectPieces("BD0,FF", {{0, answer.left(3 + 4 * 48)}, {5000, answer.mid(3 + 4 * 48)}});
    s.port->expect(QByteArray("\x1b"), "34\r\n");
    auto task = s.fx->BDsub(QStringLiteral("0,FF"));
    // The empty line, the title, the purge line, the header and the four data lines.
    QVERIFY(waitUntil([&] { return s.fx.history().size() >= 8; }, 3000));
    QVERIFY(s.fx->PbCansel->isEnabled());
    QVERIFY(!s.fx->PbBD->isEnabled());
    s.fx->PbCansel->click();
    QVERIFY(runToEnd(std::move(task)));

    QCOMPARE(s.port->written(), QByteArray("BD0,FF\r\n\x1b\r\n"));
    const QStringList lines = s.lines();
    QCOMPARE(lines.mid(0, 4), (QStringList{"", "* Dump buffer RAM", kHeader, kLine0}));
    QCOMPARE(lines.size(), 3 + 4 + 1);
    QCOMPARE(lines.last(), QStringLiteral("キャンセルしました。"));
    QCOMPARE(s.fx->AnsRxCode, QStringLiteral("34"));
    QVERIFY(!s.fx->EscFlag);
    QVERIFY(!s.fx->PbCansel->isEnabled());
    QVERIFY(s.fx->PbBD->isEnabled());
}

void TestOpsBuffer::dumpLetsEventsRunPerLine() {
    Setup s;
    // The whole answer is waiting at once: the window must still be served between lines.
    s.port->expect("BD0,3FF", dumpAnswer(0, 0x3FF));
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
    QTest::addColumn<QByteArray>("reply"); // empty: no reply
    QTest::addColumn<QStringList>("log");

    QTest::newRow("clear") << "CL" << QByteArray("00\r\n")
                           << QStringList{"", "* Buffer clear", "OK"};
    QTest::newRow("lamp on") << "ES" << QByteArray("00\r\n")
                             << QStringList{"", "* Erase LAMP ON", "OK"};
    QTest::newRow("lamp off") << "EE" << QByteArray("00\r\n")
                              << QStringList{"", "* Erase LAMP OFF", "OK"};
    QTest::newRow("lamp refused") << "ES" << QByteArray("22\r\n")
                                  << QStringList{"", "* Erase LAMP ON",
                                                 "！ このコマンドは、定義されてません。"};
    QTest::newRow("lamp without reply")
        << "EE" << QByteArray() << QStringList{"", "* Erase LAMP OFF", "", kLost};
}

void TestOpsBuffer::clearAndLamp() {
    QFETCH(QString, word);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, log);

    Setup s;
    if (!reply.isEmpty())
        s.port->expect(word.toLatin1(), reply, 50);
    Form1 &f = s.fx.form();
    auto task = word == QLatin1String("CL")   ? f.PbCL_Click()
                : word == QLatin1String("ES") ? f.PbES_Click()
                                              : f.PbEE_Click();
    // The cancel button is not offered while the reply is awaited.
    QVERIFY(waitUntil([&] { return !s.port->written().isEmpty(); }, 3000));
    QVERIFY(!f.PbCansel->isEnabled());
    QVERIFY(!f.PbCL->isEnabled());
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(s.port->written(), word.toLatin1() + "\r\n");
    QCOMPARE(s.fx.log(), log);
    const bool lost = reply.isEmpty();
    QCOMPARE(f.AnsRxCode, lost ? QStringLiteral("98") : QString::fromLatin1(reply.left(2)));
    QVERIFY(!f.EscFlag);
    QCOMPARE(f.PbCL->isEnabled(), !lost);
    QCOMPARE(f.PbEE->isEnabled(), !lost);
    QVERIFY(f.PbON->isEnabled());
    QVERIFY(!f.PbCansel->isEnabled());
}

QTEST_MAIN(TestOpsBuffer)
#include "tst_ops_buffer.moc"
