// The typed command language as a pure table (what the window shows of it is checked in
// tst_console_run), and the reading of command-response files into lines and text.

#include "console/commandfilereader.h"
#include "console/consolecommand.h"

#include <QBuffer>
#include <QTest>

using namespace corvane;

Q_DECLARE_METATYPE(corvane::ConsoleProcedure)

namespace {

using L = QList<QByteArray>;

L readAll(const QByteArray &bytes, qsizetype maxLineBytes, QList<bool> *truncated = nullptr) {
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
    QTest::newRow("empty file") << QByteArray() << L{};
    QTest::newRow("last line without end") << QByteArray("A") << L{"A"};
    QTest::newRow("CR LF, last without end") << QByteArray("A\r\nB") << L{"A", "B"};
    QTest::newRow("LF alone does not end a line") << QByteArray("A\nB\r\n") << L{"A\nB"};
    QTest::newRow("LF only file is one line") << QByteArray("A\nB\n") << L{"A\nB\n"};
    QTest::newRow("blank lines") << QByteArray("\r\n\r\n") << L{"", ""};
    QTest::newRow("CR then CR LF") << QByteArray("A\r\r\nB") << L{"A", "", "B"};
    QTest::newRow("LF CR") << QByteArray("A\n\rB") << L{"A\n", "B"};
    QTest::newRow("NUL kept as a byte") << QByteArray("A\0B\r\n", 5) << L{QByteArray("A\0B", 3)};
    // The CR is the last byte of the first chunk, its LF the first byte of the next.
    const QByteArray first(CommandFileReader::kChunkBytes - 1, 'x');
    QTest::newRow("CR LF across chunks") << first + "\r\nB\r\n" << L{first, "B"};
    QByteArray many;
    L manyLines;
    for (int i = 0; i < 1000000; ++i) {
        many += i % 3 == 0 ? "C\r\n" : "\r";
        manyLines << (i % 3 == 0 ? QByteArrayLiteral("C") : QByteArray());
    }
    QTest::newRow("a million lines, CR LF and CR mixed") << many << manyLines;
}

void TestConsoleCommand::readerLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(L, lines);
    QCOMPARE(readAll(bytes, CommandFileReader::kMaxLineBytes), lines);
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
    QTest::addColumn<QString>("text");
    QTest::newRow("CP932 kanji path")
        << QByteArray("LHc:\\\x83\x65\x83\x58\x83\x67.hex") << "LHc:\\テスト.hex";
    QTest::newRow("NUL") << QByteArray("B\0L", 3) << "B\uFFFDL";
    QTest::newRow("lone LF") << QByteArray("B0\nR0") << "B0\uFFFDR0";
    QTest::newRow("ESC and DEL") << QByteArray("B\x1b\x7f") << "B\uFFFD\uFFFD";
    QTest::newRow("tab kept") << QByteArray("B0,FF\t' x") << "B0,FF\t' x";
    QTest::newRow("lead byte without trail") << QByteArray("LHa\x83") << "LHa\uFFFD";
}

void TestConsoleCommand::lineText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(commandLineText(bytes), text);
}

QTEST_GUILESS_MAIN(TestConsoleCommand)
#include "tst_console_command.moc"
