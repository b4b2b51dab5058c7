// Network serial lines: the port against a scripted Telnet COM-PORT-OPTION server on a local
// socket, and a unit's controller on corvane-unit served by the real ser2net.

#include "linktesting.h"
#include "ports/networkport.h"
#include "text/telnetcodec.h"
#include "unitfixture.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

namespace {

// Bytes from hex digits; blanks between frames are skipped.
const auto hex = [](const QByteArray &digits) { return QByteArray::fromHex(digits); };

// A server on a local port: keeps what it receives as it came (wire) and as Telnet data, and
// answers each line of the data like the unit: "01" to a load's announcement, "00" to others.
struct Peer {
    Peer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this] {
                const QByteArray in = socket->readAll();
                const qsizetype from = data.size();
                QList<telnet::Event> events;
                decoder.feed(in, data, events);
                wire += in;
                for (const char c : data.mid(from)) {
                    line = c == '\n' ? QByteArray() : line + c;
                    if (line.endsWith('\r'))
                        socket->write(line.startsWith("LH") ? "01\r\n" : "00\r\n");
                }
            });
        });
    }
    // What came since the last call, once at least `size` bytes are there (or 2 s passed).
    QByteArray take(qsizetype size) {
        waitUntil([&] { return wire.size() >= size; }, 2000);
        spin(20); // anything more that follows at once counts too
        return std::exchange(wire, {});
    }
    QTcpServer server;
    QTcpSocket *socket = nullptr;
    QByteArray wire, data, line;
    telnet::Decoder decoder;
};

} // namespace

class TestNetwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The bytes on the wire for everything the program does with a port, and what it makes of
    // the server's.
    void rfc2217Session() {
        for (const char *bad : {"9600,x,8,1", "0,n,8,1", "9600,n,9,1", "9600,n,8,3", "9600"})
            QVERIFY2(!telnet::lineSettings(QString::fromLatin1(bad)), bad); // no frames for these
        Peer peer;
        NetworkPort port;
        port.setPortText(u"RFC2217://127.0.0.1:%1"_s.arg(peer.server.serverPort()));
        port.setSettings(u"19200,E,7,1.5"_s);
        QSignalSpy lost(&port, &SerialPort::lost);
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        // WILL/DO BINARY, WILL/DO SUPPRESS-GO-AHEAD, WILL COM-PORT-OPTION; speed, data size,
        // parity, stop size; DTR on, RTS on; the modem-state mask (CTS, DSR, CD and their changes).
        const QByteArray greeting = hex("fffb00 fffd00 fffb03 fffd03 fffb2c "
                                        "fffa2c0100004b00fff0 fffa2c0207fff0 fffa2c0303fff0 "
                                        "fffa2c0403fff0 fffa2c0508fff0 fffa2c050bfff0 "
                                        "fffa2c0bbbfff0");
        QCOMPARE(peer.take(greeting.size()), greeting);
        QVERIFY(port.write("A\xff"_ba));
        port.setDtr(false);
        port.setRts(false);
        port.setDtr(false);
        QCOMPARE(peer.take(17), hex("41ffff fffa2c0509fff0 fffa2c050cfff0"));
        // ser2net's greeting (answers to our requests, its own, repeats: only its ECHO refused),
        // options we do not do, BINARY withdrawn and asked again; lone commands; a subnegotiation
        // cut by a request and an overlong one, both dropped; data with an IAC.
        peer.socket->write(hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c fffd03 fffb00 "
                               "fffd18 fffb1f fffd18 fffe00 fffe00 fffd00 fff1 6f6bffff fff9 "
                               "fffa2c6b00 fffd18 fffa2c6b" +
                               QByteArray("00").repeated(300) + "fff0 21"));
        QVERIFY(waitUntil([&] { return port.inBufferCount() == 4; }, 2000));
        QCOMPARE(port.readAll(), "ok\xff!"_ba);
        QVERIFY(port.ctsHolding()); // no CTS-low notification came through whole
        // The server's modem state: CTS low, then CTS and CD.
        peer.socket->write(hex("fffa2c6b00fff0"));
        QVERIFY(waitUntil([&] { return !port.ctsHolding(); }, 2000));
        peer.socket->write(hex("fffa2c6b90fff0"));
        QVERIFY(waitUntil([&] { return port.ctsHolding() && port.cdHolding(); }, 2000));
        QVERIFY(!port.dsrHolding());
        // A purge only when something may be there to purge: the idle controller discards each
        // tick.
        for (int twice = 0; twice < 2; ++twice) {
            port.discardInput();
            port.discardOutput();
        }
        QCOMPARE(peer.take(35), hex("fffe01 fffc18 fffe1f fffc18 fffc00 fffb00 fffc18 "
                                    "fffa2c0c01fff0 fffa2c0c02fff0"));
        // The server goes away: an unplugged line.
        peer.socket->close();
        QVERIFY(lost.wait(2000));
        QVERIFY(!port.isOpen() && !port.write("x") && !port.ctsHolding());
        QCOMPARE(port.errorString(),
                 u"127.0.0.1:%1: connection closed by the server"_s.arg(peer.server.serverPort()));
    }

    // A full queue leaves the connect unanswered: the connection gives up after 5 s and says why.
    void connectTimeout() {
        QTcpServer silent;
        silent.setListenBacklogSize(0);
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        silent.pauseAccepting();
        QTcpSocket queued; // takes the one place in the queue
        queued.connectToHost(QHostAddress::LocalHost, silent.serverPort());
        QVERIFY(queued.waitForConnected(2000));
        const QString address = u"127.0.0.1:%1"_s.arg(silent.serverPort());
        UnitFixture f;
        f.set("Combo1=tcp://" + address);
        const QDeadlineTimer soonest(4990); // a precise timer: not before its 5 s
        QVERIFY(runToEnd(f->PbON_Click(), 7000) && soonest.hasExpired());
        QCOMPARE(f.log().constLast(),
                 u"！通信ポートを開けません。（tcp://%1） %1: no answer within 5 s"_s.arg(address));
    }

    // corvane-unit behind ser2net: a 256 KiB binary with every byte value loaded over tcp:// (a
    // pseudo-terminal's CTS reads low through rfc2217) and saved back over rfc2217://, an Intel
    // HEX save read back by srec_cat, a cancelled save, a dump.
    void throughSer2net() {
        UnitProcess unit({"--speed", "0", "--time-scale", "0"});
        QVERIFY(!unit.path.isEmpty());
        UnitFixture f;
        Ser2net ser2net(unit.path, "38400", f.path("pid"));
        QVERIFY2(ser2net.process.waitForStarted(3000), "no ser2net: scripts/setup.sh installs it");
        const QString rfc = ser2net.rfcPort, raw = ser2net.rawPort;
        f.setDevice(u"70"_s, u"3FFFF"_s, u"FLASH"_s);
        const auto greet = [&](const QString &url) {
            f.clearHistory();
            f.set("Combo1=" + url);
            f->MSComm1->close(); // ser2net takes a few ms to let go of the device of a closed link
            spin(100);
            return runToEnd(f->PbON_Click()) && f.history().contains(u"Corvaneと接続しました。"_s);
        };
        // ser2net listens a moment after it starts.
        QVERIFY(waitUntil([&] { return greet(u"tcp://127.0.0.1:%1"_s.arg(raw)); }, 5000));
        QByteArray image(256 << 10, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i ^ (i >> 8) ^ (i >> 16));
        QVERIFY(runToEnd(f->LBsub(writeFile(f.path("in.bin"), image) + ",0"), 120000));
        QCOMPARE(f.log().constLast(), u"OK"_s);

        QVERIFY(greet(u"rfc2217://127.0.0.1:%1"_s.arg(rfc)));
        QVERIFY(runToEnd(f->SBsub(f.path("out.bin") + ",0,3FFFF"), 60000));
        QVERIFY(readFile(f.path("out.bin")) == image);
        QVERIFY(runToEnd(f->SHsub(f.path("out.hex") + ",0,FFFF,0"), 60000));
        QCOMPARE(f.log().constLast(), u"終了しました。"_s);
        QVERIFY(QProcess::execute("srec_cat", {f.path("out.hex"), "-intel", "-o",
                                               f.path("back.bin"), "-binary"}) == 0);
        QVERIFY(readFile(f.path("back.bin")) == image.left(0x10000));

        f.clearHistory();
        auto save = f->SHsub(f.path("cut.hex") + ",0,3FFFF,0");
        QVERIFY(waitUntil([&] { return f.history().size() > 20; }, 5000));
        f->PbCansel_Click();
        QVERIFY(runToEnd(std::move(save), 15000));
        QCOMPARE(f.log().constLast() + f->AnsRxCode, u"キャンセルしました。34"_s);
        f.clearHistory();
        QVERIFY(runToEnd(f->BDsub(u"0,1F"_s)));
        QCOMPARE(f.history().mid(f.history().indexOf(u"* Dump buffer RAM"_s) + 2),
                 (QStringList{"00000 " + image.left(16).toHex(' ').toUpper(),
                              "00001 " + image.mid(16, 16).toHex(' ').toUpper(), "OK"}));
    }
};

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
