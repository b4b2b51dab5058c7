// The journal: the exact bytes of each direction rebuilt from its lines, which files a full folder
// loses, the move into a day's next file and past midnight, and a journal that cannot write.

#include "app/journal.h"
#include "protocol/cp932.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace corvane;

namespace {

const QDateTime kStart(QDate(2024, 5, 1), QTime(10, 0, 0, 123));

// The lines of a journal file, which must all end with LF alone.
QStringList linesOf(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    if (bytes.contains('\r') || !bytes.endsWith('\n'))
        return {QStringLiteral("not LF-ended lines")};
    return QString::fromUtf8(bytes.chopped(1)).split(QLatin1Char('\n'));
}

// The bytes one direction's lines stand for: after "> " a text and its CR LF, after ">x " hex.
QByteArray rebuilt(const QStringList &lines, char mark) {
    QByteArray bytes;
    for (const QString &line : lines) {
        const QByteArray entry = line.mid(24).toUtf8();
        if (entry.startsWith(QByteArray(1, mark) + ' '))
            bytes += toCp932(QString::fromUtf8(entry.mid(2))) + "\r\n";
        else if (entry.startsWith(QByteArray(1, mark) + 'x'))
            bytes += QByteArray::fromHex(entry.mid(3));
    }
    return bytes;
}

void writeFile(const QString &path, qsizetype size) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'o'));
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
    QDateTime m_now;
    Journal::Clock clock() {
        return [this] { return m_now; };
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Steps: '>' sends the rest, '<' receives it byte by byte, '#' logs it, '.' is a quiet gap.
    void exchange_data() {
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("text lines") << QByteArrayList{">RE\r\n", "<OK\r\n", ">A\r\nB\r\n"}
                                    << QStringList{"> RE", "< OK", "> A", "> B"};
        QTest::newRow("cancel, binary")
            << QByteArrayList{">\x1b\r\n", QByteArray("<\x00\xff\t\r\n", 6)}
            << QStringList{">x 1B 0D 0A", "<x 00 FF 09 0D 0A"};
        QTest::newRow("CP932") << QByteArrayList{"<\xb5\xb0\xb9\xb0 \x8a\xae\x97\xb9\r\n",
                                                 "<\x8a\r\n"}
                               << QStringList{"< ｵｰｹｰ 完了", "<x 8A 0D 0A"};
        QTest::newRow("lone CR, lone LF")
            << QByteArrayList{"<X\rY\nZ\r\n"} << QStringList{"<x 58 0D", "<x 59 0A", "< Z"};
        QTest::newRow("cut lines")
            << QByteArrayList{"<AB", ">C\r\n", "<D", "#ログ", "<E\r\n", ">F", ".", ">G\r\n"}
            << QStringList{"<x 41 42", "> C", "<x 44", "# ログ", "< E", ">x 46", "> G"};
        QTest::newRow("log lines, cut at closing")
            << QByteArrayList{"#a\nb", "<OK"} << QStringList{"# a", "# b", "<x 4F 4B"};
    }
    void exchange() {
        QFETCH(QByteArrayList, steps);
        QFETCH(QStringList, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("chosen.log"));
        m_now = kStart;
        QByteArray sent, received;
        {
            Journal journal(Journal::kDefaultLimit, clock());
            QVERIFY(journal.openFile(path));
            journal.header(QStringLiteral("1.0.0"), QStringLiteral("EMU"), QStringLiteral("9600"));
            for (const QByteArray &step : steps) {
                const QByteArray bytes = step.mid(1);
                if (step[0] == '>') {
                    journal.sent(bytes);
                    sent += bytes;
                } else if (step[0] == '<') {
                    for (const char byte : bytes)
                        journal.received(byte);
                    received += bytes;
                } else if (step[0] == '#') {
                    journal.logLine(QString::fromUtf8(bytes));
                } else {
                    journal.flushPending();
                }
            }
        } // what is still gathered is written on closing
        lines.prepend(QStringLiteral("* corvane 1.0.0 port EMU speed 9600"));
        for (QString &line : lines)
            line.prepend(QStringLiteral("2024-05-01 10:00:00.123 "));
        const QStringList all = linesOf(path);
        QCOMPARE(all, lines);
        QCOMPARE(rebuilt(all, '>'), sent);
        QCOMPARE(rebuilt(all, '<'), received);
    }

    void removal_data() {
        QTest::addColumn<QStringList>("files"); // name:size
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<QStringList>("removed");
        QTest::newRow("oldest first")
            << QStringList{"2024-10-01.log:10", "2023-12-31.log:10", "2024-09-30.log:10"}
            << qint64(15) << QStringList{"2023-12-31.log", "2024-09-30.log"};
        QTest::newRow("a day's first file before its second")
            << QStringList{"2024-05-01.2.log:10", "2024-05-01.log:10", "2024-05-02.log:5"}
            << qint64(15) << QStringList{"2024-05-01.log"};
        QTest::newRow(".9 before .10") << QStringList{"2024-05-01.10.log:10", "2024-05-01.9.log:10"}
                                       << qint64(10) << QStringList{"2024-05-01.9.log"};
        QTest::newRow("at the limit, other files left alone")
            << QStringList{"notes.txt:900", "2024-05-01.log.bak:900", "2024-04-30.log:10",
                           "2024-05-01.log:10"}
            << qint64(20) << QStringList{};
    }
    void removal() {
        QFETCH(QStringList, files);
        QFETCH(qint64, limit);
        QFETCH(QStringList, removed);
        QList<Journal::FileEntry> entries;
        for (const QString &file : files)
            entries.append({file.section(QLatin1Char(':'), 0, 0),
                            file.section(QLatin1Char(':'), 1).toLongLong()});
        QCOMPARE(Journal::filesToRemove(entries, limit), removed);
    }

    void rollover() {
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("2024-04-29.log")), 150);
        writeFile(dir.filePath(QStringLiteral("2024-04-30.log")), 150);
        writeFile(dir.filePath(QStringLiteral("readme.txt")), 1000);
        const auto files = [&] { return QDir(dir.path()).entryList(QDir::Files); };
        m_now = kStart;
        QByteArray stream;
        auto journal = std::make_unique<Journal>(400, clock());
        QVERIFY(journal->openDaily(dir.path()));
        for (int i = 0; i < 34; ++i) {
            stream += "LINE " + QByteArray::number(i) + "\r\n";
            journal->sent(stream.mid(stream.lastIndexOf("LINE")));
            if (i == 3) // 300 old bytes and four lines of 33: the oldest day goes
                QCOMPARE(files(), QStringList({"2024-04-30.log", "2024-05-01.log", "readme.txt"}));
        }
        // The day outgrew the limit: it went on in a next file and the older ones went.
        const QString current = QFileInfo(journal->fileName()).fileName();
        QVERIFY2(current.startsWith("2024-05-01.") && current.count('.') == 2, qPrintable(current));
        QCOMPARE(files(), QStringList({current, "readme.txt"}));
        QVERIFY(QFileInfo(journal->fileName()).size() <= 400);
        const QByteArray tail = rebuilt(linesOf(journal->fileName()), '>');
        QVERIFY(!tail.isEmpty() && stream.endsWith(tail));
        QVERIFY(stream.chopped(tail.size()).endsWith("\r\n"));

        // A new start the same day goes on in the day's last file.
        journal = std::make_unique<Journal>(400, clock());
        QVERIFY(journal->openDaily(dir.path()));
        QCOMPARE(QFileInfo(journal->fileName()).fileName(), current);

        // Past midnight the next line goes into the new day's file.
        m_now = QDateTime(QDate(2024, 5, 2), QTime(0, 0, 0, 1));
        journal->sent("N\r\n");
        const QString day2 = dir.filePath(QStringLiteral("2024-05-02.log"));
        QCOMPARE(journal->fileName(), day2);
        QCOMPARE(linesOf(day2), QStringList{"2024-05-02 00:00:00.001 > N"});
    }

    void unwritable_data() {
        QTest::addColumn<QString>("path"); // in a folder holding an empty "plain.txt"
        QTest::addColumn<bool>("daily");
        QTest::addColumn<bool>("opens");
        QTest::newRow("file under a plain file") << "plain.txt/j.log" << false << false;
        QTest::newRow("daily folder that is a file") << "plain.txt" << true << false;
        QTest::newRow("full disk") << "/dev/full" << false << true;
    }
    void unwritable() {
        QFETCH(QString, path);
        QFETCH(bool, daily);
        QFETCH(bool, opens);
        if (path.startsWith(QLatin1Char('/')) && !QFile::exists(path))
            QSKIP("no such device here");
        QTemporaryDir dir;
        writeFile(dir.filePath(QStringLiteral("plain.txt")), 0);
        m_now = kStart;
        Journal journal(Journal::kDefaultLimit, clock());
        const QString full = QDir(dir.path()).filePath(path);
        QCOMPARE(daily ? journal.openDaily(full) : journal.openFile(full), opens);
        journal.header(QStringLiteral("1.0.0"), QStringLiteral("EMU"), QStringLiteral("9600"));
        journal.logLine(QStringLiteral("log"));
        journal.sent("RE\r\n");
        journal.received('O');
        journal.flushPending();
        QVERIFY(!journal.isOpen());
        QVERIFY(!journal.errorString().isEmpty());
        QCOMPARE(QFileInfo(dir.filePath(QStringLiteral("plain.txt"))).size(), 0);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"plain.txt"});
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
