// One contract for every back end of the port: the scripted peer, the emulated unit and the real
// line on a corvane-unit pseudo-terminal must all open, close, refuse writes while closed, deliver
// the unit's reply byte for byte, discard input and drop NUL bytes on request alike. Also: which
// back end a port text chooses, and that a reconnect to EMU finds the unit as it left it.

#include "formfixture.h"
#include "link/emulatedport.h"
#include "link/portfactory.h"
#include "link/realport.h"
#include "link/scriptedport.h"
#include "linktesting.h"

#include <QComboBox>
#include <QLabel>
#include <QTest>

using namespace corvane;
using corvane::test::UnitProcess;
using corvane::test::waitUntil;

namespace {

// The far end of a port under test.
class Peer {
public:
    virtual ~Peer() = default;
    // A closed port to this peer; null when the peer is not available.
    virtual std::unique_ptr<SerialPort> makePort() = 0;
    // Has the far end send exactly `bytes` to the open `port`.
    virtual void sendFromFarEnd(SerialPort &port, const QByteArray &bytes) = 0;
};

class ScriptedPeer : public Peer {
public:
    std::unique_ptr<SerialPort> makePort() override {
        auto port = std::make_unique<ScriptedPort>();
        port->respond("ON", "00\r\n");
        m_port = port.get();
        return port;
    }
    void sendFromFarEnd(SerialPort &, const QByteArray &bytes) override { m_port->inject(bytes); }

private:
    ScriptedPort *m_port = nullptr;
};

// Waits for exactly `expected` and nothing else to arrive.
void expectReply(SerialPort &port, const QByteArray &expected) {
    QVERIFY(waitUntil([&] { return port.inBufferCount() >= expected.size(); }, 2000));
    QCOMPARE(port.readAll(), expected);
}

// A Corvane unit: it sends given bytes when they are first loaded into its buffer RAM as binary
// data and then saved raw.
class UnitPeer : public Peer {
public:
    void sendFromFarEnd(SerialPort &port, const QByteArray &bytes) override {
        QVERIFY(port.write("LB" + QByteArray::number(bytes.size()) + ",0\r\n"));
        expectReply(port, "01\r\n");
        QVERIFY(port.write(bytes));
        expectReply(port, "00\r\n");
        const QByteArray last = QByteArray::number(bytes.size() - 1, 16).rightJustified(5, '0');
        QVERIFY(port.write("SB00000," + last + "\r\n"));
    }
};

class EmulatedPeer : public UnitPeer {
public:
    std::unique_ptr<SerialPort> makePort() override {
        auto port = std::make_unique<EmulatedPort>();
        port->setSettings(QStringLiteral("38400,n,8,1"));
        return port;
    }
};

class PtyPeer : public UnitPeer {
public:
    std::unique_ptr<SerialPort> makePort() override {
        if (m_unit.path().isEmpty())
            return nullptr;
        auto port = std::make_unique<RealPort>();
        port->setPortText(m_unit.path());
        return port;
    }

private:
    UnitProcess m_unit;
};

std::unique_ptr<Peer> makePeer(const QString &backEnd) {
    if (backEnd == QLatin1String("scripted"))
        return std::make_unique<ScriptedPeer>();
    if (backEnd == QLatin1String("emulated"))
        return std::make_unique<EmulatedPeer>();
    return std::make_unique<PtyPeer>();
}

} // namespace

class TestPortContract : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void contract_data();
    void contract();
    void portTextChoosesBackEnd_data();
    void portTextChoosesBackEnd();
    void emulatedPortsShareTheirUnit();
    void reconnectToEmuKeepsTheDevice();
};

void TestPortContract::contract_data() {
    QTest::addColumn<QString>("backEnd");
    QTest::newRow("scripted peer") << QStringLiteral("scripted");
    QTest::newRow("emulated unit") << QStringLiteral("emulated");
    QTest::newRow("real line on corvane-unit") << QStringLiteral("pty");
}

void TestPortContract::contract() {
    QFETCH(QString, backEnd);
    const std::unique_ptr<Peer> peer = makePeer(backEnd);
    const std::unique_ptr<SerialPort> port = peer->makePort();
    if (!port)
        QSKIP("corvane-unit did not answer (CORVANE_UNIT_BIN)");

    // Closed: refuses, reads nothing, reports no lines.
    QVERIFY(!port->isOpen());
    QVERIFY(!port->write("ON\r\n"));
    QCOMPARE(port->readByte(), -1);
    QCOMPARE(port->inBufferCount(), 0);
    QVERIFY(!port->ctsHolding());
    QCOMPARE(port->inBufferSize(), 1024);

    QVERIFY2(port->open(), qPrintable(port->errorString()));
    QVERIFY(port->isOpen());
    QVERIFY(port->ctsHolding());

    // The unit's reply, one byte per read, then nothing.
    QVERIFY(port->write("ON\r\n"));
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= 4; }, 2000));
    QCOMPARE(port->readByte(), int('0'));
    QCOMPARE(port->readByte(), int('0'));
    QCOMPARE(port->readByte(), 0x0D);
    QCOMPARE(port->readByte(), 0x0A);
    QCOMPARE(port->readByte(), -1);
    QCOMPARE(port->inBufferCount(), 0);

    // Discarding empties the input; the line still hears what comes next.
    QVERIFY(port->write("ON\r\n"));
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= 4; }, 2000));
    port->discardInput();
    QCOMPARE(port->inBufferCount(), 0);
    QCOMPARE(port->readByte(), -1);
    QVERIFY(port->write("ON\r\n"));
    expectReply(*port, "00\r\n");
    if (QTest::currentTestFailed())
        return;

    // NUL bytes travel both ways; reading drops them only when asked to.
    const QByteArray withNuls("A\0\xE9\0", 4);
    port->setNullDiscard(false);
    peer->sendFromFarEnd(*port, withNuls);
    if (QTest::currentTestFailed())
        return;
    expectReply(*port, withNuls);
    if (QTest::currentTestFailed())
        return;
    port->setNullDiscard(true);
    peer->sendFromFarEnd(*port, withNuls);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(waitUntil([&] { return port->inBufferCount() >= 4; }, 2000));
    QCOMPARE(port->readByte(), int('A'));
    QCOMPARE(port->readByte(), 0xE9);
    QCOMPARE(port->readByte(), -1);
    QCOMPARE(port->inBufferCount(), 0);

    port->close();
    QVERIFY(!port->isOpen());
    QVERIFY(!port->write("ON\r\n"));
    QCOMPARE(port->readByte(), -1);
    QVERIFY(!port->ctsHolding());
}

void TestPortContract::portTextChoosesBackEnd_data() {
    QTest::addColumn<QString>("portText");
    QTest::addColumn<bool>("emulated");
    QTest::newRow("EMU") << QStringLiteral("EMU") << true;
    QTest::newRow("lower case") << QStringLiteral("emu") << true;
    QTest::newRow("blanks around") << QStringLiteral("  Emu ") << true;
    QTest::newRow("port number") << QStringLiteral("1") << false;
    QTest::newRow("device path") << QStringLiteral("/dev/ttyUSB0") << false;
    QTest::newRow("longer word") << QStringLiteral("EMU2") << false;
    QTest::newRow("spaced letters") << QStringLiteral("E M U") << false;
    QTest::newRow("empty") << QString() << false;
}

void TestPortContract::portTextChoosesBackEnd() {
    QFETCH(QString, portText);
    QFETCH(bool, emulated);
    QCOMPARE(isEmulatedPortText(portText), emulated);
    const std::unique_ptr<SerialPort> port = makePort(portText);
    QCOMPARE(dynamic_cast<EmulatedPort *>(port.get()) != nullptr, emulated);
    QCOMPARE(dynamic_cast<RealPort *>(port.get()) != nullptr, !emulated);
    QVERIFY(!port->isOpen());
}

void TestPortContract::emulatedPortsShareTheirUnit() {
    const Unit fresh;
    QVERIFY(fresh.selectedDevice() == nullptr || fresh.selectedDevice()->code != "2F");
    {
        auto first = makePort(QStringLiteral("EMU"));
        auto &firstUnit = static_cast<EmulatedPort &>(*first).unit();
        firstUnit.selectDevice("2F");
        auto second = makePort(QStringLiteral("EMU"));
        first.reset();
        auto &secondUnit = static_cast<EmulatedPort &>(*second).unit();
        QVERIFY(secondUnit.selectedDevice() != nullptr);
        QCOMPARE(secondUnit.selectedDevice()->code, std::string("2F"));
    }
    // Once no port is plugged into it, the next port gets a unit of its own.
    auto third = makePort(QStringLiteral("EMU"));
    const DeviceType *selected = static_cast<EmulatedPort &>(*third).unit().selectedDevice();
    QCOMPARE(selected == nullptr, fresh.selectedDevice() == nullptr);
    if (selected)
        QCOMPARE(selected->code, fresh.selectedDevice()->code);
}

void TestPortContract::reconnectToEmuKeepsTheDevice() {
    test::FormFixture form;
    form->Combo1->setCurrentText(QStringLiteral("EMU"));
    form->Combo2->setCurrentText(QStringLiteral("38400"));
    QVERIFY(test::runToEnd(form->PbON_Click()));
    QCOMPARE(form->AnsRxCode, QStringLiteral("00"));
    QVERIFY(form->Output(QStringLiteral("TS2F")));
    QVERIFY(test::runToEnd(form->CeckAnsRX(QStringLiteral("TS"))));
    QCOMPARE(form->AnsRxCode, QStringLiteral("00"));

    form.clearHistory();
    QVERIFY(test::runToEnd(form->PbON_Click()));
    QVERIFY2(form.history().contains(QStringLiteral("装置内デバイス・コードは2Fです。")),
             qPrintable(form.history().join(QLatin1Char('|'))));
    QCOMPARE(form->LbDevSetCode->text(), QStringLiteral("2F"));
    QCOMPARE(form.history().last(), QStringLiteral("OK"));
}

QTEST_MAIN(TestPortContract)
#include "tst_port_contract.moc"
