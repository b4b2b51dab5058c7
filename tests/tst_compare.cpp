// The buffer's data without a window: memory images, the comparison with a file, the sums of a
// selection, the runs a write-back sends, and image files that cannot be used.

#include "testing.h"
#include "text/bytecompare.h"
#include "text/imagefile.h"

#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

namespace {

// "addr:HEX addr:HEX ..." written in order.
MemoryImage imageOf(const QString &writes) {
    MemoryImage image;
    for (const QString &write : writes.split(u' ', Qt::SkipEmptyParts))
        image.write(write.section(u':', 0, 0).toUInt(nullptr, 16),
                    QByteArray::fromHex(write.section(u':', 1).toLatin1()));
    return image;
}

QString runsOf(const std::vector<ByteRun> &image) {
    QStringList runs;
    for (const ByteRun &run : image)
        runs << u"%1:%2"_s.arg(run.address, 0, 16).arg(QString::fromLatin1(run.bytes.toHex()));
    return runs.join(u' ');
}

} // namespace

class TestCompare : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Later bytes replace earlier ones; runs that touch or overlap become one.
    void imageWrites_data() {
        QTest::addColumn<QString>("writes");
        QTest::addColumn<QString>("runs");
        QTest::newRow("in order") << u"10:0102 12:03"_s << u"10:010203"_s;
        QTest::newRow("before, touching") << u"20:02 1f:01"_s << u"1f:0102"_s;
        QTest::newRow("over two runs") << u"10:0101 14:0202 11:aaaaaa"_s << u"10:01aaaaaa0202"_s;
        QTest::newRow("inside, replaced") << u"10:00000000 11:ff"_s << u"10:00ff0000"_s;
        QTest::newRow("at the top of 4 GiB") << u"fffffffe:0102 0:03"_s << u"0:03 fffffffe:0102"_s;
    }
    void imageWrites() {
        QFETCH(QString, writes);
        QTEST(runsOf(imageOf(writes).runs()), "runs");
    }

    // The unit's bytes 10..18 against a file: the differing runs as --compare prints them, the
    // bytes the file does not cover and those outside the range.
    void comparison_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<quint64>>("counts"); // differing, uncovered, outside
        QTest::newRow("equal") << u"10:000102030405060708"_s << QStringList{}
                               << QList<quint64>{0, 0, 0};
        QTest::newRow("two runs, part covered, some outside")
            << u"8:aaaa 11:ff02 15:0000 19:bb"_s
            << QStringList{u"00011: unit 01 file FF"_s, u"00015: unit 05 06 file 00 00"_s}
            << QList<quint64>{3, 5, 3};
        QTest::newRow("one long run")
            << u"10:ffffffffffffffffff"_s
            << QStringList{u"00010: unit 00 01 02 03 04 05 06 07 file FF FF FF FF FF FF FF FF "
                           "... (9 bytes)"_s}
            << QList<quint64>{9, 0, 0};
    }
    void comparison() {
        QFETCH(QString, file);
        QFETCH(QList<quint64>, counts);
        const Comparison c =
            compareImage(0x10, QByteArray::fromHex("000102030405060708"), imageOf(file));
        QStringList lines;
        for (const DifferingRun &run : c.runs)
            lines << differingRunText(run);
        QTEST(lines, "lines");
        QCOMPARE((QList<quint64>{c.differing, c.uncovered, c.outside}), counts);
        if (c.runs.empty())
            return;
        // Next and previous difference, and which run holds an address.
        QCOMPARE(c.next(0, false), std::optional(c.runs.front().address));
        QCOMPARE(c.next(0x18, true), std::optional(c.runs.back().address));
        QCOMPARE(c.next(c.runs.front().address, true), std::nullopt);
        QCOMPARE(c.runAt(c.runs.front().address), &c.runs.front());
        QCOMPARE(c.runAt(0x0F), nullptr);
    }

    // The check values of the sums: the CRC-32 of "123456789" is CBF43926 (zlib's).
    void sums() {
        const ByteSums s = byteSums("123456789");
        QCOMPARE(s.sum8, quint8(0xDD));
        QCOMPARE(s.sum16, quint16(0x01DD));
        QCOMPARE(s.crc32, quint32(0xCBF43926));
        const ByteSums ff = byteSums(QByteArray(0x10101, char(0xFF))); // 0x10101 * 0xFF = 0xFFFFFF
        QCOMPARE(ff.sum32, quint32(0xFFFFFF));
        QCOMPARE(ff.sum16, quint16(0xFFFF));
        QCOMPARE(byteSums({}).crc32, quint32(0));
    }

    // What a write-back sends: each run of changed bytes, with the new bytes, nothing else.
    void changed_data() {
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<QString>("runs");
        QTest::newRow("none") << "ABCDEFGH"_ba << QString();
        QTest::newRow("first and last") << "xBCDEFGy"_ba << u"100:78 107:79"_s;
        QTest::newRow("three bytes in two places") << "AxyDEzGH"_ba << u"101:7879 105:7a"_s;
        QTest::newRow("all") << "abcdefgh"_ba << u"100:6162636465666768"_s;
    }
    void changed() {
        QFETCH(QByteArray, current);
        QTEST(runsOf(changedRuns(0x100, "ABCDEFGH", current)), "runs");
    }

    // Files that cannot be used say why; a binary image's gaps are FF; nothing half-written.
    void imageFiles() {
        QTemporaryDir dir;
        const QString missing = dir.filePath(u"none.bin"_s);
        QCOMPARE(readImageFile(missing).failure, u"ファイルをオープンできません！"_s);
        QCOMPARE(readImageFile(dir.path()).failure, u"ファイルをオープンできません！"_s);
        const QString big = writeFile(dir.filePath(u"big.bin"_s), QByteArray((1 << 20) + 1, 0));
        QCOMPARE(readImageFile(big).failure, u"ファイルが 1 MiB を超えています。"_s);
        const QString bin = dir.filePath(u"gaps.bin"_s);
        QCOMPARE(writeImageFile(bin, ImageFormat::Binary, imageOf(u"10:01 13:02"_s)), QString());
        QCOMPARE(readFile(bin), "\x01\xff\xff\x02"_ba);
        const ImageFileRead back = readImageFile(bin);
        QVERIFY(back.ok());
        QCOMPARE(runsOf(back.image.runs()), u"0:01ffff02"_s);
        QCOMPARE(writeImageFile(dir.filePath(u"no/such/folder.hex"_s), ImageFormat::IntelHex,
                                back.image),
                 u"ファイルを作成できません！"_s);
        QCOMPARE(formatForPath(u"a.S19"_s), ImageFormat::MotorolaS);
        QCOMPARE(formatForPath(u"a.ihex"_s), ImageFormat::IntelHex);
        QCOMPARE(formatForPath(u"a.hex.bin"_s), ImageFormat::Binary);
    }
};

QTEST_MAIN(TestCompare)
#include "tst_compare.moc"
