// The saves on a scripted line: the request, the file written, the log, the binary save's
// silence rule and every way out.

#include "formfixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kReceiving = QStringLiteral("装置からデーターを受信しています。");
const QString kDone = QStringLiteral("終了しました。");
const QString kCannotWrite = QStringLiteral("ファイルに書き込めませんでした！");

ScriptedPort *scripted(FormFixture &f) {
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    return port;
}

void verifyEnded(FormFixture &f) {
    QVERIFY(!f->m_dataFile);
    QVERIFY(!f->EscFlag);
    QVERIFY(!f->PbCansel->isEnabled());
    QVERIFY(f->PbDevice->isEnabled());
    QVERIFY(f->PbBL->isEnabled());
}

using Pieces = QList<ScriptedPort::Piece>;

} // namespace

Q_DECLARE_METATYPE(Pieces)

class TestFilesSave : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void requestLine_data();
    void requestLine();
    void textStream_data();
    void textStream();
    void cancelKeepsPartialFile();
    void textFileCannotBeCreated();
    void textFileCannotBeWritten();
    void closingWindowKeepsWhatCame();
    void binarySave_data();
    void binarySave();
    void binaryFileCannotBeWritten();
};

void TestFilesSave::requestLine_data() {
    QTest::addColumn<bool>("motorola");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QByteArray>("request");

    QTest::newRow("S defaults") << true << QString() << QByteArray("SS0,1FFFF,0");
    QTest::newRow("all fields") << false << QStringLiteral(",100,1ff,1")
                                << QByteArray("SH100,1FF,1");
    QTest::newRow("spaces and empty end")
        << true << QStringLiteral(", 1a ,,２") << QByteArray("SS1A,1FFFF,2");
}

void TestFilesSave::requestLine() {
    QFETCH(bool, motorola);
    QFETCH(QString, fields);
    QFETCH(QByteArray, request);
    FormFixture f;
    ScriptedPort *port = scripted(f);
    port->expect(request, "S9030000FC\r\n\x1a");
    const QString path = f.path(QStringLiteral("out"));

    QVERIFY(runToEnd(motorola ? f->SSsub(path + fields) : f->SHsub(path + fields)));
    QCOMPARE(port->written(), request + "\r\n");
    QCOMPARE(f.log().at(1),
             motorola ? QStringLiteral("* Save S File") : QStringLiteral("* Save HEX File"));
    QCOMPARE(readFile(path), QByteArray("S9030000FC\r\n"));
}

// The unit's stream and what the file and the log keep of it ("?": one line of any text).
void TestFilesSave::textStream_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("two lines") << QByteArray(":020000040000FA\r\n:00000001FF\r\n\x1a")
                               << QByteArray(":020000040000FA\r\n:00000001FF\r\n")
                               << QStringList{":020000040000FA", ":00000001FF"};
    QTest::newRow("CR only") << QByteArray("A\rB\r\x1a") << QByteArray("A\r\nB\r\n")
                             << QStringList{"A", "B"};
    QTest::newRow("LF is dropped")
        << QByteArray("A\nB\r\n\x1a") << QByteArray("AB\r\n") << QStringList{"AB"};
    QTest::newRow("two CRs make an empty line")
        << QByteArray("A\r\rB\r\x1a") << QByteArray("A\r\n\r\nB\r\n") << QStringList{"A", "", "B"};
    QTest::newRow("tail before 26 is dropped")
        << QByteArray("A\r\nxyz\x1a") << QByteArray("A\r\n") << QStringList{"A"};
    QTest::newRow("after 26 nothing") << QByteArray("A\r\n\x1a"
                                                    "B\r\n")
                                      << QByteArray("A\r\n") << QStringList{"A"};
    QTest::newRow("NUL and high bytes") << QByteArray("\x00\x80\xff\r\x1a", 5)
                                        << QByteArray("\x00\x80\xff\r\n", 5) << QStringList{"?"};
}

void TestFilesSave::textStream() {
    QFETCH(QByteArray, stream);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    FormFixture f;
    ScriptedPort *port = scripted(f);
    port->expect("SH0,1FFFF,0", stream);
    const QString path = f.path(QStringLiteral("Out File.HEX"));
    QVERIFY(f->backColor(f->MoniEOF) != QColor(128, 0, 128));

    QVERIFY(runToEnd(f->SHsub(path)));
    QCOMPARE(readFile(path), file);
    if (lines == QStringList{"?"})
        lines[0] = f.log().value(3);
    QCOMPARE(f.log(), QStringList({QString(), QStringLiteral("* Save HEX File"), kReceiving}) +
                          lines + QStringList{kDone});
    QCOMPARE(f->backColor(f->MoniEOF), QColor(128, 0, 128));
    QCOMPARE(f->AnsRxCode, QStringLiteral("00"));
    verifyEnded(f);
}

void TestFilesSave::cancelKeepsPartialFile() {
    FormFixture f;
    ScriptedPort *port = scripted(f);
    const QString path = f.path(QStringLiteral("part.s"));
    port->expect("SS0,1FFFF,0", "S1\r\nS2\r\nS3");
    port->expect("\x1b", "34\r\n");

    auto save = f->SSsub(path);
    QTRY_COMPARE(f.log().constLast(), QStringLiteral("S2"));
    QVERIFY(f->m_dataFile && f->m_dataFile->isOpen());
    QVERIFY(f->PbCansel->isEnabled());
    f->PbCansel->click();
    QVERIFY(runToEnd(std::move(save)));

    QCOMPARE(port->written(), QByteArray("SS0,1FFFF,0\r\n\x1b\r\n"));
    QCOMPARE(f.log().mid(2), (QStringList{kReceiving, QStringLiteral("S1"), QStringLiteral("S2"),
                                          QStringLiteral("キャンセルしました。")}));
    QCOMPARE(readFile(path), QByteArray("S1\r\nS2\r\n"));
    QCOMPARE(f->AnsRxCode, QStringLiteral("34"));
    QCOMPARE(f->MSComm1->inBufferCount(), 0); // the unit's answer went with the purge
    verifyEnded(f);
}

void TestFilesSave::textFileCannotBeCreated() {
    FormFixture f;
    ScriptedPort *port = scripted(f);
    port->respond("", ":00000001FF\r\n\x1a");
    f->EscFlag = true;

    QVERIFY(runToEnd(f->SHsub(f.path(QStringLiteral("no such folder/out.hex")))));
    QCOMPARE(port->written(), QByteArray());
    QCOMPARE(f.log(), (QStringList{QString(), QStringLiteral("* Save HEX File"),
                                   QStringLiteral("ファイルを作成できません！")}));
    verifyEnded(f);
}

void TestFilesSave::textFileCannotBeWritten() {
    if (!QFileInfo(QStringLiteral("/dev/full")).isWritable())
        QSKIP("no /dev/full to fill");
    FormFixture f;
    scripted(f)->expect("SH0,1FFFF,0", ":00000001FF\r\n\x1a");

    QVERIFY(runToEnd(f->SHsub(QStringLiteral("/dev/full"))));
    QCOMPARE(f.log().mid(3), (QStringList{QStringLiteral(":00000001FF"), kDone, kCannotWrite}));
    verifyEnded(f);
}

void TestFilesSave::closingWindowKeepsWhatCame() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("part.hex"));
    auto f = std::make_unique<FormFixture>();
    scripted(*f)->expect("SH0,1FFFF,0", ":A\r\n:B\r\n");

    auto save = f->form().SHsub(path);
    QTRY_COMPARE(f->log().constLast(), QStringLiteral(":B"));
    f.reset(); // the window goes while the save waits for more
    QCOMPARE(readFile(path), QByteArray(":A\r\n:B\r\n"));
}

void TestFilesSave::binarySave_data() {
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("leftOver");

    const QByteArray b16("\x00\x1a\x0d\x0a\xff\x10\x20\x30\x40\x50\x60\x70\x80\x90\xa0\xb0", 16);
    const QByteArray b4("\x01\x02\x03\x00", 4);
    const QStringList l16{QStringLiteral("00 1A 0D 0A FF 10 20 30 40 50 60 70 80 90 A0 B0 "),
                          QStringLiteral("Save=16byte"), "end"};
    QTest::newRow("16 bytes") << Pieces{{0, b16}} << b16 << l16 << 0;
    QTest::newRow("20 bytes") << Pieces{{0, b16 + b4}} << b16 + b4
                              << QStringList{l16.at(0), QStringLiteral("01 02 03 00 "),
                                             QStringLiteral("Save=20byte"), "end"}
                              << 0;
    QTest::newRow("nothing") << Pieces{} << QByteArray()
                             << QStringList{QStringLiteral("Save=0byte"), "end"} << 0;
    QTest::newRow("short pause goes on")
        << Pieces{{0, b16.left(8)}, {150, b16.mid(8)}} << b16 << l16 << 0;
    QTest::newRow("long pause ends it") << Pieces{{0, b16}, {400, b4}} << b16 << l16 << 4;
}

void TestFilesSave::binarySave() {
    QFETCH(Pieces, pieces);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);
    QFETCH(int, leftOver);
    FormFixture f;
    ScriptedPort *port = scripted(f);
    const QString path = f.path(QStringLiteral("out.bin"));
    {
        QFile old(path); // a longer file of the same name is replaced, not overwritten in place
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100, 'x'));
    }
    port->expectPieces("SB0,1FFFF", pieces);
    port->setNullDiscard(true);

    QVERIFY(runToEnd(f->SBsub(path)));
    QCOMPARE(port->written(), QByteArray("SB0,1FFFF\r\n"));
    QCOMPARE(readFile(path), file);
    QCOMPARE(f.log(),
             QStringList({QString(), QStringLiteral("* Save Binary File"), kReceiving}) + lines);
    QTRY_COMPARE(port->inBufferCount(), leftOver);
    QVERIFY(port->nullDiscard());
    QVERIFY(!port->binaryMode());
    verifyEnded(f);
}

void TestFilesSave::binaryFileCannotBeWritten() {
    FormFixture f;
    ScriptedPort *port = scripted(f);
    QVERIFY(QDir(f.path(QString())).mkdir(QStringLiteral("folder")));
    port->expect("SB0,1FFFF", QByteArray(20, '\x41'));

    QVERIFY(runToEnd(f->SBsub(f.path(QStringLiteral("folder")))));
    QCOMPARE(port->inBufferCount(), 0);
    QCOMPARE(
        f.log().mid(3),
        (QStringList{QStringLiteral("41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 41 "),
                     QStringLiteral("41 41 41 41 "), QStringLiteral("Save=20byte"), kCannotWrite}));
    QVERIFY(QFileInfo(f.path(QStringLiteral("folder"))).isDir());
    verifyEnded(f);
}

QTEST_MAIN(TestFilesSave)
#include "tst_files_save.moc"
