// A unit's line and settings: the settings file restored and shown, corvane-unit over a
// pseudo-terminal, a start-up without its port, the maintenance buttons, the purge and the port
// choices.

#include "linktesting.h"
#include "ports/portlist.h"
#include "text/cp932.h"
#include "text/opstext.h"
#include "unitfixture.h"

#include <QTest>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:

    // A controller started with a settings file: what it restores, silently up to the first line
    // that fails, and what the display of the file shows (" ok" only after all thirteen lines).
    void settingsRestoredAndShown_data() {
        QTest::addColumn<QByteArray>("file"); // null: none
        QTest::addColumn<QString>("restored");
        QTest::addColumn<QString>("shown"); // the lines joined by "|"
        QTest::newRow("missing") << QByteArray() << "Combo1=1;Combo2=9600;Option1=1;TexLoadDir="
                                 << "|環境設定ファイルの内容";
        QTest::newRow("flag not a truth value")
            << "2\r\n4800\r\n\r\n" + toCp932("C:\\作業") + "\r\nyes\r\nTrue\r\nFalse\r\nL\r\n"
            << "TexResGoFile2=C:\\作業;Option1=1;TexLoadDir="
            << "|環境設定ファイルの内容|　通信ポート　　　No2|　通信速度　　　　4800bps|"
               "　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ１　 設定無し|　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ２　 C:\\作業";
        QTest::newRow("all thirteen")
            << QByteArray(
                   "3\r\n19200\r\nC:\\a.txt\r\n\r\nFalse\r\nTrue\r\nFalse\r\nC:\\x.hex\r\n\r\n"
                   "False\r\nTrue\r\nFalse\r\nE:\\\r\n")
            << "Combo1=3;Combo2=19200;TexResGoFile1=C:\\a.txt;Option2=1;OpFileModeS=1"
            << "|環境設定ファイルの内容|　通信ポート　　　No3|　通信速度　　　　19200bps|"
               "　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ１　 C:\\a.txt|　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ２　 設定無し|"
               "　ｺﾏﾝﾄﾞﾚｽ起動　　 自動起動する。（ﾌｧｲﾙ１）|　読込ファイル　  C:\\x.hex|"
               "　保存ファイル　  設定無し|　ﾃﾞｰﾀｰ形式　　 　Ｓファイル|　ﾌｧｲﾙ参照ﾊﾟｽ　   E:\\| ok";
    }

    void settingsRestoredAndShown() {
        QFETCH(QByteArray, file);
        QFETCH(QString, restored);
        QFETCH(QString, shown);
        QTemporaryDir dir;
        ControllerOptions options;
        options.settingsPath =
            file.isNull() ? dir.filePath("none") : writeFile(dir.filePath("I"), file);
        options.timerIntervalMs = 0;
        UnitController unit(options);
        QCOMPARE(controls(unit, restored), restored);
        QCOMPARE(unit.CommonDialog1.InitDir, QString(file.endsWith("E:\\\r\n") ? "E:\\" : "D:\\"));
        QStringList log;
        connect(&unit, &UnitController::logLineAdded, this,
                [&log](const QString &line) { log << line; });
        unit.MenuReReadUtil_Click();
        QCOMPARE(log.join('|'), shown);
        QVERIFY(unit.enabledControls().contains(u"PBsysinit"_s));
        if (shown.endsWith(" ok")) { // saving writes back the same thirteen lines
            unit.PBsysinit_Click();
            QCOMPARE(readFile(options.settingsPath), file);
            QCOMPARE(log.last(), "設定環境を保存しました。");
            options.settingsPath = dir.filePath("new/Corvane.INI"); // the folder is made
            UnitController(options).PBsysinit_Click();
            QVERIFY(QFile::exists(options.settingsPath));
        }
    }

    // Tags: B a Corvane.INI beside the program, W its folder writable, I the folder installed to
    // (root runs it), U the user's Corvane.INI; - none of them.
    void settingsPlaces_data() {
        QTest::addColumn<QString>("places"); // read,written
        for (auto [facts, places] : {std::pair{"W", "beside,beside"},
                                     {"BWU", "beside,beside"},
                                     {"BWIU", "user,user"},
                                     {"-", "user,user"},
                                     {"B", "beside,user"},
                                     {"BU", "user,user"}})
            QTest::newRow(facts) << QString(places);
    }

    void settingsPlaces() {
        const QString f = QTest::currentDataTag();
        const SettingsPlaces p = chooseSettingsPlaces(
            {f.contains('B'), f.contains('W'), f.contains('I'), f.contains('U')});
        QTEST(QString(p.readBeside ? "beside," : "user,") + (p.writeBeside ? "beside" : "user"),
              "places");
    }

    // The hint comes only with a refusal for lack of access (as root no device refuses: the
    // refusal itself is checked as another user by tests/install_check.sh).
    void unopenedPortText() {
        const QString line = u"！通信ポートを開けません。（/dev/ttyUSB0） Permission denied"_s;
        QCOMPARE(corvane::unopenedPortText(u"/dev/ttyUSB0"_s, u"Permission denied"_s, false), line);
        QCOMPARE(corvane::unopenedPortText(u"/dev/ttyUSB0"_s, u"Permission denied"_s, true),
                 line + u"（dialout グループに入ると使えます: sudo usermod -aG dialout $USER）"_s);
    }

    void corvaneUnitOnPseudoTerminal() {
        auto unit = std::make_unique<UnitProcess>();
        UnitFixture f;
        f.set("Combo1=" + unit->path);
        QVERIFY(runToEnd(f->PbON_Click()));
        QCOMPARE(f.history().last(), QStringLiteral("OK"));
        // The far end goes away while a reply is awaited: the wait ends as a lost link, and the
        // controller rests meanwhile.
        f->PbUnEn();
        auto wait = f->CeckAnsRX(QStringLiteral("PG")); // 90 s unless the loss ends it
        spin(100);
        unit->kill();
        const double before = processCpuSeconds();
        QVERIFY(runToEnd(std::move(wait), 5000));
        spin(500);
        QVERIFY2(processCpuSeconds() - before < 0.2, "the lost line keeps the program busy");
        QCOMPARE(f.history().last(), QStringLiteral("！通信エラーです。"));
        QCOMPARE(f.probe("AnsRxCode;PbON;PbDevice"),
                 QStringLiteral("AnsRxCode=98;PbON=1;PbDevice=0"));
        // The unit is back on a new terminal: reconnecting greets it.
        unit = std::make_unique<UnitProcess>();
        f.set("Combo1=" + unit->path);
        QVERIFY(runToEnd(f->PbON_Click()));
        QCOMPARE(f.history().last() + f->AnsRxCode, QStringLiteral("OK00"));
    }

    void startUpWithoutThePort_data() {
        QTest::addColumn<QString>("portText");
        QTest::newRow("missing device") << "/dev/nonexistent";
        QTest::newRow("port number without device") << "99";
        QTest::newRow("no port name") << "abc";
        QTest::newRow("network text without a port") << "tcp://localhost";
        QTest::newRow("nobody listens on the network port") << "tcp://127.0.0.1:1";
    }

    // The most common bad day: the stored port is not there. The start-up connection reports it,
    // the auto-run goes on and stops, and the operator can pick another port.
    void startUpWithoutThePort() {
        QFETCH(QString, portText);
        QTemporaryDir dir;
        const QString run = writeFile(dir.filePath("run.txt"), "C\r\n"); // auto-run file 1
        ControllerOptions options;
        options.settingsPath =
            writeFile(dir.filePath("I"),
                      (portText + "\r\n9600\r\n" + run + "\r\n\r\nFalse\r\nTrue\r\n").toUtf8());
        options.timerIntervalMs = 0;
        UnitController unit(options);
        QStringList log;
        connect(&unit, &UnitController::logLineAdded, this,
                [&log](const QString &line) { log << line; });
        unit.Timer1_Timer(); // starts the connection and the auto-run, once
        unit.Timer1_Timer();
        QVERIFY(waitUntil([&] { return log.contains(QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了")); }, 5000));
        const QString refusal = QStringLiteral("！通信ポートを開けません。（%1） ").arg(portText);
        QVERIFY2(log.value(1).startsWith(refusal) && log.filter(refusal).size() == 1,
                 qPrintable(log.join('|')));
        QVERIFY(log.contains(QStringLiteral("！通信エラーです。")));
        QCOMPARE(controls(unit, "AnsRxCode;PbON;PbCMD;PbPG;PbDevice"),
                 QStringLiteral("AnsRxCode=98;PbON=1;PbCMD=1;PbPG=0;PbDevice=0"));
        setControls(unit, u"Combo1=EMU"_s);
        QVERIFY(runToEnd(unit.PbON_Click()));
        QCOMPARE(log.last() + unit.AnsRxCode, QStringLiteral("OK00"));
    }

    // The maintenance buttons: the waiting input as one log line (CP932), then discarded; the busy
    // state stays as it is.
    void maintenanceButtons() {
        UnitFixture f;
        ScriptedPort *port = f.useScripted();
        f->PbUnEn(); // an operation runs: the line monitor discards nothing
        port->inject("\x82\xa0OK");
        spin(10);
        f->Command1_Click();
        port->inject("more");
        spin(10);
        f->Command2_Click();
        QCOMPARE(f.log(), QStringList{QStringLiteral("あOK")});
        QVERIFY(port->inBufferCount() == 0 && !f.enabled(u"PbPG"_s));
    }

    void purgeWaitsForQuiet_data() {
        QTest::addColumn<int>("noiseMs"); // the unit talks this long, a byte every 50 ms
        QTest::addColumn<int>("endMs");   // the purge ends this long after it began, or a bit later
        QTest::newRow("nothing waiting") << 0 << 300;
        QTest::newRow("a unit talking for 1 s") << 1000 << 1300;
        // After its first 0.3 s the purge gives up in 10 s, and not before.
        QTest::newRow("a unit that never stops") << 12000 << 10300;
    }

    void purgeWaitsForQuiet() {
        QFETCH(int, noiseMs);
        QFETCH(int, endMs);
        UnitFixture f;
        ScriptedPort *port = f.useScripted();
        f->AddList1(QStringLiteral("before"));
        QElapsedTimer clock;
        clock.start();
        QTimer noise;
        connect(&noise, &QTimer::timeout, port, [&] {
            if (clock.elapsed() < noiseMs)
                port->inject("\x55");
        });
        noise.start(50);
        QCoro::Task<> purge = f->CLR232IN();
        spin(450); // the first pass has begun
        const QString shown = f.log().constLast();
        QVERIFY(runToEnd(std::move(purge), 15000));
        QCOMPARE(shown, noiseMs > 0 ? QStringLiteral("通信バッファの清掃中です。")
                                    : QStringLiteral("before"));
        // Ended after a quiet 0.3 s that follows the last byte, or given up, and not much later.
        const qint64 took = clock.elapsed();
        QVERIFY2(took >= endMs - 50 && took < endMs + 1200, qPrintable(QString::number(took)));
        if (noiseMs < endMs) // an endless unit goes on talking
            QCOMPARE(port->inBufferCount(), 0);
        QCOMPARE(f.log(), QStringList{QStringLiteral("before")});
        QVERIFY(port->written().isEmpty());
    }

    void portChoices_data() {
        QTest::addColumn<QList<SystemPort>>("ports");
        QTest::addColumn<bool>("windows");
        QTest::addColumn<QStringList>("added"); // "text|tooltip" after "1"..."6", "EMU"
        const SystemPort usb10{u"/dev/ttyUSB10"_s, u"ttyUSB10"_s, u"USB-Serial"_s, u"Maker"_s};
        const SystemPort usb2{u"/dev/ttyUSB2"_s, u"ttyUSB2"_s, u""_s, u"Maker"_s};
        const SystemPort acm{u"/dev/ttyACM0"_s, u"ttyACM0"_s, u"Board"_s, u" "_s};
        QTest::newRow("none") << QList<SystemPort>{} << false << QStringList{};
        QTest::newRow("Linux: device paths in natural order")
            << QList<SystemPort>{usb10, usb2, acm} << false
            << QStringList{u"/dev/ttyACM0|Board"_s, u"/dev/ttyUSB2|Maker"_s,
                           u"/dev/ttyUSB10|USB-Serial — Maker"_s};
        QTest::newRow("Windows: names, each once")
            << QList<SystemPort>{{u"\\\\.\\COM3"_s, u"COM3"_s, u"Bluetooth"_s, u""_s},
                                 {u""_s, u"COM3"_s, u""_s, u""_s},
                                 {u""_s, u"COM12"_s, u""_s, u""_s}}
            << true << QStringList{u"COM3|Bluetooth"_s, u"COM12|"_s};
        QTest::newRow("a name like a fixed choice, an empty one")
            << QList<SystemPort>{{u""_s, u"emu"_s, u""_s, u""_s}, {}} << true << QStringList{};
    }

    void portChoices() {
        QFETCH(QList<SystemPort>, ports);
        QFETCH(bool, windows);
        QStringList got;
        for (const PortChoice &choice : corvane::portChoices(ports, windows))
            got.append(choice.text + u'|' + choice.tooltip);
        QCOMPARE(got.mid(0, 7),
                 (QStringList{u"1|"_s, u"2|"_s, u"3|"_s, u"4|"_s, u"5|"_s, u"6|"_s, u"EMU|"_s}));
        QTEST(got.mid(7), "added");
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
