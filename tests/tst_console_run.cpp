// Typed commands and command-response runs on a window with a scripted unit: the bytes on the
// line, the log, and the state of the command box and the buttons.

#include "formfixture.h"
#include "linktesting.h"

#include "app/settingsfile.h"

#include <QDir>
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

    void runs_data();
    void runs();
    void cancelDuringTextLoad();
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
    QTest::addColumn<QString>("logged"); // "" with no lines: nothing may be logged

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
    QTest::newRow("BS before B") << "bs 1000" << L{"BS1000", "US2"} << "* Set Buffer start address";
    QTest::newRow("BT before B") << "bt" << L{"US2"} << "* Buffer type";
    QTest::newRow("C123 clears") << "C123" << L{"CL"} << "";
    QTest::newRow("unknown word") << "X" << L{} << kUnsupported;
    QTest::newRow("empty") << "" << L{} << "";
    QTest::newRow("spaces") << "    " << L{} << "";
    QTest::newRow("comment") << "' B0,FF" << L{} << "";
    QTest::newRow("indented comment") << "  'X" << L{} << "";
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
    f->AnsRxCode = QStringLiteral("12");
    f->PbCansel->setEnabled(true); // a PbUnEn/PbReEn pair would switch it off
    port->inject("stray");
    spin(20);
    const QStringList before = f.log();
    f.clearHistory();

    if (raw.contains(QLatin1String("%1")))
        raw = raw.arg(hexPath);
    f->TexCMD->setText(raw);
    const bool empty = raw.isEmpty();
    QCoro::Task<> task = f->PbCMD_Click();
    QCOMPARE(task.isReady(), empty); // an empty line returns at once: no purge, no wait
    QVERIFY(runToEnd(std::move(task)));

    QCOMPARE(port->writtenLines(), lines);
    if (!logged.isEmpty())
        QVERIFY2(f.history().contains(logged), qPrintable(f.history().join(QLatin1Char('|'))));
    else if (lines.isEmpty())
        QCOMPARE(f.log(), before);
    if (empty)
        QVERIFY(f.history().isEmpty());
    // Without an exchange the reply code stays; only an empty line neither purges the input nor
    // cycles the controls.
    if (lines.isEmpty())
        QCOMPARE(f->AnsRxCode, QStringLiteral("12"));
    QCOMPARE(port->inBufferCount(), empty ? 5 : 0);
    QCOMPARE(f->PbCansel->isEnabled(), empty);
    // The typed text stays in the box and the command line is usable again.
    QCOMPARE(f->TexCMD->text(), raw);
    QVERIFY(f->PbCMD->isEnabled());
    QVERIFY(f->PbPG->isEnabled());
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

struct RunCase {
    QByteArray file;
    QByteArray word, reply; // the unit answers this command word so; everything else with "00"
    QList<QByteArray> lines;
    QString logged; // a line the run logs before its end ("" for none)
    QString end;
    QString lastLine; // what the command box shows afterwards
};

} // namespace

Q_DECLARE_METATYPE(RunCase)

void TestConsoleRun::runs_data() {
    QTest::addColumn<RunCase>("c");
    auto row = [](const char *name, const QByteArray &file, const QList<QByteArray> &lines,
                  const char *lastLine, const QString &logged = {}, const QString &end = kNormalEnd,
                  const char *word = "BL", const char *reply = "00\r\n") {
        QTest::newRow(name) << RunCase{file, word, reply, lines, logged, end, lastLine};
    };
    row("empty file", "", {}, "before");
    row("unknown word in the middle", "B0,FF\r\nX\r\nC\r\n", {"BL00000,000FF", "CL"}, "C",
        kUnsupported);
    row("blank and comment lines only", "\r\n' only a note\r\n   \r\n", {}, "   ");
    row("error reply stops the run", "B\r\nC\r\nR\r\n", {"BL00000,1FFFF"}, "B", "！ ブランクエラー",
        kAbnormalEnd, "BL", "10:1FFFF,FF\r\n");
    row("no reply stops the run", "BS1000\r\nC\r\n", {"BS1000"}, "BS1000", "！通信エラーです。",
        kAbnormalEnd, "BS", "");
    row("CR-only line ends", "B0,FF\rC\r", {"BL00000,000FF", "CL"}, "C");
    row("LF and mixed line ends", "B0,FF\nC\r\nB\rC",
        {"BL00000,000FF", "CL", "BL00000,1FFFF", "CL"}, "C");
    // Saved as UTF-8 with a byte-order mark: the device name reaches the unit in CP932, its
    // katakana narrowed as in every typed command.
    row("UTF-8 file with its mark", "\xEF\xBB\xBFT2F,インテルる,am27r010gg\r\nC\r\n",
        {"TS2F,\xB2\xDD\xC3\xD9\x82\xE9,AM27R010GG", "US0", "US1", "CL"}, "C");
    row("very long line is cut to the box, the run goes on",
        "C" + QByteArray(100000, '1') + "\r\nB0,FF\r\n", {"CL", "BL00000,000FF"}, "B0,FF");
}

void TestConsoleRun::runs() {
    QFETCH(RunCase, c);
    Run run(c.file);
    run.port->respond(c.word, c.reply);
    acceptAll(run.port);
    QVERIFY(runToEnd(run.f->PbResGo1_Click()));

    QCOMPARE(run.port->writtenLines(), c.lines);
    const QStringList h = run.f.history();
    if (!c.logged.isEmpty())
        QVERIFY(h.contains(c.logged));
    QCOMPARE(h.last(), c.end);
    QCOMPARE(run.count(kNormalEnd) + run.count(kAbnormalEnd) + run.count(kCancelledEnd), 1);
    QCOMPARE(run.f->TexCMD->text(), c.lastLine);
    QVERIFY(!run.f->TexCMD->isReadOnly());
}

void TestConsoleRun::cancelDuringTextLoad() {
    Run run({});
    FormFixture &f = run.f;
    ScriptedPort *port = run.port;
    const QString hexPath = f.path(QStringLiteral("a.hex"));
    writeFile(hexPath, ":020000040000FA\r\n:00000001FF\r\n");
    writeFile(run.commandFile, "LH" + hexPath.toLocal8Bit() + "\r\nC\r\n");
    f->TexResGoFile2->setText(run.commandFile);
    port->expect("LH0", "01\r\n");
    port->expect("\x1b", "34\r\n", 50);
    acceptAll(port);
    port->setCts(false); // the unit is busy: the load waits before its first data line

    QCoro::Task<> task = f->PbResGo2_Click();
    QVERIFY(
        waitUntil([&] { return f.history().contains(QStringLiteral(":020000040000FA")); }, 5000));
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

void TestConsoleRun::fileThatCannotBeOpened_data() {
    QTest::addColumn<QString>("name"); // in the temporary folder; "" for an empty path box
    QTest::newRow("empty path") << "";
    QTest::newRow("missing file") << "nothing.txt";
    QTest::newRow("a folder") << "folder";
    QTest::newRow("a device that never ends") << "/dev/zero";
}

void TestConsoleRun::fileThatCannotBeOpened() {
    QFETCH(QString, name);
    Run run("C\r\n");
    acceptAll(run.port);
    QVERIFY(QDir(run.f.path(QString())).mkpath(QStringLiteral("folder")));
    const QString path = name.isEmpty() || QDir::isAbsolutePath(name) ? name : run.f.path(name);
    run.f->TexResGoFile1->setText(path);
    run.f->AnsRxCode = QStringLiteral("12");

    QVERIFY(runToEnd(run.f->PbResGo1_Click()));
    const QString message =
        name.isEmpty() ? QStringLiteral("！ コマンドレスポンスファイルが指定されてません。")
                       : QStringLiteral("！ コマンドレスポンスファイルを開けません。（") + path +
                             QStringLiteral("）");
    QCOMPARE(run.f.history(), (QStringList{message, kAbnormalEnd}));
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
    run.port->expect("BL00000,1FFFF", "00\r\n", 100);
    acceptAll(run.port);

    QCoro::Task<> task = run.f->PbResGo1_Click();
    QVERIFY(waitUntil([&] { return !run.port->written().isEmpty(); }, 5000));
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
    QVERIFY(waitUntil([&] { return history.contains(QStringLiteral("OK")); }, 5000));
    if (choice != 0)
        QVERIFY(waitUntil([&] { return history.contains(kNormalEnd); }, 5000));
    spin(100); // ten line monitor ticks: time for a second start that must not come

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
