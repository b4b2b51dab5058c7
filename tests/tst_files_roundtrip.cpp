// Images carried through the emulated unit and back, byte for byte, with the test's own small
// record codec, independent of the unit's.

#include "formfixture.h"
#include "linktesting.h"

#include <QComboBox>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <map>

using namespace corvane;
using namespace corvane::test;

namespace {

using Image = std::map<quint32, quint8>;

// Intel HEX with type 04 records; Motorola S with an S0 header, S2 records, an S5 count and S8.
QByteArray writeRecords(const Image &image, bool motorola) {
    QByteArray out;
    auto record = [&](char type, quint32 address, int addressBytes, const QByteArray &data) {
        QByteArray body(1, char(motorola ? addressBytes + data.size() + 1 : data.size()));
        for (int i = addressBytes - 1; i >= 0; --i)
            body.append(char(address >> (8 * i)));
        if (!motorola)
            body.append(type);
        body += data;
        quint8 sum = 0;
        for (char c : body)
            sum += quint8(c);
        body.append(char(motorola ? quint8(~sum) : quint8(-sum)));
        out +=
            (motorola ? QByteArray("S") + type : QByteArray(":")) + body.toHex().toUpper() + "\r\n";
    };
    if (motorola)
        record('0', 0, 2, "roundtrip");
    quint32 upper = 0;
    int count = 0;
    for (auto it = image.begin(); it != image.end();) {
        const quint32 address = it->first;
        QByteArray data;
        for (; it != image.end() && it->first == address + data.size() && data.size() < 16 &&
               (motorola || (it->first >> 16) == (address >> 16));
             ++it)
            data.append(char(it->second));
        if (!motorola && address >> 16 != upper) {
            upper = address >> 16;
            record(4, 0, 2,
                   QByteArray::fromHex(QByteArray::number(upper, 16).rightJustified(4, '0')));
        }
        record(motorola ? '2' : 0, motorola ? address : address & 0xFFFF, motorola ? 3 : 2, data);
        ++count;
    }
    if (motorola)
        record('5', quint32(count), 2, {});
    record(motorola ? '8' : 1, 0, motorola ? 3 : 2, {});
    return out;
}

// Reads every record, checking its form and checksum.
Image readRecords(const QByteArray &file, bool motorola, QString &error) {
    Image image;
    quint32 base = 0;
    bool ended = false;
    const QList<QByteArray> lines = file.split('\n');
    if (!file.endsWith("\r\n") || lines.size() < 2)
        error = QStringLiteral("file does not end with CR LF");
    for (qsizetype n = 0; n + 1 < lines.size() && error.isEmpty(); ++n) {
        const QByteArray &line = lines.at(n);
        const QByteArray body = QByteArray::fromHex(line.mid(motorola ? 2 : 1).chopped(1));
        quint8 sum = 0;
        for (char c : body)
            sum += quint8(c);
        const bool shapeOk = line.endsWith('\r') && !ended && body.size() >= 3 &&
                             line.size() == (motorola ? 2 : 1) + 2 * body.size() + 1 &&
                             line.startsWith(motorola ? "S" : ":");
        if (!shapeOk || sum != (motorola ? 0xFF : 0)) {
            error = QStringLiteral("bad record ") + QString::fromLatin1(line);
            break;
        }
        auto number = [&](int from, int bytes) {
            quint32 v = 0;
            for (int i = 0; i < bytes; ++i)
                v = v << 8 | quint8(body.at(from + i));
            return v;
        };
        if (motorola) {
            const char type = line.at(1);
            const int addressBytes = type == '2' || type == '8'   ? 3
                                     : type == '3' || type == '7' ? 4
                                                                  : 2;
            const quint32 address = number(1, addressBytes);
            if (type >= '1' && type <= '3') {
                for (qsizetype i = 1 + addressBytes; i + 1 < body.size(); ++i)
                    image[address + quint32(i - 1 - addressBytes)] = quint8(body.at(i));
            }
            ended = type >= '7';
        } else {
            const int type = body.at(3);
            const quint32 offset = number(1, 2);
            if (type == 0) {
                for (qsizetype i = 4; i + 1 < body.size(); ++i)
                    image[base + offset + quint32(i - 4)] = quint8(body.at(i));
            } else if (type == 2) {
                base = number(4, 2) << 4;
            } else if (type == 4) {
                base = number(4, 2) << 16;
            }
            ended = type == 1;
        }
    }
    if (error.isEmpty() && !ended)
        error = QStringLiteral("no end record");
    return image;
}

// Bytes of every value in a pattern, over segments that cross 64 KiB boundaries.
Image sampleImage() {
    Image image;
    quint8 v = 0;
    for (const auto &[from, to] :
         {std::pair{0x0FFE0u, 0x1001Fu}, {0x2FFF0u, 0x3000Fu}, {0x345u, 0x444u}}) {
        for (quint32 a = from; a <= to; ++a)
            image[a] = v += 97;
    }
    return image;
}

QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

class TestFilesRoundTrip : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void textImage_data();
    void textImage();
    void binaryImage();
    void pacedLoadKeepsLineBacklogShort();
    void hexThroughCorvaneUnitOnPty();
};

void TestFilesRoundTrip::textImage_data() {
    QTest::addColumn<bool>("motorola");
    QTest::newRow("Intel HEX") << false;
    QTest::newRow("Motorola S") << true;
}

void TestFilesRoundTrip::textImage() {
    QFETCH(bool, motorola);
    FormFixture f;
    EmulatedPort *port = f.useEmulated(UnitOptions{0.0});
    const Image image = sampleImage();
    std::vector<quint8> expected = port->unit().buffer();
    for (const auto &[address, value] : image)
        expected[address] = value;
    const QString in = f.path(QStringLiteral("in.rec"));
    const QString out = f.path(QStringLiteral("out.rec"));
    writeAll(in, writeRecords(image, motorola));

    QVERIFY(runToEnd(motorola ? f->LSsub(in) : f->LHsub(in), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    QVERIFY(port->unit().buffer() == expected);

    // A range across the segments, 250 data bytes a record.
    const QString range = QStringLiteral(",FFE0,3000F,250");
    QVERIFY(runToEnd(motorola ? f->SSsub(out + range) : f->SHsub(out + range), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("終了しました。"));
    Image wanted;
    for (quint32 a = 0xFFE0; a <= 0x3000F; ++a)
        wanted[a] = expected[a];
    QString error;
    QVERIFY(readRecords(readAll(out), motorola, error) == wanted);
    QCOMPARE(error, QString());
}

void TestFilesRoundTrip::binaryImage() {
    FormFixture f;
    EmulatedPort *port = f.useEmulated(UnitOptions{0.0});
    QByteArray data;
    for (int i = 0; i < 512; ++i)
        data.append(char(i * 7)); // every value twice
    data += QByteArray("\x00\x00\x1a\r\n\r\n\x1b\r\n", 10);
    std::vector<quint8> expected = port->unit().buffer();
    std::copy(data.begin(), data.end(), expected.begin() + 0x100);
    const QString in = f.path(QStringLiteral("in.bin"));
    const QString out = f.path(QStringLiteral("out.bin"));
    writeAll(in, data);

    QVERIFY(runToEnd(f->LBsub(in + QStringLiteral(",100")), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    QVERIFY(port->unit().buffer() == expected);

    const QString end = QString::number(0x100 + data.size() - 1, 16);
    QVERIFY(runToEnd(f->SBsub(out + QStringLiteral(",100,") + end), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("end"));
    QCOMPARE(readAll(out), data);
}

// On a paced line CTS paces the data instead of the whole file waiting in the port.
void TestFilesRoundTrip::pacedLoadKeepsLineBacklogShort() {
    FormFixture f;
    EmulatedPort *port = f.useEmulated(UnitOptions{0.0}, true);
    Image image;
    for (quint32 a = 0; a < 20 * 16; ++a)
        image[a] = quint8(a);
    const QString in = f.path(QStringLiteral("in.hex"));
    writeAll(in, writeRecords(image, false));
    int most = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { most = std::max(most, port->outBufferCount()); });
    watch.start(1);

    QVERIFY(runToEnd(f->LHsub(in), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    QVERIFY(std::equal(image.begin(), image.end(), port->unit().buffer().begin(),
                       [](const auto &entry, quint8 byte) { return entry.second == byte; }));
    QVERIFY2(most > 0 && most <= 64 + 45, qPrintable(QString::number(most)));
}

// The same round trip on the real line: corvane-unit serving the unit on a pseudo-terminal.
void TestFilesRoundTrip::hexThroughCorvaneUnitOnPty() {
    test::UnitProcess unit;
    if (unit.path().isEmpty())
        QSKIP("corvane-unit did not answer (CORVANE_UNIT_BIN)");
    FormFixture f;
    f->Combo1->setCurrentText(unit.path());
    QVERIFY(runToEnd(f->PbON_Click()));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    Image image;
    for (quint32 a = 0xFFF0; a <= 0x1000F; ++a)
        image[a] = quint8(a * 13);
    const QString in = f.path(QStringLiteral("in.hex"));
    const QString out = f.path(QStringLiteral("out.hex"));
    writeAll(in, writeRecords(image, false));

    QVERIFY(runToEnd(f->LHsub(in), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("OK"));
    QVERIFY(runToEnd(f->SHsub(out + QStringLiteral(",FFF0,1000F")), 30000));
    QCOMPARE(f.log().constLast(), QStringLiteral("終了しました。"));
    QString error;
    QCOMPARE(readRecords(readAll(out), false, error), image);
    QCOMPARE(error, QString());
}

QTEST_MAIN(TestFilesRoundTrip)
#include "tst_files_roundtrip.moc"
