// The emulated unit's work on the device and its buffer: blank check, read, verify, write, program,
// erase, the EPROM rules and the UV lamp, access modes, word lanes, timing and cancel, clear, dump.
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QRegularExpression>
#include <QTest>

using namespace corvane;

namespace {

constexpr UnitOptions kInstant{0.0}; // device operations take no time

QByteArray hex(unsigned value, int digits) {
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

// The reply to a device operation that went well: "00:" and the 16-bit sum of the bytes.
QByteArray sum(unsigned bytes) {
    return "00:" + hex(bytes & 0xFFFF, 4);
}

std::string ask(SimulatedLine &line, const std::string &command) {
    line.sendLine(command);
    line.settle();
    return line.take();
}

// Runs a transcript: steps separated by blanks, each one of
//   COMMAND>REPLY  send the command line; REPLY and CR LF must come back
//   bADDR=XX       put byte XX at buffer address ADDR (dADDR=XX: in the device memory)
//   bADDR?XX       buffer address ADDR must hold XX (dADDR?XX: the device memory)
// with ADDR and XX in hex. Command words are upper case, so the steps cannot be confused.
void run(SimulatedLine &line, const QByteArray &transcript) {
    for (const QByteArray &step : transcript.split(' ')) {
        if (step.startsWith('b') || step.startsWith('d')) {
            std::vector<std::uint8_t> &memory =
                step[0] == 'b' ? line.unit().buffer() : line.unit().deviceMemory();
            const qsizetype op = std::max(step.indexOf('='), step.indexOf('?'));
            QVERIFY(op > 1);
            std::uint8_t &byte = memory[step.mid(1, op - 1).toUInt(nullptr, 16)];
            if (step[op] == '=')
                byte = std::uint8_t(step.mid(op + 1).toUInt(nullptr, 16));
            else
                QCOMPARE(step.left(op + 1) + hex(byte, 2), step);
            continue;
        }
        const qsizetype split = step.indexOf('>');
        QVERIFY(split > 0);
        const QByteArray command = step.left(split);
        QCOMPARE(command + " -> " + QByteArray::fromStdString(ask(line, command.toStdString())),
                 command + " -> " + step.mid(split + 1) + "\r\n");
    }
}

} // namespace

class TestUnitDevice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void scripts_data();
    void scripts();
    void epromErasedByLamp();
    void operationTakesTime();
    void cancelKeepsWhatWasDone();
    void dumpWholeBufferAndCancel();
};

void TestUnitDevice::scripts_data() {
    QTest::addColumn<QByteArray>("transcript");
    QTest::addColumn<QByteArray>("start"); // the device selected at first, "" for none
    const auto row = [](const char *name, const QByteArray &transcript, const char *start = "03") {
        QTest::newRow(name) << transcript << QByteArray(start);
    };
    // "03" is a byte EPROM (end 07FFF), "51" a byte EEPROM (end 07FFF), "70" a byte flash (end
    // 3FFFF), "40" a word EPROM, "60" a word EEPROM.
    row("blank check and erase",
        "TS51>00 d5=12 d7FFF=00 BL00000,07FFF>10:00005,12 ER00000,00005>00 BL00000,07FFE>00 "
        "BL00000,07FFF>10:07FFF,00 ER00000,07FFF>00 BL00000,07FFF>00");
    row("verify names the first difference",
        "TS51>00 b10=AA d10=55 b20=00 CP00000,07FFF,0>12:00010,AA,55 "
        "CP00011,07FFF,0>12:00020,00,FF");
    // 07 clears one more bit of 0F, C3 needs ones over the zeros of 3C.
    row("EPROM only clears bits", "b0=0F b1=3C WT00000,00001,0>" + sum(0x0F + 0x3C) +
                                      " b0=07 b1=C3 WT00000,00001,0>11:00001,C3,00 d0?07 d1?00 "
                                      "PG00000,00001,0>11:00001,C3,00 ER00000,00001>15 d0?07");
    row("flash needs erase", "TS70>00 b0=00 WT00000,00000,0>" + sum(0) +
                                 " b0=80 WT00000,00000,0>11:00000,80,00 ER00000,3FFFF>00 "
                                 "WT00000,00000,0>" +
                                 sum(0x80) + " d0?80");
    row("EEPROM writes over anything",
        "TS51>00 d0=00 b0=A5 WT00000,00000,0>" + sum(0xA5) + " d0?A5");
    row("word details have four digits",
        "TS40>00 b2=CD b3=AB CP00000,1FFFF,0>12:00001,ABCD,FFFF WT00001,00001,0>" +
            sum(0xAB + 0xCD) +
            " BL00000,1FFFF>10:00001,ABCD b2=FF WT00001,00001,0>11:00001,ABFF,ABCD");

    // Modes: 0 or empty all addresses, 1 the odd ones, 2 the even ones; written, verified and read
    // back at device addresses 100-107.
    const auto modes = [&](const char *name, const QByteArray &mode, const char *written) {
        QByteArray fill, wrote, cleared, read;
        unsigned total = 0;
        for (unsigned a = 0; a < 8; ++a) {
            const bool on = written[a] == 'x';
            const QByteArray address = hex(0x100 + a, 3);
            total += on ? 0x10 + a : 0;
            fill += " b" + address + "=" + hex(0x10 + a, 2);
            wrote += " d" + address + "?" + hex(on ? 0x10 + a : 0xFF, 2);
            cleared += " b" + address + "=00";
            read += " b" + address + "?" + hex(on ? 0x10 + a : 0, 2);
        }
        const QByteArray range = "00100,00107," + mode + ">" + sum(total);
        row(name, "TS51>00" + fill + " WT" + range + wrote + " d0FF?FF d108?FF CP" + range +
                      cleared + " b0FF=00 b108=00 RD" + range + read + " b0FF?00 b108?00");
    };
    modes("mode 0", "0", "xxxxxxxx");
    modes("mode empty", "", "xxxxxxxx");
    modes("mode 1", "1", ".x.x.x.x");
    modes("mode 2", "2", "x.x.x.x.");

    // Device word 1 is device bytes 2 (low) and 3 (high); in the buffer its low byte is at `low`,
    // its high byte at `high`. Reading words 0 and 2 leaves them alone.
    const auto lanes = [&](const char *name, const char *start, const char *type, unsigned low,
                           unsigned high) {
        const QByteArray l = "b" + hex(low, 1), h = "b" + hex(high, 1);
        row(name, "TS60>00 BS" + QByteArray(start) + ">00 TW" + type + ">00 " + l + "=34 " + h +
                      "=12 PG00001,00001,0>" + sum(0x12 + 0x34) + " d1?FF d2?34 d3?12 d4?FF " + l +
                      "=00 " + h + "=00 RD00000,00002,2>" + sum(0xFF * 4) + " RD00001,00001,1>" +
                      sum(0x12 + 0x34) + " " + l + "?34 " + h + "?12");
    };
    lanes("Low, start 0", "0", "0", 2, 3);
    lanes("Hi, start 0", "0", "1", 3, 2);
    // With an odd start the word's bytes are 2w+1 and 2w+2 from 0: the even one decides.
    lanes("Low, start 1", "1", "0", 4, 3);
    lanes("Hi, start 1", "1", "1", 3, 4);

    // On "03": "20" for a mode where none belongs, too few or too many fields, start after end, an
    // end beyond the device, mode 3 or a letter, dashes, six digits, not hex, an empty field; "15"
    // for erasing an EPROM; short fields, no mode field and a range without an odd address are
    // fine. Without a device every one is "14".
    const QString fields = "BL00000,07FFF,0>20 ER00000,07FFF,0>20 RD00000>20 RD00000,00001,0,0>20 "
                           "RD00010,0000F,0>20 RD00000,08000,0>20 WT00000,07FFF,3>20 "
                           "WT00000,07FFF,A>20 BL00000,----->20 CP000000,07FFF,0>20 "
                           "CP0000G,07FFF,0>20 PG00000,,0>20 ER00000,07FFF>15 BL0,7FFF>00 "
                           "RD00000,00000>00:00FF WT00002,00002,1>00:0000";
    row("fields", fields.toLatin1());
    row("fields without a device",
        QString(fields).replace(QRegularExpression(">\\S+"), ">14").toLatin1(), "");

    // The dump shows buffer addresses as they are, whatever the start address.
    row("dump", "b0=00 b1=01 b2=A0 BD0,3>00:00,01,A0,FF BD1,1>00:01 BDFFFFF,FFFFF>00:FF BS100>00 "
                "BD00000000,2>00:00,01,A0");
}

void TestUnitDevice::scripts() {
    QFETCH(QByteArray, transcript);
    QFETCH(QByteArray, start);
    Unit unit(kInstant);
    unit.selectDevice(start.toStdString());
    SimulatedLine line(unit);
    run(line, transcript);
}

void TestUnitDevice::epromErasedByLamp() {
    Unit unit({0.001}); // 3 ms of light
    SimulatedLine line(unit);
    const auto lamp = [&](const char *command) {
        line.sendLine(command); // no settling: the light keeps the unit busy
        return line.take();
    };
    unit.deviceMemory()[0x100] = 0x00;
    QCOMPARE(lamp("ES"), std::string("00\r\n"));
    QVERIFY(unit.lampOn());
    QVERIFY(unit.busy());
    line.wait(1'000);
    QCOMPARE(lamp("EE"), std::string("00\r\n"));
    QVERIFY(!unit.lampOn());
    QVERIFY(!unit.busy());
    run(line, "BL00000,07FFF>10:00100,00");
    QCOMPARE(lamp("ES"), std::string("00\r\n"));
    line.wait(1'900);
    QCOMPARE(unit.deviceMemory()[0x100], std::uint8_t(0x00));
    line.wait(200); // the light adds up over both periods
    QCOMPARE(unit.deviceMemory()[0x100], std::uint8_t(0xFF));
    QVERIFY(!unit.busy());
    QCOMPARE(lamp("EE"), std::string("00\r\n"));
    run(line, "BL00000,07FFF>00 TS51>00 d100=00");

    // The lamp does not erase an EEPROM.
    QCOMPARE(lamp("ES"), std::string("00\r\n"));
    line.wait(10'000);
    QCOMPARE(unit.deviceMemory()[0x100], std::uint8_t(0x00));
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
    QCOMPARE(QByteArray::fromStdString(line.take()), sum(0xFF * 0x8000) + "\r\n");
    QVERIFY(!unit.busy());
    QVERIFY(!unit.nextDeadline());

    // A failure ends the operation early, in proportion to where it was found.
    unit.deviceMemory()[0x1000] = 0;
    line.sendLine("BL00000,07FFF");
    QVERIFY(*unit.nextDeadline() <= line.now() + 17'000);
    line.wait(17'000);
    QCOMPARE(line.take(), std::string("10:01000,00\r\n"));
    // So does a write that needs a 1 over a 0 of the EPROM: 4097 cells at 30 us.
    unit.buffer()[0x1000] = 0x01;
    line.sendLine("WT00000,07FFF,0");
    QVERIFY(*unit.nextDeadline() <= line.now() + 123'000);
    line.wait(123'000);
    QCOMPARE(line.take(), std::string("11:01000,01,00\r\n"));
}

void TestUnitDevice::cancelKeepsWhatWasDone() {
    Unit unit;
    SimulatedLine line(unit);
    run(line, "TS71>00"); // 512 KiB flash: read 2.1 s
    std::fill(unit.deviceMemory().begin(), unit.deviceMemory().begin() + 0x80000, 0x5A);
    line.sendLine("RD00000,7FFFF,0");
    line.wait(500'000);
    line.sendLine("ON"); // ignored while the operation runs
    line.wait(10'000);
    QCOMPARE(line.take(), std::string());
    line.send("\x1B\r\n");
    QCOMPARE(line.take(), std::string("34\r\n"));
    QVERIFY(!unit.busy());
    run(line, "b0?5A b7FFFF?FF ON>00");

    // The buffer clear takes 0.3 s.
    run(line, "b0=00 bFFFFF=00");
    line.sendLine("CL");
    line.wait(100'000);
    QCOMPARE(line.take(), std::string());
    line.send("\x1B\r\n");
    QCOMPARE(line.take(), std::string("34\r\n"));
    run(line, "b0?00 CL>00");
    QVERIFY(
        std::all_of(unit.buffer().begin(), unit.buffer().end(), [](auto b) { return b == 0xFF; }));
}

void TestUnitDevice::dumpWholeBufferAndCancel() {
    Unit unit(kInstant);
    SimulatedLine line(unit);
    run(line, "b0=00 b1=01 b2=A0");
    const std::string whole = ask(line, "BD0,FFFFF");
    QCOMPARE(whole.size(), std::size_t(3 + 0x100000 * 3 - 1 + 2));
    QCOMPARE(whole.substr(0, 12), std::string("00:00,01,A0,"));
    QCOMPARE(whole.substr(whole.size() - 5), std::string(",FF\r\n"));

    // Cancelled after 100 bytes: what was already handed to the line goes out, then "34".
    for (char c : std::string("BD0,FFFFF\r\n"))
        unit.receive(std::uint8_t(c), line.now());
    std::uint8_t bytes[100];
    QCOMPARE(unit.transmit(bytes, sizeof bytes, line.now()), sizeof bytes);
    for (char c : std::string("\x1B\r\n"))
        unit.receive(std::uint8_t(c), line.now());
    std::string rest;
    for (std::size_t n; (n = unit.transmit(bytes, sizeof bytes, line.now())) > 0;)
        rest.append(reinterpret_cast<char *>(bytes), n);
    QVERIFY(rest.size() < 1000);
    QCOMPARE(rest.substr(rest.size() - 4), std::string("34\r\n"));
    QVERIFY(!unit.busy());
}

QTEST_GUILESS_MAIN(TestUnitDevice)
#include "tst_unit_device.moc"
