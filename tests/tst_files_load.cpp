// The loads: on a scripted line the bytes the unit receives, the log and every way out; the lines
// of a data file; files written by another tool, through the emulated unit.

#include "formfixture.h"

#include "files/datafile.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kCannotOpen = QStringLiteral("ファイルをオープンできません！");
const QString kReady = QStringLiteral("Corvaneの受信準備ができました。");
const QString kHexTitle = QStringLiteral("* Load HEX File");

ScriptedPort *scripted(FormFixture &f) {
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    return port;
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
    void hexLoad_data();
    void hexLoad();
    void lineEnds_data();
    void lineEnds();
    void lineReader_data();
    void lineReader();
    void srecCatFileLoadsIntoTheUnit_data();
    void srecCatFileLoadsIntoTheUnit();
    void fileThatCannotBeLoaded_data();
    void fileThatCannotBeLoaded();
    void cancelWhileWaitingForCts();
    void binaryFileOf20Bytes();
    void binaryFileCutWhileLoading();
};

// script: pairs of a line the unit expects and its reply; logged: the log after the title.
void TestFilesLoad::hexLoad_data() {
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<QByteArray>>("script");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<QString>("code");

    const QByteArray l1 = ":0400000001020304F2", l2 = ":00000001FF";
    QTest::newRow("two lines") << QString() << l1 + "\r\n" + l2 + "\r\n"
                               << QList<QByteArray>{"LH0", "01\r\n", l2, "00\r\n"}
                               << "LH0\r\n" + l1 + "\r\n" + l2 + "\r\n"
                               << QStringList{kReady, l1, l2, QStringLiteral("OK")}
                               << QStringLiteral("00");
    QTest::newRow("unit refuses") << QString() << l2 + "\r\n"
                                  << QList<QByteArray>{"LH0", "14\r\n"} << QByteArray("LH0\r\n")
                                  << QStringList{QStringLiteral(
                                         "！ デバイス・タイプが設定されてません。")}
                                  << QStringLiteral("14");
    QTest::newRow("line too long") << QString() << QByteArray(3 * 1024 * 1024, 'A') + "\r\n"
                                   << QList<QByteArray>{"LH0", "01\r\n"} << QByteArray("LH0\r\n")
                                   << QStringList{kReady, kCannotOpen} << QStringLiteral("01");
    QTest::newRow("address cleaned")
        << QStringLiteral(",1a ｆ 'x") << l2 + "\r\n"
        << QList<QByteArray>{"LH1AF", "01\r\n", l2, "00\r\n"} << "LH1AF\r\n" + l2 + "\r\n"
        << QStringList{kReady, l2, QStringLiteral("OK")} << QStringLiteral("00");
    QTest::newRow("unit judges a line")
        << QString() << l1 + "\r\n"
        << QList<QByteArray>{"LH0", "01\r\n", l1, "30\r\n"} << "LH0\r\n" + l1 + "\r\n"
        << QStringList{kReady, l1,
                       QStringLiteral("！ 受信データーのチェックサムに異常がありました。")}
        << QStringLiteral("30");
}

void TestFilesLoad::hexLoad() {
    QFETCH(QString, fields);
    QFETCH(QByteArray, content);
    QFETCH(QList<QByteArray>, script);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, logged);
    QFETCH(QString, code);
    FormFixture f;
    ScriptedPort *port = scripted(f);
    const QString path = writeFile(f.path(QStringLiteral("Two Lines.hex")), content);
    for (qsizetype i = 0; i + 1 < script.size(); i += 2)
        port->expect(script.at(i), script.at(i + 1));

    QVERIFY(runToEnd(f->LHsub(path + fields)));
    QCOMPARE(port->written(), sent);
    QCOMPARE(f.log(), QStringList({QString(), kHexTitle}) + logged);
    QCOMPARE(f->AnsRxCode, code);
    verifyEnded(f);
}

// What the unit receives after the announcement for each way of ending lines; logged is the
// whole log after the title where every line is plain text.
void TestFilesLoad::lineEnds_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("logged");

    const QString ok = QStringLiteral("OK");
    QTest::newRow("empty file") << QByteArray() << QByteArray() << QStringList{kReady, ok};
    QTest::newRow("CR, LF and CR LF, last line without end")
        << QByteArray(":A\r:B\n:C\r\n:D") << QByteArray(":A\r\n:B\r\n:C\r\n:D\r\n")
        << QStringList{kReady, ":A", ":B", ":C", ":D", ok};
    QTest::newRow("blank lines") << QByteArray(":A\r\n\r\n\n:B\r\n")
                                 << QByteArray(":A\r\n\r\n\r\n:B\r\n")
                                 << QStringList{kReady, ":A", "", "", ":B", ok};
    QByteArray all; // forwarded unchanged, bytes as they are
    for (int i = 0; i < 256; ++i) {
        if (i != '\r' && i != '\n')
            all.append(char(i));
    }
    QTest::newRow("every byte value but CR and LF") << all << all + "\r\n" << QStringList();
}

void TestFilesLoad::lineEnds() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, logged);
    FormFixture f;
    ScriptedPort *port = scripted(f);
    const QString path = writeFile(f.path(QStringLiteral("data.s")), content);
    port->expectPieces("LS0", {{0, "01\r\n"}, {20, "00\r\n"}});

    QVERIFY(runToEnd(f->LSsub(path)));
    QCOMPARE(port->written(), "LS0\r\n" + sent);
    QCOMPARE(f.log().at(1), QStringLiteral("* Losd S File"));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    if (!logged.isEmpty())
        QCOMPARE(f.log().mid(2), logged);
    verifyEnded(f);
}

void TestFilesLoad::lineReader_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<QByteArray>>("lines");
    using L = QList<QByteArray>;

    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << L{"a", "b"};
    QTest::newRow("CR") << QByteArray("a\rb\r") << L{"a", "b"};
    QTest::newRow("LF") << QByteArray("a\nb\n") << L{"a", "b"};
    QTest::newRow("mixed") << QByteArray("a\nb\r\nc\rd\n\re") << L{"a", "b", "c", "d", "", "e"};
    QTest::newRow("last line without end") << QByteArray("a\r\nb") << L{"a", "b"};
    QTest::newRow("blank lines") << QByteArray("\r\n\n\r") << L{"", "", ""};
    const QByteArray block(65535, 'x'); // the reader's block ends between CR and LF
    QTest::newRow("CR LF split by a block") << block + "\r\nB" << L{block, "B"};
    QTest::newRow("CR ends a block, LF a line") << block + "\r\n\nB" << L{block, "", "B"};
    QTest::newRow("CR ends a block and the file") << block + "\r" << L{block};
}

void TestFilesLoad::lineReader() {
    QFETCH(QByteArray, content);
    QFETCH(QList<QByteArray>, lines);
    QBuffer device(&content);
    QVERIFY(device.open(QIODevice::ReadOnly));
    DataLineReader reader(&device);
    QList<QByteArray> got;
    QByteArray line;
    while (reader.next(line) == DataLineReader::Result::Line)
        got.append(line);
    QCOMPARE(got, lines);
}

// Files written by srec_cat, an independent tool that ends its lines with LF alone, load into the
// emulated unit: every byte lands at its address and the unit answers "OK".
void TestFilesLoad::srecCatFileLoadsIntoTheUnit_data() {
    QTest::addColumn<bool>("motorola");
    QTest::newRow("Intel HEX") << false;
    QTest::newRow("Motorola S") << true;
}

void TestFilesLoad::srecCatFileLoadsIntoTheUnit() {
    QFETCH(bool, motorola);
    const QString srecCat = QStandardPaths::findExecutable(QStringLiteral("srec_cat"));
    if (srecCat.isEmpty())
        QFAIL("srec_cat (Debian package srecord) is not installed");
    FormFixture f;
    EmulatedPort *port = f.useEmulated(UnitOptions{0.0});
    QByteArray image;
    for (int i = 0; i < 600; ++i)
        image.append(char(i * 7 + 3));
    const QString binary = writeFile(f.path(QStringLiteral("image.bin")), image);
    const QString records =
        f.path(motorola ? QStringLiteral("image.s") : QStringLiteral("image.hex"));
    QProcess tool;
    // An execution start address gives the Motorola file its S9 end record.
    tool.start(srecCat, {binary, QStringLiteral("-binary"), QStringLiteral("-offset"),
                         QStringLiteral("0x1F00"), QStringLiteral("-execution-start-address=0"),
                         QStringLiteral("-o"), records,
                         motorola ? QStringLiteral("-motorola") : QStringLiteral("-intel")});
    QVERIFY(tool.waitForFinished(10000));
    QCOMPARE(tool.exitCode(), 0);
    const QByteArray content = readFile(records);
    QVERIFY(content.count('\n') > 3 && !content.contains('\r'));

    QVERIFY(runToEnd(motorola ? f->LSsub(records) : f->LHsub(records), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    const std::vector<std::uint8_t> &buffer = port->unit().buffer();
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(buffer.data()) + 0x1F00, image.size()),
             image);
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
    ScriptedPort *port = scripted(f);
    QDir(f.path(QString())).mkdir(QStringLiteral("folder"));
    const QString locked = writeFile(f.path(QStringLiteral("locked.dat")), ":00000001FF\r\n");
    QFile::setPermissions(locked, QFileDevice::Permissions());
    if (name == QLatin1String("locked.dat") && QFile(locked).open(QIODevice::ReadOnly))
        QSKIP("permissions do not keep this user from reading");
    port->respond("", "01\r\n");
    f->AnsRxCode = QStringLiteral("77");

    const QString path = f.path(name);
    QVERIFY(runToEnd(kind == 0 ? f->LHsub(path) : kind == 1 ? f->LSsub(path) : f->LBsub(path)));
    QCOMPARE(port->written(), QByteArray());
    const QString title = kind == 0   ? kHexTitle
                          : kind == 1 ? QStringLiteral("* Losd S File")
                                      : QStringLiteral("* Load Binary File");
    QCOMPARE(f.log(), (QStringList{QString(), title, kCannotOpen}));
    QCOMPARE(f->AnsRxCode, QStringLiteral("77"));
    verifyEnded(f);
}

void TestFilesLoad::cancelWhileWaitingForCts() {
    FormFixture f;
    ScriptedPort *port = scripted(f);
    const QString path = writeFile(f.path(QStringLiteral("a.hex")), ":A\r\n:B\r\n");
    port->expect("LH0", "01\r\n");
    port->expect("\x1b", "34\r\n");
    port->setCts(false);

    auto load = f->LHsub(path);
    QTRY_COMPARE(f.log().value(f.log().size() - 1), QStringLiteral(":A"));
    QVERIFY(f->m_dataFile && f->m_dataFile->isOpen());
    QVERIFY(f->PbCansel->isEnabled());
    QTest::qWait(20); // still waiting for CTS: nothing but the announcement has gone
    QCOMPARE(port->written(), QByteArray("LH0\r\n"));
    f->PbCansel->click();
    QVERIFY(runToEnd(std::move(load)));

    // The line read while waiting is logged, never sent.
    QCOMPARE(port->written(), QByteArray("LH0\r\n\x1b\r\n"));
    QCOMPARE(f.log(), (QStringList{QString(), kHexTitle, kReady, QStringLiteral(":A"),
                                   QStringLiteral("キャンセル・ストップしました。")}));
    QCOMPARE(f->AnsRxCode, QStringLiteral("34"));
    verifyEnded(f);
}

void TestFilesLoad::binaryFileOf20Bytes() {
    FormFixture f;
    ScriptedPort *port = scripted(f);
    const QByteArray data("\x00\x1f\xa0\x0d\x0a\x1a\xff\x7e\x01\x02\x03\x04\x05\x06\x07\x08"
                          "\x1b\x0d\x0a\x00",
                          20);
    const QString path = writeFile(f.path(QStringLiteral("a.bin")), data);
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
    ScriptedPort *port = scripted(f);
    const int size = 70000;
    // CR LF now and then keeps the scripted line's search for line ends short.
    const QByteArray data = QByteArray("\x55\x55\x55\x55\x55\x55\r\n").repeated(size / 8);
    const QString path = writeFile(f.path(QStringLiteral("a.bin")), data);
    port->expect("LB70000,0", "01\r\n");
    port->setCts(false);

    auto load = f->LBsub(path);
    QTRY_COMPARE(f.log().value(f.log().size() - 1), kReady);
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
