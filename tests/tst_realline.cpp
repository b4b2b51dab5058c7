// The real line: port texts to device names, ports that do not open, a pseudo-terminal held by the
// test (modem lines, the 1024-byte input buffer, a far end that goes away) and the window greeting
// corvane-unit on a pseudo-terminal, losing it mid-wait and reconnecting to a fresh one.

#include "formfixture.h"
#include "link/realport.h"
#include "linktesting.h"
#include "protocol/cp932.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

using namespace corvane;
using corvane::test::idleFor;
using corvane::test::processCpuSeconds;
using corvane::test::UnitProcess;
using corvane::test::waitUntil;

namespace {

// A pseudo-terminal whose far end (the master side) the test holds.
class PtyPair {
public:
    PtyPair() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        m_path = QString::fromLocal8Bit(ptsname(m_master));
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    [[nodiscard]] QString path() const { return m_path; }
    bool send(const QByteArray &bytes) {
        return ::write(m_master, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // What the program has written so far.
    QByteArray received() {
        QByteArray bytes;
        char chunk[256];
        for (;;) {
            const ssize_t n = ::read(m_master, chunk, sizeof chunk);
            if (n <= 0)
                break;
            bytes.append(chunk, n);
        }
        return bytes;
    }
    void closeMaster() {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_path;
};

QByteArray pattern(int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(char((i * 31 + 7) & 0xFF));
    return bytes;
}

// Reads what arrives, as it arrives, until `count` bytes have come or `timeoutMs` pass.
QByteArray collect(SerialPort &port, qsizetype count, int timeoutMs) {
    QByteArray bytes;
    waitUntil(
        [&] {
            bytes += port.readAll();
            return bytes.size() >= count;
        },
        timeoutMs);
    return bytes;
}

std::unique_ptr<RealPort> openOn(const QString &path) {
    auto port = std::make_unique<RealPort>();
    port->setPortText(path);
    port->setSettings(QStringLiteral("9600,n,8,1"));
    if (!port->open())
        return nullptr;
    return port;
}

QString hex5(std::uint32_t value) {
    return QString::number(value, 16).toUpper().rightJustified(5, QLatin1Char('0'));
}

} // namespace

class TestRealLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deviceNames_data();
    void deviceNames();
    void portThatDoesNotOpen_data();
    void portThatDoesNotOpen();
    void ptyHoldsCtsAndIgnoresOutputs();
    void fullInputBufferLosesNothing();
    void discardingFullBufferKeepsLineHearing();
    void farEndGoneLosesLineOnceAndRests();
    void windowGreetsCorvaneUnit();
    void vanishedLineMidWaitThenReconnect();
};

void TestRealLine::deviceNames_data() {
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("device");
#ifdef Q_OS_WIN
    QTest::newRow("first port") << QStringLiteral("1") << QStringLiteral("COM1");
    QTest::newRow("sixth port") << QStringLiteral("6") << QStringLiteral("COM6");
    QTest::newRow("blanks around") << QStringLiteral(" 3 ") << QStringLiteral("COM3");
#else
    QTest::newRow("first port") << QStringLiteral("1") << QStringLiteral("/dev/ttyS0");
    QTest::newRow("sixth port") << QStringLiteral("6") << QStringLiteral("/dev/ttyS5");
    QTest::newRow("blanks around") << QStringLiteral(" 3 ") << QStringLiteral("/dev/ttyS2");
#endif
    QTest::newRow("device path") << QStringLiteral("/dev/ttyUSB0")
                                 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("device name") << QStringLiteral("ttyACM0") << QStringLiteral("ttyACM0");
    QTest::newRow("named port") << QStringLiteral("COM12") << QStringLiteral("COM12");
    QTest::newRow("zero") << QStringLiteral("0") << QString();
    QTest::newRow("negative") << QStringLiteral("-2") << QString();
    QTest::newRow("beyond 16 bits") << QStringLiteral("40000") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blanks") << QStringLiteral("   ") << QString();
}

void TestRealLine::deviceNames() {
    QFETCH(QString, portText);
    QFETCH(QString, device);
    QCOMPARE(deviceNameForPortText(portText), device);
}

void TestRealLine::portThatDoesNotOpen_data() {
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("error"); // empty: any text
    const QString speed = QStringLiteral("9600,n,8,1");
    QTest::newRow("no such device")
        << QStringLiteral("/dev/corvane-no-such-port") << speed << QString();
    QTest::newRow("not a serial line")
        << QStringLiteral("/dev/null") << speed << QStringLiteral("not a serial port");
    QTest::newRow("port number 0")
        << QStringLiteral("0") << speed << QStringLiteral("not a port name");
    QTest::newRow("empty text") << QString() << speed << QStringLiteral("not a port name");
    QTest::newRow("speed not a number") << QStringLiteral("pty") << QStringLiteral("fast,n,8,1")
                                        << QStringLiteral("invalid speed: fast,n,8,1");
}

void TestRealLine::portThatDoesNotOpen() {
    QFETCH(QString, portText);
    QFETCH(QString, settings);
    QFETCH(QString, error);
    PtyPair pty;
    RealPort port;
    port.setPortText(portText == QLatin1String("pty") ? pty.path() : portText);
    port.setSettings(settings);
    QVERIFY(!port.open());
    QVERIFY(!port.isOpen());
    if (error.isEmpty())
        QVERIFY(!port.errorString().isEmpty());
    else
        QCOMPARE(port.errorString(), error);
    QVERIFY(!port.write("ON\r\n"));
    QCOMPARE(port.readByte(), -1);
    QVERIFY(!port.ctsHolding());
}

void TestRealLine::ptyHoldsCtsAndIgnoresOutputs() {
    PtyPair pty;
    auto port = openOn(pty.path());
    QVERIFY(port);
    QVERIFY(!port->hasModemLines());
    QVERIFY(port->ctsHolding());
    QVERIFY(!port->dsrHolding());
    QVERIFY(!port->cdHolding());
    QVERIFY(port->dtr() && port->rts());

    // Outputs a pseudo-terminal cannot set are remembered, and the line stays up.
    QSignalSpy lost(port.get(), &SerialPort::lost);
    port->setDtr(false);
    port->setRts(false);
    QVERIFY(!port->dtr() && !port->rts());
    port->setDtr(true);
    port->setRts(true);
    QVERIFY(port->dtr() && port->rts());
    QVERIFY(port->write("ON\r\n"));
    QByteArray written;
    QVERIFY(waitUntil(
        [&] {
            written += pty.received();
            return written.size() >= 4;
        },
        1000));
    QCOMPARE(written, QByteArray("ON\r\n"));
    QVERIFY(port->isOpen());
    QCOMPARE(lost.size(), 0);
}

void TestRealLine::fullInputBufferLosesNothing() {
    PtyPair pty;
    auto port = openOn(pty.path());
    QVERIFY(port);
    const QByteArray sent = pattern(3000);
    QVERIFY(pty.send(sent));
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= 1024; }, 1000));
    idleFor(30);
    QCOMPARE(port->inBufferCount(), 1024);
    QCOMPARE(collect(*port, 3000, 2000), sent);
}

void TestRealLine::discardingFullBufferKeepsLineHearing() {
    PtyPair pty;
    auto port = openOn(pty.path());
    QVERIFY(port);
    QVERIFY(pty.send(pattern(3000)));
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= 1024; }, 1000));
    port->discardInput();
    QCOMPARE(port->inBufferCount(), 0);
    QVERIFY(pty.send("abc"));
    // The program only reads what the count says is there, so wait on the count alone.
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= 3; }, 1000));
    QCOMPARE(port->readAll(), QByteArray("abc"));
}

void TestRealLine::farEndGoneLosesLineOnceAndRests() {
    PtyPair pty;
    auto port = openOn(pty.path());
    QVERIFY(port);
    QSignalSpy lost(port.get(), &SerialPort::lost);
    pty.closeMaster();
    QVERIFY(waitUntil([&] { return lost.size() > 0; }, 1000));
    QVERIFY(!port->isOpen());
    QVERIFY(!port->write("ON\r\n"));
    QVERIFY(!port->ctsHolding());

    const double before = processCpuSeconds();
    idleFor(300);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.03, qPrintable(QStringLiteral("%1 s of CPU in 0.3 s").arg(used)));
    QCOMPARE(lost.size(), 1);
}

void TestRealLine::windowGreetsCorvaneUnit() {
    UnitProcess unit;
    if (unit.path().isEmpty())
        QSKIP("corvane-unit did not answer (CORVANE_UNIT_BIN)");
    const Unit reference; // what corvane-unit holds when it starts
    QVERIFY(reference.selectedDevice() != nullptr);
    const DeviceType &startDevice = *reference.selectedDevice();

    test::FormFixture form;
    form->Combo1->setCurrentText(unit.path());
    QVERIFY(test::runToEnd(form->PbON_Click()));
    QVERIFY(form->MSComm1->isOpen());
    const QStringList first = form.history();
    QVERIFY2(first.contains(QStringLiteral("Corvaneと接続しました。")),
             qPrintable(first.join('|')));
    QVERIFY2(first.contains(QStringLiteral("装置内デバイス・コードは%1です。")
                                .arg(QString::fromStdString(startDevice.code))),
             qPrintable(first.join('|')));
    QCOMPARE(first.last(), QStringLiteral("OK"));
    QCOMPARE(form->LbDevEAddr->text(), hex5(startDevice.endAddress));

    // Another device, chosen through the line, is what the next greeting finds; its Japanese
    // name travels in CP932 both ways.
    const auto other = std::find_if(reference.catalog().begin(), reference.catalog().end(),
                                    [](const DeviceType &type) { return type.code == "2F"; });
    QVERIFY(other != reference.catalog().end());
    QVERIFY(form->Output(QStringLiteral("TS2F")));
    QVERIFY(test::runToEnd(form->CeckAnsRX(QStringLiteral("TS"))));
    QCOMPARE(form->AnsRxCode, QStringLiteral("00"));
    form.clearHistory();
    QVERIFY(test::runToEnd(form->PbON_Click()));
    const QStringList second = form.history();
    QVERIFY2(second.contains(QStringLiteral("装置内デバイス・コードは2Fです。")),
             qPrintable(second.join('|')));
    QCOMPARE(form->LbDevStr1->text(), fromCp932(QByteArray::fromStdString(other->text1)));
    QCOMPARE(form->LbDevEAddr->text(), hex5(other->endAddress));
    QCOMPARE(second.last(), QStringLiteral("OK"));
    QCOMPARE(form->AnsRxCode, QStringLiteral("00"));
}

void TestRealLine::vanishedLineMidWaitThenReconnect() {
    auto unit = std::make_unique<UnitProcess>();
    if (unit->path().isEmpty())
        QSKIP("corvane-unit did not answer (CORVANE_UNIT_BIN)");
    test::FormFixture form;
    form->Combo1->setCurrentText(unit->path());
    QVERIFY(test::runToEnd(form->PbON_Click()));
    QCOMPARE(form.history().last(), QStringLiteral("OK"));

    // A reply wait is running when the far end goes away.
    form->PbUnEn();
    QCoro::Task<> wait = form->CeckAnsRX(QStringLiteral("Load"));
    idleFor(100);
    unit->kill();
    const double before = processCpuSeconds();
    idleFor(1000);
    const double used = processCpuSeconds() - before;
    QVERIFY2(used < 0.1,
             qPrintable(QStringLiteral("%1 s of CPU in the second after the line went").arg(used)));
    QVERIFY(!form->MSComm1->isOpen());
    QVERIFY(test::runToEnd(std::move(wait), 5000));
    QCOMPARE(form->AnsRxCode, QStringLiteral("98"));
    QCOMPARE(form.history().last(), QStringLiteral("！通信エラーか、ファイル異常です。"));
    QVERIFY(form->PbON->isEnabled());

    // Nothing can be sent any more: the next command finds the link lost at once.
    QVERIFY(!form->Output(QStringLiteral("US0")));
    QVERIFY(test::runToEnd(form->CeckAnsRX(QStringLiteral("US0")), 1000));
    QCOMPARE(form->AnsRxCode, QStringLiteral("98"));
    QCOMPARE(form.history().last(), QStringLiteral("！通信エラーです。"));

    // The unit is back on a new terminal: reconnecting greets it.
    unit = std::make_unique<UnitProcess>();
    QVERIFY(!unit->path().isEmpty());
    form->Combo1->setCurrentText(unit->path());
    form.clearHistory();
    QVERIFY(test::runToEnd(form->PbON_Click()));
    QVERIFY(form.history().contains(QStringLiteral("Corvaneと接続しました。")));
    QCOMPARE(form.history().last(), QStringLiteral("OK"));
    QCOMPARE(form->AnsRxCode, QStringLiteral("00"));
}

QTEST_MAIN(TestRealLine)
#include "tst_realline.moc"
