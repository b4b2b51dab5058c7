// The emulated unit's command lines: queries, device selection, buffer settings, the lamp, the line
// rules (framing, cancel while idle, stale and overlong lines), host pausing and the fault modes.
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QTest>

#include <set>

using namespace corvane;

namespace {

// "インテルる" in CP932.
const std::string kIntelText = "\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9";

std::string ask(SimulatedLine &line, const std::string &command) {
    line.sendLine(command);
    line.settle();
    return line.take();
}

QByteArray bytes(const std::string &text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

class TestUnitCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void powerOnState();
    void catalogShape();
    void replies_data();
    void replies();
    void queriesWithoutDevice();
    void select_data();
    void select();
    void selectKeepsDeviceOnRejection();
    void bufferSettingsReadBack();
    void cancelWhileIdleIsIgnored();
    void linesAreFramedByCrLf();
    void staleHalfLineIsDropped();
    void overlongLineIsRefused();
    void hostReadyPausesOutput();
    void faultSilent();
    void faultCutReply();
    void faultSlowPieces();
    void faultNoise();
    void faultVanish();
};

void TestUnitCommands::powerOnState() {
    Unit unit;
    QVERIFY(unit.selectedDevice());
    QCOMPARE(unit.selectedDevice()->code, std::string("03"));
    QCOMPARE(unit.bufferStart(), 0u);
    QCOMPARE(unit.bufferType(), 0);
    QCOMPARE(unit.buffer().size(), std::size_t(0x100000));
    QVERIFY(
        std::all_of(unit.buffer().begin(), unit.buffer().end(), [](auto b) { return b == 0xFF; }));
    QVERIFY(std::all_of(unit.deviceMemory().begin(), unit.deviceMemory().end(),
                        [](auto b) { return b == 0xFF; }));
    QVERIFY(!unit.busy());
    QVERIFY(!unit.hasOutput());
    QVERIFY(unit.clearToSend(0));
}

void TestUnitCommands::catalogShape() {
    Unit unit;
    const auto &catalog = unit.catalog();
    QVERIFY(catalog.size() >= 8);
    std::set<std::string> codes;
    bool wordEprom = false;
    bool wordElectric = false;
    std::set<std::string> kinds;
    for (const DeviceType &type : catalog) {
        QVERIFY2(codes.insert(type.code).second, type.code.c_str());
        QCOMPARE(type.code.size(), std::size_t(2));
        QVERIFY(type.text1.find(',') == std::string::npos);
        QVERIFY(type.text2.find(',') == std::string::npos);
        kinds.insert(type.kind);
        wordEprom |= type.wordWide && type.kind == "00";
        wordElectric |= type.wordWide && type.kind != "00";
        QVERIFY(type.endAddress <= 0xFFFFF);
        QVERIFY(std::size_t(type.endAddress + 1) * (type.wordWide ? 2 : 1) <=
                unit.deviceMemory().size());
    }
    QCOMPARE(kinds, (std::set<std::string>{"00", "10", "20"}));
    QVERIFY(wordEprom);
    QVERIFY(wordElectric);

    const auto find = [&](const std::string &code) {
        return *std::find_if(catalog.begin(), catalog.end(),
                             [&](const DeviceType &t) { return t.code == code; });
    };
    QCOMPARE(find("03").kind, std::string("00"));
    QCOMPARE(find("03").wordWide, false);
    QCOMPARE(find("03").endAddress, 0x7FFFu);
    QCOMPARE(find("2F").text1, kIntelText);
    QCOMPARE(find("2F").text2, std::string("am27r010gg"));
    QCOMPARE(find("2F").kind, std::string("00"));
    QCOMPARE(find("2F").wordWide, false);
    QCOMPARE(find("2F").endAddress, 0x1FFFFu);
}

void TestUnitCommands::replies_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("ON") << QByteArray("ON") << QByteArray("00\r\n");
    QTest::newRow("US0 of 03") << QByteArray("US0")
                               << QByteArray("00:03,TESSOLIN,TS27E256,00,0\r\n");
    QTest::newRow("US1 of 03") << QByteArray("US1") << QByteArray("00:07FFF\r\n");
    QTest::newRow("US2 at power-on") << QByteArray("US2") << QByteArray("00:00000,0\r\n");
    QTest::newRow("US3") << QByteArray("US3") << QByteArray("22\r\n");
    QTest::newRow("unknown word") << QByteArray("XY12") << QByteArray("22\r\n");
    QTest::newRow("lower case word") << QByteArray("on") << QByteArray("22\r\n");
    QTest::newRow("empty line") << QByteArray("") << QByteArray("22\r\n");
    QTest::newRow("one letter") << QByteArray("O") << QByteArray("22\r\n");
    QTest::newRow("ON with a field") << QByteArray("ON1") << QByteArray("20\r\n");
    QTest::newRow("ES") << QByteArray("ES") << QByteArray("00\r\n");
    QTest::newRow("EE") << QByteArray("EE") << QByteArray("00\r\n");
    QTest::newRow("CL") << QByteArray("CL") << QByteArray("00\r\n");
    QTest::newRow("TW0") << QByteArray("TW0") << QByteArray("00\r\n");
    QTest::newRow("TW1") << QByteArray("TW1") << QByteArray("00\r\n");
    QTest::newRow("TW2") << QByteArray("TW2") << QByteArray("20\r\n");
    QTest::newRow("TW alone") << QByteArray("TW") << QByteArray("20\r\n");
    QTest::newRow("TW01") << QByteArray("TW01") << QByteArray("20\r\n");
    QTest::newRow("BS0") << QByteArray("BS0") << QByteArray("00\r\n");
    QTest::newRow("BSFFFFF") << QByteArray("BSFFFFF") << QByteArray("00\r\n");
    QTest::newRow("BS six digits") << QByteArray("BS100000") << QByteArray("20\r\n");
    QTest::newRow("BS alone") << QByteArray("BS") << QByteArray("20\r\n");
    QTest::newRow("BS not hex") << QByteArray("BS12G") << QByteArray("20\r\n");
}

void TestUnitCommands::replies() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    QCOMPARE(bytes(ask(line, command.toStdString())), reply);
    QVERIFY(!unit.busy());
}

void TestUnitCommands::queriesWithoutDevice() {
    Unit unit({0.0, 0});
    unit.selectDevice("");
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "US0"), std::string("00:-\r\n"));
    QCOMPARE(ask(line, "US1"), std::string("00:-----\r\n"));
    QCOMPARE(ask(line, "US2"), std::string("00:00000,0\r\n"));
    QCOMPARE(ask(line, "RD00000,07FFF,0"), std::string("14\r\n"));
}

void TestUnitCommands::select_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("selected");
    const QByteArray intel = bytes("TS2F," + kIntelText + ",am27r010gg");
    QTest::newRow("2F with its texts") << intel << QByteArray("00\r\n") << QByteArray("2F");
    QTest::newRow("texts are ignored")
        << QByteArray("TS2F,X,Y") << QByteArray("00\r\n") << QByteArray("2F");
    QTest::newRow("dashes") << QByteArray("TS04,-,-") << QByteArray("00\r\n") << QByteArray("04");
    QTest::newRow("code alone") << QByteArray("TS04") << QByteArray("00\r\n") << QByteArray("04");
    QTest::newRow("lower-case code")
        << QByteArray("TS2f") << QByteArray("00\r\n") << QByteArray("2F");
    QTest::newRow("unknown code") << QByteArray("TS99,-,-") << QByteArray("21\r\n")
                                  << QByteArray("03");
    QTest::newRow("empty code") << QByteArray("TS") << QByteArray("20\r\n") << QByteArray("03");
    QTest::newRow("one digit") << QByteArray("TS3") << QByteArray("20\r\n") << QByteArray("03");
    QTest::newRow("not hex") << QByteArray("TSZZ") << QByteArray("20\r\n") << QByteArray("03");
    QTest::newRow("three digits") << QByteArray("TS030") << QByteArray("20\r\n")
                                  << QByteArray("03");
    QTest::newRow("four fields") << QByteArray("TS04,a,b,c") << QByteArray("20\r\n")
                                 << QByteArray("03");
}

void TestUnitCommands::select() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, selected);
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    QCOMPARE(bytes(ask(line, command.toStdString())), reply);
    QVERIFY(unit.selectedDevice());
    QCOMPARE(QByteArray::fromStdString(unit.selectedDevice()->code), selected);
}

void TestUnitCommands::selectKeepsDeviceOnRejection() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS2F"), std::string("00\r\n"));
    QCOMPARE(ask(line, "US0"), "00:2F," + kIntelText + ",am27r010gg,00,0\r\n");
    QCOMPARE(ask(line, "US1"), std::string("00:1FFFF\r\n"));
    QCOMPARE(ask(line, "TS77"), std::string("21\r\n"));
    QCOMPARE(ask(line, "US1"), std::string("00:1FFFF\r\n"));

    // Without a device a rejected code leaves none.
    unit.selectDevice("");
    QCOMPARE(ask(line, "TS77"), std::string("21\r\n"));
    QCOMPARE(ask(line, "US0"), std::string("00:-\r\n"));
}

void TestUnitCommands::bufferSettingsReadBack() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "BS1000"), std::string("00\r\n"));
    QCOMPARE(ask(line, "US2"), std::string("00:01000,0\r\n"));
    QCOMPARE(ask(line, "TW1"), std::string("00\r\n"));
    QCOMPARE(ask(line, "US2"), std::string("00:01000,1\r\n"));
    QCOMPARE(ask(line, "BSab"), std::string("00\r\n"));
    QCOMPARE(ask(line, "TW2"), std::string("20\r\n"));
    QCOMPARE(ask(line, "US2"), std::string("00:000AB,1\r\n"));
    QCOMPARE(unit.bufferStart(), 0xABu);
    QCOMPARE(unit.bufferType(), 1);
}

void TestUnitCommands::cancelWhileIdleIsIgnored() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    line.send("\x1B\r\n");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string());
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitCommands::linesAreFramedByCrLf() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit, 260); // 38400 bit/s
    // Nothing happens before the LF of CR LF; a lone CR or LF does not end a line.
    line.send("ON\r");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string());
    line.send("\n");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string("00\r\n"));
    line.send("O\nN\r\n");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string("22\r\n"));
    QCOMPARE(unit.receivedLines().back(), std::string("O\nN"));
    QCOMPARE(unit.receivedLines().front(), std::string("ON"));
}

void TestUnitCommands::staleHalfLineIsDropped() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    line.send("XX");
    line.wait(2'500'000);
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
    // A pause shorter than that keeps the line together.
    line.send("O");
    line.wait(1'000'000);
    QCOMPARE(ask(line, "N"), std::string("00\r\n"));
}

void TestUnitCommands::overlongLineIsRefused() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    QCOMPARE(ask(line, std::string(5000, 'A')), std::string("22\r\n"));
    QCOMPARE(ask(line, "TS" + std::string(5000, '0')), std::string("20\r\n"));
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
    QVERIFY(unit.receivedLines()[0].size() <= 5000);
}

void TestUnitCommands::hostReadyPausesOutput() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setHostReady(false);
    line.sendLine("US1");
    QVERIFY(!line.settle(2'000'000));
    QCOMPARE(line.take(), std::string());
    QVERIFY(unit.hasOutput());
    unit.setHostReady(true);
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string("00:07FFF\r\n"));
    QVERIFY(!unit.hasOutput());
}

void TestUnitCommands::faultSilent() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setFault(Fault::Silent);
    QCOMPARE(unit.fault(), Fault::Silent);
    QCOMPARE(ask(line, "TS2F"), std::string());
    QCOMPARE(ask(line, "BD0,F"), std::string());
    // It still listened.
    QCOMPARE(unit.selectedDevice()->code, std::string("2F"));
    unit.setFault(Fault::None);
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitCommands::faultCutReply() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setFault(Fault::CutReply);
    QCOMPARE(ask(line, "US1"), std::string("00:07FFF"));
    QCOMPARE(ask(line, "BD0,1"), std::string("00:FF,FF"));
}

void TestUnitCommands::faultSlowPieces() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setFault(Fault::SlowPieces);
    line.sendLine("US1"); // "00:07FFF\r\n": three pieces of 3, 3 and 4 bytes
    QCOMPARE(line.take(), std::string("00:"));
    QVERIFY(unit.busy());
    line.wait(399'000);
    QCOMPARE(line.take(), std::string());
    line.wait(1'000);
    QCOMPARE(line.take(), std::string("07F"));
    line.wait(399'000);
    QCOMPARE(line.take(), std::string());
    line.wait(1'000);
    QCOMPARE(line.take(), std::string("FF\r\n"));
    QVERIFY(!unit.busy());
}

void TestUnitCommands::faultNoise() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setFault(Fault::Noise);
    line.sendLine("ON");
    line.wait(1'000);
    std::string noise = line.take();
    line.wait(1'000);
    noise += line.take();
    QVERIFY(noise.size() > 100'000);
    QVERIFY(noise.find('\r') == std::string::npos);
    QVERIFY(noise.find('\n') == std::string::npos);
    QVERIFY(unit.hasOutput());
    unit.setFault(Fault::None);
    line.wait(1'000);
    (void)line.take();
    QVERIFY(!unit.hasOutput());
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitCommands::faultVanish() {
    Unit unit({0.0, 0});
    SimulatedLine line(unit);
    unit.setFault(Fault::Vanish);
    QVERIFY(!unit.clearToSend(line.now()));
    QCOMPARE(ask(line, "ON"), std::string());
    QVERIFY(unit.receivedLines().empty());
    QVERIFY(!unit.busy());
    unit.setFault(Fault::None);
    QVERIFY(unit.clearToSend(line.now()));
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

QTEST_GUILESS_MAIN(TestUnitCommands)
#include "tst_unit_commands.moc"
