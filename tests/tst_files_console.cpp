// Loads, saves, the console, command files and runs on a unit's controller, and the bad days.

#include "linktesting.h"
#include "shell/journal.h"
#include "text/bytecompare.h"
#include "text/commandfilereader.h"
#include "text/consolecommand.h"
#include "text/settingsfile.h"
#include "unitfixture.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

using Pieces = QList<ScriptedPort::Piece>;

// An operation on "data" + arg (or arg from "/"): the unit's answer to the first line, the bytes
// sent, "data" afterwards (null: unchecked), log after the title, reply code, line to cancel at,
// bytes on the line at which the unit drops CTS for a while (0: never; negative: the file is cut to
// that many bytes once the first line has gone out).
struct Transfer {
    QString op, arg, code, cancelAt;
    QByteArray content, sent, file;
    Pieces answer;
    QStringList logged;
    qsizetype holdAt = 0;
};

// A run of `file` (%1: a HEX file; `path` if not "-"), the unit answering `word` with `reply` (the
// rest "00"): the lines sent, a line logged, the end, the command box afterwards.
struct Run {
    QByteArray file, word, reply;
    QList<QByteArray> lines;
    QString logged, end, lastLine, path;
};

Q_DECLARE_METATYPE(Transfer)
Q_DECLARE_METATYPE(Run)
Q_DECLARE_METATYPE(corvane::ConsoleProcedure)

namespace {

const QString kReady = u"Corvaneの受信準備ができました。"_s;
const QString kReceiving = u"装置からデーターを受信しています。"_s;
const QString kDone = u"終了しました。"_s;
const QString kCtsWait = u"装置のCTSを待っています。"_s;
const QString kCannotOpen = u"ファイルをオープンできません！"_s;
const QString kNormalEnd = u"ｺﾏﾝﾄﾞﾚｽ正常終了"_s;
const QString kCancelledEnd = u"ｺﾏﾝﾄﾞﾚｽ キャンセル終了"_s;
const QString kAbnormalEnd = u"ｺﾏﾝﾄﾞﾚｽ異常終了"_s;
const QString kBadParameter = u"！ パラメータに、誤りがあります。"_s;
const QString kHexLine = u":020000040000FA"_s;

// The six transfers by their command words: title in the log, and the operation.
const QMap<QString, std::pair<QString, QCoro::Task<> (UnitController::*)(QString)>> kTransfers{
    {u"LH"_s, {u"* Load HEX File"_s, &UnitController::LHsub}},
    {u"LS"_s, {u"* Losd S File"_s, &UnitController::LSsub}},
    {u"LB"_s, {u"* Load Binary File"_s, &UnitController::LBsub}},
    {u"SH"_s, {u"* Save HEX File"_s, &UnitController::SHsub}},
    {u"SS"_s, {u"* Save S File"_s, &UnitController::SSsub}},
    {u"SB"_s, {u"* Save Binary File"_s, &UnitController::SBsub}}};

} // namespace

class TestFilesConsole : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void transfer_data() {
        QTest::addColumn<Transfer>("t");
        auto row = [](const char *name, const char *op, const char *arg, const QByteArray &content,
                      const Pieces &answer, const QByteArray &sent, const QByteArray &file,
                      const QStringList &logged, const char *code = "77", const char *at = "",
                      qsizetype hold = 0) {
            QTest::newRow(name) << Transfer{
                op, QString::fromUtf8(arg), code, at, content, sent, file, answer, logged, hold};
        };
        const QByteArray l1 = ":0400000001020304F2", l2 = ":00000001FF", old(100, 'x');
        const Pieces ready{{20, "01\r\n"}, {20, "00\r\n"}};
        const QByteArray b20 = "\x00\x1f\xa0\x0d\x0a\x1a\xff\x7e\x01\x02\x03\x04\x05\x06\x07\x08"
                               "\x1b\x0d\x0a\x00"_ba;
        const QByteArray b16 = b20.left(16);
        const QString hex16 = u"00 1F A0 0D 0A 1A FF 7E 01 02 03 04 05 06 07 08 "_s;
        row("HEX two lines, address cleaned", "LH", ",1a ｆ 'x", l1 + "\r\n" + l2 + "\r\n", ready,
            "LH1AF\r\n" + l1 + "\r\n" + l2 + "\r\n", {}, {kReady, l1, l2, "OK"}, "00");
        row("HEX refused", "LH", "", l2, {{0, "14\r\n"}}, "LH0\r\n", {},
            {u"！ デバイス・タイプが設定されてません。"_s}, "14");
        row("HEX line judged", "LH", "", l1, {{0, "01\r\n"}, {20, "30\r\n"}},
            "LH0\r\n" + l1 + "\r\n", {},
            {kReady, l1, u"！ 受信データーのチェックサムに異常がありました。"_s}, "30");
        row("HEX line too long", "LH", "", QByteArray(3 << 20, 'A'), ready, "LH0\r\n", {},
            {kReady, kCannotOpen}, "01");
        // The line read while the load waits for CTS is logged, never sent.
        row("HEX load cancelled", "LH", "", ":A\r\n:B\r\n", {{0, "01\r\n"}}, "LH0\r\n\x1b\r\n",
            ":A\r\n:B\r\n", {kReady, ":A", u"キャンセル・ストップしました。"_s}, "34", ":A");
        row("S line ends CR, LF, CR LF, none", "LS", "", ":A\r:B\n:C\r\n\r\n\n:D", ready,
            "LS0\r\n:A\r\n:B\r\n:C\r\n\r\n\r\n:D\r\n", {},
            {kReady, ":A", ":B", ":C", "", "", ":D", "OK"}, "00");
        // Only whole groups of 16 bytes are logged.
        row("binary 20 bytes", "LB", ",100", b20, ready, "LB20,100\r\n" + b20, {},
            {kReady, hex16, "OK"}, "00");
        row("binary empty file", "LB", "", "", ready, "LB0,0\r\n", {}, {kReady, "OK"}, "00");
        row("binary cut after its announcement", "LB", "", b20, ready, "LB20,0\r\n" + b20.left(18),
            {}, {kReady, hex16, kCannotOpen}, "01", "", -18);
        // CTS is looked at before every line and every block of at most 1 ms of line time (92
        // bytes at 921600 bit/s): the unit holds a load right behind what it has received.
        row("HEX held after a line", "LH", "", l1 + "\n" + l2, ready,
            "LH0\r\n" + l1 + "\r\n" + l2 + "\r\n", {}, {kReady, l1, l2, "OK"}, "00", "",
            7 + l1.size());
        QByteArray all;
        QStringList hexLines{kReady};
        for (int i = 0; i < 256; ++i) {
            all.append(char(i));
            if (i % 16 == 15)
                hexLines << QString::fromLatin1(all.right(16).toHex(' ').toUpper() + ' ');
        }
        row("binary held after a block, every byte value", "LB", "", all, ready,
            "LB256,0\r\n" + all, {}, hexLines << "OK", "00", "", 9 + 92);
        for (const char *op : {"LH", "LS", "LB"})
            row(op, op, "-missing", "", {}, "", {}, {kCannotOpen});

        // Saves replace "data". Text lines end at CR; LF, a tail before 26, all after it are lost.
        const QByteArray stream = "A\rB\nC\r\r\x00\xb1\x83\x65\r\n"_ba + l2 + "\r\nxyz\x1a" + l1;
        row("HEX text stream, all fields", "SH", ",100, 1ff ,２", old, {{0, stream}},
            "SH100,1FF,2\r\n", "A\r\nBC\r\n\r\n\x00\xb1\x83\x65\r\n"_ba + l2 + "\r\n",
            {kReceiving, "A", "BC", "", u"\0ｱテ"_s, l2, kDone});
        row("S cancelled", "SS", "", old, {{0, "S1\r\nS2\r\nS3"}}, "SS0,1FFFF,0\r\n\x1b\r\n",
            "S1\r\nS2\r\n", {kReceiving, "S1", "S2", u"キャンセルしました。"_s}, "34", "S2");
        row("HEX file cannot be created", "SH", "-missing/out", old, {}, "", old,
            {u"ファイルを作成できません！"_s});
        if (QFileInfo(u"/dev/full"_s).isWritable())
            row("HEX file cannot be written", "SH", "/dev/full", old, {{0, l2 + "\r\x1a"}},
                "SH0,1FFFF,0\r\n", {},
                {kReceiving, l2, kDone, u"ファイルに書き込めませんでした！"_s});
        const QStringList saved20{kReceiving, hex16, "1B 0D 0A 00 ", "Save=20byte", "end"};
        row("binary 20 bytes, short pause", "SB", "", old, {{0, b16.left(8)}, {150, b20.mid(8)}},
            "SB0,1FFFF\r\n", b20, saved20);
        row("binary long pause ends it", "SB", "", old, {{0, b16}, {400, b20.mid(16)}},
            "SB0,1FFFF\r\n", b16, {kReceiving, hex16, "Save=16byte", "end"});
        row("binary nothing", "SB", "", old, {}, "SB0,1FFFF\r\n", "",
            {kReceiving, "Save=0byte", "end"});
        row("binary file cannot be written", "SB", "-folder", old, {{0, b20}}, "SB0,1FFFF\r\n", old,
            saved20.mid(0, 4) + QStringList{u"ファイルに書き込めませんでした！"_s});
    }
    void transfer() {
        QFETCH(Transfer, t);
        QList<ScriptedPort *> later; // the ports a reconnect opens
        Journal journal;
        UnitFixture f(
            0,
            [&](auto &) {
                return std::unique_ptr<SerialPort>(later.emplace_back(new ScriptedPort));
            },
            &journal);
        const QString journalFile = f.path(u"journal.log"_s);
        QVERIFY(journal.openFile(journalFile));
        ScriptedPort *port = f.useScripted();
        f.setDevice(u"2F"_s, u"1FFFF"_s);
        const QString data = writeFile(f.path(u"data"_s), t.content);
        QVERIFY(QDir(f.path({})).mkdir(u"data-folder"_s));
        const QByteArray first = t.sent.left(t.sent.indexOf("\r\n") + 2);
        port->expectPieces(first.chopped(qMin(2, first.size())), t.answer);
        port->expect("\x1b", "34\r\n");
        port->setCts(t.cancelAt.isEmpty());    // a load waits for CTS before its first line
        port->setNullDiscard(t.op == u"SB"_s); // a binary save must turn it off, then on
        port->setSettings(u"921600,n,8,1"_s);
        f->AnsRxCode = u"77"_s;
        connect(port, &SerialPort::bytesWritten, port, [&] {
            if (t.holdAt > 0 && port->written().size() >= t.holdAt && port->ctsHolding())
                port->setCts(false);
            if (t.holdAt < 0 && port->written() == first)
                QFile::resize(data, -t.holdAt);
        });

        auto task =
            (f.unit().*kTransfers[t.op].second)(t.arg.startsWith(u'/') ? t.arg : data + t.arg);
        if (!t.cancelAt.isEmpty()) {
            QTRY_COMPARE(f.log().constLast(), t.cancelAt);
            QVERIFY(f->m_dataFile && f->m_dataFile->isOpen() && f.enabled(u"PbCansel"_s));
            QTest::qWait(20);
            QCOMPARE(port->written(), first); // nothing more before the cancel
            f->PbCansel_Click();
        }
        if (t.holdAt > 0) { // a hold of over a second says so in the log and the title
            QTRY_VERIFY(!port->ctsHolding());
            QTest::qWait(20);
            QVERIFY(!f.log().contains(kCtsWait));
            QTRY_COMPARE(f.log().constLast(), kCtsWait);
            QTRY_VERIFY(f.progress().endsWith(u" CTS待ち"_s));
            QCOMPARE(port->written().size(), t.holdAt); // nothing more while CTS is low
            t.holdAt = 0;
            port->setCts(true);
        }
        QVERIFY(runToEnd(std::move(task)));
        QCOMPARE(port->written(), t.sent);
        // The journal holds every byte that crossed the line, in order.
        journal.close();
        QCOMPARE(journalBytes(journalFile, '>'), t.sent);
        QByteArray answered;
        for (const auto &piece : t.answer)
            answered += piece.bytes;
        if (!t.cancelAt.isEmpty())
            answered += "34\r\n";
        QVERIFY(answered.startsWith(journalBytes(journalFile, '<')));
        QCOMPARE(f.log(), QStringList({QString(), kTransfers[t.op].first}) + t.logged);
        if (!t.file.isNull())
            QCOMPARE(readFile(data), t.file);
        QCOMPARE(f->AnsRxCode, t.code);
        QVERIFY(!f->m_dataFile && !f->EscFlag && !f.enabled(u"PbCansel"_s) && f.enabled(u"PbBL"_s));
        QVERIFY(port->nullDiscard() == (t.op == u"SB"_s) && !port->binaryMode());
        if (t.op.startsWith(u'S') && t.file.endsWith('\n')) // the EOF lamp lights with a line
            QVERIFY(f.records() > 0);
        if (t.op == u"SB"_s) { // the binary save's NUL discarding holds on the port of a reconnect
            QVERIFY(runToEnd(f->PbON_Click()));
            QVERIFY(later.size() == 1 && later[0]->nullDiscard());
        }
    }

    // A save whose write comes back short without an error (a file size limit reached within one
    // long line) did not write its file; what it wrote stays.
    void shortWrite() {
        UnitFixture f;
        f.useScripted()->respond("SH", QByteArray(40000, 'A') + "\r\x1a");
        f.setDevice(u"2F"_s, u"1FFFF"_s);
        rlimit before{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
        const rlimit small{30000, before.rlim_max};
        const auto oldAction = std::signal(SIGXFSZ, SIG_IGN);
        const bool ended =
            ::setrlimit(RLIMIT_FSIZE, &small) == 0 && runToEnd(f->SHsub(f.path(u"out"_s)));
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldAction);
        QVERIFY(ended);
        QCOMPARE(f.log().constLast(), u"ファイルに書き込めませんでした！"_s);
        QCOMPARE(readFile(f.path(u"out"_s)), QByteArray(30000, 'A'));
    }

    // srec_cat's records (LF line ends) or the image itself, across 64 KiB into the emulated unit,
    // saved, read back.
    void roundTrip_data() {
        QTest::addColumn<QStringList>("words"); // load and save command, srec_cat's format
        QTest::newRow("Intel HEX") << QStringList{"LH", "SH", "-intel"};
        QTest::newRow("Motorola S") << QStringList{"LS", "SS", "-motorola"};
        QTest::newRow("binary") << QStringList{"LB", "SB", ""}; // the line's queue paces it
    }
    void roundTrip() {
        QFETCH(QStringList, words);
        UnitFixture f;
        f.useEmulated(UnitOptions{0.0}, true);
        QByteArray image;
        for (int i = 0; i < 600; ++i)
            image.append(char(i * 7 + 3));
        const QString bin = writeFile(f.path(u"image.bin"_s), image), in = f.path(u"in"_s),
                      out = f.path(u"out"_s), back = f.path(u"back.bin"_s);
        const bool text = !words[2].isEmpty();
        QVERIFY(!text ||
                !QProcess::execute(u"srec_cat"_s,
                                   {bin, u"-binary"_s, u"-offset"_s, u"0xFEE0"_s,
                                    u"-execution-start-address=0"_s, u"-o"_s, in, words[2]}));
        QVERIFY(
            runToEnd((f.unit().*kTransfers[words[0]].second)(text ? in : bin + u",FEE0"_s), 30000));
        QCOMPARE(f.log().constLast(), u"OK"_s);

        const QString range = u",FEE0,%1"_s.arg(0xFEE0 + image.size() - 1, 0, 16);
        QVERIFY(runToEnd((f.unit().*kTransfers[words[1]].second)(out + range), 30000));
        // The progress estimate of the save is close to what the unit sent.
        const qint64 estimate = expectedTransferBytes(words[1], 0xFEE0, 0xFEE0 + 599);
        QVERIFY2(qAbs(estimate - readFile(out).size()) <= readFile(out).size() / 50,
                 qPrintable(QString::number(estimate)));
        if (!text) {
            QCOMPARE(readFile(out), image);
            return;
        }
        QCOMPARE(f.log().constLast(), kDone);
        QCOMPARE(readFile(out).count('\n'), readFile(out).count("\r\n"));
        QVERIFY(!QProcess::execute(u"srec_cat"_s, {out, words[2], u"-offset"_s, u"-0xFEE0"_s,
                                                   u"-o"_s, back, u"-binary"_s}));
        QCOMPARE(readFile(back), image);
    }

    void progressText_data() {
        // bytes expected, done; milliseconds taken; CTS: 1 waited for now, 2 waited for earlier
        QTest::addColumn<QList<qint64>>("counts");
        QTest::addColumn<QString>("text");
        QTest::newRow("young") << QList<qint64>{1000, 10, 1999} << "";
        QTest::newRow("young, waiting for CTS")
            << QList<qint64>{1000, 10, 1500, 1} << "SH 1 % 0.0 kB/s 2:29 CTS待ち";
        QTest::newRow("young, CTS came")
            << QList<qint64>{1000, 10, 1500, 2} << "SH 1 % 0.0 kB/s 2:29";
        QTest::newRow("size unknown, waiting for CTS")
            << QList<qint64>{0, 123400, 4000, 1} << "SH 123.4 kB 30.9 kB/s CTS待ち";
        QTest::newRow("42 %, 80 s left")
            << QList<qint64>{100000, 42000, 3000} << "SH 42 % 14.0 kB/s 0:04";
        QTest::newRow("slow: minutes left")
            << QList<qint64>{1000000, 6000, 2000} << "SH 0 % 3.0 kB/s 5:31";
        QTest::newRow("nothing yet") << QList<qint64>{1000, 0, 2500} << "SH 0 % 0.0 kB/s -:--";
        QTest::newRow("size unknown") << QList<qint64>{0, 123400, 4000} << "SH 123.4 kB 30.9 kB/s";
    }
    void progressText() {
        QFETCH(QList<qint64>, counts);
        TransferProgress progress;
        progress.begin(u"SH"_s, counts[0], false, 1000);
        progress.sent(999); // a save counts what it receives
        progress.received(counts[1]);
        for (qint64 wait = 1; wait <= counts.value(3); ++wait)
            progress.setCtsWait(wait == 1);
        QTEST(progress.text(1000 + counts[2]), "text");
    }

    // Ended by a signal mid-save, the program ends as "終了" does: lines kept whole, status 0.
    void signalEndsLikeExit_data() {
        QTest::addColumn<int>("signalNumber");
        for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
            QTest::newRow(sigabbrev_np(signalNumber)) << signalNumber;
    }
    void signalEndsLikeExit() {
        QFETCH(int, signalNumber);
        const QString program = qEnvironmentVariable("CORVANE_BIN"); // set by CTest
        // The settings file lives beside the program: a copy of it in a folder of the test's own.
        QTemporaryDir dir;
        const QString copy = dir.filePath(u"corvane"_s), saved = dir.filePath(u"out.hex"_s);
        QVERIFY(QFile::copy(program, copy));
        SettingsValues settings;
        settings.port = u"EMU"_s;
        settings.speed = u"38400"_s;
        settings.responseFile1 =
            writeFile(dir.filePath(u"run.txt"_s), "SH" + saved.toUtf8() + ",0,1FFFF,0\r\n");
        settings.noAutoRun = false;
        settings.autoRunFile1 = true;
        writeFile(dir.filePath(u"Corvane.INI"_s), formatSettings(settings));
        QProcess process;
        // The window's journal goes to the day's file in the data folder: the test's own.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_DATA_HOME"_s, dir.path());
        process.setProcessEnvironment(env);
        process.start(copy, {});
        // Some lines in, well short of the 16 KiB a file keeps in memory.
        QVERIFY(waitUntil([&] { return QFileInfo(saved).exists(); }, 10000));
        QTest::qWait(1500);
        const pid_t pid = pid_t(process.processId()); // 0 once it has ended: no kill(0)
        QVERIFY(pid > 0 && ::kill(pid, signalNumber) == 0);
        QVERIFY(process.waitForFinished(5000));
        QVERIFY(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0);
        const QByteArray journal = readFile(dir.filePath(
            u"Corvane/journal/"_s + QDate::currentDate().toString(Qt::ISODate) + u".log"_s));
        QVERIFY(journal.contains(" * corvane 1.0.0 port EMU speed 38400,n,8,1\n"));
        QVERIFY(journal.contains(" > SH0,1FFFF,0\n")); // the file's path stays here
        QVERIFY(journal.contains(" < :10000000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00\n"));
        // Whole records only, each as the unit sent it (16 bytes of an erased buffer).
        const QByteArray text = readFile(saved);
        QVERIFY2(text.size() > 200 && text.endsWith("\r\n"), text.constData());
        const QList<QByteArray> lines = text.chopped(2).split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray at = QByteArray::number(i * 16, 16).toUpper().rightJustified(4, '0');
            QVERIFY2(lines[i].startsWith(":10" + at + "00" + QByteArray(32, 'F')), lines[i].data());
        }
    }

    // File commands take the raw line without the word, the others the cleaned rest.
    void words_data() {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<ConsoleProcedure>("procedure");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("workname");
        QTest::addColumn<QString>("cmdMode");
        using P = ConsoleProcedure;
        auto row = [](const char *raw, P procedure, const char *argument, const char *workname = "",
                      const char *cmdMode = "") {
            QTest::newRow(raw) << raw << procedure << argument << workname << cmdMode;
        };
        row(" LHc:\\a.hex", P::LHsub, "Hc:\\a.hex");
        row("ＬＳd:\\my dir\\a.s ' old", P::LSsub, "d:\\my dir\\a.s ' old");
        row("LBa.bin,100", P::LBsub, "a.bin,100");
        row("shout.hex,0,7F", P::SHsub, "out.hex,0,7F");
        row("SSout.s", P::SSsub, "out.s");
        row("Sbout.bin,0,FF", P::SBsub, "out.bin,0,FF");
        row("BS", P::BSsub, "");
        row("bt l", P::TWsub, "L");
        row("ＢＬ", P::DeviceCont, "L", "* Blank check ", "BL");
        row("b0,7FFF ' check", P::DeviceCont, "0,7FFF", "* Blank check ", "BL");
        row("RD0,1FFFF,A", P::DeviceCont, "D0,1FFFF,A", "* Read device", "RD");
        row("v0,FF,O", P::DeviceCont, "0,FF,O", "* Verify device", "CP");
        row("w0,FF,O", P::DeviceCont, "0,FF,O", "* Write device", "WT");
        row("p0,FF,O", P::DeviceCont, "0,FF,O", "* Program device", "PG");
        row("e0,FF,O", P::DeviceCont, "0,FF,O", "* Erase device ", "ER");
        row("t 2f , name", P::TSsub, "2F,NAME");
        row("C123", P::PbCL_Click, "");
        row("d0, ff", P::BDsub, "0,FF");
        row("１２", P::Unsupported, "");
        row("　' note", P::Nothing, "");
    }
    void words() {
        QFETCH(QString, raw);
        const ConsoleCommand command = matchConsoleCommand(raw);
        QTEST(command.procedure, "procedure");
        QTEST(command.argument, "argument");
        QTEST(command.workname, "workname");
        QTEST(command.CMDmode, "cmdMode");
    }

    // A command file's lines as the command box holds them.
    void commandFile_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        const qsizetype longest = CommandFileReader::kMaxLineBytes;
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("CR, LF, CR LF, blank lines, no end")
            << "A\r\r\nB\n\rC\r\n\n\rD"_ba << QStringList{"A", "", "B", "", "C", "", "", "D"};
        QTest::newRow("control bytes kept")
            << "B\0\t\x1a\x1b\x1c\x7f"_ba << QStringList{u"B\0\t\x1a\x1b\x1c\x7f"_s};
        QTest::newRow("CP932") << "LHc:\\\x83\x65\x83\x58\x83\x67.hex\r\nLHa\x83"_ba
                               << QStringList{u"LHc:\\テスト.hex"_s, u"LHa\uFFFD"_s};
        QTest::newRow("UTF-8 by its mark")
            << "\xEF\xBB\xBFLHc:\\\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.hex\r\nLHa\xE3\x83"_ba
            << QStringList{u"LHc:\\テスト.hex"_s, u"LHa\uFFFD\uFFFD"_s};
        QTest::newRow("too long a line is cut, the next survives")
            << "C1\r\n" + QByteArray(longest + 7, 'L') + "\r\nX"
            << QStringList{"C1", QString(longest, u'L'), "X"};
    }
    void commandFile() {
        QFETCH(QByteArray, bytes);
        QBuffer device(&bytes);
        QVERIFY(device.open(QIODevice::ReadOnly));
        CommandFileReader reader(&device);
        QStringList lines;
        QByteArray line;
        for (auto s = reader.next(line); s != CommandFileReader::Status::End;
             s = reader.next(line)) {
            QVERIFY(s != CommandFileReader::Status::Error);
            if (s == CommandFileReader::Status::Line)
                lines << commandLineText(line, reader.encoding());
        }
        QTEST(lines, "lines");
    }

    void runs_data() {
        QTest::addColumn<Run>("c");
        auto row = [](const char *name, const QByteArray &file, const QList<QByteArray> &lines,
                      const QString &logged, const QString &end, const char *lastLine,
                      const char *word = "-", const char *reply = "", const char *path = "-") {
            QTest::newRow(name) << Run{file, word, reply, lines, logged, end, lastLine, path};
        };
        row("empty file", "", {}, "", kNormalEnd, "before");
        row("unknown word in the middle", "B0,FF\r\nX\r\nC123", {"BL00000,000FF", "CL"},
            u"このコマンドは、サポートされてません！"_s, kNormalEnd, "C123");
        row("blank and comment lines", "\r\n' a note\r\n   \r\n", {}, "", kNormalEnd, "   ");
        // Device names reach the unit in CP932, katakana narrowed.
        row("UTF-8 file with its mark", "\xEF\xBB\xBFT2F,インテルる,am27r010gg\r\nC",
            {"TS2F,\xB2\xDD\xC3\xD9\x82\xE9,AM27R010GG", "US0", "US1", "CL"}, "", kNormalEnd, "C");
        row("very long line cut to the box", "C" + QByteArray(100000, '1') + "\r\nlh%1",
            {"CL", "LH0", kHexLine.toLatin1(), ":00000001FF"}, "OK", kNormalEnd, "lh%1");
        // A load that cannot open its file awaits no reply: the reply code stays "00".
        row("load, a space joins the path", "LH %1\r\nC", {"CL"}, kCannotOpen, kNormalEnd, "C");
        row("error reply stops the run", "B\r\nC", {"BL00000,1FFFF"}, u"！ ブランクエラー"_s,
            kAbnormalEnd, "B", "BL", "10:1FFFF,FF\r\n");
        row("cancel during a text load", "LH%1\r\nC", {"LH0", "\x1b"},
            u"キャンセル・ストップしました。"_s, kCancelledEnd, "LH%1");
        // A refusal stops a run without a made-up reply code (also the unit's, for a device code).
        row("refused: unencodable", "\xEF\xBB\xBF"_ba + "BS1é\r\nC", {}, kBadParameter,
            kAbnormalEnd, "BS1é");
        row("refused: rejected device", "T99\r\nC", {"TS99,-,-", "US0", "US1"}, "", kAbnormalEnd,
            "T99", "TS99", "21\r\n");
        row("many empty lines", QByteArray(3000, '\n') + "C", {"CL"}, "", kNormalEnd, "C");
        row("stopped after a command (Ctrl-C of a run)", "C\r\nC", {"CL"}, "", kCancelledEnd, "C");
        row("no file named", "C", {}, u"！ コマンドレスポンスファイルが指定されてません。"_s,
            kAbnormalEnd, "before", "-", "", "");
        for (const char *path : {"/nonexistent/run.txt", "/", "/dev/zero"})
            row(path, "C", {},
                u"！ コマンドレスポンスファイルを開けません。（%1）"_s.arg(QString::fromUtf8(path)),
                kAbnormalEnd, "before", "-", "", path);
    }
    void runs() {
        QFETCH(Run, c);
        UnitFixture f;
        ScriptedPort *port = f.useScripted();
        f.setDevice(u"2F"_s, u"1FFFF"_s);
        const QString hex = writeFile(f.path(u"a.hex"_s), kHexLine.toLatin1() + "\r\n:00000001FF");
        const QString file = writeFile(f.path(u"run.txt"_s), c.file.replace("%1", hex.toUtf8()));
        f.setText(u"TexResGoFile1"_s, c.path == u"-"_s ? file : c.path);
        f.setText(u"TexCMD"_s, u"before"_s);
        f.clearHistory();
        // A run stopped from outside ends after the command it is in.
        const bool stopped = QByteArray(QTest::currentDataTag()).startsWith("stopped");
        if (stopped)
            connect(&f.unit(), &UnitController::runCommandStarted, &f.unit(),
                    [&f] { f->requestRunStop(); });
        const bool cancel = c.end == kCancelledEnd && !stopped;
        port->setCts(!cancel); // the busy unit keeps the load waiting before its first data line
        port->expect("\x1b", "34\r\n", 50);
        port->respond(c.word, c.reply);
        port->respond("LH", "01\r\n");
        port->respond("", "00\r\n");

        auto task = f->PbResGo1_Click();
        if (cancel) {
            QVERIFY(waitUntil([&] { return f.history().contains(kHexLine); }, 5000));
            QVERIFY(f->commandRunRunning());
            f->PbCansel_Click();
        }
        QVERIFY(runToEnd(std::move(task)));
        QCOMPARE(port->writtenLines(), c.lines);
        const QStringList h = f.history();
        QVERIFY2(c.logged.isEmpty() || h.contains(c.logged), qPrintable(h.join(u'|')));
        QCOMPARE(h.last(), c.end);
        QCOMPARE(h.count(kNormalEnd) + h.count(kAbnormalEnd) + h.count(kCancelledEnd), 1);
        QCOMPARE(f->choices().command, c.lastLine.replace(u"%1"_s, hex));
        QVERIFY(!f->commandRunRunning());
        if (c.lines.isEmpty() || c.lines[0].startsWith("TS99"))
            QCOMPARE(f->AnsRxCode, u"00"_s);
    }

    // The emulated unit's cable pulled mid-transfer in a run: the wait ends, the log names it, the
    // controls show the lost link, what came stays in the file, and the run ends abnormally.
    void lostMidway_data() {
        QTest::addColumn<QString>("command"); // %1: the data file
        QTest::addColumn<QString>("title");
        QTest::addColumn<QByteArray>("loaded");
        auto row = [](const char *name, const char *command, const char *title,
                      QByteArray in = {}) {
            QTest::newRow(name) << QString::fromUtf8(command) << QString::fromUtf8(title) << in;
        };
        row("Intel HEX load", "LH%1", "* Load HEX File",
            (":10000000" + "A5"_ba.repeated(16) + "A0\r\n").repeated(2000));
        row("binary load", "LB%1", "* Load Binary File", "Z"_ba.repeated(1 << 16));
        row("Intel HEX save", "SH%1,0,FFFF,0", "* Save HEX File");
        row("binary save", "SB%1,0,FFFF", "* Save Binary File");
        row("dump", "D0,FFFF", "* Dump buffer RAM");
    }

    void lostMidway() {
        QFETCH(QString, command);
        QFETCH(QString, title);
        QFETCH(QByteArray, loaded);
        UnitFixture f(10);
        EmulatedPort *port = f.useEmulated({}, true);
        f.setDevice(u"04"_s, u"0FFFF"_s);
        const QString data = writeFile(f.path(u"data"_s), loaded);
        command.replace(u"%1"_s, data);
        f.setText(u"TexResGoFile1"_s, writeFile(f.path(u"run"_s), command.toUtf8() + "\r\nC"));
        auto task = f->PbResGo1_Click();
        QTRY_VERIFY_WITH_TIMEOUT( // a few lines into the transfer
            f.history().contains(title) && f.history().size() > f.history().indexOf(title) + 5,
            10000);
        port->vanish();
        QVERIFY(runToEnd(std::move(task), 2000));

        const QStringList h = f.history();
        QVERIFY(h.contains(loaded.isEmpty() ? u"！通信エラーです。"_s
                                            : u"！通信エラーか、ファイル異常です。"_s));
        QVERIFY(!h.contains(kCannotOpen) && !h.contains(u"* Buffer clear"_s));
        QCOMPARE(h.last(), kAbnormalEnd);
        QCOMPARE(f->AnsRxCode, u"98"_s);
        QVERIFY(f.enabled(u"PbON"_s) && f.enabled(u"PbCMD"_s) && !f.enabled(u"PbPG"_s));
        const QString shown = h.filter(QRegularExpression(u"^:"_s)).join(u"\r\n"); // in order
        if (command.startsWith(u"SH"_s))
            QVERIFY(!shown.isEmpty() && readFile(data).startsWith(shown.toLatin1() + "\r\n"));
        if (command.startsWith(u"SB"_s))
            QVERIFY(h.contains(u"Save=%1byte"_s.arg(readFile(data).size())));
    }

    // Typed commands the program refuses: nothing goes out, busy state and reply code stay.
    void refused_data() {
        QTest::addColumn<QString>("command"); // %1: a data file
        // Characters CP932 lacks (after upper-casing); a file command's path may hold them.
        QTest::newRow("buffer address é") << u"BS1é"_s;
        QTest::newRow("device text emoji") << u"T03,\U0001F600"_s;
        QTest::newRow("device text U+F86F, read back as №") << u"T03,\uF86F"_s;
        QTest::newRow("device range é") << u"P0,1é"_s;
        QTest::newRow("load field é") << u"LH%1,é"_s;
        QTest::newRow("save field é") << u"SH%1,0,1é,0"_s;
        QTest::newRow("replacement character") << u"BS1\uFFFD"_s;
        // Parameters the program cannot carry out.
        QTest::newRow("buffer type X") << u"BTX"_s;
        QTest::newRow("dump start too high") << u"D1000000,1000010"_s;
    }
    void refused() {
        QFETCH(QString, command);
        for (const QString &code : {u"00"_s, u"98"_s}) { // in either link state
            UnitFixture f;
            ScriptedPort *port = f.useScripted();
            f.setDevice(u"03"_s, u"07FFF"_s);
            f->AnsRxCode = code;
            f->PbUnEn();
            f->PbReEn();
            const QSet<QString> before = f->enabledControls();
            const QString data = writeFile(f.path(u"dätä.hex"_s), ":00000001FF\r\n");
            f.setText(u"TexCMD"_s, QString(command).replace(u"%1"_s, data));
            QVERIFY(runToEnd(f->PbCMD_Click()));
            QCOMPARE(port->written(), QByteArray());
            QCOMPARE(readFile(data), ":00000001FF\r\n"_ba);
            QCOMPARE(f.log().last(), kBadParameter);
            QCOMPARE(f->AnsRxCode, code);
            QCOMPARE(f->enabledControls(), before);
        }
    }

    // After a query's reply locks the operation controls, the next query still goes out.
    void queriesAfterLockingReply_data() {
        QTest::addColumn<QByteArray>("us0Reply");
        QTest::addColumn<QByteArray>("tsReply");
        QTest::newRow("no device in the unit") << "00:-\r\n"_ba << QByteArray();
        QTest::newRow("device code rejected") << "00:03,A,B,00,0\r\n"_ba << QByteArray("21\r\n");
    }
    void queriesAfterLockingReply() {
        QFETCH(QByteArray, us0Reply);
        QFETCH(QByteArray, tsReply);
        UnitFixture f;
        ScriptedPort *port = f.useScripted();
        f.setDevice(u"03"_s, u"07FFF"_s);
        port->expect("US0", us0Reply);
        port->expect("US1", "00:07FFF\r\n");
        port->expect("TS03,A", tsReply);
        port->respond("US2", "00:00000,0\r\n");
        port->respond("TS2F", "00\r\n");
        QVERIFY(runToEnd(f->PbUS0_Click()));
        QVERIFY(!f.enabled(u"PbPG"_s));
        port->clearWritten();
        QVERIFY(runToEnd(f->PbUS2_Click()));
        QVERIFY(runToEnd(f->インテルる_Click()));
        QCOMPARE(port->writtenLines(), (QList<QByteArray>{"US2", "TS2F,\x83\x43\x83\x93\x83\x65"
                                                                 "\x83\x8b\x82\xe9,am27r010gg"}));
    }
    // The buffer window's read: the range on the line, the bytes kept, how it ended.
    void bufferRead_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("bytes");
        const QString bytes = u"(Byte ROM)"_s;
        QTest::newRow("whole") << bytes << "ABCDEF"_ba
                               << "SB1,6"_ba
                               << "ABCDEF"_ba;
        QTest::newRow("unit stops early") << bytes << "ABC"_ba
                                          << "SB1,6"_ba
                                          << "ABC"_ba;
        QTest::newRow("word-wide: words asked, bytes kept") << u"(Word ROM)"_s << "ABCDEFGH"_ba
                                                            << "SB0,3"_ba
                                                            << "BCDEFG"_ba;
    }
    void bufferRead() {
        QFETCH(QString, width);
        QFETCH(QByteArray, sent);
        UnitFixture f;
        ScriptedPort *port = f.useScripted();
        f.setDevice(u"2F"_s, u"1FFFF"_s, u"EPROM"_s, width);
        QFETCH(QByteArray, answer);
        port->respond("SB", answer);
        const auto read = resultOf(f->readBuffer(1, 6));
        QVERIFY(read);
        QCOMPARE(port->written(), sent + "\r\n");
        QTEST(read->bytes, "bytes");
        QCOMPARE(read->complete, read->bytes.size() == 6);
        QCOMPARE(f.log().constLast(), u"end"_s);
        QVERIFY(f.enabled(u"PbPG"_s));
    }

    // The buffer window's round on the emulated unit: a range read across 64 KiB, three bytes
    // changed in two places loaded back with binary loads of the changed runs only, read back.
    void bufferWriteBack_data() {
        using WriteBack = UnitController::WriteBack;
        QTest::addColumn<QString>("fault"); // after this log line: the unit's RAM changes behind
                                            // the program's back, or the operator cancels
        QTest::addColumn<WriteBack>("result");
        QTest::addColumn<QString>("last");
        QTest::newRow("equal")
            << QString() << WriteBack::Verified
            << u"読み返し: 書き込んだ 3 バイトは装置のバッファと一致しました。"_s;
        QTest::newRow("unit holds other bytes")
            << u"OK"_s << WriteBack::Differs
            << u"！ 読み返し: 書き込んだ 3 バイトのうち 1 バイトが装置のバッファと一致しません。"_s;
        QTest::newRow("cancelled while reading back")
            << u"装置からデーターを受信しています。"_s << WriteBack::Cancelled
            << u"キャンセルしました。"_s;
    }
    void bufferWriteBack() {
        QFETCH(QString, fault);
        UnitFixture f;
        EmulatedPort *port = f.useEmulated(UnitOptions{0.0}, true);
        f.setDevice(u"04"_s, u"1FFFF"_s);
        std::vector<std::uint8_t> &ram = port->unit().buffer();
        for (quint32 a = 0xFF00; a <= 0x100FF; ++a)
            ram[a] = std::uint8_t(a * 7 + 3);
        const auto read = resultOf(f->readBuffer(0xFF00, 0x100FF));
        QVERIFY(read && read->complete);

        QByteArray edited = read->bytes;
        edited[0xF0] = 0; // FFF0, FFF1 and 10005
        edited[0xF1] = 1;
        edited[0x105] = 2;
        QByteArray sent;
        connect(&f.unit(), &UnitController::bytesSent, &f.unit(),
                [&sent](const QByteArray &bytes) { sent += bytes; });
        connect(&f.unit(), &UnitController::logLineAdded, &f.unit(), [&](const QString &line) {
            if (line == fault && fault == u"OK"_s)
                ram[0xFFF0] = 0x55;
            else if (line == fault && !fault.isEmpty())
                f->PbCansel_Click();
        });
        const auto result = resultOf(f->writeBuffer(changedRuns(0xFF00, read->bytes, edited)));
        QTEST(*result, "result");
        const bool cancelled = *result == UnitController::WriteBack::Cancelled;
        QCOMPARE(sent, "LB2,FFF0\r\n\x00\x01LB1,10005\r\n\x02SBFFF0,10005\r\n"_ba +
                           (cancelled ? "\x1b\r\n"_ba : ""_ba));
        QTEST(f.log().constLast(), "last");
    }
};

Q_DECLARE_METATYPE(corvane::UnitController::WriteBack)

QTEST_MAIN(TestFilesConsole)
#include "tst_files_console.moc"
