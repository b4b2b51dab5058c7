// Network serial lines: the Telnet COM-PORT-OPTION codec by its frames, the port against a
// scripted server on a local socket, and the window on corvane-unit served by the real ser2net.

#include "link/networkport.h"
#include "link/telnetcodec.h"
#include "linktesting.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

namespace {

// Bytes from hex digits; blanks between frames are skipped.
QByteArray hex(const QByteArray &digits) {
    return QByteArray::fromHex(digits);
}

quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// A server on a local port: keeps what it receives as it came (wire) and as Telnet data, and
// answers each line of the data with answers[line], "00\r\n" by default.
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
                        socket->write(answers.value(line.chopped(1), "00\r\n"));
                }
            });
        });
    }
    QString url(const char *scheme) const {
        return u"%1://127.0.0.1:%2"_s.arg(QLatin1StringView(scheme)).arg(server.serverPort());
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
    QMap<QByteArray, QByteArray> answers;
};

// A process of the test's own, ended with the test.
struct Process : QProcess {
    ~Process() override {
        kill();
        waitForFinished(3000);
    }
};

} // namespace

class TestNetwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void frames_data() {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("expected");
        using namespace telnet;
        const auto row = [](const char *name, const QByteArray &frame, const char *expected) {
            QTest::newRow(name) << frame << hex(expected);
        };
        row("SET-BAUDRATE 255, IAC in the value doubled", setBaudRate(255),
            "fffa2c01000000ffff fff0");
        row("settings 19200,E,7,1.5", lineSettings(u"19200,E,7,1.5").value_or(""),
            "fffa2c0100004b00fff0 fffa2c0207fff0 fffa2c0303fff0 fffa2c0403fff0");
        for (const char *bad : {"9600,x,8,1", "0,n,8,1", "9600,n,9,1", "9600,n,8,3", "9600"})
            row(bad, lineSettings(QString::fromLatin1(bad)).value_or(""), ""); // refused
    }
    void frames() {
        QFETCH(QByteArray, frame);
        QTEST(frame, "expected");
    }

    void decode_data() {
        QTest::addColumn<QByteArray>("stream"); // from the server after our requests
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("events"); // command option payload; ";" between events
        QTest::addColumn<QByteArray>("replies");
        const auto row = [](const char *name, const QByteArray &stream, const char *data,
                            const char *events, const char *replies) {
            QTest::newRow(name) << hex(stream) << hex(data) << QString::fromLatin1(events)
                                << hex(replies);
        };
        row("IAC IAC is one data byte", "41ffff42", "41ff42", "", "");
        row("NOTIFY-MODEMSTATE CTS on", "fffa2c6b10fff0", "", "250 44 6b10", "");
        row("subnegotiation with a doubled IAC", "fffa2c65000000fffffff0", "", "250 44 65000000ff",
            "");
        row("lone commands are no data", "fff1 41 fff9", "41", "241 0;249 0", "");
        row("subnegotiation cut by a request: dropped, the request answered", "fffa2c6b10 fffd18",
            "", "253 24", "fffc18");
        row("subnegotiation over 256 bytes dropped, data after it kept",
            "fffa2c0b" + QByteArray("41").repeated(300) + "fff0 6f6b", "6f6b", "", "");
        // ser2net's opening: answers to our requests and its own; only its ECHO is refused.
        row("ser2net greeting", "fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c", "",
            "251 3;253 3;251 1;254 1;253 0;251 0;253 44", "fffe01");
        row("unknown options refused, each request once", "fffd18 fffb1f fffd18", "",
            "253 24;251 31;253 24", "fffc18 fffe1f fffc18");
        row("agreed answer repeated: no reply", "fffd03 fffd03 fffb00 fffb00", "",
            "253 3;253 3;251 0;251 0", "");
        row("BINARY withdrawn, then asked again", "fffd00 fffe00 fffe00 fffd00", "",
            "253 0;254 0;254 0;253 0", "fffc00 fffb00");
    }
    // Whole, and a byte at a time alike.
    void decode() {
        QFETCH(QByteArray, stream);
        for (const qsizetype piece : {stream.size(), qsizetype(1)}) {
            telnet::Decoder decoder;
            telnet::Negotiator negotiator;
            (void)negotiator.start();
            QByteArray gotData, gotReplies;
            QList<telnet::Event> got;
            for (qsizetype at = 0; at < stream.size(); at += piece)
                decoder.feed(stream.mid(at, piece), gotData, got);
            QStringList described;
            for (const telnet::Event &e : std::as_const(got)) {
                described << u"%1 %2 %3"_s.arg(e.command).arg(e.option).arg(e.payload.toHex());
                gotReplies += negotiator.answer(e.command, e.option);
            }
            QTEST(gotData, "data");
            QTEST(described.join(u';').replace(u" ;"_s, u";"_s).trimmed(), "events");
            QTEST(gotReplies, "replies");
        }
    }

    // The bytes on the wire for everything the program does with a port, and what it makes of
    // the server's.
    void rfc2217Session() {
        Peer peer;
        NetworkPort port;
        port.setPortText(peer.url("RFC2217"));
        port.setSettings(u"38400,n,8,1"_s);
        QSignalSpy pinout(&port, &SerialPort::pinoutChanged), lost(&port, &SerialPort::lost);
        QVERIFY2(port.open(), qPrintable(port.errorString()));
        // WILL/DO BINARY, WILL/DO SUPPRESS-GO-AHEAD, WILL COM-PORT-OPTION; speed, data size,
        // parity, stop size; DTR on, RTS on; the modem-state mask (CTS, DSR, CD and their changes).
        const QByteArray greeting = hex("fffb00 fffd00 fffb03 fffd03 fffb2c "
                                        "fffa2c0100009600fff0 fffa2c0208fff0 fffa2c0301fff0 "
                                        "fffa2c0401fff0 fffa2c0508fff0 fffa2c050bfff0 "
                                        "fffa2c0bbbfff0");
        QCOMPARE(peer.take(greeting.size()), greeting);
        QVERIFY(port.write("A\xff"_ba));
        port.setDtr(false);
        port.setRts(false);
        port.setDtr(false);
        QCOMPARE(peer.take(17), hex("41ffff fffa2c0509fff0 fffa2c050cfff0"));
        // Data with an IAC, CTS dropped, an option we refuse.
        peer.socket->write(hex("6f6bffff fffa2c6b00fff0 fffd18"));
        QVERIFY(waitUntil([&] { return port.inBufferCount() == 3; }, 2000));
        QVERIFY(!port.ctsHolding() && pinout.count() == 1);
        QCOMPARE(port.readAll(), "ok\xff"_ba);
        // A purge only when something may be there to purge: the idle window discards each tick.
        for (int twice = 0; twice < 2; ++twice) {
            port.discardInput();
            port.discardOutput();
        }
        QCOMPARE(peer.take(17), hex("fffc18 fffa2c0c01fff0 fffa2c0c02fff0"));
        peer.socket->write(hex("fffa2c6b10fff0"));
        QVERIFY(waitUntil([&] { return port.ctsHolding(); }, 2000));
        // The server goes away: an unplugged line.
        peer.socket->close();
        QVERIFY(lost.wait(2000));
        QVERIFY(!port.isOpen() && !port.write("x") && !port.ctsHolding());
        QCOMPARE(port.errorString(),
                 u"127.0.0.1:%1: connection closed by the server"_s.arg(peer.server.serverPort()));
    }

    // CTS dropped by a notification holds a load before its data line; CTS back releases it.
    void ctsPacesLoad() {
        Peer peer;
        peer.answers["LH0"] = "01\r\n";
        FormFixture f;
        f.set("Combo1=" + peer.url("rfc2217"));
        QVERIFY(runToEnd(f->PbON_Click()));
        QVERIFY(f->MSComm1->isOpen() && f->MSComm1->ctsHolding());
        peer.socket->write(hex("fffa2c6b00fff0"));
        QVERIFY(waitUntil([&] { return !f->MSComm1->ctsHolding(); }, 2000));
        auto load = f->LHsub(writeFile(f.path(u"a.hex"_s), ":00000001FF\r\n"));
        QVERIFY(waitUntil([&] { return peer.data.endsWith("LH0\r\n"); }, 3000));
        spin(300);
        QVERIFY(peer.data.endsWith("LH0\r\n"));
        peer.socket->write(hex("fffa2c6b10fff0"));
        QVERIFY(runToEnd(std::move(load), 3000));
        QVERIFY(peer.data.endsWith("LH0\r\n:00000001FF\r\n"));
        QCOMPARE(f.log().constLast(), u"OK"_s);
    }

    // Nobody listens: the window says so at once, naming the server.
    void connectRefused() {
        const QString url = u"tcp://127.0.0.1:%1"_s.arg(freePort());
        FormFixture f;
        f.set("Combo1=" + url);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runToEnd(f->PbON_Click()) && clock.elapsed() < 2000);
        QCOMPARE(
            f.log().constLast() + f->AnsRxCode,
            u"！通信ポートを開けません。（%1） %2: connection refused98"_s.arg(url, url.mid(6)));
    }

    // corvane-unit behind ser2net: greetings, a 256 KiB binary with every byte value loaded over
    // tcp:// (a pseudo-terminal's CTS reads low through rfc2217) and saved back over rfc2217://,
    // an Intel HEX save read back by srec_cat, a cancelled save, a dump.
    void throughSer2net() {
        QTemporaryDir dir;
        Process unit, ser2net;
        unit.start(qEnvironmentVariable("CORVANE_UNIT_BIN"), {"--speed", "0", "--time-scale", "0"});
        QVERIFY(unit.waitForReadyRead(3000) && unit.canReadLine());
        const QString connector =
            "    connector: serialdev," + unit.readLine().trimmed() + ",38400n81,local\n";
        const quint16 rfc = freePort(), raw = freePort();
        const QString config = u"connection: &rfc\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%1\n"
                               u"%3connection: &raw\n    accepter: tcp,127.0.0.1,%2\n%3"_s.arg(rfc)
                                   .arg(raw)
                                   .arg(connector);
        ser2net.start("ser2net",
                      {"-n", "-u", "-c", writeFile(dir.filePath("ser2net.yaml"), config.toUtf8()),
                       "-P", dir.filePath("pid")});
        QVERIFY2(ser2net.waitForStarted(3000), "ser2net is missing: scripts/setup.sh installs it");
        QVERIFY(waitUntil(
            [&] {
                QTcpSocket probe;
                probe.connectToHost(QHostAddress::LocalHost, raw);
                return probe.waitForConnected(100);
            },
            3000));

        FormFixture f;
        f.setDevice(u"70"_s, u"3FFFF"_s, u"FLASH"_s);
        const auto greet = [&](const QString &url) {
            f.clearHistory();
            f.set("Combo1=" + url);
            f->MSComm1->close(); // ser2net takes a few ms to let go of the device of a closed link
            spin(100);
            return runToEnd(f->PbON_Click()) &&
                   f.history().contains(u"Corvaneと接続しました。"_s) &&
                   f.log().constLast() == "OK";
        };
        QVERIFY(greet(u"tcp://127.0.0.1:%1"_s.arg(raw)));
        QByteArray image(256 << 10, '\0');
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i ^ (i >> 8) ^ (i >> 16));
        QVERIFY(runToEnd(f->LBsub(writeFile(f.path("in.bin"), image) + ",0"), 120000));
        QCOMPARE(f.log().constLast(), u"OK"_s);

        QVERIFY(greet(u"rfc2217://127.0.0.1:%1"_s.arg(rfc)));
        QVERIFY(!f->MSComm1->ctsHolding());
        QVERIFY(runToEnd(f->SBsub(f.path("out.bin") + ",0,3FFFF"), 60000));
        QVERIFY(readFile(f.path("out.bin")) == image);
        QVERIFY(runToEnd(f->SHsub(f.path("out.hex") + ",0,FFFF,0"), 60000));
        QCOMPARE(f.log().constLast(), u"終了しました。"_s);
        QProcess srecCat;
        srecCat.start("srec_cat",
                      {f.path("out.hex"), "-intel", "-o", f.path("back.bin"), "-binary"});
        QVERIFY(srecCat.waitForFinished(10000) && srecCat.exitCode() == 0);
        QVERIFY(readFile(f.path("back.bin")) == image.left(0x10000));

        f.clearHistory();
        auto save = f->SHsub(f.path("cut.hex") + ",0,3FFFF,0");
        QVERIFY(waitUntil([&] { return f.history().size() > 20; }, 5000));
        f->PbCansel->click();
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
