// The port contract on every back end: the scripted peer, the emulated unit, corvane-unit on a
// pseudo-terminal, directly and behind ser2net (rfc2217), and the journaling port on them.

#include "linktesting.h"
#include "ports/journalingport.h"
#include "ports/portfactory.h"
#include "shell/journal.h"

#include <QSignalSpy>
#include <QTest>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

class TestPorts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portContract_data() {
        QTest::addColumn<QString>("portText"); // PTY: corvane-unit's, RFC: ser2net's port for it
        QTest::addColumn<bool>("journaled");
        QTest::newRow("scripted peer") << "scripted" << false;
        QTest::newRow("emulated unit") << "EMU" << false;
        QTest::newRow("real line on corvane-unit") << "PTY" << false;
        QTest::newRow("rfc2217 to ser2net") << "rfc2217://127.0.0.1:RFC" << false;
        QTest::newRow("journaled emulated unit") << "EMU" << true;
        QTest::newRow("journaled rfc2217") << "rfc2217://127.0.0.1:RFC" << true;
        QTest::newRow("journaled scripted peer with NUL") << "scripted" << true;
    }

    // Closed, a port refuses and reports nothing; open, it delivers the unit's reply one byte per
    // read (NUL bytes dropped), discards waiting input and still hears what comes next. The
    // journaling port passes DTR on and journals exactly the bytes that crossed the line: no
    // refused write, NUL bytes and discarded input included.
    void portContract() {
        QFETCH(QString, portText);
        QFETCH(bool, journaled);
        const QTemporaryDir dir;
        UnitProcess unit;
        QVERIFY2(!unit.path.isEmpty(), "corvane-unit did not answer");
        Ser2net ser2net(unit.path, "9600", dir.filePath("pid"));
        QVERIFY2(ser2net.process.waitForStarted(3000), "no ser2net: scripts/setup.sh installs it");
        const QString text =
            QString(portText).replace("PTY", unit.path).replace("RFC", ser2net.rfcPort);
        const QByteArray reply = (text == "scripted" ? "\0"_ba : ""_ba) + "00\r\n";
        auto peer = std::make_unique<ScriptedPort>();
        peer->respond("ON", reply);
        std::unique_ptr<SerialPort> port = text == "scripted" ? std::move(peer) : makePort(text);
        Journal journal;
        QVERIFY(journal.openFile(dir.filePath("journal.log")));
        JournalingPort *wrapper = nullptr;
        if (journaled)
            port.reset(wrapper = new JournalingPort(std::move(port), &journal));
        port->setPortText(text);
        port->setNullDiscard(true);
        QSignalSpy ready(port.get(), &SerialPort::readyRead);
        // No speed: refused where the speed is set on the line (the window opens without blocking).
        port->setSettings(u"x,n,8,1"_s);
        const bool opened = QCoro::waitFor(port->openAsync());
        QVERIFY(text == "scripted" ? opened : !opened && port->errorString().endsWith(": x,n,8,1"));
        port->close();
        port->setSettings(u"9600,n,8,1"_s);
        const auto answered = [&] {
            return waitUntil([&] { return port->inBufferCount() >= reply.size(); }, 2000);
        };
        for (bool open : {true, false}) {
            QVERIFY(!port->isOpen() && !port->write("ON\r\n") && !port->ctsHolding());
            QCOMPARE((QList<int>{port->readByte(), port->inBufferCount(), port->inBufferSize()}),
                     (QList<int>{-1, 0, 1024}));
            if (!open)
                break;
            // ser2net listens a moment after it starts.
            QVERIFY2(waitUntil([&] { return port->open(); }, 5000),
                     qPrintable(port->errorString()));
            for (bool on : {false, true}) {
                port->setDtr(on);
                QVERIFY(!wrapper || wrapper->inner().dtr() == on);
            }
            // Over rfc2217 the modem state comes before the reply: a pty's CTS reads low.
            QVERIFY(port->isOpen() && port->write("ON\r\n") && answered());
            QCOMPARE(port->ctsHolding(), !text.startsWith("rfc2217"));
            for (int byte : {0x30, 0x30, 0x0D, 0x0A, -1})
                QCOMPARE(port->readByte(), byte);
            QVERIFY(port->write("ON\r\n") && answered());
            port->discardInput();
            QVERIFY(port->inBufferCount() == 0 && port->write("ON\r\n") && answered());
            QCOMPARE(port->readAll(), QByteArray("00\r\n"));
            port->close();
        }
        QVERIFY(ready.count() >= 3);
        journal.flush();
        QCOMPARE(journalBytes(journal.fileName(), '>'),
                 journaled ? "ON\r\n"_ba.repeated(3) : ""_ba);
        QCOMPARE(journalBytes(journal.fileName(), '<'), journaled ? reply.repeated(3) : ""_ba);
    }
};

QTEST_MAIN(TestPorts)
#include "tst_ports.moc"
