// The loads on a scripted line: the bytes the unit receives, the log, the failure line and every
// way out (file closed, controls back, cancel flag cleared).

#include "formfixture.h"

#include <QFile>
#include <QPushButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kCannotOpen = QStringLiteral("ファイルをオープンできません！");
const QString kReady = QStringLiteral("Corvaneの受信準備ができました。");

QString writeFile(FormFixture &f, const QString &name, const QByteArray &bytes) {
    const QString path = f.path(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString lastLine(FormFixture &f) {
    const QStringList lines = f.log();
    return lines.isEmpty() ? QString() : lines.constLast();
}

// Every end of a load: file closed, cancel disabled, operations usable again, flag cleared.
void verifyEnded(FormFixture &f) {
    QVERIFY(!f->m_dataFile);
    QVERIFY(!f->EscFlag);
    QVERIFY(!f->PbCansel->isEnabled());
    QVERIFY(f->PbDevice->isEnabled());
    QVERIFY(f->PbBL->isEnabled());
}

} // namespace

class TestFilesLoad : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void twoLineHexFile();
    void lineEnds_data();
    void lineEnds();
    void loadAddress_data();
    void loadAddress();
    void unitRefusesAnnouncement();
    void unitJudgesGarbage();
    void fileThatCannotBeLoaded_data();
    void fileThatCannotBeLoaded();
    void hugeSingleLineFile();
    void cancelWhileWaitingForCts();
    void binaryFileOf20Bytes();
    void binaryFileCutWhileLoading();
};

void TestFilesLoad::twoLineHexFile() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QByteArray l1 = ":0400000001020304F2";
    const QByteArray l2 = ":00000001FF";
    const QString path = writeFile(f, QStringLiteral("Two Lines.hex"), l1 + "\r\n" + l2 + "\r\n");
    port->expect("LH0", "01\r\n");
    port->expect(l2, "00\r\n");

    QVERIFY(runToEnd(f->LHsub(path)));
    QCOMPARE(port->written(), "LH0\r\n" + l1 + "\r\n" + l2 + "\r\n");
    QCOMPARE(f.log(),
             (QStringList{QString(), QStringLiteral("* Load HEX File"), kReady,
                          QString::fromLatin1(l1), QString::fromLatin1(l2), QStringLiteral("OK")}));
    QCOMPARE(f->AnsRxCode, QStringLiteral("00"));
    verifyEnded(f);
}

// What the unit receives after the announcement for each way of ending lines.
void TestFilesLoad::lineEnds_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("CR only") << QByteArray(":A\r:B\r") << QByteArray(":A\r\n:B\r\n");
    QTest::newRow("LF only is one line") << QByteArray(":A\n:B\n") << QByteArray(":A\n:B\n\r\n");
    QTest::newRow("last line without end") << QByteArray(":A\r\n:B") << QByteArray(":A\r\n:B\r\n");
    QTest::newRow("blank line") << QByteArray(":A\r\n\r\n:B\r\n") << QByteArray(":A\r\n\r\n:B\r\n");
    QTest::newRow("CR CR LF") << QByteArray(":A\r\r\n:B") << QByteArray(":A\r\n\r\n:B\r\n");
    QTest::newRow("every byte value but CR") << [] {
        QByteArray b;
        for (int i = 0; i < 256; ++i) {
            if (i != '\r')
                b.append(char(i));
        }
        return b;
    }() << QByteArray();
}

void TestFilesLoad::lineEnds() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, sent);
    if (sent.isEmpty() && !content.isEmpty())
        sent = content + "\r\n"; // forwarded unchanged, bytes as they are
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString path = writeFile(f, QStringLiteral("data.s"), content);
    // "01" for the announcement, "00" once the data has gone.
    port->expectPieces("LS0", {{0, "01\r\n"}, {20, "00\r\n"}});

    QVERIFY(runToEnd(f->LSsub(path)));
    QCOMPARE(port->written(), "LS0\r\n" + sent);
    QCOMPARE(f.log().at(1), QStringLiteral("* Losd S File"));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    verifyEnded(f);
}

void TestFilesLoad::loadAddress_data() {
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QByteArray>("announcement");

    QTest::newRow("none") << QString() << QByteArray("LH0");
    QTest::newRow("1000") << QStringLiteral(",1000") << QByteArray("LH1000");
    QTest::newRow("lower case and spaces") << QStringLiteral(",1a 00") << QByteArray("LH1A00");
    QTest::newRow("full width with comment") << QStringLiteral(",２ｆ 'x") << QByteArray("LH2F");
}

void TestFilesLoad::loadAddress() {
    QFETCH(QString, fields);
    QFETCH(QByteArray, announcement);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString path = writeFile(f, QStringLiteral("a.hex"), ":00000001FF\r\n");
    port->expect(announcement, "01\r\n");
    port->expect(":00000001FF", "00\r\n");

    QVERIFY(runToEnd(f->LHsub(path + fields)));
    QCOMPARE(port->writtenLines(), (QList<QByteArray>{announcement, ":00000001FF"}));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
}

void TestFilesLoad::unitRefusesAnnouncement() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString path = writeFile(f, QStringLiteral("a.hex"), ":00000001FF\r\n");
    port->expect("LH0", "14\r\n");

    QVERIFY(runToEnd(f->LHsub(path)));
    QCOMPARE(port->written(), QByteArray("LH0\r\n"));
    QCOMPARE(f.log(), (QStringList{QString(), QStringLiteral("* Load HEX File"),
                                   QStringLiteral("！ デバイス・タイプが設定されてません。")}));
    verifyEnded(f);
}

void TestFilesLoad::unitJudgesGarbage() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QByteArray garbage("\x01\xff\x80zz", 5);
    const QString path = writeFile(f, QStringLiteral("bad.hex"), garbage + "\r\n");
    port->expect("LH0", "01\r\n");
    port->expect(garbage, "30\r\n");

    QVERIFY(runToEnd(f->LHsub(path)));
    QCOMPARE(port->written(), "LH0\r\n" + garbage + "\r\n");
    QCOMPARE(f.log().constLast(),
             QStringLiteral("！ 受信データーのチェックサムに異常がありました。"));
    QVERIFY(!f.log().contains(QStringLiteral("OK")));
    QCOMPARE(f->AnsRxCode, QStringLiteral("30"));
    verifyEnded(f);
}

void TestFilesLoad::fileThatCannotBeLoaded_data() {
    QTest::addColumn<int>("kind"); // 0 HEX, 1 S, 2 binary
    QTest::addColumn<QString>("name");

    for (const auto &[kind, tag] : {std::pair{0, "HEX"}, {1, "S"}, {2, "binary"}}) {
        QTest::addRow("%s missing", tag) << kind << QStringLiteral("missing.dat");
        QTest::addRow("%s folder", tag) << kind << QStringLiteral("folder");
        QTest::addRow("%s unreadable", tag) << kind << QStringLiteral("locked.dat");
    }
}

void TestFilesLoad::fileThatCannotBeLoaded() {
    QFETCH(int, kind);
    QFETCH(QString, name);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    QDir(f.path(QString())).mkdir(QStringLiteral("folder"));
    const QString locked = writeFile(f, QStringLiteral("locked.dat"), ":00000001FF\r\n");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (name == QLatin1String("locked.dat") && QFile(locked).open(QIODevice::ReadOnly))
        QSKIP("permissions do not keep this user from reading");
    port->respond("", "01\r\n");
    f->AnsRxCode = QStringLiteral("77");

    const QString path = f.path(name);
    QVERIFY(runToEnd(kind == 0 ? f->LHsub(path) : kind == 1 ? f->LSsub(path) : f->LBsub(path)));
    QCOMPARE(port->written(), QByteArray());
    const QString title = kind == 0   ? QStringLiteral("* Load HEX File")
                          : kind == 1 ? QStringLiteral("* Losd S File")
                                      : QStringLiteral("* Load Binary File");
    QCOMPARE(f.log(), (QStringList{QString(), title, kCannotOpen}));
    QCOMPARE(f->AnsRxCode, QStringLiteral("77"));
    verifyEnded(f);
}

void TestFilesLoad::hugeSingleLineFile() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString path =
        writeFile(f, QStringLiteral("huge.hex"), QByteArray(3 * 1024 * 1024, 'A') + "\r\n");
    port->expect("LH0", "01\r\n");

    QVERIFY(runToEnd(f->LHsub(path)));
    QCOMPARE(port->written(), QByteArray("LH0\r\n"));
    QCOMPARE(f.log(),
             (QStringList{QString(), QStringLiteral("* Load HEX File"), kReady, kCannotOpen}));
    verifyEnded(f);
}

void TestFilesLoad::cancelWhileWaitingForCts() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QString path = writeFile(f, QStringLiteral("a.hex"), ":A\r\n:B\r\n");
    port->expect("LH0", "01\r\n");
    port->expect("\x1b", "34\r\n");
    port->setCts(false);

    auto load = f->LHsub(path);
    QTRY_COMPARE(lastLine(f), QStringLiteral(":A"));
    QVERIFY(f->m_dataFile && f->m_dataFile->isOpen());
    QVERIFY(f->PbCansel->isEnabled());
    QTest::qWait(30); // still waiting for CTS: nothing but the announcement has gone
    QCOMPARE(port->written(), QByteArray("LH0\r\n"));
    f->PbCansel->click();
    QVERIFY(runToEnd(std::move(load)));

    // The line read while waiting is logged, never sent.
    QCOMPARE(port->written(), QByteArray("LH0\r\n\x1b\r\n"));
    QCOMPARE(f.log(),
             (QStringList{QString(), QStringLiteral("* Load HEX File"), kReady,
                          QStringLiteral(":A"), QStringLiteral("キャンセル・ストップしました。")}));
    QCOMPARE(f->AnsRxCode, QStringLiteral("34"));
    verifyEnded(f);
}

void TestFilesLoad::binaryFileOf20Bytes() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const QByteArray data("\x00\x1f\xa0\x0d\x0a\x1a\xff\x7e\x01\x02\x03\x04\x05\x06\x07\x08"
                          "\x1b\x0d\x0a\x00",
                          20);
    const QString path = writeFile(f, QStringLiteral("a.bin"), data);
    port->expectPieces("LB20,100", {{0, "01\r\n"}, {20, "00\r\n"}});

    QVERIFY(runToEnd(f->LBsub(path + QStringLiteral(",100"))));
    QCOMPARE(port->written(), "LB20,100\r\n" + data);
    QCOMPARE(f.log(),
             (QStringList{QString(), QStringLiteral("* Load Binary File"), kReady,
                          QStringLiteral("00 1F A0 0D 0A 1A FF 7E 01 02 03 04 05 06 07 08 "),
                          QStringLiteral("OK")}));
    verifyEnded(f);
}

void TestFilesLoad::binaryFileCutWhileLoading() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    const int size = 70000;
    // CR LF now and then keeps the scripted line's search for line ends short.
    const QByteArray data = QByteArray("\x55\x55\x55\x55\x55\x55\r\n").repeated(size / 8);
    const QString path = writeFile(f, QStringLiteral("a.bin"), data);
    port->expect("LB70000,0", "01\r\n");
    port->setCts(false);

    auto load = f->LBsub(path);
    QTRY_COMPARE(lastLine(f), kReady);
    QVERIFY(QFile::resize(path, 10));
    port->setCts(true);
    QVERIFY(runToEnd(std::move(load), 30000));
    // What had been read went out; the rest is missing and the load says so.
    const QByteArray sent = port->written().mid(11);
    QVERIFY(sent.size() < size);
    QCOMPARE(sent, data.left(sent.size()));
    QCOMPARE(f.log().constLast(), kCannotOpen);
    QCOMPARE(f->AnsRxCode, QStringLiteral("01"));
    verifyEnded(f);
}

QTEST_MAIN(TestFilesLoad)
#include "tst_files_load.moc"
