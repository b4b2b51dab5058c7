// Typed commands and command-response runs on a window with a scripted unit: the bytes on the
// line, the log, and the state of the command box and the buttons.

#include "formfixture.h"

#include "app/settingsfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kNormalEnd = QStringLiteral("ｺﾏﾝﾄﾞﾚｽ正常終了");
const QString kCancelledEnd = QStringLiteral("ｺﾏﾝﾄﾞﾚｽ キャンセル終了");
const QString kAbnormalEnd = QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了");
const QString kUnsupported = QStringLiteral("このコマンドは、サポートされてません！");

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return condition();
}

void writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// A unit that accepts everything: loads are ready ("01") for their announcement.
void acceptAll(ScriptedPort *port) {
    port->respond("LH", "01\r\n");
    port->respond("LS", "01\r\n");
    port->respond("", "00\r\n");
}

} // namespace

class TestConsoleRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void typed_data();
    void typed();
    void emptyLineDoesNothingAtAll();
    void blankOrCommentLineOnlyCyclesTheControls_data();
    void blankOrCommentLineOnlyCyclesTheControls();

    void runs_data();
    void runs();
    void noControlByteReachesTheLine();
    void cancelDuringTextLoad();
    void unitVanishesMidRun();
    void fileThatCannotBeOpened_data();
    void fileThatCannotBeOpened();
    void noSecondCommandDuringARun();
    void longStretchOfEmptyLinesKeepsTheWindowServedAndLocked();

    void autoRun_data();
    void autoRun();
};

// ---- Typed commands ----

void TestConsoleRun::typed_data() {
    QTest::addColumn<QString>("raw"); // %1 stands for the path of a one-record HEX file Rom.hex
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QString>("logged");

    using L = QList<QByteArray>;
    QTest::newRow("path right behind LH, case kept")
        << "lh%1" << L{"LH0", ":00000001FF"} << "* Load HEX File";
    QTest::newRow("space behind LH joins the path")
        << "LH %1" << L{} << "ファイルをオープンできません！";
    QTest::newRow("comment after a field is dropped")
        << "LH%1,1a 00 ' at 1A00" << L{"LH1A00", ":00000001FF"} << "OK";
    QTest::newRow("blank check with comment")
        << "b0,7FFF ' check" << L{"BL00000,07FFF"} << "* Blank check ";
    QTest::newRow("full-width BL is B with L") << "ＢＬ" << L{"BL0000L,1FFFF"} << "* Blank check ";
    QTest::newRow("B alone runs to the device end") << "B" << L{"BL00000,1FFFF"} << "OK";
    QTest::newRow("program with mode")
        << "P100,7FF,E" << L{"PG00100,007FF,2"} << "    mode         = EVEN";
    QTest::newRow("BS before B") << "bs 1000" << L{"BS1000", "US2"} << "* Set Buffer start address";
    QTest::newRow("BT before B") << "bt" << L{"US2"} << "* Buffer type";
    QTest::newRow("C123 clears") << "C123" << L{"CL"} << "";
    QTest::newRow("unknown word") << "X" << L{} << kUnsupported;
}

void TestConsoleRun::typed() {
    QFETCH(QString, raw);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, logged);

    FormFixture f;
    ScriptedPort *port = f.useScripted();
    acceptAll(port);
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString hexPath = f.path(QStringLiteral("Rom.hex"));
    writeFile(hexPath, ":00000001FF\r\n");

    if (raw.contains(QLatin1String("%1")))
        raw = raw.arg(hexPath);
    f->TexCMD->setText(raw);
    QVERIFY(runToEnd(f->PbCMD_Click()));

    const QList<QByteArray> written = port->writtenLines();
    QCOMPARE(written, lines);
    if (!logged.isEmpty())
        QVERIFY2(f.history().contains(logged), qPrintable(f.history().join(QLatin1Char('|'))));
    // The typed text stays in the box and the command line is usable again.
    QCOMPARE(f->TexCMD->text(), raw);
    QVERIFY(f->PbCMD->isEnabled());
    QVERIFY(!f->PbCansel->isEnabled());
}

void TestConsoleRun::emptyLineDoesNothingAtAll() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    f->PbCansel->setEnabled(true); // a PbUnEn/PbReEn pair would switch it off
    port->inject("stray");
    spin(20);
    f.clearHistory();

    f->TexCMD->setText(QString());
    QCoro::Task<> task = f->PbCMD_Click();
    QVERIFY(task.isReady()); // returns at once: no purge, no wait
    QVERIFY(f->PbCansel->isEnabled());
    QVERIFY(f.history().isEmpty());
    QCOMPARE(port->inBufferCount(), 5); // the input was not purged
}

void TestConsoleRun::blankOrCommentLineOnlyCyclesTheControls_data() {
    QTest::addColumn<QString>("raw");
    QTest::newRow("spaces") << "    ";
    QTest::newRow("comment") << "' B0,FF";
    QTest::newRow("indented comment") << "  'X";
}

void TestConsoleRun::blankOrCommentLineOnlyCyclesTheControls() {
    QFETCH(QString, raw);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    f->AnsRxCode = QStringLiteral("12");
    f->PbCansel->setEnabled(true);
    port->inject("stray");
    spin(20);
    const QStringList before = f.log();

    f->TexCMD->setText(raw);
    QVERIFY(runToEnd(f->PbCMD_Click()));
    QCOMPARE(f.log(), before);
    QVERIFY(port->written().isEmpty());
    QCOMPARE(port->inBufferCount(), 0); // the input was purged
    QVERIFY(!f->PbCansel->isEnabled()); // the controls went through PbUnEn/PbReEn
    QVERIFY(f->PbPG->isEnabled());
    QCOMPARE(f->AnsRxCode, QStringLiteral("12"));
}

// ---- Command-response runs ----

namespace {

struct Run {
    FormFixture f;
    ScriptedPort *port = nullptr;
    QString commandFile;

    explicit Run(const QByteArray &contents) {
        port = f.useScripted();
        f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
        commandFile = f.path(QStringLiteral("Run1.txt"));
        writeFile(commandFile, contents);
        f->TexResGoFile1->setText(commandFile);
        f->TexCMD->setText(QStringLiteral("before"));
        f.clearHistory();
    }
    [[nodiscard]] int count(const QString &line) const { return int(f.history().count(line)); }
};

} // namespace

void TestConsoleRun::runs_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("blankCheckReply");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<QString>("logged"); // a line the run logs before its end ("" for none)
    QTest::addColumn<QString>("end");
    QTest::addColumn<QString>("lastLine"); // what the command box shows afterwards

    using L = QList<QByteArray>;
    const QByteArray ok("00\r\n");
    QTest::newRow("empty file") << QByteArray() << ok << L{} << "" << kNormalEnd << "before";
    QTest::newRow("unknown word in the middle")
        << QByteArray("B0,FF\r\nX\r\nC\r\n") << ok << L{"BL00000,000FF", "CL"} << kUnsupported
        << kNormalEnd << "C";
    QTest::newRow("blank and comment lines only")
        << QByteArray("\r\n' only a note\r\n   \r\n") << ok << L{} << "" << kNormalEnd << "   ";
    QTest::newRow("error reply stops the run")
        << QByteArray("B\r\nC\r\nR\r\n") << QByteArray("10:1FFFF,FF\r\n") << L{"BL00000,1FFFF"}
        << "！ ブランクエラー" << kAbnormalEnd << "B";
    QTest::newRow("CR-only line ends")
        << QByteArray("B0,FF\rC\r") << ok << L{"BL00000,000FF", "CL"} << "" << kNormalEnd << "C";
    QTest::newRow("very long line is cut to the box, the run goes on")
        << "C" + QByteArray(100000, '1') + "\r\nB0,FF\r\n"
        << ok << L{"CL", "BL00000,000FF"} << "" << kNormalEnd << "B0,FF";
}

void TestConsoleRun::runs() {
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, blankCheckReply);
    QFETCH(QList<QByteArray>, lines);
    QFETCH(QString, logged);
    QFETCH(QString, end);
    QFETCH(QString, lastLine);

    Run run(file);
    run.port->respond("BL", blankCheckReply);
    acceptAll(run.port);
    QVERIFY(runToEnd(run.f->PbResGo1_Click()));

    QCOMPARE(run.port->writtenLines(), lines);
    const QStringList h = run.f.history();
    if (!logged.isEmpty())
        QVERIFY(h.contains(logged));
    QCOMPARE(h.last(), end);
    QCOMPARE(run.count(kNormalEnd) + run.count(kAbnormalEnd) + run.count(kCancelledEnd), 1);
    QCOMPARE(run.f->TexCMD->text(), lastLine);
    QVERIFY(!run.f->TexCMD->isReadOnly());
}

void TestConsoleRun::noControlByteReachesTheLine() {
    // A LF alone does not end a line, and neither it nor a NUL is sent: both become invalid
    // characters of the command text.
    Run run(QByteArray("B0,FF\nC\n\r\nB\0L\r\n", 15));
    acceptAll(run.port);
    QVERIFY(runToEnd(run.f->PbResGo1_Click()));
    const QList<QByteArray> written = run.port->writtenLines();
    QCOMPARE(written.size(), 2);
    QVERIFY(written[0].startsWith("BL00000,"));
    QVERIFY(written[1].startsWith("BL000"));
    QVERIFY(!run.port->written().contains('\0'));
    QCOMPARE(run.port->written().count('\n'), 2); // only the two line ends
    QCOMPARE(run.f.history().last(), kNormalEnd);
}

void TestConsoleRun::cancelDuringTextLoad() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString hexPath = f.path(QStringLiteral("a.hex"));
    writeFile(hexPath, ":020000040000FA\r\n:00000001FF\r\n");
    const QString commandFile = f.path(QStringLiteral("run.txt"));
    writeFile(commandFile, "LH" + hexPath.toLocal8Bit() + "\r\nC\r\n");
    f->TexResGoFile2->setText(commandFile);
    port->expect("LH0", "01\r\n");
    port->expect("\x1b", "34\r\n", 50);
    acceptAll(port);
    port->setCts(false); // the unit is busy: the load waits before its first data line

    QCoro::Task<> task = f->PbResGo2_Click();
    QVERIFY(waitFor([&] { return f.history().contains(QStringLiteral(":020000040000FA")); }));
    QVERIFY(f->TexCMD->isReadOnly());
    QVERIFY(f->PbCansel->isEnabled());
    f->PbCansel->click();
    QVERIFY(runToEnd(std::move(task)));

    QCOMPARE(port->writtenLines(), (QList<QByteArray>{"LH0", "\x1b"}));
    const QStringList h = f.history();
    QVERIFY(h.contains(QStringLiteral("キャンセル・ストップしました。")));
    QCOMPARE(h.last(), kCancelledEnd);
    QVERIFY(!f->TexCMD->isReadOnly());
    QCOMPARE(f->TexCMD->text(), QStringLiteral("LH") + hexPath);
}

void TestConsoleRun::unitVanishesMidRun() {
    Run run("BS1000\r\nC\r\n");
    QCoro::Task<> task = run.f->PbResGo1_Click();
    QVERIFY(waitFor([&] { return !run.port->writtenLines().isEmpty(); }));
    run.port->vanish();
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(run.port->writtenLines(), QList<QByteArray>{"BS1000"});
    QVERIFY(run.f.history().contains(QStringLiteral("！通信エラーです。")));
    QCOMPARE(run.f.history().last(), kAbnormalEnd);
    // Lost link: reconnecting and the command line remain, the runs do not.
    QVERIFY(run.f->PbON->isEnabled());
    QVERIFY(run.f->PbCMD->isEnabled());
    QVERIFY(!run.f->PbResGo1->isEnabled());
}

void TestConsoleRun::fileThatCannotBeOpened_data() {
    QTest::addColumn<QString>("name"); // in the temporary folder; "" for an empty path box
    QTest::addColumn<QString>("message");
    QTest::newRow("empty path") << ""
                                << "！ コマンドレスポンスファイルが指定されてません。";
    QTest::newRow("missing file") << "nothing.txt"
                                  << "！ コマンドレスポンスファイルを開けません。（%1）";
    QTest::newRow("a folder") << "folder"
                              << "！ コマンドレスポンスファイルを開けません。（%1）";
    QTest::newRow("a device that never ends")
        << "/dev/zero"
        << "！ コマンドレスポンスファイルを開けません。（%1）";
}

void TestConsoleRun::fileThatCannotBeOpened() {
    QFETCH(QString, name);
    QFETCH(QString, message);
    Run run("C\r\n");
    acceptAll(run.port);
    QVERIFY(QDir(run.f.path(QString())).mkpath(QStringLiteral("folder")));
    const QString path = name.isEmpty() || QDir::isAbsolutePath(name) ? name : run.f.path(name);
    run.f->TexResGoFile1->setText(path);
    run.f->AnsRxCode = QStringLiteral("12");

    QVERIFY(runToEnd(run.f->PbResGo1_Click()));
    QCOMPARE(run.f.history(),
             (QStringList{name.isEmpty() ? message : message.arg(path), kAbnormalEnd}));
    QVERIFY(run.port->written().isEmpty());
    QVERIFY(!run.f->TexCMD->isReadOnly());
    QCOMPARE(run.f->TexCMD->text(), QStringLiteral("before"));
    QCOMPARE(run.f->AnsRxCode, QStringLiteral("12"));
    // A later run works.
    run.f->TexResGoFile1->setText(run.commandFile);
    QVERIFY(runToEnd(run.f->PbResGo1_Click()));
    QCOMPARE(run.port->writtenLines(), QList<QByteArray>{"CL"});
}

void TestConsoleRun::noSecondCommandDuringARun() {
    Run run("B\r\n");
    const QString other = run.f.path(QStringLiteral("other.txt"));
    writeFile(other, "C\r\n");
    run.f->TexResGoFile2->setText(other);
    run.port->expect("BL00000,1FFFF", "00\r\n", 300);
    acceptAll(run.port);

    QCoro::Task<> task = run.f->PbResGo1_Click();
    QVERIFY(waitFor([&] { return !run.port->writtenLines().isEmpty(); }));
    // Even called directly, past the disabled buttons, neither starts anything.
    QVERIFY(run.f->PbResGo2_Click().isReady());
    QVERIFY(run.f->PbResGo1_Click().isReady());
    QVERIFY(run.f->PbCMD_Click().isReady());
    QVERIFY(runToEnd(std::move(task)));
    QCOMPARE(run.port->writtenLines(), QList<QByteArray>{"BL00000,1FFFF"});
    QCOMPARE(run.count(kNormalEnd), 1);
}

void TestConsoleRun::longStretchOfEmptyLinesKeepsTheWindowServedAndLocked() {
    // Empty lines run nothing and never wait; the run still lets the event loop through now and
    // then, with the operation buttons locked while it does.
    Run run(QByteArray(5000, '\r'));
    acceptAll(run.port);
    bool served = false;
    bool runsLocked = false;
    QTimer::singleShot(0, run.f.operator->(), [&] {
        served = run.f->TexCMD->isReadOnly(); // the run is still going
        runsLocked = !run.f->PbResGo2->isEnabled() && !run.f->PbPG->isEnabled() &&
                     !run.f->PbCMD->isEnabled();
    });
    QVERIFY(runToEnd(run.f->PbResGo1_Click()));
    QVERIFY(served);
    QVERIFY(runsLocked);
    QVERIFY(run.port->written().isEmpty());
    QCOMPARE(run.f.history(), QStringList{kNormalEnd});
    // Afterwards the controls are as the busy state says.
    QVERIFY(run.f->PbResGo2->isEnabled());
    QVERIFY(run.f->PbCMD->isEnabled());
}

// ---- Auto-run at start-up ----

void TestConsoleRun::autoRun_data() {
    QTest::addColumn<int>("choice"); // 0 しない, 1 File1, 2 File2
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::newRow("しない") << 0 << QList<QByteArray>{};
    QTest::newRow("File1") << 1 << QList<QByteArray>{"CL"};
    QTest::newRow("File2") << 2 << QList<QByteArray>{"BL00000,1FFFF"};
}

void TestConsoleRun::autoRun() {
    QFETCH(int, choice);
    QFETCH(QList<QByteArray>, commands);

    QTemporaryDir dir;
    SettingsValues values;
    values.responseFile1 = dir.filePath(QStringLiteral("file1.txt"));
    values.responseFile2 = dir.filePath(QStringLiteral("file2.txt"));
    values.noAutoRun = choice == 0;
    values.autoRunFile1 = choice == 1;
    values.autoRunFile2 = choice == 2;
    writeFile(values.responseFile1, "C\r\n");
    writeFile(values.responseFile2, "B\r\n");
    const QString settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    writeFile(settingsPath, formatSettings(values));

    ScriptedPort *port = nullptr;
    Form1Options options;
    options.settingsPath = settingsPath;
    options.timerIntervalMs = 10;
    options.portFactory = [&port](const QString &) {
        auto scripted = std::make_unique<ScriptedPort>();
        port = scripted.get();
        port->respond("US0", "00:2F,X,Y,10,0\r\n");
        port->respond("US1", "00:1FFFF\r\n");
        port->respond("US2", "00:00000,0\r\n");
        port->respond("", "00\r\n");
        return std::unique_ptr<SerialPort>(std::move(scripted));
    };
    Form1 form(options);
    QStringList history;
    QObject::connect(&form, &Form1::logLineAdded, &form,
                     [&history](const QString &line) { history.append(line); });

    // The greeting ends with "OK" after "US2"; a chosen file then runs to its end message.
    QVERIFY(waitFor([&] { return history.contains(QStringLiteral("OK")); }));
    if (choice != 0)
        QVERIFY(waitFor([&] { return history.contains(kNormalEnd); }));
    spin(250); // time for a second start that must not come

    QVERIFY(port);
    QList<QByteArray> afterGreeting = port->writtenLines();
    const qsizetype us2 = afterGreeting.indexOf("US2");
    QVERIFY(us2 >= 0);
    afterGreeting = afterGreeting.mid(us2 + 1);
    QCOMPARE(afterGreeting, commands);
    QCOMPARE(int(history.count(kNormalEnd)), choice == 0 ? 0 : 1);
}

QTEST_MAIN(TestConsoleRun)
#include "tst_console_run.moc"
