// The main window and its line: busy state, layout, Enter, the settings file, the port contract,
// corvane-unit over a pseudo-terminal, a start-up without its port, and flow control.

#include "window/splash.h"
#include "ports/portlist.h"
#include "linktesting.h"
#include "text/cp932.h"

#include <QApplication>
#include <QGroupBox>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

class TestWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void busyState_data() {
        QTest::addColumn<QString>("facts");   // for FormFixture::set, then ";" and AnsRxCode
        QTest::addColumn<QString>("enabled"); // "-Name": every button in sight and menu but Name
        const char *b = "PbBuff PbDevice PbES PbEE PbCMD PbExit PbON PBsysinit MenuFile MenuOption";
        const char *c = "PbCMD PbExit PbON PBsysinit MenuFile MenuOption";
        QTest::newRow("A EEPROM") << "LbDevSetCode=2F;LbDevRom1=EEPROM;00"
                                  << "-PbCansel";
        QTest::newRow("A EPROM") << "LbDevSetCode=03;LbDevRom1=EPROM;00"
                                 << "-PbCansel -PbER";
        QTest::newRow("B no device") << "LbDevSetCode=--;00" << b;
        QTest::newRow("B rejected code") << "LbDevSetCode=2F;red;00" << b;
        QTest::newRow("C no reply") << "LbDevSetCode=2F;LbDevRom1=EEPROM;98" << c;
        QTest::newRow("C send refused, no device") << "LbDevSetCode=--;99" << c;
    }

    void busyState() {
        QFETCH(QString, facts);
        QFETCH(QString, enabled);
        FormFixture f;
        QCOMPARE(f.enabledInSight(), QString()); // the window starts busy
        f->AnsRxCode = facts.section(';', -1);
        f.set(facts.section(';', 0, -2));
        QStringList expected =
            (enabled.startsWith('-') ? f.enabledInSight(true) : enabled).split(' ');
        for (const QString &name : enabled.split(' '))
            expected.removeAll(name.mid(1));
        expected.sort();
        for (int round = 0; round < 2; ++round) {
            f->PbReEn();
            QCOMPARE(f.enabledInSight(), expected.join(' '));
            // At the next tick the load and save buttons follow the device button and their paths.
            f.set(round ? "TexLoadDir=;TexSaveDir=b" : "TexLoadDir=a;TexSaveDir=");
            f->Timer1_Timer();
            const int on = f->PbDevice->isEnabled();
            QCOMPARE(
                f.probe("PbGoLoad;PbGoSave"),
                QString("PbGoLoad=%1;PbGoSave=%2").arg(int(on && !round)).arg(int(on && round)));
            f->PbCansel->setEnabled(true); // PbUnEn takes all in sight; the ones out of sight stay
            f->PbUnEn();
            QCOMPARE(f.enabledInSight(), QString());
            for (QPushButton *hidden : {f->PbUS0, f->PbUS2, f->ESC, f->インテルる, f->Command4})
                QVERIFY(hidden->isEnabled());
        }
    }

    // Every control in sight lies inside its frame and the window, covers neither its frame's
    // border nor a sibling, and has room for its text; the device panel shows its longest.
    void layout() {
        FormFixture f;
        f.set("LbDevRom1=FLASH MEMORY;LbDevRom2=(Word ROM);LbDevEAddr=FFFFF");
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.form()));
        QStringList problems;
        int texts = 0;
        QList<QWidget *> parents{f->client};
        for (QGroupBox *frame : f->client->findChildren<QGroupBox *>())
            parents << frame;
        for (QWidget *parent : std::as_const(parents)) {
            QImage own(parent->size(), QImage::Format_ARGB32_Premultiplied);
            own.fill(Qt::transparent);
            parent->render(&own, QPoint(), QRegion(), {}); // the parent alone, without its controls
            const QRgb inside = own.pixel(own.rect().center());
            QList<QRect> taken;
            for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                const bool inSight =
                    f->client->rect().contains(QRect(w->mapTo(f->client, QPoint()), w->size()));
                if (parent == f->client && !inSight)
                    continue; // out of sight on purpose
                const QRect r = w->geometry();
                if (!inSight || !parent->rect().contains(r))
                    problems << w->objectName() + " leaves its frame";
                for (int p = 0; p < r.width() * r.height(); ++p) {
                    if (own.pixel(r.left() + p % r.width(), r.top() + p / r.width()) != inside) {
                        problems << w->objectName() + " covers its frame";
                        break;
                    }
                }
                for (const QRect &other : std::as_const(taken))
                    if (r.intersects(other) && w != f->Shape2) // a box drawn around labels
                        problems << w->objectName() + " overlaps a sibling";
                taken << (w == f->Shape2 ? QRect() : r);
                QString text;
                int room = w->width();
                if (auto *c = qobject_cast<QComboBox *>(w)) {
                    // Fixed choices (digits, "EMU") show in the field, system ports in the list.
                    room = c->lineEdit()->width() - 4;
                    for (int i = 0; i < c->count(); ++i) {
                        const QString item = c->itemText(i);
                        const bool fixed = item.size() <= 5;
                        if (!fixed && c->view()->fontMetrics().horizontalAdvance(item) >
                                          c->view()->minimumWidth() - 8)
                            problems << c->objectName() + "'s list has no room for " + item;
                        text = fixed && item.size() > text.size() ? item : text;
                    }
                } else if (auto *b = qobject_cast<QPushButton *>(w)) {
                    text = b->text(), room -= 6;
                } else if (auto *l = qobject_cast<QLabel *>(w)) {
                    text = l->text();
                } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
                    text = g->title(), room -= 16;
                } else if (auto *o = qobject_cast<QRadioButton *>(w)) {
                    text = o->text(),
                    room -= o->sizeHint().width() - o->fontMetrics().horizontalAdvance(text);
                }
                const QFontMetrics fm(w->font());
                if (!text.isEmpty() &&
                    (fm.horizontalAdvance(text) > room || fm.height() > w->height()))
                    problems << w->objectName() + " has no room for " + text;
                texts += !text.isEmpty();
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        QVERIFY(texts > 60);
    }

    void logKeepsNewest24Lines() {
        FormFixture f;
        for (int i = 1; i <= 30; ++i)
            f->AddList1(i == 10 ? QString() : QString::number(i));
        QCOMPARE(f.log().join(' '),
                 "7 8 9  11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30");
    }

    // The version window shows the program's version and closes on any key.
    void versionWindow() {
        FormFixture f;
        f->MenuVer_Click();
        auto *splash = f->findChild<FrmSplash *>();
        QVERIFY(splash && splash->isVisible());
        const auto labels = splash->findChildren<QLabel *>();
        QVERIFY(std::ranges::any_of(labels, [](QLabel *l) { return l->text() == "Ver 1.0.0"; }));
        QTest::keyClick(splash, Qt::Key_A);
        QVERIFY(!splash->isVisible());
    }

    void enterMovesFocusThenClicks() {
        FormFixture f;
        f.useEmulated();
        f->show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form()));
        QWindow *window =
            f->windowHandle(); // keys reach whatever has the focus, as the operator's do
        QSignalSpy cmdClicks(f->PbCMD, &QPushButton::clicked);
        // Busy: Enter in the field is swallowed, the disabled button takes none.
        f->TexCMD->setText(QStringLiteral("B"));
        f->TexCMD->setFocus();
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f->TexCMD);
        QCOMPARE(f->TexCMD->text(), QStringLiteral("B"));
        QTest::keyClick(f->PbCMD, Qt::Key_Return);
        // Idle: the first Enter moves the focus, the second clicks once; the keypad Enter alike,
        // without starting a dump.
        f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"), QStringLiteral("EPROM"));
        f->TexCMD->clear();
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f->PbCMD);
        QCOMPARE(cmdClicks.count(), 0);
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(cmdClicks.count(), 1);
        f->DUMPE->setFocus();
        QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(QApplication::focusWidget(), f->PbBD);
        QVERIFY(!f.history().contains(QStringLiteral("* Dump buffer RAM")));
    }

    // A window started with a settings file: what it restores, silently up to the first line that
    // fails, and what the display of the file shows (" ok" only after all thirteen lines).
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
        Form1Options options;
        options.settingsPath =
            file.isNull() ? dir.filePath("none") : writeFile(dir.filePath("I"), file);
        options.timerIntervalMs = 0;
        Form1 form(options);
        QCOMPARE(controls(form, restored), restored);
        QCOMPARE(form.CommonDialog1.InitDir, QString(file.endsWith("E:\\\r\n") ? "E:\\" : "D:\\"));
        QStringList log;
        connect(&form, &Form1::logLineAdded, this, [&log](const QString &line) { log << line; });
        form.MenuReReadUtil_Click();
        QCOMPARE(log.join('|'), shown);
        QVERIFY(form.PBsysinit->isEnabled());
        if (shown.endsWith(" ok")) { // saving writes back the same thirteen lines
            form.PBsysinit_Click();
            QCOMPARE(readFile(options.settingsPath), file);
            QCOMPARE(log.last(), "設定環境を保存しました。");
        }
    }

    void portContract_data() {
        QTest::addColumn<QString>("backEnd");
        QTest::newRow("scripted peer") << "scripted";
        QTest::newRow("emulated unit") << "EMU";
        QTest::newRow("real line on corvane-unit") << "pty";
    }

    // Closed, a port refuses and reports nothing; open, it delivers the unit's reply one byte per
    // read, discards waiting input and still hears what comes next.
    void portContract() {
        QFETCH(QString, backEnd);
        UnitProcess unit;
        QVERIFY2(backEnd != "pty" || !unit.path.isEmpty(), "corvane-unit did not answer");
        auto scripted = std::make_unique<ScriptedPort>();
        scripted->respond("ON", "00\r\n");
        std::unique_ptr<SerialPort> port =
            backEnd == "scripted" ? std::move(scripted) : makePort(backEnd);
        port->setPortText(backEnd == "pty" ? unit.path : backEnd);
        const auto reply = [&] {
            return waitUntil([&] { return port->inBufferCount() >= 4; }, 2000);
        };
        for (bool open : {true, false}) {
            QVERIFY(!port->isOpen() && !port->write("ON\r\n") && !port->ctsHolding());
            QCOMPARE((QList<int>{port->readByte(), port->inBufferCount(), port->inBufferSize()}),
                     (QList<int>{-1, 0, 1024}));
            if (!open)
                break;
            QVERIFY2(port->open(), qPrintable(port->errorString()));
            QVERIFY(port->isOpen() && port->ctsHolding() && port->write("ON\r\n") && reply());
            for (int byte : {0x30, 0x30, 0x0D, 0x0A, -1})
                QCOMPARE(port->readByte(), byte);
            QVERIFY(port->write("ON\r\n") && reply());
            port->discardInput();
            QVERIFY(port->inBufferCount() == 0 && port->write("ON\r\n") && reply());
            QCOMPARE(port->readAll(), QByteArray("00\r\n"));
            port->close();
        }
    }

    void corvaneUnitOnPseudoTerminal() {
        auto unit = std::make_unique<UnitProcess>();
        FormFixture f;
        f.set("Combo1=" + unit->path);
        QVERIFY(runToEnd(f->PbON_Click()));
        QCOMPARE(f.history().last(), QStringLiteral("OK"));
        // The far end goes away while a reply is awaited: the wait ends as a lost link, and the
        // window rests meanwhile.
        f->PbUnEn();
        QCoro::Task<> wait = f->CeckAnsRX(QStringLiteral("PG")); // 90 s unless the loss ends it
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
        Form1Options options;
        options.settingsPath =
            writeFile(dir.filePath("I"),
                      (portText + "\r\n9600\r\n" + run + "\r\n\r\nFalse\r\nTrue\r\n").toUtf8());
        options.timerIntervalMs = 0;
        Form1 form(options);
        QStringList log;
        connect(&form, &Form1::logLineAdded, this, [&log](const QString &line) { log << line; });
        form.Timer1_Timer(); // starts the connection and the auto-run, once
        form.Timer1_Timer();
        QVERIFY(waitUntil([&] { return log.contains(QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了")); }, 5000));
        const QString refusal = QStringLiteral("！通信ポートを開けません。（%1） ").arg(portText);
        QVERIFY2(log.value(1).startsWith(refusal) && log.filter(refusal).size() == 1,
                 qPrintable(log.join('|')));
        QVERIFY(log.contains(QStringLiteral("！通信エラーです。")));
        QCOMPARE(controls(form, "AnsRxCode;PbON;PbCMD;PbPG;PbDevice"),
                 QStringLiteral("AnsRxCode=98;PbON=1;PbCMD=1;PbPG=0;PbDevice=0"));
        form.Combo1->setEditText(QStringLiteral("EMU"));
        QVERIFY(runToEnd(form.PbON_Click()));
        QCOMPARE(log.last() + form.AnsRxCode, QStringLiteral("OK00"));
    }

    // The maintenance buttons: the waiting input as one log line (CP932), then discarded; the busy
    // state stays as it is.
    void maintenanceButtons() {
        FormFixture f;
        ScriptedPort *port = f.useScripted();
        f->PbUnEn(); // an operation runs: the line monitor discards nothing
        port->inject("\x82\xa0OK");
        spin(10);
        f->Command1->click();
        port->inject("more");
        spin(10);
        f->Command2->click();
        QCOMPARE(f.log(), QStringList{QStringLiteral("あOK")});
        QVERIFY(port->inBufferCount() == 0 && !f->PbPG->isEnabled());
    }

    // DTR and RTS drop while more than half of the 1024-byte input waits; the lamp a tick later.
    void flowControl() {
        for (const auto &[waiting, raised] : {std::pair{512, true}, std::pair{513, false}}) {
            FormFixture f;
            ScriptedPort *port = f.useScripted();
            f->PbUnEn(); // an operation runs: nothing is discarded
            port->inject(QByteArray(waiting, 'x'));
            spin(10);
            f->Timer1_Timer();
            f->Timer1_Timer();
            QVERIFY(port->dtr() == raised && port->rts() == raised);
            QCOMPARE(Form1::backColor(f->MoniDTR),
                     raised ? QColor(0, 128, 128) : QColor(0, 255, 255));
        }
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
        FormFixture f;
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

    // Opening the list looks for the system's ports again and keeps what the operator typed.
    void portBoxKeepsTypedText() {
        FormFixture f;
        f->Combo1->setEditText(u"/dev/ttyTyped"_s);
        f->Combo1->showPopup();
        f->Combo1->hidePopup();
        QCOMPARE(f->Rs232Port(), u"/dev/ttyTyped"_s);
        QCOMPARE(f->Combo1->itemText(6), u"EMU"_s);
        QCOMPARE(f->Combo1->count(), 7 + int(systemPorts().size()));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
