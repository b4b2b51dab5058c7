// Intel HEX and Motorola S records, and the emulated unit's loads ("LH", "LS", "LB") and saves
// ("SH", "SS", "SB"): record tables, the load protocol (ready, end, refusal, silence, cancel, busy
// line), save output and byte-exact round trips.
#include <unit/records.h>
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QTest>

#include <cstdio>
#include <map>
#include <sstream>

using namespace corvane;
using records::Format;
using records::LineOutcome;

Q_DECLARE_METATYPE(records::LineOutcome)

namespace {

UnitOptions instant() {
    UnitOptions options;
    options.timeScale = 0;
    return options;
}

// Sends a command and takes the answer the unit has at once (every reply of an instant unit is
// immediate; loads keep the unit busy, so this does not wait for it to settle).
std::string ask(SimulatedLine &line, const std::string &command) {
    line.sendLine(command);
    std::string answer = line.take();
    while (line.unit().hasOutput()) {
        line.wait(0);
        answer += line.take();
    }
    return answer;
}

// Stored bytes as runs "AAAAAAAA=BYTES", separated by blanks.
std::string describe(const std::map<std::uint32_t, std::uint8_t> &stored) {
    std::string text;
    std::optional<std::uint32_t> previous;
    for (const auto &[address, byte] : stored) {
        char part[16];
        if (!previous || address != *previous + 1) {
            std::snprintf(part, sizeof part, "%s%08X=", text.empty() ? "" : " ", address);
            text += part;
        }
        std::snprintf(part, sizeof part, "%02X", byte);
        text += part;
        previous = address;
    }
    return text;
}

std::vector<std::string> splitLines(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end; (end = text.find("\r\n", from)) != std::string::npos; from = end + 2)
        lines.push_back(text.substr(from, end - from));
    return lines;
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
    void readLine_data();
    void readLine();
    void addressBases();
    void countRecordsFollowData();
    void saveOutput_data();
    void saveOutput();
    void saveWithExtendedAddresses();
    void saveRefusals_data();
    void saveRefusals();
    void wordDeviceSavesInWords();
    void roundTrip_data();
    void roundTrip();
    void loadProtocol();
    void loadAddressesCountFromBufferStart();
    void loadRefusedAtBadRecord();
    void loadSilence();
    void loadCancelled();
    void loadDropsBusyLine();
    void binaryEveryByteValue();
    void binaryLoadRules();
    void rawSavePausesForHost();
};

void TestUnitRecords::readLine_data() {
    QTest::addColumn<int>("format"); // 0 Intel, 1 Motorola
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<LineOutcome>("outcome");
    QTest::addColumn<QByteArray>("stored");

    const auto intel = [](const char *name, const char *line, LineOutcome outcome,
                          const char *stored = "") {
        QTest::newRow(name) << 0 << QByteArray(line) << outcome << QByteArray(stored);
    };
    intel("I data", ":0300300002337A1E", LineOutcome::Record, "00000030=02337A");
    intel("I lower case", ":0300300002337a1e", LineOutcome::Record, "00000030=02337A");
    intel("I blanks around", " \t:0300300002337A1E  ", LineOutcome::Record, "00000030=02337A");
    intel("I offset wraps at 64K", ":02FFFF00AABB9B", LineOutcome::Record,
          "00000000=BB 0000FFFF=AA");
    intel("I end", ":00000001FF", LineOutcome::End);
    intel("I segment base", ":020000021200EA", LineOutcome::Record);
    intel("I linear base", ":020000040001F9", LineOutcome::Record);
    intel("I start segment", ":0400000300003800C1", LineOutcome::Record);
    intel("I start linear", ":04000005000000CD2A", LineOutcome::Record);
    intel("I empty", "", LineOutcome::Blank);
    intel("I blanks", "   ", LineOutcome::Blank);
    intel("I bad checksum", ":0300300002337A1F", LineOutcome::Bad);
    intel("I count too big", ":0400300002337A1E", LineOutcome::Bad);
    intel("I unknown type", ":00000006FA", LineOutcome::Bad);
    intel("I end with data", ":0100000100FE", LineOutcome::Bad);
    intel("I short segment", ":0100000212EB", LineOutcome::Bad);
    intel("I no colon", "0300300002337A1E", LineOutcome::Bad);
    intel("I not hex", ":03003000023G7A1E", LineOutcome::Bad);
    intel("I odd digits", ":0300300002337A1E0", LineOutcome::Bad);
    intel("I colon alone", ":", LineOutcome::Bad);
    intel("I S record", "S9030000FC", LineOutcome::Bad);

    const auto motorola = [](const char *name, const char *line, LineOutcome outcome,
                             const char *stored = "") {
        QTest::newRow(name) << 1 << QByteArray(line) << outcome << QByteArray(stored);
    };
    motorola("S0 header", "S00600004844521B", LineOutcome::Record);
    motorola("S1 data", "S1130000285F245F2212226A000424290008237C2A", LineOutcome::Record,
             "00000000=285F245F2212226A000424290008237C");
    motorola("S2 data", "S20801000001020304EC", LineOutcome::Record, "00010000=01020304");
    motorola("S3 data", "S3090800001001020304D4", LineOutcome::Record, "08000010=01020304");
    motorola("S4 reserved", "S4030000FC", LineOutcome::Record);
    motorola("S5 count of none", "S5030000FC", LineOutcome::Record);
    motorola("S5 wrong count", "S5030003F9", LineOutcome::Bad);
    motorola("S6 count of none", "S604000000FB", LineOutcome::Record);
    motorola("S7 end", "S70500000000FA", LineOutcome::End);
    motorola("S8 end", "S804000000FB", LineOutcome::End);
    motorola("S9 end", "S9030000FC", LineOutcome::End);
    motorola("s9 lower case", "s9030000fc", LineOutcome::End);
    motorola("S9 bad checksum", "S9030000FD", LineOutcome::Bad);
    motorola("S1 count too small", "S10200FD", LineOutcome::Bad);
    motorola("S type alone", "S1", LineOutcome::Bad);
    motorola("S alone", "S", LineOutcome::Bad);
    motorola("S type letter", "SX030000FC", LineOutcome::Bad);
    motorola("S empty", "", LineOutcome::Blank);
    motorola("S Intel record", ":00000001FF", LineOutcome::Bad);
}

void TestUnitRecords::readLine() {
    QFETCH(int, format);
    QFETCH(QByteArray, line);
    QFETCH(LineOutcome, outcome);
    QFETCH(QByteArray, stored);
    records::RecordReader reader(format == 0 ? Format::IntelHex : Format::MotorolaS);
    std::map<std::uint32_t, std::uint8_t> bytes;
    const LineOutcome got =
        reader.readLine(line.toStdString(), [&](std::uint32_t a, std::uint8_t b) { bytes[a] = b; });
    QCOMPARE(int(got), int(outcome));
    QCOMPARE(QByteArray::fromStdString(describe(bytes)), stored);
    QCOMPARE(reader.sawRecord(), outcome == LineOutcome::Record || outcome == LineOutcome::End);
}

void TestUnitRecords::addressBases() {
    records::RecordReader reader(Format::IntelHex);
    std::map<std::uint32_t, std::uint8_t> bytes;
    const auto store = [&](std::uint32_t a, std::uint8_t b) { bytes[a] = b; };
    for (const char *line : {":020000021200EA", ":0300300002337A1E", ":020000040001F9",
                             ":0300300002337A1E", ":02FFFF00AABB9B"})
        QCOMPARE(int(reader.readLine(line, store)), int(LineOutcome::Record));
    QCOMPARE(describe(bytes), std::string("00010000=BB 00010030=02337A 00012030=02337A "
                                          "0001FFFF=AA"));
}

void TestUnitRecords::countRecordsFollowData() {
    records::RecordReader reader(Format::MotorolaS);
    const auto ignore = [](std::uint32_t, std::uint8_t) {};
    QCOMPARE(int(reader.readLine("S20801000001020304EC", ignore)), int(LineOutcome::Record));
    QCOMPARE(int(reader.readLine("S3090800001001020304D4", ignore)), int(LineOutcome::Record));
    QCOMPARE(int(reader.readLine("S00600004844521B", ignore)), int(LineOutcome::Record));
    QCOMPARE(int(reader.readLine("S5030003F9", ignore)), int(LineOutcome::Bad));
    QCOMPARE(int(reader.readLine("S5030002FA", ignore)), int(LineOutcome::Record));
}

void TestUnitRecords::saveOutput_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("output");
    QTest::newRow("SH four bytes")
        << QByteArray("SH0,3,0") << QByteArray(":0400000000010203F6\r\n:00000001FF\r\n\x1A");
    QTest::newRow("SH without third field")
        << QByteArray("SH0,3") << QByteArray(":0400000000010203F6\r\n:00000001FF\r\n\x1A");
    QTest::newRow("SS four bytes")
        << QByteArray("SS0,3,0")
        << QByteArray("S0030000FC\r\nS107000000010203F2\r\nS5030001FB\r\nS9030000FC\r\n\x1A");
    QTest::newRow("SH two bytes a record")
        << QByteArray("SH0,3,2")
        << QByteArray(":020000000001FD\r\n:020002000203F7\r\n:00000001FF\r\n\x1A");
    QTest::newRow("SB") << QByteArray("SB1,2") << QByteArray("\x01\x02", 2);
}

void TestUnitRecords::saveOutput() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, output);
    Unit unit(instant());
    SimulatedLine line(unit);
    for (std::uint8_t a = 0; a < 4; ++a)
        unit.buffer()[a] = a;
    const std::string got = ask(line, command.toStdString());
    QCOMPARE(QByteArray(got.data(), qsizetype(got.size())), output);
}

void TestUnitRecords::saveWithExtendedAddresses() {
    Unit unit(instant());
    SimulatedLine line(unit);
    std::vector<std::string> hex = splitLines(ask(line, "SHFFF8,10007,0"));
    QCOMPARE(hex.size(), std::size_t(4));
    QCOMPARE(hex[0].substr(0, 9), std::string(":08FFF800")); // stops at the 64 KiB boundary
    QCOMPARE(hex[1], std::string(":020000040001F9"));
    QCOMPARE(hex[2].substr(0, 9), std::string(":08000000"));
    QCOMPARE(hex[3], std::string(":00000001FF"));

    std::vector<std::string> s = splitLines(ask(line, "SSFFF8,10007,0"));
    QCOMPARE(s.size(), std::size_t(4));
    QCOMPARE(s[0], std::string("S0030000FC"));
    QCOMPARE(s[1].substr(0, 10), std::string("S21400FFF8")); // 16 bytes across the boundary
    QCOMPARE(s[2], std::string("S5030001FB"));
    QCOMPARE(s[3], std::string("S804000000FB"));
}

void TestUnitRecords::saveRefusals_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("output");
    const QByteArray sub("\x1A");
    QTest::newRow("SH start after end") << QByteArray("SH10,F,0") << sub;
    QTest::newRow("SH end beyond buffer") << QByteArray("SH0,100000,0") << sub;
    QTest::newRow("SH dashes") << QByteArray("SH0,-----,0") << sub;
    QTest::newRow("SH record too long") << QByteArray("SH0,F,251") << sub;
    QTest::newRow("SH third not a number") << QByteArray("SH0,F,X") << sub;
    QTest::newRow("SS one field") << QByteArray("SS0") << sub;
    QTest::newRow("SS four fields") << QByteArray("SS0,1,0,0") << sub;
    QTest::newRow("SB start after end") << QByteArray("SB10,F") << QByteArray();
    QTest::newRow("SB three fields") << QByteArray("SB0,F,0") << QByteArray();
    QTest::newRow("SB not hex") << QByteArray("SB0,G") << QByteArray();
}

void TestUnitRecords::saveRefusals() {
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, output);
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(QByteArray::fromStdString(ask(line, command.toStdString())), output);
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitRecords::wordDeviceSavesInWords() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "TS60"), std::string("00\r\n")); // word EEPROM, end 0FFFF: 128 KiB
    fillPattern(unit, 0, 0xFFFFF, 3);
    QCOMPARE(ask(line, "SB1,2"), std::string(reinterpret_cast<const char *>(&unit.buffer()[2]), 4));
    QCOMPARE(ask(line, "SB7FFFF,7FFFF"),
             std::string(reinterpret_cast<const char *>(&unit.buffer()[0xFFFFE]), 2));
    QCOMPARE(ask(line, "SB0,80000"), std::string());
    QCOMPARE(ask(line, "SH0,80000,0"), std::string("\x1A"));

    // The device's end address saves the whole image.
    const std::string file = ask(line, "SH0,0FFFF,0");
    Unit target(instant());
    SimulatedLine targetLine(target);
    QCOMPARE(ask(targetLine, "LH"), std::string("01\r\n"));
    for (const std::string &l : splitLines(file.substr(0, file.size() - 1)))
        targetLine.sendLine(l);
    QCOMPARE(targetLine.take(), std::string("00\r\n"));
    QVERIFY(std::equal(unit.buffer().begin(), unit.buffer().begin() + 0x20000,
                       target.buffer().begin()));
    QCOMPARE(target.buffer()[0x20000], std::uint8_t(0xFF));
}

void TestUnitRecords::roundTrip_data() {
    QTest::addColumn<QByteArray>("save");
    QTest::addColumn<QByteArray>("load");
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("last");
    QTest::addColumn<QByteArray>("perRecord");
    QTest::addColumn<uint>("fromStart");
    QTest::addColumn<uint>("toStart");
    const QList<QPair<QByteArray, QByteArray>> formats{{"SH", "LH"}, {"SS", "LS"}};
    for (const auto &[save, load] : formats) {
        const auto row = [&](const char *name, uint first, uint last, const char *perRecord,
                             uint fromStart = 0, uint toStart = 0) {
            QTest::addRow("%s %s", save.constData(), name)
                << save << load << first << last << QByteArray(perRecord) << fromStart << toStart;
        };
        row("three segments", 0x0, 0x2FFFF, "0");
        row("across 64K", 0xFFF0, 0x10010, "0");
        row("odd range, 7 a record", 0x5, 0x4A, "7");
        row("whole buffer, 250 a record", 0x0, 0xFFFFF, "250");
        row("one byte", 0x12345, 0x12345, "");
        row("other buffer starts", 0x100, 0x1FFFF, "0", 0x100, 0x80000);
    }
}

void TestUnitRecords::roundTrip() {
    QFETCH(QByteArray, save);
    QFETCH(QByteArray, load);
    QFETCH(uint, first);
    QFETCH(uint, last);
    QFETCH(QByteArray, perRecord);
    QFETCH(uint, fromStart);
    QFETCH(uint, toStart);

    Unit source(instant());
    SimulatedLine sourceLine(source);
    char command[64];
    std::snprintf(command, sizeof command, "BS%X", fromStart);
    QCOMPARE(ask(sourceLine, command), std::string("00\r\n"));
    fillPattern(source, fromStart + first, fromStart + last, first);
    std::snprintf(command, sizeof command, "%s%X,%X%s%s", save.constData(), first, last,
                  perRecord.isEmpty() ? "" : ",", perRecord.constData());
    const std::string file = ask(sourceLine, command);
    QVERIFY(!file.empty());
    QCOMPARE(file.back(), '\x1A');
    const std::string text = file.substr(0, file.size() - 1);
    QVERIFY(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n");
    const std::vector<std::string> lines = splitLines(text);
    for (const std::string &l : lines)
        QVERIFY2(l.find_first_of("\r\n") == std::string::npos, l.c_str());
    const unsigned expectedPerRecord =
        perRecord.isEmpty() || perRecord == "0" ? 16 : perRecord.toUInt();
    const std::size_t dataRecords = (last - first) / expectedPerRecord + 1;
    QVERIFY(lines.size() >= dataRecords + 1);

    Unit target(instant());
    SimulatedLine targetLine(target);
    std::snprintf(command, sizeof command, "BS%X", toStart);
    QCOMPARE(ask(targetLine, command), std::string("00\r\n"));
    QCOMPARE(ask(targetLine, load.toStdString()), std::string("01\r\n"));
    for (const std::string &l : lines)
        targetLine.sendLine(l);
    QVERIFY(targetLine.settle());
    QCOMPARE(targetLine.take(), std::string("00\r\n"));

    for (std::uint32_t a = first; a <= last; ++a) {
        if (target.buffer()[(toStart + a) & 0xFFFFF] != source.buffer()[(fromStart + a) & 0xFFFFF])
            QFAIL(qPrintable(QStringLiteral("byte %1 differs").arg(a, 5, 16, QChar('0'))));
    }
    // Nothing outside the range.
    if (first > 0)
        QCOMPARE(target.buffer()[(toStart + first - 1) & 0xFFFFF], std::uint8_t(0xFF));
    if (last < 0xFFFFF)
        QCOMPARE(target.buffer()[(toStart + last + 1) & 0xFFFFF], std::uint8_t(0xFF));
}

void TestUnitRecords::loadProtocol() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "LH"), std::string("01\r\n"));
    line.sendLine(":0300300002337A1E");
    line.sendLine("");
    line.sendLine(":0400000300003800C1");
    QCOMPARE(line.take(), std::string());
    line.sendLine(":00000001FF");
    QCOMPARE(line.take(), std::string("00\r\n"));
    QCOMPARE(unit.buffer()[0x30], std::uint8_t(0x02));
    QCOMPARE(unit.buffer()[0x32], std::uint8_t(0x7A));
    // Lines that follow the end record are swallowed; a command is not.
    line.sendLine("");
    line.sendLine(":00000001FF");
    QCOMPARE(line.take(), std::string());
    QCOMPARE(ask(line, "US1"), std::string("00:07FFF\r\n"));

    QCOMPARE(ask(line, "LS0"), std::string("01\r\n"));
    line.sendLine("S00600004844521B");
    line.sendLine("S1130000285F245F2212226A000424290008237C2A");
    line.sendLine("S5030001FB");
    QCOMPARE(line.take(), std::string());
    line.sendLine("S9030000FC");
    QCOMPARE(line.take(), std::string("00\r\n"));
    QCOMPARE(unit.buffer()[0x0], std::uint8_t(0x28));
    QCOMPARE(unit.buffer()[0xF], std::uint8_t(0x7C));

    QCOMPARE(ask(line, "LHXYZ"), std::string("20\r\n"));
    QCOMPARE(ask(line, "LS1,2"), std::string("20\r\n"));
}

void TestUnitRecords::loadAddressesCountFromBufferStart() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "BS100"), std::string("00\r\n"));
    QCOMPARE(ask(line, "LH1000"), std::string("01\r\n"));
    line.sendLine(":0300300002337A1E");
    line.sendLine(":00000001FF");
    QCOMPARE(line.take(), std::string("00\r\n"));
    QCOMPARE(unit.buffer()[0x1130], std::uint8_t(0x02));
    QCOMPARE(unit.buffer()[0x30], std::uint8_t(0xFF));

    // Addresses beyond 1 MiB wrap.
    QCOMPARE(ask(line, "BS0"), std::string("00\r\n"));
    QCOMPARE(ask(line, "LS"), std::string("01\r\n"));
    line.sendLine("S3090800001001020304D4");
    line.sendLine("S70500000000FA");
    QCOMPARE(line.take(), std::string("00\r\n"));
    QCOMPARE(unit.buffer()[0x10], std::uint8_t(0x01));
    QCOMPARE(unit.buffer()[0x13], std::uint8_t(0x04));
}

void TestUnitRecords::loadRefusedAtBadRecord() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "LH"), std::string("01\r\n"));
    line.sendLine(":0300300002337A1F");
    QCOMPARE(line.take(), std::string("30\r\n"));
    // The rest of the file is swallowed without a word ...
    line.sendLine(":0300400002337A0E");
    line.sendLine("garbage");
    line.sendLine(":00000001FF");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string());
    QCOMPARE(unit.buffer()[0x40], std::uint8_t(0xFF));
    // ... until 0.5 s of silence,
    line.wait(500'000);
    QCOMPARE(ask(line, ":00000001FF"), std::string("22\r\n"));
    // and a command line is served at once.
    QCOMPARE(ask(line, "LS"), std::string("01\r\n"));
    line.sendLine("S1130000285F245F2212226A000424290008237C2B");
    line.sendLine("S9030000FC");
    QCOMPARE(ask(line, "US1"), std::string("30\r\n00:07FFF\r\n"));
    // A line too long for any record is refused too.
    QCOMPARE(ask(line, "LH"), std::string("01\r\n"));
    line.sendLine(":" + std::string(3000, '0'));
    QCOMPARE(line.take(), std::string("30\r\n"));
}

void TestUnitRecords::loadSilence() {
    Unit unit(instant());
    SimulatedLine line(unit);
    // An empty file: nothing comes, the load ends well.
    QCOMPARE(line.take(), std::string());
    line.sendLine("LH");
    QCOMPARE(line.take(), std::string("01\r\n"));
    QVERIFY(unit.busy());
    line.wait(1'999'000);
    QCOMPARE(line.take(), std::string());
    line.wait(1'000);
    QCOMPARE(line.take(), std::string("00\r\n"));
    QVERIFY(!unit.busy());

    // Data that stops before the end record.
    line.sendLine("LS");
    line.sendLine("S20801000001020304EC");
    line.wait(1'999'000);
    QCOMPARE(line.take(), std::string("01\r\n"));
    line.wait(1'000);
    QCOMPARE(line.take(), std::string("32\r\n"));
    QCOMPARE(unit.buffer()[0x10000], std::uint8_t(0x01));

    // Blank lines are no records.
    line.sendLine("LH");
    line.sendLine("");
    QVERIFY(line.settle());
    QCOMPARE(line.take(), std::string("01\r\n00\r\n"));
}

void TestUnitRecords::loadCancelled() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "LH"), std::string("01\r\n"));
    line.sendLine(":0300300002337A1E");
    line.send("\x1B\r\n");
    QCOMPARE(line.take(), std::string("34\r\n"));
    QVERIFY(!unit.busy());
    QCOMPARE(unit.buffer()[0x30], std::uint8_t(0x02));
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitRecords::loadDropsBusyLine() {
    UnitOptions options;
    options.timeScale = 0.5;
    options.lineDigestMicros = 2000;
    Unit unit(options);
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "LH"), std::string("01\r\n"));
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
    std::string data;
    for (int round = 0; round < 3; ++round)
        for (int value = 0; value < 256; ++value)
            data += char(value);
    data += "ON\r\n\x1B\r\n\x1A\r\n";

    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "BS20"), std::string("00\r\n"));
    QCOMPARE(ask(line, "LB" + std::to_string(data.size()) + ",10"), std::string("01\r\n"));
    line.send(data.substr(0, data.size() - 1));
    QCOMPARE(line.take(), std::string());
    line.send(data.substr(data.size() - 1));
    QCOMPARE(line.take(), std::string("00\r\n"));
    for (std::size_t i = 0; i < data.size(); ++i)
        QCOMPARE(unit.buffer()[0x30 + i], std::uint8_t(data[i]));
    QCOMPARE(unit.buffer()[0x2F], std::uint8_t(0xFF));
    QCOMPARE(unit.buffer()[0x30 + data.size()], std::uint8_t(0xFF));

    // And back out, raw, then silence.
    char command[32];
    std::snprintf(command, sizeof command, "SB10,%zX", 0x10 + data.size() - 1);
    QCOMPARE(ask(line, command), data);
    QVERIFY(!unit.busy());
}

void TestUnitRecords::binaryLoadRules() {
    Unit unit(instant());
    SimulatedLine line(unit);
    QCOMPARE(ask(line, "LB0,0"), std::string("01\r\n00\r\n"));
    QCOMPARE(ask(line, "LB"), std::string("20\r\n"));
    QCOMPARE(ask(line, "LBx,0"), std::string("20\r\n"));
    QCOMPARE(ask(line, "LB5,G"), std::string("20\r\n"));
    QCOMPARE(ask(line, "LB1048577,0"), std::string("20\r\n"));
    QCOMPARE(ask(line, "LB2"), std::string("01\r\n"));
    line.send("AB");
    QCOMPARE(line.take(), std::string("00\r\n"));
    QCOMPARE(unit.buffer()[0], std::uint8_t('A'));

    // Bytes that stop coming.
    QCOMPARE(ask(line, "LB5,0"), std::string("01\r\n"));
    line.send("xyz");
    line.wait(1'999'000);
    QCOMPARE(line.take(), std::string());
    line.wait(1'000);
    QCOMPARE(line.take(), std::string("32\r\n"));
    QCOMPARE(ask(line, "ON"), std::string("00\r\n"));
}

void TestUnitRecords::rawSavePausesForHost() {
    Unit unit(instant());
    fillPattern(unit, 0, 0xFFF, 7);
    for (char c : std::string("SB0,FFF\r\n"))
        unit.receive(std::uint8_t(c), 10);
    std::string got;
    std::uint8_t bytes[100];
    got.append(reinterpret_cast<char *>(bytes), unit.transmit(bytes, sizeof bytes, 20));
    unit.setHostReady(false);
    QCOMPARE(unit.transmit(bytes, sizeof bytes, 30), std::size_t(0));
    unit.setHostReady(true);
    for (std::size_t n; (n = unit.transmit(bytes, sizeof bytes, 40)) > 0;)
        got.append(reinterpret_cast<char *>(bytes), n);
    QCOMPARE(got.size(), std::size_t(0x1000));
    QVERIFY(std::equal(got.begin(), got.end(), unit.buffer().begin(),
                       [](char c, std::uint8_t b) { return std::uint8_t(c) == b; }));
}

QTEST_GUILESS_MAIN(TestUnitRecords)
#include "tst_unit_records.moc"
