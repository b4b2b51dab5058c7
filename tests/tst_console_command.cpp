// The typed command language as a pure table (what the window shows of it is checked in
// tst_console_run), and the reading of command-response files into lines and text.

#include "console/commandfilereader.h"
#include "console/consolecommand.h"

#include <QBuffer>
#include <QTest>

using namespace corvane;

Q_DECLARE_METATYPE(corvane::ConsoleProcedure)
Q_DECLARE_METATYPE(corvane::CommandFileReader::Encoding)

namespace {

using L = QList<QByteArray>;

using Encoding = CommandFileReader::Encoding;

L readAll(const QByteArray &bytes, qsizetype maxLineBytes, QList<bool> *truncated = nullptr,
          Encoding *encoding = nullptr) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    CommandFileReader reader(&device, maxLineBytes);
    L lines;
    QByteArray line;
    for (;;) {
        const CommandFileReader::Status status = reader.next(line);
        if (status == CommandFileReader::Status::Pending)
            continue;
        if (encoding)
            *encoding = reader.encoding();
        if (status != CommandFileReader::Status::Line)
            return lines;
        lines.append(line);
        if (truncated)
            truncated->append(reader.truncated());
    }
}

} // namespace

class TestConsoleCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matching_data();
    void matching();
    void readerLines_data();
    void readerLines();
    void readerLongLineIsCutAndTheNextLineSurvives();
    void readerHandsBackALongLineInBoundedSteps();
    void readerClosedDeviceIsAnError();
    void lineText_data();
    void lineText();
};

void TestConsoleCommand::matching_data() {
    QTest::addColumn<QString>("raw");
    QTest::addColumn<ConsoleProcedure>("procedure");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("workname"); // DeviceCont only
    QTest::addColumn<QString>("cmdMode");  // DeviceCont only

    using P = ConsoleProcedure;
    auto row = [](const char *raw, P procedure, const char *argument, const char *workname = "",
                  const char *cmdMode = "") {
        QTest::newRow(raw) << raw << procedure << argument << workname << cmdMode;
    };
    // File commands: the argument is the raw line without its first two characters.
    row(" LHc:\\a.hex", P::LHsub, "Hc:\\a.hex");
    row("LSd:\\my dir\\a.s ' old", P::LSsub, "d:\\my dir\\a.s ' old");
    row("LBa.bin,100 ' at 100", P::LBsub, "a.bin,100 ' at 100");
    row("shout.hex,0,7FFF", P::SHsub, "out.hex,0,7FFF");
    row("SSout.s", P::SSsub, "out.s");
    row("Sbout.bin,0,FF", P::SBsub, "out.bin,0,FF");
    row("ＬＨc:\\x.hex", P::LHsub, "c:\\x.hex");

    // Buffer settings before the single letter B; single letters take the cleaned rest.
    row("BS", P::BSsub, "");
    row("bt l", P::TWsub, "L");
    row("BTX", P::TWsub, "X");
    row("BL", P::DeviceCont, "L", "* Blank check ", "BL");
    row("RD0,1FFFF,A", P::DeviceCont, "D0,1FFFF,A", "* Read device", "RD");
    row("v0,FF,O", P::DeviceCont, "0,FF,O", "* Verify device", "CP");
    row("w0,FF,O", P::DeviceCont, "0,FF,O", "* Write device", "WT");
    row("p0,FF,O", P::DeviceCont, "0,FF,O", "* Program device", "PG");
    row("e0,FF,O", P::DeviceCont, "0,FF,O", "* Erase device ", "ER");
    row("TS2F", P::TSsub, "S2F");
    row("t 2f , name", P::TSsub, "2F,NAME");
    row("d0, ff", P::BDsub, "0,FF");

    row("A0", P::Unsupported, "");
    row("１２", P::Unsupported, "");
    row("　", P::Nothing, ""); // an ideographic space only
}

void TestConsoleCommand::matching() {
    QFETCH(QString, raw);
    QFETCH(ConsoleProcedure, procedure);
    QFETCH(QString, argument);
    QFETCH(QString, workname);
    QFETCH(QString, cmdMode);
    const ConsoleCommand command = matchConsoleCommand(raw);
    QCOMPARE(command.procedure, procedure);
    QCOMPARE(command.argument, argument);
    if (procedure == ConsoleProcedure::DeviceCont) {
        QCOMPARE(command.workname, workname);
        QCOMPARE(command.CMDmode, cmdMode);
    }
}

void TestConsoleCommand::readerLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<L>("lines");
    QTest::addColumn<Encoding>("encoding");
    const Encoding cp932 = Encoding::Cp932, utf8 = Encoding::Utf8;
    QTest::newRow("empty file") << QByteArray() << L{} << cp932;
    QTest::newRow("last line without end") << QByteArray("A") << L{"A"} << cp932;
    QTest::newRow("CR LF, last without end") << QByteArray("A\r\nB") << L{"A", "B"} << cp932;
    QTest::newRow("LF") << QByteArray("A\nB\n") << L{"A", "B"} << cp932;
    QTest::newRow("mixed") << QByteArray("A\nB\r\nC\rD") << L{"A", "B", "C", "D"} << cp932;
    QTest::newRow("blank lines") << QByteArray("\r\n\n\r") << L{"", "", ""} << cp932;
    QTest::newRow("CR then CR LF") << QByteArray("A\r\r\nB") << L{"A", "", "B"} << cp932;
    QTest::newRow("LF CR") << QByteArray("A\n\rB") << L{"A", "", "B"} << cp932;
    QTest::newRow("NUL kept as a byte")
        << QByteArray("A\0B\r\n", 5) << L{QByteArray("A\0B", 3)} << cp932;
    // The CR is the last byte of the first chunk, its LF the first byte of the next.
    const QByteArray first(CommandFileReader::kChunkBytes - 1, 'x');
    QTest::newRow("CR LF across chunks") << first + "\r\nB\r\n" << L{first, "B"} << cp932;
    QTest::newRow("CR ends a chunk, LF the next line")
        << first + "\r\n\nB" << L{first, "", "B"} << cp932;
    QTest::newRow("UTF-8 mark") << QByteArray("\xEF\xBB\xBF"
                                              "A\r\nB")
                                << L{"A", "B"} << utf8;
    QTest::newRow("UTF-8 mark alone") << QByteArray("\xEF\xBB\xBF") << L{} << utf8;
    QTest::newRow("the mark later is text")
        << QByteArray("A\r\n\xEF\xBB\xBF") << L{"A", "\xEF\xBB\xBF"} << cp932;
    QByteArray many;
    L manyLines;
    for (int i = 0; i < 1000000; ++i) {
        many += i % 3 == 0 ? "C\n" : i % 3 == 1 ? "\r" : "\r\n";
        manyLines << (i % 3 == 0 ? QByteArrayLiteral("C") : QByteArray());
    }
    QTest::newRow("a million lines, LF, CR and CR LF mixed") << many << manyLines << cp932;
}

void TestConsoleCommand::readerLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(L, lines);
    QFETCH(Encoding, encoding);
    Encoding found = Encoding(-1);
    QCOMPARE(readAll(bytes, CommandFileReader::kMaxLineBytes, nullptr, &found), lines);
    QCOMPARE(found, encoding);
}

void TestConsoleCommand::readerLongLineIsCutAndTheNextLineSurvives() {
    const qsizetype limit = 3 * CommandFileReader::kChunkBytes;
    const QByteArray huge(5 * CommandFileReader::kChunkBytes + 7, 'L');
    QList<bool> truncated;
    QCOMPARE(readAll("C1\r\n" + huge + "\r\nX\r", limit, &truncated),
             (L{"C1", QByteArray(limit, 'L'), "X"}));
    QCOMPARE(truncated, (QList<bool>{false, true, false}));
}

void TestConsoleCommand::readerHandsBackALongLineInBoundedSteps() {
    // A file without any line end: each call reads a bounded amount and says so.
    const qsizetype step = CommandFileReader::kChunksPerCall * CommandFileReader::kChunkBytes;
    QByteArray bytes(2 * step + 10, 'x');
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    CommandFileReader reader(&device, 8);
    QByteArray line;
    QCOMPARE(reader.next(line), CommandFileReader::Status::Pending);
    QCOMPARE(reader.next(line), CommandFileReader::Status::Pending);
    QCOMPARE(reader.next(line), CommandFileReader::Status::Line);
    QCOMPARE(line, QByteArray(8, 'x'));
    QVERIFY(reader.truncated());
    QCOMPARE(reader.next(line), CommandFileReader::Status::End);
}

void TestConsoleCommand::readerClosedDeviceIsAnError() {
    QBuffer device;
    device.setData("A\r\nB\r\n");
    device.open(QIODevice::ReadOnly);
    CommandFileReader reader(&device, 16);
    QByteArray line;
    QCOMPARE(reader.next(line), CommandFileReader::Status::Line);
    device.close();
    // The first chunk is already read; the next fill meets the closed device.
    QCOMPARE(reader.next(line), CommandFileReader::Status::Line);
    QCOMPARE(reader.next(line), CommandFileReader::Status::Error);
}

void TestConsoleCommand::lineText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Encoding>("encoding");
    QTest::addColumn<QString>("text");
    const Encoding cp932 = Encoding::Cp932, utf8 = Encoding::Utf8;
    QTest::newRow("CP932 kanji path")
        << QByteArray("LHc:\\\x83\x65\x83\x58\x83\x67.hex") << cp932 << "LHc:\\テスト.hex";
    QTest::newRow("control bytes kept") << QByteArray("B\0\t\x1a\x1b\x1c\x7f\n", 8) << cp932
                                        << QStringLiteral("B\0\t\x1a\x1b\x1c\x7f\n");
    QTest::newRow("lead byte without trail") << QByteArray("LHa\x83") << cp932 << "LHa\uFFFD";
    QTest::newRow("UTF-8 path") << QByteArray(
                                       "LHc:\\\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88.hex\t\x1a")
                                << utf8 << "LHc:\\テスト.hex\t\x1a";
    QTest::newRow("UTF-8, a mark starting the line is a character")
        << QByteArray("\xEF\xBB\xBF"
                      "C")
        << utf8 << QStringLiteral("\uFEFFC");
    QTest::newRow("UTF-8 cut at the end") << QByteArray("LHa\xE3\x83") << utf8 << "LHa\uFFFD\uFFFD";
}

void TestConsoleCommand::lineText() {
    QFETCH(QByteArray, bytes);
    QFETCH(Encoding, encoding);
    QFETCH(QString, text);
    QCOMPARE(commandLineText(bytes, encoding), text);
}

QTEST_GUILESS_MAIN(TestConsoleCommand)
#include "tst_console_command.moc"
