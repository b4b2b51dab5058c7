// The emulated unit's command lines: queries, device selection, buffer settings, the line rules
// (framing, cancel while idle, stale and overlong lines), host pausing and the fault modes.
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QTest>

#include <set>

using namespace corvane;

namespace {

// "インテルる" in CP932.
const QByteArray kIntelText("\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9");

QByteArray bytes(const std::string &text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

QByteArray ask(SimulatedLine &line, const QByteArray &command) {
    line.sendLine(command.toStdString());
    line.settle();
    return bytes(line.take());
}

// transcript: "command>reply command>reply ...", each reply without its CR LF (empty: no reply at
// all); `start`: the device selected before ("" none); `selected`: the device expected after.
void row(const char *name, const QByteArray &transcript, const QByteArray &selected = "03",
         const QByteArray &start = "03", Fault fault = Fault::None) {
    QTest::newRow(name) << transcript << selected << start << int(fault);
}

} // namespace

class TestUnitCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void powerOnState();
    void dialogue_data();
    void dialogue();
    void linesAreFramedByCrLf();
    void hostReadyPausesOutput_data();
    void hostReadyPausesOutput();
    void faultsInTime();
};

void TestUnitCommands::powerOnState() {
    Unit unit;
    QCOMPARE(unit.buffer().size(), std::size_t(0x100000));
    const auto erased = [](const std::vector<std::uint8_t> &memory) {
        return std::all_of(memory.begin(), memory.end(), [](auto b) { return b == 0xFF; });
    };
    QVERIFY(erased(unit.buffer()));
    QVERIFY(erased(unit.deviceMemory()));
    QVERIFY(!unit.busy());
    QVERIFY(!unit.hasOutput());
    QVERIFY(unit.clearToSend(0));

    // The catalog: unique two-character codes, texts that cannot break a reply's fields, end
    // addresses that fit the device memory.
    std::set<std::string> codes;
    for (const DeviceType &type : unit.catalog()) {
        QVERIFY2(codes.insert(type.code).second, type.code.c_str());
        QCOMPARE(type.code.size(), std::size_t(2));
        QVERIFY(type.text1.find(',') == std::string::npos);
        QVERIFY(type.text2.find(',') == std::string::npos);
        QVERIFY(type.endAddress <= 0xFFFFF);
        QVERIFY(std::size_t(type.endAddress + 1) * (type.wordWide ? 2 : 1) <=
                unit.deviceMemory().size());
    }
}

void TestUnitCommands::dialogue_data() {
    QTest::addColumn<QByteArray>("transcript");
    QTest::addColumn<QByteArray>("selected");
    QTest::addColumn<QByteArray>("start");
    QTest::addColumn<int>("fault");
    row("ON", "ON>00");
    row("US at power-on", "US0>00:03,TESSOLIN,TS27E256,00,0 US1>00:07FFF US2>00:00000,0");
    row("unknown words", "US3>22 XY12>22 on>22 >22 O>22 " + QByteArray(5000, 'A') + ">22");
    row("malformed fields", "ON1>20 TW>20 TW2>20 TW01>20 BS100000>20 BS>20 BS12G>20");
    row("BD refusals", "BD10,F>20 BD0,100000>20 BD0>20 BD>20 BD0,1,2>20 BD0,1FFFG>20 BD,F>20");
    row("buffer settings read back",
        "BS1000>00 US2>00:01000,0 TW1>00 US2>00:01000,1 BSab>00 "
        "TW2>20 US2>00:000AB,1 BSFFFFF>00 TW0>00 US2>00:FFFFF,0 BS0>00 US2>00:00000,0");
    row("cancel while idle", "\x1B>");
    row("TS 2F with its texts",
        "TS2F," + kIntelText + ",am27r010gg>00 US0>00:2F," + kIntelText +
            ",am27r010gg,00,0 US1>00:1FFFF",
        "2F");
    row("TS texts ignored, code alone, lower case",
        "TS2F,X,Y>00 US1>00:1FFFF TS04,-,->00 US1>00:0FFFF TS2f>00 US1>00:1FFFF TS04>00", "04");
    row("TS refusals", "TS99,-,->21 TS>20 TS3>20 TSZZ>20 TS030>20 TS04,a,b,c>20 TS" +
                           QByteArray(5000, '0') + ">20");
    row("TS refusal keeps 2F", "TS2F>00 TS77>21 US1>00:1FFFF", "2F");
    row("TS refusal keeps none", "TS77>21 US0>00:-", "", "");
    row("no device", "US0>00:- US1>00:----- US2>00:00000,0 RD00000,07FFF,0>14", "", "");
    // Silent listens but answers nothing; Vanish does not even listen.
    row("fault Silent", "TS2F> BD0,F>", "2F", "03", Fault::Silent);
    row("fault CutReply", "US1>00:07FFF BD0,1>00:FF,FF", "03", "03", Fault::CutReply);
    row("fault Vanish", "TS2F>", "03", "03", Fault::Vanish);
}

void TestUnitCommands::dialogue() {
    QFETCH(QByteArray, transcript);
    QFETCH(QByteArray, selected);
    QFETCH(QByteArray, start);
    QFETCH(int, fault);
    Unit unit({0.0, 0});
    unit.selectDevice(start.toStdString());
    unit.setFault(Fault(fault));
    SimulatedLine line(unit);
    QCOMPARE(unit.clearToSend(line.now()), Fault(fault) != Fault::Vanish);
    for (const QByteArray &step : transcript.split(' ')) {
        const qsizetype split = step.indexOf('>');
        QVERIFY(split >= 0);
        const QByteArray command = step.left(split);
        QByteArray reply = step.mid(split + 1);
        if (!reply.isEmpty() && Fault(fault) != Fault::CutReply)
            reply += "\r\n";
        line.sendLine(command.toStdString());
        QVERIFY(line.settle());
        QCOMPARE(command.left(20) + " -> " + bytes(line.take()), command.left(20) + " -> " + reply);
    }
    QVERIFY(!unit.busy());
    const DeviceType *device = unit.selectedDevice();
    QCOMPARE(device ? QByteArray::fromStdString(device->code) : QByteArray(), selected);
    QCOMPARE(unit.receivedLines().empty(), Fault(fault) == Fault::Vanish);
    unit.setFault(Fault::None);
    QVERIFY(unit.clearToSend(line.now()));
    QCOMPARE(ask(line, "ON"), QByteArray("00\r\n"));
}

void TestUnitCommands::linesAreFramedByCrLf() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit, 260); // 38400 bit/s
    line.send("ON\r");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string());
    line.send("\n");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string("00\r\n"));
    line.send("O\nN\r\n"); // a lone LF is part of the line
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string("22\r\n"));
    QCOMPARE(unit.receivedLines().back(), std::string("O\nN"));
    QCOMPARE(unit.receivedLines().front(), std::string("ON"));

    // A half line left for 2 s is dropped; a shorter pause keeps it together.
    line.send("XX");
    line.wait(2'500'000);
    QCOMPARE(ask(line, "ON"), QByteArray("00\r\n"));
    line.send("O");
    line.wait(1'000'000);
    QCOMPARE(ask(line, "N"), QByteArray("00\r\n"));
}

void TestUnitCommands::hostReadyPausesOutput_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<bool>("stream");
    // The buffer holds (a + a / 256) & FF at a: a lost or repeated 256-byte block shows.
    QByteArray raw;
    for (unsigned a = 0; a < 0x1000; ++a)
        raw += char(a + a / 256);
    const QByteArray dump = "00:" + raw.left(0x100).toHex(',').toUpper() + "\r\n";
    QTest::newRow("reply") << QByteArray("US1") << QByteArray("00:07FFF\r\n") << false;
    QTest::newRow("dump") << QByteArray("BD0,FF") << dump << true;
    QTest::newRow("raw save") << QByteArray("SB0,FFF") << raw << true;
}

void TestUnitCommands::hostReadyPausesOutput() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, output);
    QFETCH(bool, stream);
    Unit unit({0.0, 0});
    for (unsigned a = 0; a < 0x1000; ++a)
        unit.buffer()[a] = std::uint8_t(a + a / 256);
    for (char c : command + "\r\n")
        unit.receive(std::uint8_t(c), 10);
    std::uint8_t chunk[100];
    QCOMPARE(unit.transmit(chunk, 5, 20), std::size_t(5));
    QByteArray got(reinterpret_cast<char *>(chunk), 5);
    unit.setHostReady(false);
    for (Micros now : {30, 1'000'000, 2'000'000}) {
        unit.poll(now);
        QCOMPARE(unit.transmit(chunk, sizeof chunk, now), std::size_t(0));
        QVERIFY(unit.hasOutput());
        QCOMPARE(unit.busy(), stream);
    }
    unit.setHostReady(true);
    for (std::size_t n; (n = unit.transmit(chunk, sizeof chunk, 2'000'010)) > 0;)
        got.append(reinterpret_cast<char *>(chunk), qsizetype(n));
    QCOMPARE(got, output);
    QVERIFY(!unit.busy());
    QVERIFY(!unit.hasOutput());
}

void TestUnitCommands::faultsInTime() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setFault(Fault::SlowPieces);
    line.sendLine("US1"); // "00:07FFF\r\n": three pieces of 3, 3 and 4 bytes 0.4 s apart
    QCOMPARE(line.take(), std::string("00:"));
    QVERIFY(unit.busy());
    for (const std::string piece : {"07F", "FF\r\n"}) {
        line.wait(399'000);
        QCOMPARE(line.take(), std::string());
        line.wait(1'000);
        QCOMPARE(line.take(), piece);
    }
    QVERIFY(!unit.busy());

    // Noise: an endless stream without CR LF, until the fault is lifted.
    unit.setFault(Fault::Noise);
    line.sendLine("ON");
    line.wait(1'000);
    std::string noise = line.take();
    line.wait(1'000);
    noise += line.take();
    QVERIFY(noise.size() > 100'000);
    QVERIFY(noise.find_first_of("\r\n") == std::string::npos);
    QVERIFY(unit.hasOutput());
    unit.setFault(Fault::None);
    line.wait(1'000);
    (void)line.take();
    QVERIFY(!unit.hasOutput());
    QCOMPARE(ask(line, "ON"), QByteArray("00\r\n"));
}

QTEST_GUILESS_MAIN(TestUnitCommands)
#include "tst_unit_commands.moc"
