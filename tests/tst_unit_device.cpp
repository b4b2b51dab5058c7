// The emulated unit's work on the device and its buffer: blank check, read, verify, write, program,
// erase, the EPROM rules and the UV lamp, access modes, word lanes, timing and cancel, clear, dump.
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QTest>

#include <cstdio>

using namespace corvane;

namespace {

std::string ask(SimulatedLine &line, const std::string &command) {
    line.sendLine(command);
    line.settle();
    return line.take();
}

std::string sumReply(unsigned sum) {
    char text[16];
    std::snprintf(text, sizeof text, "00:%04X\r\n", sum & 0xFFFF);
    return text;
}

UnitOptions instant() {
    UnitOptions options;
    options.timeScale = 0;
    return options;
}

} // namespace

class TestUnitDevice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void blankCheckAfterErase();
    void programThenVerifyAndRead();
    void verifyReportsFirstDifference();
    void epromOnlyClearsBits();
    void epromErasedByLamp();
    void flashNeedsErase();
    void accessModes_data();
    void accessModes();
    void wordLanes_data();
    void wordLanes();
    void wordDetailsHaveFourDigits();
    void parameters_data();
    void parameters();
    void operationTakesTime();
    void cancelMidOperation();
    void clearBuffer();
    void dump();
    void dumpRefusals_data();
    void dumpRefusals();
    void dumpPausesForHost();
    void dumpCancelled();
};

void TestUnitDevice::blankCheckAfterErase() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS51"), std::string("00\r\n")); // byte EEPROM, end 07FFF
    unit.deviceMemory()[5] = 0x12;
    unit.deviceMemory()[0x7FFF] = 0x00;
    QCOMPARE(ask(line, "BL00000,07FFF"), std::string("10:00005,12\r\n"));
    QCOMPARE(ask(line, "BL00006,07FFF"), std::string("10:07FFF,00\r\n"));
    QCOMPARE(ask(line, "BL00006,07FFE"), std::string("00\r\n"));
    QCOMPARE(ask(line, "ER00000,00005"), std::string("00\r\n"));
    QCOMPARE(ask(line, "BL00000,07FFE"), std::string("00\r\n"));
    QCOMPARE(ask(line, "BL00000,07FFF"), std::string("10:07FFF,00\r\n"));
    QCOMPARE(ask(line, "ER00000,07FFF"), std::string("00\r\n"));
    QCOMPARE(ask(line, "BL00000,07FFF"), std::string("00\r\n"));
}

void TestUnitDevice::programThenVerifyAndRead() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS51"), std::string("00\r\n"));
    unsigned sum = 0;
    for (unsigned a = 0x100; a <= 0x2FF; ++a) {
        const auto value = std::uint8_t(a * 7 + 3);
        unit.buffer()[a] = value;
        sum += value;
    }
    QCOMPARE(ask(line, "PG00100,002FF,0"), sumReply(sum));
    for (unsigned a = 0x100; a <= 0x2FF; ++a)
        QCOMPARE(unit.deviceMemory()[a], std::uint8_t(a * 7 + 3));
    QCOMPARE(unit.deviceMemory()[0xFF], std::uint8_t(0xFF));
    QCOMPARE(unit.deviceMemory()[0x300], std::uint8_t(0xFF));
    QCOMPARE(ask(line, "CP00100,002FF,0"), sumReply(sum));
    QCOMPARE(ask(line, "CP00100,002FF,"), sumReply(sum)); // an empty mode field counts as all

    std::fill(unit.buffer().begin(), unit.buffer().end(), 0);
    QCOMPARE(ask(line, "RD00100,002FF,0"), sumReply(sum));
    for (unsigned a = 0x100; a <= 0x2FF; ++a)
        QCOMPARE(unit.buffer()[a], std::uint8_t(a * 7 + 3));
    QCOMPARE(unit.buffer()[0xFF], std::uint8_t(0));

    // A 16-bit sum wraps.
    QCOMPARE(ask(line, "RD00000,07FFF,0"), sumReply(sum + (0x8000 - 0x200) * 0xFF));
}

void TestUnitDevice::verifyReportsFirstDifference() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS51"), std::string("00\r\n"));
    unit.buffer()[0x10] = 0xAA;
    unit.deviceMemory()[0x10] = 0x55;
    unit.buffer()[0x20] = 0x00;
    QCOMPARE(ask(line, "CP00000,07FFF,0"), std::string("12:00010,AA,55\r\n"));
    QCOMPARE(ask(line, "CP00011,07FFF,0"), std::string("12:00020,00,FF\r\n"));
}

void TestUnitDevice::epromOnlyClearsBits() {
    Unit unit(instant());
    SimulatedLine line(unit); // "03": byte EPROM at power-on
    unit.buffer()[0] = 0x0F;
    unit.buffer()[1] = 0x3C;
    QCOMPARE(ask(line, "WT00000,00001,0"), sumReply(0x0F + 0x3C));
    // Clearing more bits works; a 1 over a 0 does not take.
    unit.buffer()[0] = 0x07;
    unit.buffer()[1] = 0xC3;
    QCOMPARE(ask(line, "WT00000,00001,0"), std::string("11:00001,C3,00\r\n"));
    QCOMPARE(unit.deviceMemory()[0], std::uint8_t(0x07));
    QCOMPARE(unit.deviceMemory()[1], std::uint8_t(0x00));
    QCOMPARE(ask(line, "PG00000,00001,0"), std::string("11:00001,C3,00\r\n"));
    QCOMPARE(ask(line, "ER00000,00001"), std::string("15\r\n"));
    QCOMPARE(unit.deviceMemory()[0], std::uint8_t(0x07));
}

void TestUnitDevice::epromErasedByLamp() {
    UnitOptions options;
    options.timeScale = 0.001; // 3 ms of light
    Unit unit(options);
    SimulatedLine line(unit);
    const auto lamp = [&](const char *command) {
        line.sendLine(command); // no settling: the light keeps the unit busy
        return line.take();
    };
    unit.deviceMemory()[0x100] = 0x00;
    QCOMPARE(lamp("ES"), std::string("00\r\n"));
    QVERIFY(unit.lampOn());
    QVERIFY(unit.busy()); // the light has work to do
    line.wait(1'000);
    QCOMPARE(lamp("EE"), std::string("00\r\n"));
    QVERIFY(!unit.lampOn());
    QVERIFY(!unit.busy());
    QCOMPARE(ask(line, "BL00000,07FFF"), std::string("10:00100,00\r\n"));
    QCOMPARE(lamp("ES"), std::string("00\r\n"));
    line.wait(1'900);
    QCOMPARE(unit.deviceMemory()[0x100], std::uint8_t(0x00));
    line.wait(200); // the light adds up over both periods
    QCOMPARE(unit.deviceMemory()[0x100], std::uint8_t(0xFF));
    QVERIFY(!unit.busy());
    QCOMPARE(lamp("EE"), std::string("00\r\n"));
    QCOMPARE(ask(line, "BL00000,07FFF"), std::string("00\r\n"));

    // The lamp does not erase an EEPROM.
    QCOMPARE(ask(line, "TS51"), std::string("00\r\n"));
    unit.deviceMemory()[0x100] = 0x00;
    QCOMPARE(lamp("ES"), std::string("00\r\n"));
    line.wait(10'000);
    QCOMPARE(unit.deviceMemory()[0x100], std::uint8_t(0x00));
}

void TestUnitDevice::flashNeedsErase() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS70"), std::string("00\r\n")); // byte flash
    unit.buffer()[0] = 0x00;
    QCOMPARE(ask(line, "WT00000,00000,0"), sumReply(0));
    unit.buffer()[0] = 0x80;
    QCOMPARE(ask(line, "WT00000,00000,0"), std::string("11:00000,80,00\r\n"));
    QCOMPARE(ask(line, "ER00000,3FFFF"), std::string("00\r\n"));
    QCOMPARE(ask(line, "WT00000,00000,0"), sumReply(0x80));
    // An EEPROM writes over anything.
    QCOMPARE(ask(line, "TS51"), std::string("00\r\n"));
    unit.deviceMemory()[0] = 0x00;
    unit.buffer()[0] = 0xA5;
    QCOMPARE(ask(line, "WT00000,00000,0"), sumReply(0xA5));
}

void TestUnitDevice::accessModes_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("written"); // per address 0..7: 'x' written, '.' untouched
    QTest::newRow("all") << "0"
                         << "xxxxxxxx";
    QTest::newRow("empty") << ""
                           << "xxxxxxxx";
    QTest::newRow("odd") << "1"
                         << ".x.x.x.x";
    QTest::newRow("even") << "2"
                          << "x.x.x.x.";
}

void TestUnitDevice::accessModes() {
    QFETCH(QString, mode);
    QFETCH(QString, written);
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS51"), std::string("00\r\n"));
    for (unsigned a = 0; a < 8; ++a)
        unit.buffer()[a] = std::uint8_t(0x10 + a);
    unsigned sum = 0;
    for (unsigned a = 0; a < 8; ++a)
        sum += written[a] == 'x' ? 0x10 + a : 0;
    QCOMPARE(ask(line, "WT00000,00007," + mode.toStdString()), sumReply(sum));
    for (unsigned a = 0; a < 8; ++a)
        QCOMPARE(unit.deviceMemory()[a], std::uint8_t(written[a] == 'x' ? 0x10 + a : 0xFF));

    // The same selection reads back.
    std::fill(unit.buffer().begin(), unit.buffer().begin() + 8, 0);
    QCOMPARE(ask(line, "RD00000,00007," + mode.toStdString()), sumReply(sum));
    for (unsigned a = 0; a < 8; ++a)
        QCOMPARE(unit.buffer()[a], std::uint8_t(written[a] == 'x' ? 0x10 + a : 0));

    // A range without a selected address succeeds with an empty sum.
    if (mode == "1")
        QCOMPARE(ask(line, "WT00002,00002,1"), sumReply(0));
}

void TestUnitDevice::wordLanes_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("lowAt");  // buffer address of word 1's low byte
    QTest::addColumn<int>("highAt"); // and of its high byte
    QTest::newRow("Low, start 0") << "0"
                                  << "0" << 2 << 3;
    QTest::newRow("Hi, start 0") << "0"
                                 << "1" << 3 << 2;
    QTest::newRow("Low, start 100") << "100"
                                    << "0" << 0x102 << 0x103;
    QTest::newRow("Hi, start 100") << "100"
                                   << "1" << 0x103 << 0x102;
    // With an odd start the word's bytes are 2w+1 and 2w+2 from 0: the even one decides.
    QTest::newRow("Low, start 1") << "1"
                                  << "0" << 4 << 3;
    QTest::newRow("Hi, start 1") << "1"
                                 << "1" << 3 << 4;
}

void TestUnitDevice::wordLanes() {
    QFETCH(QString, start);
    QFETCH(QString, type);
    QFETCH(int, lowAt);
    QFETCH(int, highAt);
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS60"), std::string("00\r\n")); // word EEPROM
    QCOMPARE(ask(line, "BS" + start.toStdString()), std::string("00\r\n"));
    QCOMPARE(ask(line, "TW" + type.toStdString()), std::string("00\r\n"));
    unit.buffer()[std::size_t(lowAt)] = 0x34;
    unit.buffer()[std::size_t(highAt)] = 0x12;
    QCOMPARE(ask(line, "PG00001,00001,0"), sumReply(0x12 + 0x34));
    // Device word 1 is device bytes 2 (low) and 3 (high).
    QCOMPARE(unit.deviceMemory()[2], std::uint8_t(0x34));
    QCOMPARE(unit.deviceMemory()[3], std::uint8_t(0x12));
    QCOMPARE(unit.deviceMemory()[1], std::uint8_t(0xFF));
    QCOMPARE(unit.deviceMemory()[4], std::uint8_t(0xFF));

    std::fill(unit.buffer().begin(), unit.buffer().end(), 0);
    QCOMPARE(ask(line, "RD00000,00002,2"), sumReply(0xFF * 4)); // words 0 and 2
    QCOMPARE(ask(line, "RD00001,00001,1"), sumReply(0x12 + 0x34));
    QCOMPARE(unit.buffer()[std::size_t(lowAt)], std::uint8_t(0x34));
    QCOMPARE(unit.buffer()[std::size_t(highAt)], std::uint8_t(0x12));
}

void TestUnitDevice::wordDetailsHaveFourDigits() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS40"), std::string("00\r\n")); // word EPROM
    unit.buffer()[2] = 0xCD;
    unit.buffer()[3] = 0xAB;
    QCOMPARE(ask(line, "CP00000,1FFFF,0"), std::string("12:00001,ABCD,FFFF\r\n"));
    QCOMPARE(ask(line, "WT00001,00001,0"), sumReply(0xAB + 0xCD));
    QCOMPARE(ask(line, "BL00000,1FFFF"), std::string("10:00001,ABCD\r\n"));
    unit.buffer()[2] = 0xFF;
    QCOMPARE(ask(line, "WT00001,00001,0"), std::string("11:00001,ABFF,ABCD\r\n"));
}

void TestUnitDevice::parameters_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("reply");
    // Device "03": end 07FFF.
    QTest::newRow("BL with a mode") << "BL00000,07FFF,0"
                                    << "20";
    QTest::newRow("ER with a mode") << "ER00000,07FFF,0"
                                    << "20";
    QTest::newRow("one field") << "RD00000"
                               << "20";
    QTest::newRow("four fields") << "RD00000,00001,0,0"
                                 << "20";
    QTest::newRow("start after end") << "RD00010,0000F,0"
                                     << "20";
    QTest::newRow("end beyond device") << "RD00000,08000,0"
                                       << "20";
    QTest::newRow("mode 3") << "WT00000,07FFF,3"
                            << "20";
    QTest::newRow("mode letter") << "WT00000,07FFF,A"
                                 << "20";
    QTest::newRow("dashes") << "BL00000,-----"
                            << "20";
    QTest::newRow("six digits") << "CP000000,07FFF,0"
                                << "20";
    QTest::newRow("not hex") << "CP0000G,07FFF,0"
                             << "20";
    QTest::newRow("empty end") << "PG00000,,0"
                               << "20";
    QTest::newRow("EPROM erase") << "ER00000,07FFF"
                                 << "15";
    QTest::newRow("short fields") << "BL0,7FFF"
                                  << "00";
    QTest::newRow("two fields") << "RD00000,00000"
                                << "00:00FF";
}

void TestUnitDevice::parameters() {
    QFETCH(QString, command);
    QFETCH(QString, reply);
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, command.toStdString()), reply.toStdString() + "\r\n");
    unit.selectDevice("");
    QCOMPARE(ask(line, command.toStdString()), std::string("14\r\n"));
}

void TestUnitDevice::operationTakesTime() {
    Unit unit; // real time: 4 us a byte to read
    SimulatedLine line(unit);
    line.sendLine("RD00000,07FFF,0"); // 32768 bytes: 131 ms
    QVERIFY(unit.busy());
    QVERIFY(unit.nextDeadline());
    QVERIFY(*unit.nextDeadline() >= line.now() + 131'000);
    line.wait(130'000);
    QCOMPARE(line.take(), std::string());
    line.wait(2'000);
    QCOMPARE(line.take(), sumReply(0xFF * 0x8000));
    QVERIFY(!unit.busy());
    QVERIFY(!unit.nextDeadline());

    // A failure ends the operation early, in proportion to where it was found.
    unit.deviceMemory()[0x1000] = 0;
    line.sendLine("BL00000,07FFF");
    QVERIFY(*unit.nextDeadline() <= line.now() + 17'000);
    line.wait(17'000);
    QCOMPARE(line.take(), std::string("10:01000,00\r\n"));
}

void TestUnitDevice::cancelMidOperation() {
    Unit unit;
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS71"), std::string("00\r\n")); // 512 KiB flash: read 2.1 s
    for (std::size_t a = 0; a < 0x80000; ++a)
        unit.deviceMemory()[a] = 0x5A;
    line.sendLine("RD00000,7FFFF,0");
    line.wait(500'000);
    line.sendLine("ON"); // ignored while the operation runs
    line.wait(10'000);
    QCOMPARE(line.take(), std::string());
    line.send("\x1B\r\n");
    QCOMPARE(line.take(), std::string("34\r\n"));
    QVERIFY(!unit.busy());
    QCOMPARE(unit.buffer()[0], std::uint8_t(0x5A));
    QCOMPARE(unit.buffer()[0x7FFFF], std::uint8_t(0xFF));
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitDevice::clearBuffer() {
    Unit unit;
    SimulatedLine line(unit);
    unit.buffer()[0] = 0;
    unit.buffer()[0xFFFFF] = 0;
    line.sendLine("CL");
    line.wait(100'000);
    QCOMPARE(line.take(), std::string());
    line.send("\x1B\r\n");
    QCOMPARE(line.take(), std::string("34\r\n"));
    QCOMPARE(unit.buffer()[0], std::uint8_t(0));
    QCOMPARE(ask(line, "CL"), std::string("00\r\n"));
    QVERIFY(
        std::all_of(unit.buffer().begin(), unit.buffer().end(), [](auto b) { return b == 0xFF; }));
}

void TestUnitDevice::dump() {
    Unit unit(instant());
    SimulatedLine line(unit);
    unit.buffer()[0] = 0x00;
    unit.buffer()[1] = 0x01;
    unit.buffer()[2] = 0xA0;
    QCOMPARE(ask(line, "BD0,3"), std::string("00:00,01,A0,FF\r\n"));
    QCOMPARE(ask(line, "BD1,1"), std::string("00:01\r\n"));
    QCOMPARE(ask(line, "BDFFFFF,FFFFF"), std::string("00:FF\r\n"));
    // The dump shows buffer addresses as they are, whatever the start address.
    QCOMPARE(ask(line, "BS100"), std::string("00\r\n"));
    QCOMPARE(ask(line, "BD00000000,2"), std::string("00:00,01,A0\r\n"));

    const std::string whole = ask(line, "BD0,FFFFF");
    QCOMPARE(whole.size(), std::size_t(3 + 0x100000 * 3 - 1 + 2));
    QCOMPARE(whole.substr(0, 12), std::string("00:00,01,A0,"));
    QCOMPARE(whole.substr(whole.size() - 5), std::string(",FF\r\n"));
}

void TestUnitDevice::dumpRefusals_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("start after end") << "BD10,F";
    QTest::newRow("end beyond buffer") << "BD0,100000";
    QTest::newRow("one field") << "BD0";
    QTest::newRow("no fields") << "BD";
    QTest::newRow("three fields") << "BD0,1,2";
    QTest::newRow("not hex") << "BD0,1FFFG";
    QTest::newRow("empty start") << "BD,F";
}

void TestUnitDevice::dumpRefusals() {
    QFETCH(QString, command);
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, command.toStdString()), std::string("20\r\n"));
}

void TestUnitDevice::dumpPausesForHost() {
    Unit unit(instant());
    unit.buffer()[0x10] = 0x42;
    for (char c : std::string("BD0,FF\r\n"))
        unit.receive(std::uint8_t(c), 10);
    std::string got;
    std::uint8_t bytes[64];
    std::size_t n = unit.transmit(bytes, 20, 20);
    got.append(reinterpret_cast<char *>(bytes), n);
    QCOMPARE(n, std::size_t(20));
    unit.setHostReady(false);
    QCOMPARE(unit.transmit(bytes, 64, 30), std::size_t(0));
    QVERIFY(unit.hasOutput());
    QVERIFY(unit.busy());
    unit.setHostReady(true);
    while ((n = unit.transmit(bytes, sizeof bytes, 40)) > 0)
        got.append(reinterpret_cast<char *>(bytes), n);
    QCOMPARE(got.size(), std::size_t(3 + 256 * 3 - 1 + 2));
    QCOMPARE(got.substr(3 + 16 * 3, 2), std::string("42"));
    QVERIFY(!unit.busy());
    QVERIFY(!unit.hasOutput());
}

void TestUnitDevice::dumpCancelled() {
    Unit unit(instant());
    for (char c : std::string("BD0,FFFFF\r\n"))
        unit.receive(std::uint8_t(c), 10);
    std::uint8_t bytes[100];
    QCOMPARE(unit.transmit(bytes, sizeof bytes, 20), sizeof bytes);
    for (char c : std::string("\x1B\r\n"))
        unit.receive(std::uint8_t(c), 30);
    std::string rest;
    std::size_t n = 0;
    while ((n = unit.transmit(bytes, sizeof bytes, 40)) > 0)
        rest.append(reinterpret_cast<char *>(bytes), n);
    // What was already handed to the line goes out, then the answer to the cancel.
    QVERIFY(rest.size() < 1000);
    QCOMPARE(rest.substr(rest.size() - 4), std::string("34\r\n"));
    QVERIFY(!unit.busy());
}

QTEST_GUILESS_MAIN(TestUnitDevice)
#include "tst_unit_device.moc"
