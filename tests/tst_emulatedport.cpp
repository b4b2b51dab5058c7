// The emulated line: bytes at the chosen speed both ways, DTR/RTS holding the unit back without a
// byte lost, the unit's busy line on CTS, a vanished unit or cable, and an idle line that rests.

#include "link/emulatedport.h"
#include "linktesting.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace corvane;
using corvane::test::idleFor;
using corvane::test::waitUntil;

namespace {

constexpr int kBaud = 38400;
constexpr double kBytesPerSecond = kBaud / 10.0;

// Puts `count` bytes, every value among them, at the start of the unit's buffer RAM.
QByteArray fillBuffer(Unit &unit, int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        const auto byte = std::uint8_t((i * 37 + 11) & 0xFF);
        unit.buffer()[std::size_t(i)] = byte;
        bytes.append(char(byte));
    }
    return bytes;
}

// The command that has the unit send buffer bytes 0 .. count-1 raw.
QByteArray rawSaveCommand(int count) {
    return "SB00000," + QByteArray::number(count - 1, 16).toUpper().rightJustified(5, '0') + "\r\n";
}

struct Arrival {
    QByteArray bytes;
    qint64 firstNs = -1;
    qint64 lastNs = -1;
};

// Reads what arrives, as it arrives, until `count` bytes have come or `timeoutMs` pass.
Arrival collect(SerialPort &port, qsizetype count, int timeoutMs) {
    Arrival arrival;
    QElapsedTimer clock;
    clock.start();
    waitUntil(
        [&] {
            const QByteArray more = port.readAll();
            if (!more.isEmpty()) {
                if (arrival.firstNs < 0)
                    arrival.firstNs = clock.nsecsElapsed();
                arrival.lastNs = clock.nsecsElapsed();
                arrival.bytes += more;
            }
            return arrival.bytes.size() >= count;
        },
        timeoutMs);
    return arrival;
}

std::unique_ptr<EmulatedPort> openPort(UnitOptions options = {}, bool paced = true) {
    auto port = std::make_unique<EmulatedPort>(options);
    port->setPaced(paced);
    port->setSettings(QStringLiteral("%1,n,8,1").arg(kBaud));
    if (!port->open())
        qFatal("the emulated line did not open");
    return port;
}

} // namespace

class TestEmulatedPort : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unitOutputArrivesAtLineSpeed();
    void programOutputLeavesAtLineSpeed();
    void heldBackUnitSendsNothing_data();
    void heldBackUnitSendsNothing();
    void droppingDtrMidStreamLosesNothing();
    void unpacedInputNeverExceedsBuffer();
    void ctsFollowsUnitBusyLine();
    void replyInSlowPiecesArrivesOnTime();
    void vanishedUnitIsSilent();
    void pulledCableIsLost();
    void idleLineRests();
    void badSpeedDoesNotOpen();
};

void TestEmulatedPort::unitOutputArrivesAtLineSpeed() {
    auto port = openPort();
    const QByteArray expected = fillBuffer(port->unit(), 1000);
    QVERIFY(port->write(rawSaveCommand(1000)));
    const Arrival arrival = collect(*port, 1000, 3000);
    QCOMPARE(arrival.bytes, expected);
    // From the end of the first byte to the end of the last one: 999 byte times.
    const double seconds = double(arrival.lastNs - arrival.firstNs) / 1e9;
    const double ideal = 999 / kBytesPerSecond;
    QVERIFY2(std::abs(seconds - ideal) <= ideal * 0.05,
             qPrintable(QStringLiteral("%1 s instead of %2 s").arg(seconds).arg(ideal)));
}

void TestEmulatedPort::programOutputLeavesAtLineSpeed() {
    auto port = openPort();
    const QByteArray line = QByteArray(382, 'X');
    QElapsedTimer clock;
    clock.start();
    QVERIFY(port->write(line + "\r\n"));
    QCOMPARE(port->outBufferCount(), 384);
    QVERIFY(waitUntil([&] { return port->outBufferCount() == 0; }, 2000));
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double ideal = 384 / kBytesPerSecond;
    QVERIFY2(std::abs(seconds - ideal) <= ideal * 0.05,
             qPrintable(QStringLiteral("%1 s instead of %2 s").arg(seconds).arg(ideal)));
    QVERIFY(!port->unit().receivedLines().empty());
    QCOMPARE(QByteArray::fromStdString(port->unit().receivedLines().back()), line);
}

void TestEmulatedPort::heldBackUnitSendsNothing_data() {
    QTest::addColumn<bool>("dtr");
    QTest::addColumn<bool>("rts");
    QTest::newRow("DTR low") << false << true;
    QTest::newRow("RTS low") << true << false;
    QTest::newRow("both low") << false << false;
}

void TestEmulatedPort::heldBackUnitSendsNothing() {
    QFETCH(bool, dtr);
    QFETCH(bool, rts);
    auto port = openPort();
    QVERIFY(port->dtr() && port->rts()); // opening raises both
    const QByteArray expected = fillBuffer(port->unit(), 200);
    port->setDtr(dtr);
    port->setRts(rts);
    QVERIFY(port->write(rawSaveCommand(200)));
    idleFor(150);
    QCOMPARE(port->outBufferCount(), 0); // the command itself went out
    QCOMPARE(port->inBufferCount(), 0);
    port->setDtr(true);
    port->setRts(true);
    QCOMPARE(collect(*port, 200, 2000).bytes, expected);
}

void TestEmulatedPort::droppingDtrMidStreamLosesNothing() {
    auto port = openPort();
    const QByteArray expected = fillBuffer(port->unit(), 800);
    QVERIFY(port->write(rawSaveCommand(800)));
    QByteArray received = collect(*port, 200, 2000).bytes;
    QVERIFY(received.size() >= 200);
    port->setDtr(false);
    port->setRts(false);
    received += port->readAll();
    idleFor(60);
    QCOMPARE(port->inBufferCount(), 0);
    port->setDtr(true);
    port->setRts(true);
    received += collect(*port, 800 - received.size(), 2000).bytes;
    QCOMPARE(received, expected);
}

void TestEmulatedPort::unpacedInputNeverExceedsBuffer() {
    auto port = openPort({}, false);
    const QByteArray expected = fillBuffer(port->unit(), 3000);
    QVERIFY(port->write(rawSaveCommand(3000)));
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= SerialPort::kInBufferSize; }, 500));
    idleFor(30);
    QCOMPARE(port->inBufferCount(), SerialPort::kInBufferSize);
    QCOMPARE(collect(*port, 3000, 1000).bytes, expected);
}

void TestEmulatedPort::ctsFollowsUnitBusyLine() {
    UnitOptions options;
    options.lineDigestMicros = 60000;
    auto port = openPort(options);
    QVERIFY(port->ctsHolding());
    QVERIFY(port->write("LH\r\n"));
    QCOMPARE(collect(*port, 4, 1000).bytes, QByteArray("01\r\n"));

    QSignalSpy changes(port.get(), &SerialPort::pinoutChanged);
    QVERIFY(port->write(":0100000041BE\r\n"));
    QVERIFY(waitUntil([&] { return port->outBufferCount() == 0; }, 1000));
    QElapsedTimer busy;
    busy.start();
    QVERIFY(!port->ctsHolding());
    QVERIFY(waitUntil([&] { return changes.size() >= 2; }, 1000));
    QVERIFY(port->ctsHolding());
    QVERIFY2(busy.elapsed() >= 50 && busy.elapsed() <= 250,
             qPrintable(QStringLiteral("busy for %1 ms").arg(busy.elapsed())));
    QCOMPARE(port->unit().buffer()[0], std::uint8_t(0x41));
}

void TestEmulatedPort::replyInSlowPiecesArrivesOnTime() {
    auto port = openPort();
    port->unit().setFault(Fault::SlowPieces);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(port->write("ON\r\n"));
    // Three pieces, 0.4 s apart: the line sleeps until each is due and then delivers it.
    const Arrival arrival = collect(*port, 4, 2000);
    QCOMPARE(arrival.bytes, QByteArray("00\r\n"));
    const double seconds = double(arrival.lastNs) / 1e9;
    QVERIFY2(seconds >= 0.79 && seconds <= 0.9, qPrintable(QString::number(seconds)));
}

void TestEmulatedPort::vanishedUnitIsSilent() {
    auto port = openPort();
    QVERIFY(port->dsrHolding() && port->cdHolding());
    port->unit().setFault(Fault::Vanish);
    QVERIFY(port->write("ON\r\n"));
    idleFor(100);
    QCOMPARE(port->inBufferCount(), 0);
    QVERIFY(!port->dsrHolding());
    QVERIFY(!port->cdHolding());
    QVERIFY(!port->ctsHolding());
    QVERIFY(port->isOpen()); // the program's own port is still there
}

void TestEmulatedPort::pulledCableIsLost() {
    auto port = openPort();
    QVERIFY(port->write("ON\r\n"));
    QSignalSpy lost(port.get(), &SerialPort::lost);
    port->vanish();
    QCOMPARE(lost.size(), 1);
    QVERIFY(!port->isOpen());
    QVERIFY(!port->write("ON\r\n"));
    idleFor(50);
    QCOMPARE(port->readByte(), -1);
    QVERIFY(!port->ctsHolding());
    QVERIFY(!port->pumping());
}

void TestEmulatedPort::idleLineRests() {
    auto port = openPort();
    QVERIFY(port->write("ON\r\n"));
    QCOMPARE(collect(*port, 4, 1000).bytes, QByteArray("00\r\n"));
    // The reply is in; neither side has anything left to move.
    QVERIFY(waitUntil([&] { return !port->pumping(); }, 50));
    idleFor(30);
    QVERIFY(!port->pumping());
    // Reading or a change of DTR wakes it only while there is work.
    port->setDtr(false);
    port->setDtr(true);
    QVERIFY(waitUntil([&] { return !port->pumping(); }, 50));
}

void TestEmulatedPort::badSpeedDoesNotOpen() {
    EmulatedPort port;
    port.setSettings(QStringLiteral("fast,n,8,1"));
    QVERIFY(!port.open());
    QVERIFY(!port.isOpen());
    QVERIFY(!port.errorString().isEmpty());
    QVERIFY(!port.write("ON\r\n"));
}

QTEST_GUILESS_MAIN(TestEmulatedPort)
#include "tst_emulatedport.moc"
