// Runs from the shell: the program started with --run against the emulated unit and against
// corvane-unit on a pseudo-terminal, its standard output, exit status, signals and journal.

#include "controller/outcome.h"
#include "linktesting.h"
#include "text/datafile.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>

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
    // Starts the program on the command file `commands` (none when null) with `arguments` (no
    // display needed; the settings an empty file unless named; "ulimit" first: files of at most
    // 4 KiB).
    void start(const QByteArray &commands, QStringList arguments) {
        if (!commands.isNull())
            writeFile(path(u"run.txt"_s), commands);
        if (!arguments.contains(u"--settings"_s))
            arguments << u"--settings"_s << writeFile(path(u"none.ini"_s), "");
        QStringList program{qEnvironmentVariable("CORVANE_BIN")};
        if (!arguments.contains(u"--compare"_s))
            program << u"--run"_s << u"run.txt"_s;
        const bool limited = arguments.removeAll(u"ulimit"_s) > 0;
        if (limited)
            program = QStringList{u"-c"_s, u"ulimit -f 8; exec \"$0\" \"$@\""_s} + program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
            env.remove(QString::fromLatin1(name));  // as from cron: no display, no runtime folder
        env.insert(u"XDG_DATA_HOME"_s, dir.path()); // the default journal: never the real one
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        const QString command = limited ? u"sh"_s : program.takeFirst();
        process.start(command, program + arguments);
    }
    QStringList lines() { return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n'); }
    void signal(int number) {
        const auto pid = pid_t(process.processId()); // 0 once it has ended: never kill(0)
        QVERIFY(pid > 0 && ::kill(pid, number) == 0);
    }
    int finish() { // the event loop runs meanwhile (peers in this process)
        if (!waitUntil([&] { return process.state() == QProcess::NotRunning; }, 15000))
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
        const QString summary0 =
            u"summary: commands 1, refused 0, files not found 0, files not written "_s;
        QTest::newRow("missing load file")
            << "LHnone.hex\r\n"_ba << emu << 4
            << QStringList{
                   u"ファイルをオープンできません！"_s, u"ｺﾏﾝﾄﾞﾚｽ正常終了"_s,
                   u"summary: commands 1, refused 0, files not found 1, files not written 0"_s};
        QTest::newRow("save cut by a file size limit")
            << "SHout.hex,0,1FFF,0\r\n"_ba
            << QStringList{u"ulimit"_s, u"--speed"_s, u"921600"_s} + emu << 4
            << QStringList{u"終了しました。"_s, u"ファイルに書き込めませんでした！"_s,
                           u"ｺﾏﾝﾄﾞﾚｽ正常終了"_s, summary0 + u"1"_s};
        QTest::newRow("missing run file touches no unit")
            << QByteArray() << QStringList{u"--port"_s, u"/dev/nonexistent"_s} << 1
            << QStringList{u"！ コマンドレスポンスファイルを開けません。（run.txt）"_s,
                           u"ｺﾏﾝﾄﾞﾚｽ異常終了"_s,
                           u"summary: commands 0, refused 0, files not "
                           "found 0, files not written 0"_s};
        QTest::newRow("device paths differing in case")
            << "BS0\r\n"_ba
            << QStringList{u"--port"_s, u"/dev/nonexistentA"_s, u"--port"_s, u"/dev/nonexistenta"_s}
            << 3 << QStringList{};
        for (const QStringList &usage :
             {QStringList{u"--run"_s},
              {u"--port"_s, u"EMU"_s, u"--port"_s, u"emu"_s},
              {u"--port"_s, u"/dev/null"_s, u"--port"_s, u"/proc/self/root/dev/null"_s},
              {u"--settings"_s, u"missing.ini"_s},
              {u"--speed"_s, u"1"_s, u"--speed"_s, u"2"_s},
              {u"--journal"_s, u""_s},
              {u"--compare"_s, u"f"_s, u"--run"_s, u"run.txt"_s},
              {u"--compare"_s, u"f"_s, u"--range"_s, u"FF,1"_s},
              {u"--compare"_s, u"f"_s, u"--range"_s, u"0,100000"_s},
              {u"--range"_s, u"0,1"_s}})
            QTest::newRow(qPrintable(usage.join(u' ')))
                << "BS0\r\n"_ba << usage << 64 << QStringList{};
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
        if (status == 0 || status == 4 || (status == 1 && !commands.isNull()))
            QCOMPARE(lines.mid(0, kGreeting.size()), kGreeting);
        QCOMPARE(lines.mid(lines.size() - tail.size()), tail);
        // No warning on standard error (a usage error's reason aside; a size limit stops coverage).
        const bool quiet = status != 64 && !arguments.contains(u"ulimit"_s);
        QCOMPARE(quiet ? run.process.readAllStandardError() : ""_ba, ""_ba);
    }

    // `--compare` against corvane-unit holding srec_cat's image across 64 KiB: the differing runs,
    // their count and the status; files it cannot use; several units in one table.
    void compare_data() {
        QTest::addColumn<QString>("srecArgs"); // srec_cat's arguments making the file; %1: image
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("tail"); // standard output's last lines
        QTest::addColumn<QString>("error");    // a text standard error holds
        const QString off = u"%1 -intel -exclude 0x10005 0x10006 -generate 0x10005 0x10006 "
                            "-constant 0x99 -o file.hex -intel"_s;
        QTest::newRow("equal") << u"%1 -intel -o file.hex -intel"_s << QStringList{} << 0
                               << QStringList{u"differing bytes: 0"_s} << QString();
        QTest::newRow("one byte off")
            << off << QStringList{} << 1
            << QStringList{u"10005: unit 11 file 99"_s, u"differing bytes: 1"_s} << QString();
        QTest::newRow("range wider than the file")
            << off << QStringList{u"--range"_s, u"10004,10007"_s} << 1
            << QStringList{u"10005: unit 11 file 99"_s, u"differing bytes: 1"_s} << QString();
        QTest::newRow("file beyond the buffer")
            << u"-generate 0xFFFF0 0x100010 -constant 1 -o file.hex -intel"_s << QStringList{} << 4
            << QStringList{} << u"reaches address 10000F"_s;
        QTest::newRow("bad record")
            << u"!:0100000011EE\n:0100010022DB\n"_s << QStringList{} << 4 << QStringList{}
            << u"file.hex: 2 行目: チェックサムが違います。"_s;
        QTest::newRow("missing file") << QString() << QStringList{} << 4 << QStringList{}
                                      << u"file.hex: ファイルをオープンできません！"_s;
        QTest::newRow("several units")
            << u"%1 -intel -o file.hex -intel"_s << QStringList{u"--port"_s, u"/dev/nonexistent"_s}
            << 3
            << QStringList{u"@: differing bytes: 0"_s, u"port result time summary"_s,
                           u"@ 0 equal"_s, u"/dev/nonexistent 3 no connection"_s}
            << u"/dev/nonexistent: ！通信ポートを開けません。"_s;
    }
    void compare() {
        QFETCH(QString, srecArgs);
        QFETCH(QStringList, options);
        QFETCH(QStringList, tail);
        UnitProcess unit;
        QVERIFY(!unit.path.isEmpty());
        Run load, run;
        const QString image = run.path(u"image.hex"_s);
        QVERIFY(!QProcess::execute(u"srec_cat"_s,
                                   {u"-generate"_s, u"0xFF00"_s, u"0x10100"_s, u"-constant"_s,
                                    u"0x11"_s, u"-o"_s, image, u"-intel"_s}));
        load.start("LH" + image.toUtf8() + "\r\n", {u"--port"_s, unit.path, u"--no-journal"_s});
        QCOMPARE(load.finish(), 0);
        const QString made =
            srecArgs.replace(u"%1"_s, image).replace(u"file.hex"_s, run.path(u"file.hex"_s));
        if (srecArgs.startsWith(u'!')) // the file's text itself
            writeFile(run.path(u"file.hex"_s), srecArgs.mid(1).toLatin1());
        else
            QVERIFY(srecArgs.isEmpty() || !QProcess::execute(u"srec_cat"_s, made.split(u' ')));
        run.start(QByteArray(), QStringList{u"--compare"_s, u"file.hex"_s, u"--port"_s, unit.path,
                                            u"--no-journal"_s} +
                                    options);
        QTEST(run.finish(), "status");
        QStringList lines = run.lines();
        QCOMPARE(lines.takeLast(), QString());
        for (QString &line : tail) // "@": the unit's port; the table's columns as one space
            line.replace(u'@', unit.path);
        for (QString &line : lines)
            line = line.simplified().remove(QRegularExpression(u" [0-9.]+ s .*$"_s));
        QCOMPARE(lines.mid(lines.size() - tail.size()), tail);
        QFETCH(QString, error);
        QVERIFY2(QString::fromUtf8(run.process.readAllStandardError()).contains(error),
                 qPrintable(error));
    }

    // Ctrl-C while a comparison reads: the read is cancelled as the cancel button cancels it.
    void compareCancelled() {
        Run run;
        const QString file = writeFile(run.path(u"zero.bin"_s), QByteArray(1 << 20, '\0'));
        run.start(QByteArray(), {u"--compare"_s, file, u"--port"_s, u"EMU"_s, u"--speed"_s,
                                 u"38400"_s, u"--journal"_s, run.path(u"journal.log"_s)});
        QVERIFY(waitUntil(
            [&] { return readFile(run.path(u"journal.log"_s)).contains(" > SB0,FFFFF\n"); },
            10000));
        QTest::qWait(300);
        run.signal(SIGINT);
        QCOMPARE(run.finish(), 2);
        QVERIFY(readFile(run.path(u"journal.log"_s)).contains(" >x 1B 0D 0A\n"));
        QCOMPARE(run.lines(), QStringList{QString()}); // nothing compared, nothing printed
    }

    // Ctrl-C during a long Intel HEX load cancels it as the cancel button does; a second Ctrl-C
    // or SIGTERM end at once.
    void signals_data() {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("slowUnit");    // corvane-unit answering in pieces 0.4 s apart
        QTest::addColumn<bool>("stuckOutput"); // standard output a pipe nobody reads
        QTest::newRow("Ctrl-C") << QList<int>{SIGINT} << 2 << false << false;
        QTest::newRow("Ctrl-C twice") << QList<int>{SIGINT, SIGINT} << 130 << true << false;
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << 143 << false << false;
        QTest::newRow("SIGTERM, output not read") << QList<int>{SIGTERM} << 143 << false << true;
    }
    void signals() {
        QFETCH(QList<int>, sent);
        QFETCH(int, status);
        QFETCH(bool, slowUnit);
        QFETCH(bool, stuckOutput);
        UnitProcess unit(slowUnit ? QStringList{u"--fault"_s, u"slow-pieces"_s} : QStringList{});
        Run run;
        const QString hex = run.path(u"big.hex"_s), fifo = run.path(u"out"_s);
        QVERIFY(!QProcess::execute(u"srec_cat"_s,
                                   {u"-generate"_s, u"0"_s, u"0x20000"_s, u"-repeat-data"_s,
                                    u"0x55"_s, u"-o"_s, hex, u"-intel"_s}));
        const int reader = stuckOutput && ::mkfifo(qPrintable(fifo), 0600) == 0
                               ? ::open(qPrintable(fifo), O_RDONLY | O_NONBLOCK)
                               : -1;
        if (stuckOutput) // the log fills the pipe within a second at this speed
            run.process.setStandardOutputFile(fifo);
        run.start("LH" + hex.toUtf8() + "\r\nBS0\r\n",
                  {u"--port"_s, slowUnit ? unit.path : u"EMU"_s, u"--speed"_s,
                   stuckOutput ? u"921600"_s : u"38400"_s, u"--journal"_s,
                   run.path(u"journal.log"_s)});
        const auto loading = [&] {
            return readFile(run.path(u"journal.log"_s)).contains(" # * Load HEX File\n");
        };
        QVERIFY(stuckOutput ? reader >= 0 : waitUntil(loading, 10000));
        QTest::qWait(stuckOutput ? 2000 : 500);
        // A run draws nothing: no platform plugin is loaded.
        QVERIFY(!readFile(u"/proc/%1/maps"_s.arg(run.process.processId())).contains("/platforms/"));
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
        QVERIFY(loading());
        ::close(reader);
    }

    // Three units at once, one of them silent: each runs on its own and saves its own data into
    // its own file, the worst status wins.
    void severalUnits() {
        UnitProcess a, b, silent({u"--fault"_s, u"silent"_s});
        QVERIFY(!a.path.isEmpty() && !b.path.isEmpty() && !silent.path.isEmpty());
        Run run;
        for (const auto &[unit, fill] :
             {std::pair{&a, u"17"_s}, std::pair{&b, u"34"_s}}) { // own data first
            Run load;
            const QString hex = run.path(fill + u".hex"_s);
            QVERIFY(!QProcess::execute(u"srec_cat"_s,
                                       {u"-generate"_s, u"0"_s, u"0x200"_s, u"-repeat-data"_s, fill,
                                        u"-o"_s, hex, u"-intel"_s}));
            load.start("LH" + hex.toUtf8() + "\r\n", {u"--port"_s, unit->path, u"--no-journal"_s});
            QCOMPARE(load.finish(), 0);
        }
        const QStringList ports{a.path, silent.path, b.path};
        run.start("SHout.hex,0,1FF,0\r\n",
                  {u"--port"_s, ports[0], u"--port"_s, ports[1], u"--port"_s, ports[2],
                   u"--speed"_s, u"38400"_s, u"--no-journal"_s});
        QCOMPARE(run.finish(), 3);
        const QStringList lines = run.lines();
        for (const QString &port : {a.path, b.path}) {
            const QString saved = u"out.%1.hex"_s.arg(port.mid(1).replace(u'/', u'-'));
            QVERIFY(lines.contains(port + u": file: "_s + saved));
            QVERIFY(!QProcess::execute(u"srec_cmp"_s,
                                       {run.path(saved), u"-intel"_s,
                                        run.path(port == a.path ? u"17.hex"_s : u"34.hex"_s),
                                        u"-intel"_s}));
        }
        QCOMPARE(QDir(run.path({})).entryList({u"out*"_s}).size(), 2);
        QVERIFY(lines.contains(silent.path + u": ！通信エラーです。"_s));
        // The table: a header and one row a unit in the order given, each with its own time (the
        // silent one ended first), then the final LF.
        const QStringList table = lines.mid(lines.size() - 5, 4);
        QVERIFY(table[0].startsWith(u"port "_s));
        const QStringList results{u"0 normal"_s, u"3 no connection"_s, u"0 normal"_s};
        QList<double> times;
        for (int i = 0; i < 3; ++i) {
            const QString &row = table[i + 1];
            QVERIFY2(row.startsWith(ports[i] + u' ') && row.contains(u' ' + results[i] + u' '),
                     qPrintable(row));
            times << row.section(u" s "_s, 0, 0).section(u' ', -1).toDouble();
        }
        QVERIFY2(times[1] < times[0] && times[1] < times[2], qPrintable(table.join(u"\n"_s)));
    }

    // A peer that floods the line and answers the greeting with noise: the purge gives up, the
    // journal keeps a few KiB of the flood and counts the rest, nothing of the file is sent.
    void garbageGreeting() {
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost));
        QByteArray heard;
        QTimer flood;
        connect(&peer, &QTcpServer::newConnection, &peer, [&] {
            QTcpSocket *socket = peer.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket,
                    [&heard, socket] { heard += socket->readAll(); });
            connect(&flood, &QTimer::timeout, socket, [socket] {
                if (socket->bytesToWrite() < 65536)
                    socket->write(QByteArray(4096, 'N'));
            });
            flood.start(5);
        });
        Run run;
        run.start("BS0\r\n", {u"--port"_s, u"tcp://127.0.0.1:%1"_s.arg(peer.serverPort()),
                              u"--journal"_s, run.path(u"journal.log"_s)});
        QCOMPARE(run.finish(), 3);
        QCOMPARE(heard, "ON\r\n"_ba);
        const QByteArray journal = readFile(run.path(u"journal.log"_s));
        QVERIFY2(journal.contains(" <! ") && journal.size() < 64 * 1024,
                 qPrintable(QString::number(journal.size())));
    }

    // The worst of two units' statuses: 0 < 2 < 4 < 1 < 3, every pair; a save's file name per unit.
    void worstStatusAndSaveNames() {
        const int order[] = {0, 2, 4, 1, 3};
        for (int i = 0; i < 25; ++i)
            QCOMPARE(worseStatus(order[i / 5], order[i % 5]), order[std::max(i / 5, i % 5)]);
        QCOMPARE(taggedSavePath(u"d.x/out.hex"_s, u"tcp://127.0.0.1:4000"_s),
                 u"d.x/out.127.0.0.1-4000.hex"_s);
        QCOMPARE(taggedSavePath(u"d.x/out"_s, u"EMU"_s), u"d.x/out.EMU"_s);
    }
};

QTEST_MAIN(TestRun)
#include "tst_run.moc"
