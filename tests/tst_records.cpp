// The Intel HEX and Motorola S reader and writer: known records good and bad, and files srec_cat
// makes from random images and reads back from ours.

#include "text/records.h"

#include <QBuffer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace Qt::StringLiterals;

namespace {

// A reading as the tables write it: "ADDRESS:BYTES" per run, "@ENTRY", "! LINE 行目: MESSAGE".
QString describe(const RecordsRead &read) {
    QStringList parts;
    for (const ByteRun &run : read.image.runs())
        parts << QString::number(run.address, 16) + u':' + QString::fromLatin1(run.bytes.toHex());
    if (read.entry)
        parts << u'@' + QString::number(*read.entry, 16);
    if (read.error)
        parts << u"! "_s + read.error->text();
    return parts.join(u' ');
}

// Random bytes at the runs of `layout` ("ADDRESS+SIZE,...", hex), each run also as a binary file.
MemoryImage randomImage(const QString &layout, const QString &dir, QStringList &inputs) {
    MemoryImage image;
    QRandomGenerator random(qHash(layout));
    for (const QString &run : layout.split(u',')) {
        const quint32 address = run.section(u'+', 0, 0).toUInt(nullptr, 16);
        QByteArray bytes(run.section(u'+', 1).toInt(nullptr, 16), '\0');
        for (char &byte : bytes)
            byte = char(random.bounded(256));
        image.write(address, bytes);
        QFile file(dir + u"/in%1.bin"_s.arg(inputs.size()));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        inputs << file.fileName() << u"-binary"_s << u"-offset"_s
               << u"0x"_s + run.section(u'+', 0, 0);
    }
    return image;
}

// srec_cat with `arguments`; its standard error must stay empty (no warnings).
bool runSrecCat(const QStringList &arguments) {
    QProcess process;
    process.start(u"srec_cat"_s, arguments);
    const bool ok = process.waitForFinished() && process.exitCode() == 0;
    const QByteArray errors = process.readAllStandardError();
    if (!errors.isEmpty())
        qWarning().noquote() << errors;
    return ok && errors.isEmpty();
}

void row(const char *name, const QByteArray &text, const QString &expected) {
    QTest::newRow(name) << text << expected;
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void frames_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        row("00 data, 01 end", ":03001000010203E7\r\n:00000001FF\r\n", u"10:010203"_s);
        row("02 segment", ":020000021000EC\n:02FFF000AABBAA\n", u"1fff0:aabb"_s);
        row("04 linear", ":020000041234B4\r:02567800AABBCB\r", u"12345678:aabb"_s);
        row("03 start CS:IP", ":0400000312340005AE", u"@12340005"_s);
        row("05 start", ":0400000512345678E3\n\n  \t\n:00000001FF", u"@12345678"_s);
        row("lower case, later wins", ":03001000aabbccbc\r\n:01001100dd11\r\n", u"10:aaddcc"_s);
        row("up to 4 GiB", ":02000004FFFFFC\n:01FFFF00AA57\n", u"ffffffff:aa"_s);
        row("after the end", ":00000001FF\n:0100000210ED\ngarbage\n", u""_s);
        row("S0 S1 S5 S9", "S00600004844521B\nS10512340102B1\nS5030001FB\nS9031234B6\n",
            u"1234:0102 @1234"_s);
        row("S2 S6 S8", "S20612345601025A\r\nS604000001FA\r\nS8041234565F\r\n",
            u"123456:0102 @123456"_s);
        row("S3 S7, no S0", "S307123456780102E1\rS70512345678E6", u"12345678:0102 @12345678"_s);
        row("S lower case", "S1050000aabb95\n", u"0:aabb"_s);
        row("bad checksum", ":03001000010203E7\n:03001000010203E8\n",
            u"10:010203 ! 2 行目: チェックサムが違います。"_s);
        row("bad S checksum", "\r\nS10512340102B2\r\n", u"! 2 行目: チェックサムが違います。"_s);
        row("count too high", ":04001000010203E7\n", u"! 1 行目: レコードの長さが違います。"_s);
        row("count too low", "S1040000AABB95\n", u"! 1 行目: レコードの長さが違います。"_s);
        row("02 with one byte", ":0100000210ED\n", u"! 1 行目: レコードの長さが違います。"_s);
        row("01 with data", ":0100000100FE\n", u"! 1 行目: レコードの長さが違います。"_s);
        row("S9 with data", "S904000001FA\n", u"! 1 行目: レコードの長さが違います。"_s);
        row("not hex", "\r\r:0300100001020G27\r", u"! 3 行目: 16 進数ではありません。"_s);
        row("odd digits", ":03001000010203E\n", u"! 1 行目: 16 進数ではありません。"_s);
        row("garbage", "x\n:00000001FF\n", u"! 1 行目: レコードではありません。"_s);
        row("indented", " :00000001FF\n", u"! 1 行目: レコードではありません。"_s);
        row("type 06", ":00000006FA\n", u"! 1 行目: レコードの種類が違います。"_s);
        row("S4", "S4030000FC\n", u"! 1 行目: レコードの種類が違います。"_s);
        row("S5 count wrong", "S10512340102B1\nS5030002FA\n",
            u"1234:0102 ! 2 行目: データレコードの数が違います。"_s);
        row("past 4 GiB", ":02000004FFFFFC\n:02FFFF00AABB9B\n",
            u"! 2 行目: アドレスが 4 GiB を超えます。"_s);
        row("S3 past 4 GiB", "S306FFFFFFFF01FC\nS307FFFFFFFF0102F9\n",
            u"ffffffff:01 ! 2 行目: アドレスが 4 GiB を超えます。"_s);
        row("line too long", ":" + QByteArray(1100, '0'), u"! 1 行目: 行が長すぎます。"_s);
    }
    // The same from a string and from a device.
    void frames() {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        QCOMPARE(describe(readRecords(text)), expected);
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QCOMPARE(describe(readRecords(&buffer)), expected);
    }

    // Records never cross 64 KiB; upper case, CR LF; the S record width the highest address needs.
    void written_data() {
        QTest::addColumn<RecordFormat>("format");
        QTest::addColumn<quint32>("address");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("intel across 64 KiB")
            << RecordFormat::IntelHex << 0xFFFFu
            << ":01FFFF00AA57\r\n:020000040001F9\r\n:01000000BB44\r\n:00000001FF\r\n"_ba;
        QTest::newRow("intel above 64 KiB")
            << RecordFormat::IntelHex << 0x12345678u
            << ":020000041234B4\r\n:02567800AABBCB\r\n:00000001FF\r\n"_ba;
        QTest::newRow("S2")
            << RecordFormat::MotorolaS << 0xFFFFu
            << "S0030000FC\r\nS20600FFFFAABB96\r\nS5030001FB\r\nS804000000FB\r\n"_ba;
    }
    void written() {
        QFETCH(RecordFormat, format);
        QFETCH(quint32, address);
        MemoryImage image;
        image.write(address, "\xAA\xBB");
        QTEST(writeRecords(format, image), "expected");
    }

    void srecCat_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QStringList>("options"); // srec_cat's output format and options
        QTest::addColumn<int>("perRecord");       // writeRecords' record size
        QTest::newRow("intel 16-bit") << u"0+300"_s << QStringList{u"-intel"_s} << 16;
        QTest::newRow("intel linear, across 64 KiB, gap")
            << u"fff0+100,20000+50"_s << QStringList{u"-intel"_s, u"-obs=32"_s} << 255;
        QTest::newRow("intel segment")
            << u"1ff80+300,30000+10"_s << QStringList{u"-intel"_s, u"-address-length=3"_s} << 32;
        QTest::newRow("intel high, aligned blocks, CR")
            << u"ffff0013+200"_s
            << QStringList{u"-intel"_s, u"-obs=16"_s, u"-Output_Block_Alignment"_s,
                           u"-line-termination=carriage-return"_s}
            << 7;
        QTest::newRow("motorola S1, gap")
            << u"0+300,1000+20"_s << QStringList{u"-motorola"_s, u"-crlf"_s} << 16;
        QTest::newRow("motorola S2")
            << u"3+130,fffff0+10"_s << QStringList{u"-motorola"_s, u"-address-length=3"_s} << 255;
        QTest::newRow("motorola S3")
            << u"12345678+300"_s << QStringList{u"-motorola"_s, u"-address-length=4"_s} << 1;
    }
    // srec_cat's files give the image's bytes; ours give srec_cat the image's bytes (gaps filled
    // by it) and no warning.
    void srecCat() {
        QFETCH(QString, layout);
        QFETCH(QStringList, options);
        QFETCH(int, perRecord);
        if (QStandardPaths::findExecutable(u"srec_cat"_s).isEmpty())
            QSKIP("srec_cat is missing (Debian package srecord, scripts/setup.sh installs it)");
        QTemporaryDir dir;
        QStringList inputs;
        const MemoryImage image = randomImage(layout, dir.path(), inputs);
        const QString theirs = dir.filePath(u"theirs"_s);
        QVERIFY(runSrecCat(inputs + QStringList{u"-o"_s, theirs} + options));
        QFile file(theirs);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const RecordsRead read = readRecords(&file);
        QCOMPARE(describe(read), describe(RecordsRead{image, {}, read.entry}));

        const RecordFormat format =
            options[0] == u"-intel" ? RecordFormat::IntelHex : RecordFormat::MotorolaS;
        const QString ours = dir.filePath(u"ours"_s), binary = dir.filePath(u"ours.bin"_s);
        QFile out(ours);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(writeRecords(format, image, perRecord));
        out.close();
        const QString low = QString::number(image.lowest());
        QVERIFY(runSrecCat({ours, options[0], u"-fill"_s, u"0x5A"_s, low,
                            QString::number(quint64(image.highest()) + 1), u"-offset"_s, u'-' + low,
                            u"-o"_s, binary, u"-binary"_s}));
        QByteArray expected(qsizetype(image.highest() - image.lowest() + 1), 'Z');
        for (const ByteRun &run : image.runs())
            expected.replace(run.address - image.lowest(), run.bytes.size(), run.bytes);
        QFile back(binary);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QVERIFY(back.readAll() == expected);
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
