// The journal: its lines for the bytes of each direction and the log, discarded input, which
// files a full folder loses, the move into a day's next file and past midnight, a journal that
// cannot write, bytes without a line end on time and on a crash, and its files' modes.

#include "shell/journal.h"
#include "testing.h"

#include <QDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

extern "C" int __llvm_profile_write_file() __attribute__((weak));

class TestJournal : public QObject {
    Q_OBJECT
    QDateTime m_now;
    const Journal::Clock m_clock = [this] { return m_now; };

    static int mode(const QString &path) {
        struct stat status = {};
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 0777
                                                                         : -1;
    }

private Q_SLOTS:
    void init() { m_now = QDateTime(QDate(2024, 5, 1), QTime(10, 0, 0, 123)); }

    // Steps: '>' sends the rest, '<' receives it, '!' discards it, '#' logs it, '.' is a quiet
    // gap, 'P' a purge begins. The file ended inside a line before.
    void format_data() {
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("text lines, CP932")
            << QByteArrayList{">RE\r\n", "<\xb5\xb0\xb9\xb0 \x8a\xae\x97\xb9\r\n", ">A\r\nB\r\n"}
            << QStringList{"> RE", "< ｵｰｹｰ 完了", "> A", "> B"};
        QTest::newRow("control bytes, broken CP932: hex")
            << QByteArrayList{">\x1b\r\n", QByteArray("<\x00\xff\t\r\n", 6), "<\x8a\r\n"}
            << QStringList{">x 1B 0D 0A", "<x 00 FF 09 0D 0A", "<x 8A 0D 0A"};
        QTest::newRow("lone CR, lone LF")
            << QByteArrayList{"<X\rY\nZ\r\n"} << QStringList{"<x 58 0D", "<x 59 0A", "< Z"};
        QTest::newRow("cut lines")
            << QByteArrayList{"<AB", ">C\r\n", "<D", "#ログ", "<E\r\n", ">F", ".", ">G\r\n"}
            << QStringList{"<-AB", "> C", "< DE", "# ログ", ">-F", "> G"};
        QTest::newRow("log lines, cut at closing")
            << QByteArrayList{"#a\nb", "<OK"} << QStringList{"# a", "# b", "<-OK"};
        QTest::newRow("longer than all the lines held back")
            << QByteArrayList{"#a", '#' + QByteArray(70000, 'L'), "#b"}
            << QStringList{"# a", "# " + QString(70000, u'L'), "# b"};
        const QByteArray noise = '!' + QByteArray(5000, 'n');
        const QStringList exact(8, "<-" + QString(512, u'n'));
        const QString count = QStringLiteral("<! %1 bytes received and discarded, not recorded");
        QTest::newRow("discarded: 4 KiB exact, then counted; again after a purge")
            << QByteArrayList{noise, "P", "!nnnnnnnnnn", noise}
            << exact + QStringList{count.arg(904)} + exact + QStringList{count.arg(914)};
    }
    void format() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chosen.log"));
        Journal journal(Journal::kDefaultLimit, m_clock);
        writeFile(path, "cut");
        QVERIFY(journal.openFile(path));
        for (const QByteArray &step : steps) {
            if (step[0] == '>')
                journal.sent(step.mid(1));
            else if (step[0] == '<')
                journal.received(step.mid(1));
            else if (step[0] == '!')
                journal.discarded(step.mid(1));
            else if (step[0] == 'P')
                journal.beginPurge();
            else if (step[0] == '#')
                journal.logLine(QString::fromUtf8(step.mid(1)));
            else
                journal.flush();
        }
        journal.close();            // what is still gathered is written on closing
        for (QString &line : lines) // the time, a blank, the entry, LF alone
            line = QStringLiteral("2024-05-01 10:00:00.123 %1\n").arg(line);
        QCOMPARE(QString::fromUtf8(readFile(path)), "cut\n" + lines.join(QString()));
    }

    // Two journals on one file (several units): the lines in the order they were made.
    void twoOnOneFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("both.log"));
        Journal a(Journal::kDefaultLimit, m_clock), b(Journal::kDefaultLimit, m_clock);
        QVERIFY(a.openFile(path) && b.openFile(path));
        a.sent("1\r\n");
        b.sent("2\r\n");
        a.sent("3\r\n");
        b.close();
        a.close();
        QCOMPARE(journalBytes(path, '>'), "1\r\n2\r\n3\r\n");
        QCOMPARE(mode(path), 0600); // made by the journal
    }

    void removal_data() {
        QTest::addColumn<QStringList>("files"); // name:size, 15 bytes the most for them
        QTest::addColumn<QStringList>("removed");
        QTest::newRow("oldest first: by day, then .log, .2, .9, .10; other files not counted")
            << QStringList{"2024-05-01.10.log:10",   "2024-05-01.2.log:10", "notes.txt:900",
                           "2024-05-01.9.log:10",    "2024-05-01.log:10",   "2024-04-30.log:10",
                           "2024-05-01.log.bak:900", "2024-05-02.log:10"}
            << QStringList{"2024-04-30.log", "2024-05-01.log", "2024-05-01.2.log",
                           "2024-05-01.9.log", "2024-05-01.10.log"};
        QTest::newRow("at the limit")
            << QStringList{"2024-04-30.log:10", "2024-05-01.log:5"} << QStringList{};
    }
    void removal() {
        QFETCH(QStringList, files);
        QList<Journal::FileEntry> entries;
        for (const QString &file : files)
            entries.append({file.section(u':', 0, 0), file.section(u':', 1).toLongLong()});
        QTEST(Journal::filesToRemove(entries, 15), "removed");
    }

    // Lines of 33 bytes ("... > LINE 9") and then of 34, 400 bytes the most for the folder.
    void rollover() {
        QTemporaryDir dir;
        for (const char *name : {"2024-04-29.log", "2024-04-30.log", "readme.txt"})
            writeFile(dir.filePath(QLatin1StringView(name)), QByteArray(150, 'o'));
        const auto files = [&] { return QDir(dir.path()).entryList(QDir::Files); };
        QByteArray stream;
        auto journal = std::make_unique<Journal>(400, m_clock);
        QVERIFY(journal->openDaily(dir.path()));
        for (int i = 0; i < 20; ++i) {
            stream += "LINE " + QByteArray::number(i) + "\r\n";
            journal->sent(stream.mid(stream.lastIndexOf("LINE")));
            if (i == 3) // 300 old bytes and four lines: the oldest day goes, the other not yet
                QCOMPARE(files(), QStringList({"2024-04-30.log", "2024-05-01.log", "readme.txt"}));
        }
        // Lines 0 to 11 (398 bytes) filled the day's file; 12 to 19 went on in its second.
        QCOMPARE(files(), QStringList({"2024-05-01.2.log", "readme.txt"}));
        QCOMPARE(journal->fileName(), dir.filePath(QStringLiteral("2024-05-01.2.log")));
        // The lines held back reach the file without a flush.
        QTRY_COMPARE(journalBytes(journal->fileName(), '>'), stream.mid(stream.indexOf("LINE 12")));
        journal->received("OK"); // and bytes without a line end, 10 ms after they paused
        QTRY_VERIFY_WITH_TIMEOUT(readFile(journal->fileName()).endsWith(" <-OK\n"), 30);

        // A new start the same day goes on in the day's last file.
        journal = std::make_unique<Journal>(400, m_clock);
        QVERIFY(journal->openDaily(dir.path()));
        QCOMPARE(journal->fileName(), dir.filePath(QStringLiteral("2024-05-01.2.log")));

        // Past midnight the next line goes into the new day's file.
        m_now = QDateTime(QDate(2024, 5, 2), QTime(0, 0, 0, 1));
        journal->sent("N\r\n");
        journal->flush();
        QCOMPARE(journal->fileName(), dir.filePath(QStringLiteral("2024-05-02.log")));
        QCOMPARE(readFile(journal->fileName()), "2024-05-02 00:00:00.001 > N\n");
    }

    void unwritable_data() {
        QTest::addColumn<QString>("path"); // in a folder holding an empty "plain.txt"
        QTest::addColumn<bool>("daily");
        QTest::addColumn<bool>("opens");
        QTest::newRow("file under a plain file") << "plain.txt/j.log" << false << false;
        QTest::newRow("daily folder that is a file") << "plain.txt" << true << false;
        if (QFile::exists(QStringLiteral("/dev/full")))
            QTest::newRow("full disk") << "/dev/full" << false << true;
    }
    void unwritable() {
        QFETCH(QString, path);
        QFETCH(bool, daily);
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("plain.txt")), {});
        Journal journal(Journal::kDefaultLimit, m_clock);
        QStringList notices;
        journal.setNotice([&](const QString &notice) { notices << notice; });
        const QString full = QDir(dir.path()).filePath(path);
        QTEST(daily ? journal.openDaily(full) : journal.openFile(full), "opens");
        for (int second = 0; second < 3; ++second, m_now = m_now.addSecs(1)) {
            journal.logLine(QStringLiteral("log"));
            journal.sent("RE\r\n");
            journal.flush();
        }
        QVERIFY(!journal.isOpen() && !journal.errorString().isEmpty());
        // Told once when it stops, not at every line nor at each try that fails.
        QFETCH(bool, opens); // then stopped when writing
        QCOMPARE(notices, opens
                              ? QStringList{"！ ジャーナルを書けません。（/dev/full: No space left "
                                            "on device）"}
                              : QStringList());
        QCOMPARE(readFile(dir.filePath(QStringLiteral("plain.txt"))), QByteArray());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"plain.txt"});
    }

    // The folder removed: one notice, the lines counted; the first line at least a second after
    // the last try, once the folder is back, writes again. Folder and file are private.
    void folderVanishes() {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        const QString path = folder + QStringLiteral("/2024-05-01.log");
        QStringList notices;
        Journal journal(Journal::kDefaultLimit, m_clock);
        journal.setNotice([&](const QString &notice) { notices << notice; });
        QVERIFY(journal.openDaily(folder));
        const auto line = [&](int afterMs, const QByteArray &text) {
            m_now = m_now.addMSecs(afterMs);
            journal.sent(text + "\r\n");
            journal.flush();
        };
        line(0, "1");
        QCOMPARE(std::pair(mode(folder), mode(path)), std::pair(0700, 0600));
        QVERIFY(QDir(folder).removeRecursively());
        line(1000, "2"); // the removal found
        line(1000, "3"); // not back yet
        QVERIFY(QDir().mkpath(folder));
        line(500, "4"); // half a second after the last try
        QCOMPARE(notices,
                 QStringList{"！ ジャーナルを書けません。（" + path + ": the file was removed）"});
        line(500, "5");
        line(0, "6");
        QCOMPARE(notices.value(1), "ジャーナルの記録を再開しました。（" + path + "）");
        QCOMPARE(readFile(path),
                 "2024-05-01 10:00:03.123 ! 3 lines lost: the journal could not "
                 "write them\n2024-05-01 10:00:03.123 > 5\n2024-05-01 10:00:03.123 > 6\n");
        QCOMPARE(mode(path), 0600);
    }

    // An hour of noise (10 MB, all discarded while idle) in a daily folder: an earlier day's
    // file stays, the bytes left out are all counted, a count a second at most.
    void discardFlood() {
        QTemporaryDir dir;
        const QString earlier = writeFile(dir.filePath(QStringLiteral("2024-04-30.log")), "o\n");
        Journal journal(20'000'000, m_clock);
        QVERIFY(journal.openDaily(dir.path()));
        const QByteArray noise(278, '\xff');
        for (int tick = 0; tick < 36000; ++tick, m_now = m_now.addMSecs(100))
            journal.discarded(noise);
        m_now = m_now.addMSecs(1000); // a second of quiet: exact again
        journal.discarded(noise);
        journal.close();
        const QString path = dir.filePath(QStringLiteral("2024-05-01.log"));
        qint64 counted = 0;
        int counts = 0;
        for (const QByteArray &line : readFile(path).split('\n')) {
            if (line.mid(24, 3) == "<! " && ++counts)
                counted += line.mid(27).split(' ').value(0).toLongLong();
        }
        QCOMPARE(journalBytes(path, '<'), QByteArray(4096 + 278, '\xff'));
        QCOMPARE(counted, 36000 * 278 - 4096);
        QVERIFY2(counts <= 3602, QByteArray::number(counts));
        QVERIFY(QFile::exists(earlier));
    }

    // A crash writes the lines still held back and the bytes being gathered, in their order,
    // then the signal's former action runs.
    void crash_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QByteArray>("gathered"); // received around a log line
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("fault, text") << int(SIGSEGV) << QByteArray("OK") << QByteArray("<-OK");
        QTest::newRow("abort, hex")
            << int(SIGABRT) << QByteArray("\x1b\xff") << QByteArray("<x 1B FF");
    }
    void crash() {
        QFETCH(int, signalNumber);
        QFETCH(QByteArray, gathered);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("crash.log"));
        const pid_t child = ::fork();
        if (child == 0) {
            ::signal(signalNumber, [](int number) {
                if (__llvm_profile_write_file) // a coverage build keeps what the child ran
                    __llvm_profile_write_file();
                ::_exit(100 + number);
            });
            Journal::writeHeldOnCrash();
            Journal journal(Journal::kDefaultLimit, m_clock);
            journal.openFile(path);
            journal.logLine(QStringLiteral("held"));
            journal.sent("RE\r\n");
            journal.received(gathered.left(1));
            journal.logLine(QStringLiteral("later"));
            journal.received(gathered.mid(1));
            ::raise(signalNumber);
            ::_exit(0);
        }
        int status = 0;
        QVERIFY(child > 0 && ::waitpid(child, &status, 0) == child);
        QCOMPARE(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 100 + signalNumber);
        QFETCH(QByteArray, line);
        QCOMPARE(readFile(path), "2024-05-01 10:00:00.123 # held\n2024-05-01 10:00:00.123 > RE\n"
                                 "2024-05-01 10:00:00.123 " +
                                     line + "\n2024-05-01 10:00:00.123 # later\n");
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
