// Runs from the shell: the program started with --run against the emulated unit and against
// corvane-unit on a pseudo-terminal, its standard output, exit status, signals and journal.

#include "linktesting.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

namespace {

// The greeting of the emulated unit as "再接続" logs it (no device chosen yet).
const QStringList kGreeting{u""_s, u"Corvaneと接続しました。"_s,
                            u"装置内デバイス・コードは03です。"_s,
                            u"バッファRAM先頭アドレスは、00000H"_s, u"OK"_s};

struct Run {
    QProcess process;
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    // Starts the program on the command file `commands` with `arguments` (no display needed).
    void start(const QByteArray &commands, QStringList arguments) {
        writeFile(path(u"run.txt"_s), commands);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(u"DISPLAY"_s);
        env.remove(u"WAYLAND_DISPLAY"_s);
        env.remove(u"QT_QPA_PLATFORM"_s);
        env.insert(u"XDG_DATA_HOME"_s, dir.path()); // the default journal: never the real one
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.start(qEnvironmentVariable("CORVANE_BIN"),
                      QStringList{u"--run"_s, u"run.txt"_s, u"--settings"_s, path(u"none.ini"_s)} +
                          arguments);
    }
    QStringList lines() { return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n'); }
    bool waitForLine(const QString &line) {
        QByteArray seen;
        return waitUntil(
            [&] {
                seen += process.readAllStandardOutput();
                return seen.contains(line.toUtf8() + '\n');
            },
            10000);
    }
    void signal(int number) {
        const auto pid = pid_t(process.processId()); // 0 once it has ended: never kill(0)
        QVERIFY(pid > 0 && ::kill(pid, number) == 0);
    }
    int finish() {
        if (process.state() != QProcess::NotRunning && !process.waitForFinished(15000))
            return -1;
        if (process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }
};

} // namespace

class TestRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statusAndLines_data() {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("tail"); // the last lines, the summary line included
        const QStringList emu{u"--port"_s, u"emu"_s, u"--no-journal"_s};
        QTest::newRow("normal end")
            << "BS100\r\n\r\n"_ba << emu << 0
            << QStringList{u"バッファRAM先頭アドレスは、00100H"_s, u"OK"_s, u"ｺﾏﾝﾄﾞﾚｽ正常終了"_s,
                           u"summary: commands 1, refused 0, files not "
                           "found 0, files not written 0"_s};
        QTest::newRow("missing load file, refused line")
            << "LHnone.hex\r\nBS1\xE9\r\n"_ba << emu << 1
            << QStringList{u"ファイルをオープンできません！"_s,
                           u""_s,
                           u"* Set Buffer start address"_s,
                           u"！ パラメータに、誤りがあります。"_s,
                           u"ｺﾏﾝﾄﾞﾚｽ異常終了"_s,
                           u"summary: commands 2, refused 1, files not found 1, files not "
                           "written 0"_s};
        QTest::newRow("no port") << "BS0\r\n"_ba << QStringList{u"--port"_s, u"/dev/nonexistent"_s}
                                 << 3
                                 << QStringList{u"！通信ポートを開けません。（/dev/nonexistent） "
                                                "No such file or directory"_s,
                                                u"summary: commands 0, refused 0, files not "
                                                "found 0, files not written 0"_s};
        QTest::newRow("same port twice")
            << "BS0\r\n"_ba << QStringList{u"--port"_s, u"EMU"_s, u"--port"_s, u"emu"_s} << 64
            << QStringList{};
        QTest::newRow("no file for --run")
            << ""_ba << QStringList{u"--run"_s} << 64 << QStringList{};
    }
    void statusAndLines() {
        QFETCH(QByteArray, commands);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, tail);
        Run run;
        run.start(commands, arguments);
        QCOMPARE(run.finish(), status);
        QStringList lines = run.lines();
        QCOMPARE(lines.takeLast(), QString()); // every line ends with LF
        if (status == 0 || status == 1)
            QCOMPARE(lines.mid(0, kGreeting.size()), kGreeting);
        QCOMPARE(lines.mid(lines.size() - tail.size()), tail);
    }

    // Ctrl-C during a long Intel HEX load cancels it as the cancel button does; a second Ctrl-C
    // or SIGTERM end at once.
    void signals_data() {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("slowUnit"); // corvane-unit answering in pieces 0.4 s apart
        QTest::newRow("Ctrl-C") << QList<int>{SIGINT} << 2 << false;
        QTest::newRow("Ctrl-C twice") << QList<int>{SIGINT, SIGINT} << 130 << true;
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << 143 << false;
    }
    void signals() {
        QFETCH(QList<int>, sent);
        QFETCH(int, status);
        QFETCH(bool, slowUnit);
        UnitProcess unit(slowUnit ? QStringList{u"--fault"_s, u"slow-pieces"_s} : QStringList{});
        Run run;
        const QString hex = run.path(u"big.hex"_s);
        QProcess tool;
        tool.start(u"srec_cat"_s, {u"-generate"_s, u"0"_s, u"0x20000"_s, u"-repeat-data"_s,
                                   u"0x55"_s, u"-o"_s, hex, u"-intel"_s});
        QVERIFY(tool.waitForFinished(10000) && tool.exitCode() == 0);
        run.start("LH" + hex.toUtf8() + "\r\nBS0\r\n",
                  {u"--port"_s, slowUnit ? unit.path : u"EMU"_s, u"--speed"_s, u"38400"_s,
                   u"--journal"_s, run.path(u"journal.log"_s)});
        QVERIFY(run.waitForLine(u"* Load HEX File"_s));
        QTest::qWait(500);
        for (int number : sent) { // signals of one kind sent at once would merge into one
            run.signal(number);
            QTest::qWait(200);
        }
        QCOMPARE(run.finish(), status);
        const QByteArray journal = readFile(run.path(u"journal.log"_s));
        // A cancel sends the cancel line; the unit took it and the run ended there.
        QCOMPARE(journal.contains(" >x 1B 0D 0A\n"), sent.first() == SIGINT);
        QCOMPARE(journal.contains(" # キャンセル・ストップしました。\n"), status == 2);
        QCOMPARE(journal.contains(" # ｺﾏﾝﾄﾞﾚｽ キャンセル終了\n"), status == 2);
        QVERIFY(!journal.contains(" > BS0\n"));
    }

    // Three units at once, one of them silent: each runs on its own, the worst status wins.
    void severalUnits() {
        UnitProcess a, b, silent({u"--fault"_s, u"silent"_s});
        QVERIFY(!a.path.isEmpty() && !b.path.isEmpty() && !silent.path.isEmpty());
        Run run;
        run.start("BS100\r\n", {u"--port"_s, a.path, u"--port"_s, silent.path, u"--port"_s, b.path,
                                u"--speed"_s, u"38400"_s, u"--no-journal"_s});
        QCOMPARE(run.finish(), 3);
        const QStringList lines = run.lines();
        for (const QString &port : {a.path, b.path}) {
            QVERIFY(lines.contains(port + u": ｺﾏﾝﾄﾞﾚｽ正常終了"_s));
            QVERIFY(lines.contains(port + u": Corvaneと接続しました。"_s));
        }
        QVERIFY(lines.contains(silent.path + u": ！通信エラーです。"_s));
        QVERIFY(!lines.contains(silent.path + u": ｺﾏﾝﾄﾞﾚｽ異常終了"_s)); // never ran
        // The table: a header and one row a unit in the order given, then the final LF.
        const QStringList table = lines.mid(lines.size() - 5, 4);
        QVERIFY(table[0].startsWith(u"port "_s));
        const QList<std::pair<QString, QString>> rows{
            {a.path, u"0 normal"_s}, {silent.path, u"3 no connection"_s}, {b.path, u"0 normal"_s}};
        for (int i = 0; i < 3; ++i) {
            QVERIFY2(table[i + 1].startsWith(rows[i].first + u' ') &&
                         table[i + 1].contains(u' ' + rows[i].second + u' '),
                     qPrintable(table[i + 1]));
        }
    }
};

QTEST_MAIN(TestRun)
#include "tst_run.moc"
