// The text rules of the device and buffer operations, without a window: the five-character
// address, the access-mode letters, the dump start and the dump table's lines.

#include "ops/opstext.h"

#include <QTest>

using namespace corvane;

namespace {

// Feeds `data` to a table and returns the log lines it produces: full lines as they complete, then
// the last line on LF. The bool tells whether LF was reached.
QPair<QStringList, bool> runTable(std::uint32_t start, const QByteArray &data) {
    DumpTable table(start);
    QStringList lines;
    for (const char c : data) {
        const DumpTable::Step step = table.take(c);
        if (step == DumpTable::Step::LineFull)
            lines.append(table.takeLine());
        if (step == DumpTable::Step::End) {
            if (const std::optional<QString> last = table.lastLine())
                lines.append(*last);
            return {lines, true};
        }
    }
    return {lines, false};
}

// The unit's data for bytes first..last: "," before every byte but the first, CR LF at the end.
QByteArray unitData(int first, int last) {
    QByteArray data;
    for (int b = first; b <= last; ++b) {
        if (b != first)
            data += ',';
        data += QByteArray::number(b & 0xFF, 16).toUpper().rightJustified(2, '0');
    }
    return data + "\r\n";
}

} // namespace

class TestOpsText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fiveCharAddress_data();
    void fiveCharAddress();
    void accessMode_data();
    void accessMode();
    void sendsAccessMode();
    void dumpStartValue_data();
    void dumpStartValue();
    void dumpLabel_data();
    void dumpLabel();
    void header();
    void table_data();
    void table();
    void partialLineIsKept();
};

void TestOpsText::fiveCharAddress_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << ""
                           << "00000";
    QTest::newRow("one digit") << "1"
                               << "00001";
    QTest::newRow("three digits") << "100"
                                  << "00100";
    QTest::newRow("five") << "1FFFF"
                          << "1FFFF";
    QTest::newRow("six keeps last five") << "123456"
                                         << "23456";
    QTest::newRow("not validated") << "XY"
                                   << "000XY";
}

void TestOpsText::fiveCharAddress() {
    QFETCH(QString, field);
    QFETCH(QString, address);
    QCOMPARE(corvane::fiveCharAddress(field), address);
}

void TestOpsText::accessMode_data() {
    QTest::addColumn<QString>("letter");
    QTest::addColumn<QString>("digit");
    QTest::addColumn<QString>("logLine");
    QTest::newRow("empty") << ""
                           << "0"
                           << "    mode         = ALL";
    QTest::newRow("A") << "A"
                       << "0"
                       << "    mode         = ALL";
    QTest::newRow("O") << "O"
                       << "1"
                       << "    mode         = ODD";
    QTest::newRow("E") << "E"
                       << "2"
                       << "    mode         = EVEN";
    QTest::newRow("X") << "X"
                       << ""
                       << "";
    QTest::newRow("lower a is not A") << "a"
                                      << ""
                                      << "";
}

void TestOpsText::accessMode() {
    QFETCH(QString, letter);
    QFETCH(QString, digit);
    QFETCH(QString, logLine);
    const AccessMode mode = corvane::accessMode(letter);
    QCOMPARE(mode.digit, digit);
    QCOMPARE(mode.logLine, logLine);
}

void TestOpsText::sendsAccessMode() {
    for (const char *word : {"PG", "WT", "CP", "RD"})
        QVERIFY2(corvane::sendsAccessMode(QString::fromLatin1(word)), word);
    for (const char *word : {"BL", "ER", "pg", ""})
        QVERIFY2(!corvane::sendsAccessMode(QString::fromLatin1(word)), word);
}

void TestOpsText::dumpStartValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<uint>("value");
    QTest::newRow("0") << "0" << true << 0u;
    QTest::newRow("5") << "5" << true << 5u;
    QTest::newRow("0FF") << "0FF" << true << 0xFFu;
    QTest::newRow("lower case") << "1a" << true << 0x1Au;
    QTest::newRow("stops at non-hex") << "12G4" << true << 0x12u;
    QTest::newRow("no digit") << "XYZ" << true << 0u;
    QTest::newRow("empty") << "" << true << 0u;
    QTest::newRow("full-width digit is not hex") << "１" << true << 0u;
    QTest::newRow("six digits") << "FFFFFF" << true << 0xFFFFFFu;
    QTest::newRow("leading zeros") << "0000000000010" << true << 0x10u;
    QTest::newRow("seven digits") << "1000000" << false << 0u;
    QTest::newRow("huge") << "FFFFFFFFFFFFFFFFFFFF" << false << 0u;
}

void TestOpsText::dumpStartValue() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(uint, value);
    const std::optional<std::uint32_t> result = corvane::dumpStartValue(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, value);
}

void TestOpsText::dumpLabel_data() {
    QTest::addColumn<uint>("address");
    QTest::addColumn<QString>("label");
    QTest::newRow("0") << 0u << "00000";
    QTest::newRow("5") << 5u << "00000";
    QTest::newRow("15") << 0x15u << "00001";
    QTest::newRow("12340") << 0x12340u << "01234";
    QTest::newRow("upper case") << 0xABCDEFu << "ABCDE";
}

void TestOpsText::dumpLabel() {
    QFETCH(uint, address);
    QFETCH(QString, label);
    QCOMPARE(corvane::dumpLabel(address), label);
}

void TestOpsText::header() {
    QCOMPARE(DumpTable::header(),
             QStringLiteral("  ADD +0 +1 +2 +3 +4 +5 +6 +7 +8 +9 +A +B +C +D +E +F"));
    QCOMPARE(DumpTable::header().size(), DumpTable::kLineLength);
}

void TestOpsText::table_data() {
    QTest::addColumn<uint>("start");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("0 to F") << 0u << unitData(0, 15)
                            << QStringList{"00000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"};
    QTest::newRow("5 to F") << 5u << unitData(5, 15)
                            << QStringList{"00000 -- -- -- -- -- 05 06 07 08 09 0A 0B 0C 0D 0E 0F"};
    QTest::newRow("5 to 17, second line labelled 00001")
        << 5u << unitData(5, 0x17)
        << QStringList{"00000 -- -- -- -- -- 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
                       "00001 10 11 12 13 14 15 16 17"};
    QTest::newRow("short last line")
        << 0x100u << unitData(0, 18)
        << QStringList{"00010 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F", "00011 10 11 12"};
    QTest::newRow("exact multiple of 16: the label-only line is not written")
        << 0u << unitData(0, 31)
        << QStringList{"00000 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F",
                       "00001 10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F"};
    QTest::newRow("no data at start 0") << 0u << QByteArray("\r\n") << QStringList{"00000 "};
    QTest::newRow("no data at start 3")
        << 3u << QByteArray("\r\n") << QStringList{"00000 -- -- -- "};
    QTest::newRow("one byte at start F")
        << 0xFu << QByteArray("AA\r\n")
        << QStringList{"00000 -- -- -- -- -- -- -- -- -- -- -- -- -- -- -- AA"};
    QTest::newRow("bare LF keeps the data")
        << 0u << QByteArray("01,02\n") << QStringList{"00000 01 02"};
}

void TestOpsText::table() {
    QFETCH(uint, start);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, lines);
    const auto [produced, ended] = runTable(start, data);
    QVERIFY(ended);
    QCOMPARE(produced, lines);
    for (qsizetype i = 0; i + 1 < produced.size(); ++i)
        QCOMPARE(produced[i].size(), DumpTable::kLineLength);
}

void TestOpsText::partialLineIsKept() {
    DumpTable table(0);
    for (const char c : QByteArray("00,01,02"))
        QCOMPARE(table.take(c), DumpTable::Step::Taken);
    QCOMPARE(table.line(), QStringLiteral("00000 00 01 02"));
}

QTEST_APPLESS_MAIN(TestOpsText)
#include "tst_ops_text.moc"
