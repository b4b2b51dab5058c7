// The emulated unit: the reply bytes of every command family, cell writes, records against
// srec_cat, cancel, time-outs, the busy line, the faults; and corvane-unit's usage errors.
#include <unit/simulatedline.h>
#include <unit/unit.h>

#include <QProcess>
#include <QTest>

using namespace corvane;

namespace {

// Sends a line and CR LF (for "..": nothing, time passes until the unit settles) and takes what
// the unit sends before time moves on (a load awaiting data keeps the unit busy: no settling).
QByteArray ask(SimulatedLine &line, const QByteArray &text) {
    text == ".." ? void(line.settle()) : line.sendLine(text.toStdString());
    do
        line.wait(0);
    while (line.unit().hasOutput());
    return QByteArray::fromStdString(line.take());
}

// Runs a transcript of steps separated by blanks: LINE>REPLY sends LINE and CR LF, and exactly
// REPLY must come back ("|" stands for CR LF); bADDR=XX and dADDR=XX put XX at ADDR of the buffer
// or the device memory, bADDR?XX and dADDR?XX check it (both in hex); "--" deselects the device; F-
// Fs Fc Fv make the unit behave, stay silent, cut its replies or vanish from then on.
void run(SimulatedLine &line, const QByteArray &transcript) {
    for (const QByteArray &step : transcript.split(' ')) {
        const qsizetype op = std::max(step.indexOf('='), step.indexOf('?'));
        if (step.size() > 2 && (step[0] == 'b' || step[0] == 'd') && op > 1) {
            auto &memory = step[0] == 'b' ? line.unit().buffer() : line.unit().deviceMemory();
            std::uint8_t &cell = memory[step.mid(1, op - 1).toUInt(nullptr, 16)];
            if (step[op] == '=')
                cell = std::uint8_t(step.mid(op + 1).toUInt(nullptr, 16));
            else
                QCOMPARE(step.left(op + 1) + QByteArray::number(cell + 0x100, 16).toUpper().mid(1),
                         step);
        } else if (step == "--") {
            line.unit().selectDevice("");
        } else if (step.size() == 2 && step[0] == 'F') {
            line.unit().setFault(Fault(QByteArray("-scpnv").indexOf(step[1])));
        } else {
            const QByteArray sent = step.left(step.indexOf('>'));
            QByteArray reply = step.mid(sent.size() + 1);
            QCOMPARE(sent.left(24) + " -> " + ask(line, sent),
                     sent.left(24) + " -> " + reply.replace('|', "\r\n"));
        }
    }
}

QByteArray srecCat(const QStringList &arguments, const QByteArray &input) {
    QProcess tool;
    tool.start(QStringLiteral("srec_cat"), QStringList{"-"} + arguments);
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return "srec_cat failed: " + tool.readAllStandardError();
    return tool.readAllStandardOutput();
}

} // namespace

class TestUnitCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:

    void replies_data() {
        QTest::addColumn<QByteArray>("transcript");
        const auto row = [](const char *name, const QByteArray &t) { QTest::newRow(name) << t; };
        const QByteArray intel("\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9"); // "インテルる" in CP932
        row("queries, buffer settings, dump, clear, lamp",
            "ON>00| US0>00:03,TESSOLIN,TS27E256,00,0| US1>00:07FFF| US2>00:00000,0| BS1000>00| "
            "TW1>00| US2>00:01000,1| BSab>00| US2>00:000AB,1| ON1>20| TW2>20| BS100000>20| BS>20| "
            "BS0>00| b0=00 b1=01 b2=A0 BD0,3>00:00,01,A0,FF| BS100>00| BD1,2>00:01,A0| BD10,F>20| "
            "BD0,100000>20| CL>00| b0?FF d100=00 ES>00| EE>00| d100?FF");
        row("unknown lines, idle cancel",
            "US3>22| XY12>22| on>22| >22| O\nN>22| " + QByteArray(2000, 'A') + ">22| \x1B> ON>00|");
        row("device select", "TS2F," + intel + ",am27r010gg>00| US0>00:2F," + intel +
                                 ",am27r010gg,00,0| US1>00:1FFFF| TS77>21| US1>00:1FFFF| TS>20| "
                                 "TS04,a,b,c>20| TS04,-,->00| US1>00:0FFFF|");
        row("field errors, no device",
            "ER00000,07FFF,0>20| RD00010,0000F,0>20| RD00000,08000,0>20| WT00000,07FFF,3>20| "
            "CP0000G,07FFF,0>20| -- US0>00:-| US1>00:-----| RD00000,07FFF,0>14| ER0,1>14|");
        // Sums are of the bytes, 16 bits: 8000h bytes FF make 7F8000h. Mode 1 is the odd addresses.
        row("EEPROM: sums, details, modes",
            "TS51>00| RD00000,07FFF>00:8000| b10=AA d10=55 CP00000,07FFF,0>12:00010,AA,55| "
            "RD00010,00011,0>00:0154| b10?55 d5=12 BL00000,07FFF>10:00005,12| ER00000,07FFF>00| "
            "BL00000,07FFF>00| b0=A5 d0=00 WT00000,00000,0>00:00A5| d0?A5 b100=11 b101=22 b102=33 "
            "b103=44 WT00100,00103,1>00:0066| d100?FF d101?22 PG00100,00103,2>00:0044|");
        // 07 clears one more bit of 0F; C3 needs ones over the zeros of 3C.
        row("EPROM: bits only fall",
            "b0=0F b1=3C WT00000,00001,0>00:004B| b0=07 b1=C3 WT00000,00001,0>11:00001,C3,00| "
            "d0?07 d1?00 PG00000,00001,0>11:00001,C3,00| ER00000,00001>15|");
        row("flash: bits only fall until erased",
            "TS70>00| b0=00 WT00000,00000,0>00:0000| b0=80 WT00000,00000,0>11:00000,80,00| "
            "ER00000,3FFFF>00| d0?FF WT00000,00000,0>00:0080| d0?80");
        // Buffer type Hi: the word's high byte is at the even buffer address.
        row("word EEPROM, Hi",
            "TS60>00| TW1>00| b2=12 b3=34 PG00001,00001,0>00:0046| d2?34 d3?12 b2=00 b3=00 "
            "RD00001,00001,0>00:0046| b2?12 b3?34 BL00000,0FFFF>10:00001,1234| b2=FF "
            "CP00000,0FFFF,0>12:00001,FF34,1234| SB1,1>\xFF\x34");
        row("text loads",
            "LH>01| :0300300002337a1e> :00000001FF>00| b30?02 b32?7A LHXYZ>20| LS1000>01| "
            "S20801000001020304EC> S5030001FB> S9030000FC>00| b11000?01 b11003?04");
        // After "30" the rest of the file goes unanswered, up to the next command line; a binary
        // load whose bytes stop coming (CR LF, two of three) ends with "32".
        row("load refusals, cancel, binary loads",
            "LB3>01| > ..>32| LH>01| :0300300002337A1F>30| :00000001FF> LS>01| S10200FD>30| LS>01| "
            "S20801000001020304EC> S5030002FA>30| LH>01| \x1B>34| ON>00| LB>20| LB1048577,0>20| "
            "LB4,10>01| AB>00| b10?41 b12?0D b13?0A LB3,20>01| \x1B>00| b20?1B b21?0D b22?0A");
        row("saves", "b0=00 b1=01 b2=02 b3=03 SH0,3>:0400000000010203F6|:00000001FF|\x1A "
                     "SS0,3>S0030000FC|S107000000010203F2|S5030001FB|S9030000FC|\x1A "
                     "SHFFFF,10000>:01FFFF00FF02|:020000040001F9|:01000000FF00|:00000001FF|\x1A "
                     "SB1,2>\x01\x02 SH10,F,0>\x1A SH0,F,251>\x1A SB10,F> ON>00|");
        // Silent takes the line and answers nothing; Vanish does not even take it.
        row("faults", "Fs TS2F> BD0,F> F- US1>00:1FFFF| Fc US1>00:1FFFF BD0,1>00:FF,FF Fv TS03> F- "
                      "US1>00:1FFFF|");
    }

    void replies() {
        QFETCH(QByteArray, transcript);
        Unit unit({0.0, 0});
        SimulatedLine line(unit);
        run(line, transcript);
        QVERIFY(!unit.busy());
    }

    void recordsAgainstSrecCat_data() {
        QTest::addColumn<QByteArray>("save"); // after a transcript step that sets the unit up
        QTest::addColumn<uint>("first");      // the record addresses the save covers
        QTest::addColumn<uint>("count");
        QTest::addColumn<QString>("format"); // srec_cat's, for the file the unit loads
        const auto row = [](const char *save, uint first, uint count, const char *format) {
            QTest::newRow(save) << QByteArray(save) << first << count << QString(format);
        };
        row("BS0>00| SH0,2FFFF", 0, 0x30000, "-intel -address-length=3"); // segment records
        row("BS0>00| SH0,FFFFF,250", 0, 0x100000, "-intel");
        row("BS100>00| SS5,4A,7", 5, 0x46, "-motorola");
        row("TS60>00| SS0,FFFF", 0, 0x20000, "-motorola -address-length=4"); // a word device's end
    }

    void recordsAgainstSrecCat() {
        QFETCH(QByteArray, save);
        QFETCH(uint, first);
        QFETCH(uint, count);
        QFETCH(QString, format);
        const QByteArray setup = save.left(save.indexOf(' ')), command = save.mid(setup.size() + 1);
        const QString type = command.startsWith("SH") ? "-intel" : "-motorola";
        QByteArray image;
        for (std::uint32_t i = 0, state = count; i < count; ++i)
            image += char((state = state * 1664525u + 1013904223u) >> 24);

        // srec_cat reads the unit's save (as far as the end byte 1A) back into the bytes saved.
        Unit source({0.0, 0}), target({0.0, 0});
        SimulatedLine sourceLine(source), targetLine(target);
        run(sourceLine, setup);
        std::copy(image.begin(), image.end(),
                  source.buffer().begin() + source.bufferStart() + first);
        const QByteArray saved = ask(sourceLine, command);
        QVERIFY(saved.endsWith("\r\n\x1A"));
        const QStringList toBinary{type, "-offset", "-" + QString::number(first),
                                   "-o", "-",       "-binary"};
        QCOMPARE(srecCat(toBinary, saved.chopped(1)), image);

        // The same bytes as srec_cat writes them (lines ending in LF alone) load into the unit.
        const QByteArray records =
            srecCat(QStringList{"-binary", "-offset", QString::number(first), "-o", "-"} +
                        format.split(' ') + QStringList{"-execution-start-address=0"},
                    image);
        run(targetLine, setup + (type == "-intel" ? " LH>01|" : " LS>01|"));
        for (const QByteArray &record : records.trimmed().split('\n'))
            targetLine.sendLine(record.toStdString());
        run(targetLine, "..>00|");
        const auto at = target.buffer().begin() + target.bufferStart() + first;
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&*at), count), image);
    }

    void timeCancelAndNoise() {
        Unit unit; // real time: reading 512 KiB of flash at 4 us a byte takes 2.1 s
        SimulatedLine line(unit);
        run(line, "TS71>00|");
        std::fill(unit.deviceMemory().begin(), unit.deviceMemory().begin() + 0x80000, 0x5A);
        line.sendLine("RD00000,7FFFF,0");
        line.wait(500'000);
        line.send("ON\r\n\x1B\r\n"); // the "ON" is ignored while the operation runs
        QCOMPARE(line.take(), std::string("34\r\n"));
        run(line, "b0?5A b7FFFF?FF ON>00|"); // what was read stays
        // A dump of 3 MB cancelled at once: what was handed to the line, then "34".
        line.send("BD0,FFFFF\r\n\x1B\r\n");
        const std::string dump = line.take();
        QVERIFY(dump.size() < 1'000'000 && dump.starts_with("00:5A,5A,") &&
                dump.ends_with("34\r\n"));

        // The busy line is low for 2 ms while the unit digests a data line of a load; 2 s after the
        // last byte a load that had a record answers "32".
        run(line, "LS>01| S20801000001020304EC>");
        QVERIFY(!unit.clearToSend(line.now()) && !unit.clearToSend(line.now() + 1999));
        QVERIFY(unit.clearToSend(line.now() + 2000));
        line.wait(1'999'000);
        QCOMPARE(line.take(), std::string());
        line.wait(1'000);
        QCOMPARE(line.take(), std::string("32\r\n"));

        // Noise: an endless stream without CR LF.
        unit.setFault(Fault::Noise);
        line.sendLine("ON");
        const std::string noise = line.take();
        QVERIFY(noise.size() > 10'000 && noise.find_first_of("\r\n") == std::string::npos &&
                unit.hasOutput());
        unit.setFault(Fault::Vanish); // unplugged: nothing more comes, the busy line is low
        QVERIFY(!unit.hasOutput() && !unit.clearToSend(line.now()));
        run(line, "F- ON>00|");
    }

    void serverUsageErrors_data() {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<QByteArray>("message"); // the start of standard error
        const auto row = [](const char *a, const char *m) {
            QTest::newRow(a) << QString(a) << QByteArray(m);
        };
        row("--speed fast", "corvane-unit: bad speed: fast\n");
        row("--fault smoke", "corvane-unit: unknown fault: smoke\n");
        // 1e13 times programming the largest device (about 36 s) overflows the microsecond clocks.
        row("--time-scale 1e13", "corvane-unit: time scale too large: 1e13 (at most");
    }

    void serverUsageErrors() {
        QFETCH(QString, arguments);
        QFETCH(QByteArray, message);
        QProcess server;
        server.start(qEnvironmentVariable("CORVANE_UNIT_BIN"), arguments.split(' '));
        QVERIFY(server.waitForFinished(5000));
        QCOMPARE(server.exitCode(), 2);
        QCOMPARE(server.readAllStandardError().left(message.size()), message);
        QVERIFY(server.readAllStandardOutput().isEmpty()); // no terminal was served
    }
};

QTEST_GUILESS_MAIN(TestUnitCommands)
#include "tst_unit_commands.moc"
