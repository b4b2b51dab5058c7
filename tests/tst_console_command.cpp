// The typed command language as a pure table, and the reading of command-response files into lines.

#include "console/commandfilereader.h"
#include "console/consolecommand.h"

#include <QBuffer>
#include <QTest>

using namespace corvane;

Q_DECLARE_METATYPE(corvane::ConsoleProcedure)

class TestConsoleCommand : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matching_data();
    void matching();
    void deviceAccessTitles_data();
    void deviceAccessTitles();
    void readerLines_data();
    void readerLines();
    void readerCrLfAcrossChunks();
    void readerLongLineIsCutAndTheNextLineSurvives();
    void readerHandsBackALongLineInBoundedSteps();
    void readerManyLines();
    void readerClosedDeviceIsAnError();
    void lineText_data();
    void lineText();
};

void TestConsoleCommand::matching_data() {
    QTest::addColumn<QString>("raw");
    QTest::addColumn<ConsoleProcedure>("procedure");
    QTest::addColumn<QString>("argument");

    using P = ConsoleProcedure;
    // File commands: the argument is the raw line without its first two characters.
    QTest::newRow("path right behind the word, case kept")
        << "lhc:\\data\\rom.hex" << P::LHsub << "c:\\data\\rom.hex";
    QTest::newRow("space behind the word becomes part of the path")
        << "LH c:\\data\\rom.hex" << P::LHsub << " c:\\data\\rom.hex";
    QTest::newRow("space in front of the word shifts the cut")
        << " LHc:\\a.hex" << P::LHsub << "Hc:\\a.hex";
    QTest::newRow("comment after a path stays in the path")
        << "LSd:\\my dir\\a.s ' old" << P::LSsub << "d:\\my dir\\a.s ' old";
    QTest::newRow("comment after a field is left to the operation")
        << "LBa.bin,100 ' at 100" << P::LBsub << "a.bin,100 ' at 100";
    QTest::newRow("save hex") << "shout.hex,0,7FFF" << P::SHsub << "out.hex,0,7FFF";
    QTest::newRow("save s") << "SSout.s" << P::SSsub << "out.s";
    QTest::newRow("save binary") << "Sbout.bin,0,FF" << P::SBsub << "out.bin,0,FF";
    QTest::newRow("full-width file word") << "ＬＨc:\\x.hex" << P::LHsub << "c:\\x.hex";

    // Buffer settings before the single letter B.
    QTest::newRow("BS with address") << "bs 1000" << P::BSsub << "1000";
    QTest::newRow("BS alone reads back") << "BS" << P::BSsub << "";
    QTest::newRow("BT selects the buffer type") << "bt l" << P::TWsub << "L";
    QTest::newRow("BT with a wrong letter") << "BTX" << P::TWsub << "X";

    // Single letters take everything after the letter, cleaned.
    QTest::newRow("BL is B with L") << "BL" << P::DeviceCont << "L";
    QTest::newRow("full-width BL") << "ＢＬ" << P::DeviceCont << "L";
    QTest::newRow("blank check with comment") << "b0,7FFF ' check" << P::DeviceCont << "0,7FFF";
    QTest::newRow("RD is R with D") << "RD0,1FFFF,A" << P::DeviceCont << "D0,1FFFF,A";
    QTest::newRow("TS is T with S") << "TS2F" << P::TSsub << "S2F";
    QTest::newRow("device select") << "t 2f , name" << P::TSsub << "2F,NAME";
    QTest::newRow("C ignores the rest") << "C123" << P::PbCL_Click << "";
    QTest::newRow("dump") << "d0, ff" << P::BDsub << "0,FF";

    QTest::newRow("unknown word") << "X" << P::Unsupported << "";
    QTest::newRow("letter not in the table") << "A0" << P::Unsupported << "";
    QTest::newRow("full-width digits") << "１２" << P::Unsupported << "";
    QTest::newRow("spaces only") << "   " << P::Nothing << "";
    QTest::newRow("comment only") << "' LH c:\\x.hex" << P::Nothing << "";
    QTest::newRow("indented comment") << "   ' note" << P::Nothing << "";
    QTest::newRow("ideographic space only") << "　" << P::Nothing << "";
}

void TestConsoleCommand::matching() {
    QFETCH(QString, raw);
    QFETCH(ConsoleProcedure, procedure);
    QFETCH(QString, argument);
    const ConsoleCommand command = matchConsoleCommand(raw);
    QCOMPARE(command.procedure, procedure);
    QCOMPARE(command.argument, argument);
}

void TestConsoleCommand::deviceAccessTitles_data() {
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("workname");
    QTest::addColumn<QString>("cmdMode");
    QTest::newRow("B") << "b"
                       << "* Blank check "
                       << "BL";
    QTest::newRow("R") << "r"
                       << "* Read device"
                       << "RD";
    QTest::newRow("V") << "v"
                       << "* Verify device"
                       << "CP";
    QTest::newRow("W") << "w"
                       << "* Write device"
                       << "WT";
    QTest::newRow("P") << "p"
                       << "* Program device"
                       << "PG";
    QTest::newRow("E") << "e"
                       << "* Erase device "
                       << "ER";
}

void TestConsoleCommand::deviceAccessTitles() {
    QFETCH(QString, raw);
    QFETCH(QString, workname);
    QFETCH(QString, cmdMode);
    const ConsoleCommand command = matchConsoleCommand(raw + QStringLiteral("0,FF,O"));
    QCOMPARE(command.procedure, ConsoleProcedure::DeviceCont);
    QCOMPARE(command.workname, workname);
    QCOMPARE(command.CMDmode, cmdMode);
    QCOMPARE(command.argument, QStringLiteral("0,FF,O"));
}

namespace {

QList<QByteArray> readAll(const QByteArray &bytes, qsizetype maxLineBytes,
                          QList<bool> *truncated = nullptr) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    CommandFileReader reader(&device, maxLineBytes);
    QList<QByteArray> lines;
    QByteArray line;
    for (;;) {
        const CommandFileReader::Status status = reader.next(line);
        if (status == CommandFileReader::Status::Pending)
            continue;
        if (status != CommandFileReader::Status::Line)
            return lines;
        lines.append(line);
        if (truncated)
            truncated->append(reader.truncated());
    }
}

} // namespace

void TestConsoleCommand::readerLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("lines");
    using L = QList<QByteArray>;
    QTest::newRow("empty file") << QByteArray() << L{};
    QTest::newRow("last line without end") << QByteArray("A") << L{"A"};
    QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << L{"A", "B"};
    QTest::newRow("CR LF, last without end") << QByteArray("A\r\nB") << L{"A", "B"};
    QTest::newRow("CR only") << QByteArray("A\rB\r") << L{"A", "B"};
    QTest::newRow("LF alone does not end a line") << QByteArray("A\nB\r\n") << L{"A\nB"};
    QTest::newRow("LF only file is one line") << QByteArray("A\nB\n") << L{"A\nB\n"};
    QTest::newRow("blank lines") << QByteArray("\r\n\r\n") << L{"", ""};
    QTest::newRow("CR then CR LF") << QByteArray("A\r\r\nB") << L{"A", "", "B"};
    QTest::newRow("LF CR") << QByteArray("A\n\rB") << L{"A\n", "B"};
    QTest::newRow("NUL kept as a byte") << QByteArray("A\0B\r\n", 5) << L{QByteArray("A\0B", 3)};
}

void TestConsoleCommand::readerLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, lines);
    QCOMPARE(readAll(bytes, CommandFileReader::kMaxLineBytes), lines);
}

void TestConsoleCommand::readerCrLfAcrossChunks() {
    // The CR is the last byte of the first chunk, its LF the first byte of the next.
    const QByteArray first(CommandFileReader::kChunkBytes - 1, 'x');
    const QList<QByteArray> lines = readAll(first + "\r\nB\r\n", CommandFileReader::kMaxLineBytes);
    QCOMPARE(lines, (QList<QByteArray>{first, "B"}));
}

void TestConsoleCommand::readerLongLineIsCutAndTheNextLineSurvives() {
    const QByteArray huge(5 * CommandFileReader::kChunkBytes + 7, 'L');
    QList<bool> truncated;
    const QList<QByteArray> lines =
        readAll("C1\r\n" + huge + "\r\nX\r", 3 * CommandFileReader::kChunkBytes, &truncated);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QByteArray("C1"));
    QCOMPARE(lines[1], QByteArray(3 * CommandFileReader::kChunkBytes, 'L'));
    QCOMPARE(lines[2], QByteArray("X"));
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

void TestConsoleCommand::readerManyLines() {
    QByteArray bytes;
    for (int i = 0; i < 1000000; ++i)
        bytes += (i % 3 == 0) ? "C\r\n" : "\r";
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    CommandFileReader reader(&device);
    QByteArray line;
    int count = 0;
    int commands = 0;
    while (reader.next(line) == CommandFileReader::Status::Line) {
        ++count;
        commands += line == "C";
    }
    QCOMPARE(count, 1000000);
    QCOMPARE(commands, 333334);
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
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII command") << QByteArray("B0,7FFF ' x") << "B0,7FFF ' x";
    QTest::newRow("CP932 kanji path")
        << QByteArray("LHc:\\\x83\x65\x83\x58\x83\x67.hex") << "LHc:\\テスト.hex";
    QTest::newRow("half-width katakana") << QByteArray("'\xba\xcf\xdd\xc4\xde") << "'ｺﾏﾝﾄﾞ";
    QTest::newRow("full-width letters") << QByteArray("\x82\x61\x82\x6b") << "ＢＬ";
    QTest::newRow("NUL") << QByteArray("B\0L", 3) << "B\uFFFDL";
    QTest::newRow("lone LF") << QByteArray("B0\nR0") << "B0\uFFFDR0";
    QTest::newRow("ESC and DEL") << QByteArray("B\x1b\x7f") << "B\uFFFD\uFFFD";
    QTest::newRow("tab kept") << QByteArray("B0,FF\t' x") << "B0,FF\t' x";
    QTest::newRow("bytes that are no CP932") << QByteArray("B\xff\xfd") << "B\uFFFD\uFFFD";
    QTest::newRow("lead byte without trail") << QByteArray("LHa\x83") << "LHa\uFFFD";
}

void TestConsoleCommand::lineText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(commandLineText(bytes), text);
}

QTEST_GUILESS_MAIN(TestConsoleCommand)
#include "tst_console_command.moc"
