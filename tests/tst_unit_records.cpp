// Intel HEX and Motorola S records, and the emulated unit's loads ("LH", "LS", "LB") and saves
// ("SH", "SS", "SB"): record reading, the load protocol (ready, end, refusal, silence, cancel, busy
// line), save output and byte-exact round trips.
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QTest>

using namespace corvane;

namespace {

constexpr UnitOptions kInstant{0.0}; // device operations take no time

// Sends a line and takes what the unit answers without letting time pass (a load keeps the unit
// busy, so this does not wait for it to settle).
std::string ask(SimulatedLine &line, const std::string &text) {
    line.sendLine(text);
    std::string answer = line.take();
    while (line.unit().hasOutput()) {
        line.wait(0);
        answer += line.take();
    }
    return answer;
}

QByteArray hex(uint value) {
    return QByteArray::number(value, 16).toUpper();
}

// Runs a transcript: steps separated by blanks, each one of
//   LINE>REPLY  send the line; REPLY and CR LF must come back at once (nothing for an empty REPLY)
//   bADDR?XX    buffer address ADDR must hold XX (both in hex)
void run(SimulatedLine &line, const QByteArray &transcript) {
    for (const QByteArray &step : transcript.split(' ')) {
        if (step.startsWith('b')) {
            const qsizetype op = step.indexOf('?');
            QVERIFY(op > 1);
            const std::uint8_t byte = line.unit().buffer()[step.mid(1, op - 1).toUInt(nullptr, 16)];
            QCOMPARE(step.left(op + 1) + hex(byte).rightJustified(2, '0'), step);
            continue;
        }
        const qsizetype split = step.indexOf('>');
        QVERIFY(split >= 0);
        const QByteArray sent = step.left(split);
        const QByteArray reply = step.mid(split + 1);
        QCOMPARE(sent + " -> " + QByteArray::fromStdString(ask(line, sent.toStdString())),
                 sent + " -> " + reply + (reply.isEmpty() ? "" : "\r\n"));
    }
}

// Fills a range of the buffer with a pattern that repeats only after 64 KiB.
void fillPattern(Unit &unit, std::uint32_t first, std::uint32_t last, std::uint32_t seed) {
    std::uint32_t state = seed;
    for (std::uint32_t a = first; a <= last; ++a) {
        state = state * 1664525u + 1013904223u;
        unit.buffer()[a & 0xFFFFF] = std::uint8_t(state >> 24);
    }
}

} // namespace

class TestUnitRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void recordKinds();
    void saveOutput_data();
    void saveOutput();
    void roundTrip_data();
    void roundTrip();
    void loadProtocol();
    void loadSilence_data();
    void loadSilence();
    void loadDropsBusyLine();
    void binaryEveryByteValue();
};

void TestUnitRecords::recordKinds() {
    Unit unit(kInstant);
    SimulatedLine line(unit);
    // Hex digits of either case and blanks around a line; a data record's offset wraps within its
    // 64 KiB; segment (02) and linear (04) bases; start addresses (03, 05) are no data.
    run(line, "LH>01 :0300300002337a1e>");
    line.sendLine(" \t:0300400002337A0E  ");
    run(line, ":02FFFF00AABB9B> :020000021200EA> :0300300002337A1E> :020000040001F9> "
              ":0300300002337A1E> :02FFFF00AABB9B> :0400000300003800C1> :04000005000000CD2A> "
              ":00000001FF>00 b30?02 b31?33 b32?7A b40?02 b42?7A b0?BB bFFFF?AA b10000?BB "
              "b10030?02 b10032?7A b12030?02 b12032?7A b1FFFF?AA");
    // S1, S2 and S3 data (S3 addresses wrap at 1 MiB); the header, S4 and an S6 count of none are
    // no data; S5 counts the data records only; S7, S8, S9 and s9 end a file.
    run(line, "LS>01 S604000000FB> S1130000285F245F2212226A000424290008237C2A> "
              "S20801000001020304EC> S3090800002001020304C4> S00600004844521B> S4030000FC> "
              "S5030003F9> S70500000000FA>00 b0?28 b7?6A bF?7C b10000?01 b10003?04 b20?01 b23?04");
    for (const char *end : {"S804000000FB", "S9030000FC", "s9030000fc"})
        run(line, "LS>01 " + QByteArray(end) + ">00");
    // Refused: a bad checksum, a count that does not match the data, an unknown type, an end
    // record with data, a segment record of one byte, no colon, not hex, an odd number of digits,
    // a colon alone, a line of the other format; in S a count of two after one data record.
    for (const char *bad :
         {":0300300002337A1F", ":0400300002337A1E", ":00000006FA", ":0100000100FE", ":0100000212EB",
          "0300300002337A1E", ":03003000023G7A1E", ":0300300002337A1E0", ":", "S9030000FC"})
        run(line, "LH>01 " + QByteArray(bad) + ">30");
    for (const char *bad :
         {"S9030000FD", "S10200FD", "S1", "SX030000FC", ":00000001FF", "S5030002FA"})
        run(line, "LS>01 S20801000001020304EC> S00600004844521B> " + QByteArray(bad) + ">30");
}

void TestUnitRecords::saveOutput_data() {
    QTest::addColumn<QByteArray>("device");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("output");
    const auto row = [](const char *command, const QByteArray &output, const char *device = "03") {
        QTest::addRow("%s %s", device, command)
            << QByteArray(device) << QByteArray(command) << output;
    };
    // The buffer holds 00 01 02 03 from address 0 and EE at FFFFE, FF elsewhere.
    row("SH0,3,0", ":0400000000010203F6\r\n:00000001FF\r\n\x1A");
    row("SH0,3", ":0400000000010203F6\r\n:00000001FF\r\n\x1A");
    row("SH0,3,2", ":020000000001FD\r\n:020002000203F7\r\n:00000001FF\r\n\x1A");
    row("SS0,3,0", "S0030000FC\r\nS107000000010203F2\r\nS5030001FB\r\nS9030000FC\r\n\x1A");
    row("SB1,2", QByteArray("\x01\x02", 2));
    // Across 64 KiB: Intel records stop at the boundary and a type 04 record follows; Motorola
    // needs S2 and S8.
    row("SHFFF8,10007,0", ":08FFF800FFFFFFFFFFFFFFFF09\r\n:020000040001F9\r\n"
                          ":08000000FFFFFFFFFFFFFFFF00\r\n:00000001FF\r\n\x1A");
    row("SSFFF8,10007,0", "S0030000FC\r\nS21400FFF8" + QByteArray(32, 'F') +
                              "04\r\nS5030001FB\r\nS804000000FB\r\n\x1A");
    // Refused: start after end, end beyond the buffer, dashes, a record too long, a third field
    // not a number, too few or too many fields, not hex.
    for (const char *command :
         {"SH10,F,0", "SH0,100000,0", "SH0,-----,0", "SH0,F,251", "SH0,F,X", "SS0", "SS0,1,0,0"})
        row(command, "\x1A");
    for (const char *command : {"SB10,F", "SB0,F,0", "SB0,G"})
        row(command, "");
    // With a word device ("60", end 0FFFF) selected, word w is record addresses 2w and 2w+1.
    row("SB1,2", "\x02\x03\xFF\xFF", "60");
    row("SB7FFFF,7FFFF", "\xEE\xFF", "60");
    row("SB0,80000", "", "60");
    row("SH0,80000,0", "\x1A", "60");
}

void TestUnitRecords::saveOutput() {
    QFETCH(QByteArray, device);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, output);
    Unit unit(kInstant);
    unit.selectDevice(device.toStdString());
    SimulatedLine line(unit);
    for (std::uint8_t a = 0; a < 4; ++a)
        unit.buffer()[a] = a;
    unit.buffer()[0xFFFFE] = 0xEE;
    const std::string got = ask(line, command.toStdString());
    QCOMPARE(QByteArray(got.data(), qsizetype(got.size())), output);
    run(line, "ON>00");
}

void TestUnitRecords::roundTrip_data() {
    QTest::addColumn<bool>("intel");
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("last");
    QTest::addColumn<QByteArray>("perRecord");
    QTest::addColumn<uint>("fromStart"); // buffer start of the save
    QTest::addColumn<uint>("toStart");   // and of the load
    QTest::addColumn<uint>("width");     // bytes a save address covers: 2 for a word device
    for (const bool intel : {true, false}) {
        const auto row = [&](const char *name, uint first, uint last, const char *perRecord,
                             uint fromStart = 0, uint toStart = 0, uint width = 1) {
            QTest::addRow("%s %s", intel ? "SH" : "SS", name)
                << intel << first << last << QByteArray(perRecord) << fromStart << toStart << width;
        };
        row("three segments", 0x0, 0x2FFFF, "0");
        row("odd range, 7 a record", 0x5, 0x4A, "7");
        row("whole buffer, 250 a record", 0x0, 0xFFFFF, "250");
        row("one byte", 0x12345, 0x12345, "");
        row("other buffer starts", 0x100, 0x1FFFF, "0", 0x100, 0x80000);
        row("word device, its end address", 0x0, 0xFFFF, "0", 0, 0, 2); // 128 KiB
    }
}

void TestUnitRecords::roundTrip() {
    QFETCH(bool, intel);
    QFETCH(uint, first);
    QFETCH(uint, last);
    QFETCH(QByteArray, perRecord);
    QFETCH(uint, fromStart);
    QFETCH(uint, toStart);
    QFETCH(uint, width);
    const uint firstByte = first * width;
    const uint lastByte = last * width + width - 1;

    Unit source(kInstant);
    SimulatedLine sourceLine(source);
    run(sourceLine, (width == 2 ? "TS60>00 BS" : "BS") + hex(fromStart) + ">00"); // word EEPROM
    fillPattern(source, fromStart + firstByte, fromStart + lastByte, first);
    const std::string file = ask(sourceLine, ((intel ? "SH" : "SS") + hex(first) + "," + hex(last) +
                                              (perRecord.isEmpty() ? "" : ",") + perRecord)
                                                 .toStdString());
    // The file ends with CR LF and byte 1A and holds at least the data records and the end
    // record; sent as it is, it loads.
    QVERIFY(file.size() > 3);
    QCOMPARE(file.substr(file.size() - 3), std::string("\r\n\x1A"));
    const unsigned bytesPerRecord = perRecord.toUInt() ? perRecord.toUInt() : 16;
    QVERIFY(QByteArray::fromStdString(file).count("\r\n") >=
            (lastByte - firstByte) / bytesPerRecord + 2);

    Unit target(kInstant);
    SimulatedLine targetLine(target);
    run(targetLine, "BS" + hex(toStart) + (intel ? ">00 LH>01" : ">00 LS>01"));
    targetLine.send(file.substr(0, file.size() - 1));
    QVERIFY(targetLine.settle());
    QCOMPARE(targetLine.take(), std::string("00\r\n"));
    for (std::uint32_t a = firstByte; a <= lastByte; ++a) {
        if (target.buffer()[(toStart + a) & 0xFFFFF] != source.buffer()[(fromStart + a) & 0xFFFFF])
            QFAIL(qPrintable(QStringLiteral("byte %1 differs").arg(a, 5, 16, QChar('0'))));
    }
    // Nothing outside the range.
    if (firstByte > 0)
        QCOMPARE(target.buffer()[(toStart + firstByte - 1) & 0xFFFFF], std::uint8_t(0xFF));
    if (lastByte < 0xFFFFF)
        QCOMPARE(target.buffer()[(toStart + lastByte + 1) & 0xFFFFF], std::uint8_t(0xFF));
}

void TestUnitRecords::loadProtocol() {
    Unit unit(kInstant);
    SimulatedLine line(unit);
    // Blank lines and start records are no data; lines after the end record are swallowed, a
    // command line is not.
    run(line, "LH>01 :0300300002337A1E> > :0400000300003800C1> :00000001FF>00 b30?02 b32?7A > "
              ":00000001FF> US1>00:07FFF");
    run(line, "LS0>01 S00600004844521B> S1130000285F245F2212226A000424290008237C2A> S5030001FB> "
              "S9030000FC>00 b0?28 bF?7C LHXYZ>20 LS1,2>20");
    // ESC cancels a load and keeps what came.
    run(line, "LH>01 :0300400002337A0E> \x1B>34 b40?02 ON>00");
    QVERIFY(!unit.busy());

    // Record addresses and the load address count from the buffer start; beyond 1 MiB they wrap.
    run(line, "BS100>00 LH1000>01 :0300500002337AFE> :00000001FF>00 b1150?02 b1152?7A b50?FF");
    run(line, "BS0>00 LS>01 S3090800001001020304D4> S70500000000FA>00 b10?01 b13?04");

    // After "30" the rest of the file is swallowed without a word ...
    run(line, "LH>01 :0300600002337A1F>30 :0300700002337ADE> garbage> :00000001FF>");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string());
    // ... until 0.5 s of silence, or at once by a command line.
    line.wait(500'000);
    run(line, "b70?FF :00000001FF>22 LS>01 S1130000285F245F2212226A000424290008237C2B>30 "
              "S9030000FC> US1>00:07FFF LH>01 :" +
                  QByteArray(3000, '0') + ">30");
}

void TestUnitRecords::loadSilence_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reply"); // 2 s after the last byte
    QTest::addColumn<QByteArray>("check"); // a transcript step on what the data left
    const auto row = [](const char *name, const char *command, const char *data, const char *reply,
                        const char *check) {
        QTest::newRow(name) << QByteArray(command) << QByteArray(data) << QByteArray(reply)
                            << QByteArray(check);
    };
    row("empty file", "LH", "", "00\r\n", "b0?FF");
    row("blank lines only", "LH", "\r\n\r\n", "00\r\n", "b0?FF");
    row("S blank lines only", "LS", "\r\n\r\n", "00\r\n", "b0?FF");
    row("text stops", "LS", "S20801000001020304EC\r\n", "32\r\n", "b10000?01");
    row("bytes stop", "LB5,0", "xyz", "32\r\n", "b2?7A");
}

void TestUnitRecords::loadSilence() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, check);
    Unit unit(kInstant);
    SimulatedLine line(unit);
    run(line, command + ">01");
    line.send(data.toStdString());
    QVERIFY(unit.busy());
    line.wait(1'999'000);
    QCOMPARE(line.take(), std::string());
    line.wait(1'000);
    QCOMPARE(QByteArray::fromStdString(line.take()), reply);
    QVERIFY(!unit.busy());
    run(line, check + " ON>00");
}

void TestUnitRecords::loadDropsBusyLine() {
    Unit unit({0.5, 2000}); // 1 ms of digesting a data line
    SimulatedLine line(unit);
    run(line, "LH>01");
    QVERIFY(unit.clearToSend(line.now()));
    line.sendLine(":0300300002337A1E");
    QVERIFY(!unit.clearToSend(line.now()));
    QVERIFY(!unit.clearToSend(line.now() + 999));
    QVERIFY(unit.clearToSend(line.now() + 1000));
    QCOMPARE(*unit.nextDeadline(), line.now() + 1000);
    line.wait(1000);
    QVERIFY(unit.clearToSend(line.now()));
}

void TestUnitRecords::binaryEveryByteValue() {
    Unit unit(kInstant);
    SimulatedLine line(unit);
    // Refused lengths and addresses; an empty load; a load without an address field.
    run(line, "LB>20 LBx,0>20 LB5,G>20 LB1048577,0>20 LB0,0>01\r\n00 LB2>01");
    line.send("AB");
    QCOMPARE(line.take(), std::string("00\r\n"));
    run(line, "b0?41 b1?42");

    std::string data;
    for (int i = 0; i < 3 * 256; ++i)
        data += char(i);
    data += "ON\r\n\x1B\r\n\x1A\r\n";
    run(line, "BS20>00 LB" + QByteArray::number(qsizetype(data.size())) + ",10>01");
    line.send(data.substr(0, data.size() - 1));
    QCOMPARE(line.take(), std::string());
    line.send(data.substr(data.size() - 1));
    QCOMPARE(line.take(), std::string("00\r\n"));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(&unit.buffer()[0x2F]),
                        qsizetype(data.size() + 2)),
             "\xFF" + QByteArray::fromStdString(data) + "\xFF");

    // And back out, raw, then silence.
    QCOMPARE(ask(line, "SB10," + hex(uint(0x10 + data.size() - 1)).toStdString()), data);
    QVERIFY(!unit.busy());
}

QTEST_GUILESS_MAIN(TestUnitRecords)
#include "tst_unit_records.moc"
