// One tick of the line monitor: lamps, counters, DTR/RTS flow control, idle discard, the load and
// save buttons, and the one-shot start-up connection.

#include "formfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

class TestLineMonitor : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void flowControl_data();
    void flowControl();
    void lampsAndCounters();
    void closedPortTicksQuietly();
    void idleInputIsDiscarded();
    void awaitedReplyIsKept();
    void loadAndSaveButtonsFollowPaths_data();
    void loadAndSaveButtonsFollowPaths();
    void startUpConnectsOnce();
};

void TestLineMonitor::flowControl_data() {
    QTest::addColumn<int>("waiting");
    QTest::addColumn<bool>("raised");
    QTest::newRow("empty") << 0 << true;
    QTest::newRow("half full") << 512 << true;
    QTest::newRow("one more than half") << 513 << false;
    QTest::newRow("full") << 1024 << false;
}

void TestLineMonitor::flowControl() {
    QFETCH(int, waiting);
    QFETCH(bool, raised);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f->PbUnEn(); // an operation runs: nothing is discarded
    port->inject(QByteArray(waiting, 'x'));
    spin(10);
    QCOMPARE(port->inBufferCount(), waiting);
    f->Timer1_Timer();
    QCOMPARE(port->dtr(), raised);
    QCOMPARE(port->rts(), raised);
    // The lamp shows the output of the previous tick, so it follows one tick later.
    f->Timer1_Timer();
    QCOMPARE(Form1::backColor(f->MoniDTR), raised ? QColor(0, 128, 128) : QColor(0, 255, 255));
}

void TestLineMonitor::lampsAndCounters() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f->PbUnEn();
    port->setCts(false);
    port->setDsr(true);
    port->setCd(false);
    port->inject("12345");
    spin(10);
    f->Timer1_Timer();
    QCOMPARE(Form1::backColor(f->MoniCTS), QColor(255, 192, 128));
    QCOMPARE(Form1::backColor(f->MoniDSR), QColor(128, 64, 0));
    QCOMPARE(Form1::backColor(f->MoniCD), QColor(255, 192, 128));
    QCOMPARE(f->Label3->text(), QStringLiteral("5"));
    QCOMPARE(f->Label5->text(), QStringLiteral("1024"));
    QCOMPARE(f->Label22->text(), QStringLiteral("0"));
    port->setCts(true);
    f->Timer1_Timer();
    QCOMPARE(Form1::backColor(f->MoniCTS), QColor(128, 64, 0));
}

void TestLineMonitor::closedPortTicksQuietly() {
    FormFixture f; // the port before any connection: closed
    f->Timer1_Timer();
    f->Timer1_Timer();
    QCOMPARE(Form1::backColor(f->MoniCTS), QColor(255, 192, 128));
    QCOMPARE(f->Label3->text(), QStringLiteral("0"));
}

void TestLineMonitor::idleInputIsDiscarded() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    port->inject("unasked\r\n");
    spin(10);
    QVERIFY(port->inBufferCount() > 0);
    f->Timer1_Timer();
    QCOMPARE(port->inBufferCount(), 0);
    QCOMPARE(f.log(), QStringList{});
}

void TestLineMonitor::awaitedReplyIsKept() {
    // A unit query waits without the busy state (PbON stays enabled); ticks keep its reply.
    FormFixture f(1);
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    QVERIFY(f->PbON->isEnabled());
    port->expectPieces("US2", {{50, "00:01"}, {100, "000,0\r\n"}});
    f->Output(QStringLiteral("US2"));
    QVERIFY(runToEnd(f->CeckAnsRX(QStringLiteral("US2CT"))));
    QCOMPARE(f->AnsRxCode, QStringLiteral("00"));
    QCOMPARE(f->StBuffAdr->text(), QStringLiteral("01000"));
}

void TestLineMonitor::loadAndSaveButtonsFollowPaths_data() {
    QTest::addColumn<bool>("device");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("loadPath");
    QTest::addColumn<QString>("savePath");
    QTest::addColumn<bool>("loadEnabled");
    QTest::addColumn<bool>("saveEnabled");
    QTest::newRow("A, save path cleared") << true << false << "a.hex"
                                          << "" << true << false;
    QTest::newRow("A, both paths") << true << false << "a.hex"
                                   << "b.hex" << true << true;
    QTest::newRow("B, both paths") << false << false << "a.hex"
                                   << "b.hex" << true << true;
    QTest::newRow("B, no paths") << false << false << ""
                                 << "" << false << false;
    QTest::newRow("busy, both paths") << true << true << "a.hex"
                                      << "b.hex" << false << false;
}

void TestLineMonitor::loadAndSaveButtonsFollowPaths() {
    QFETCH(bool, device);
    QFETCH(bool, busy);
    QFETCH(QString, loadPath);
    QFETCH(QString, savePath);
    QFETCH(bool, loadEnabled);
    QFETCH(bool, saveEnabled);
    FormFixture f;
    f.useScripted();
    if (device)
        f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    else
        f.setDevice(QStringLiteral("--"), QStringLiteral("-----"));
    if (busy)
        f->PbUnEn();
    f->TexLoadDir->setText(loadPath);
    f->TexSaveDir->setText(savePath);
    f->Timer1_Timer();
    QCOMPARE(f->PbGoLoad->isEnabled(), loadEnabled);
    QCOMPARE(f->PbGoSave->isEnabled(), saveEnabled);
}

void TestLineMonitor::startUpConnectsOnce() {
    QList<ScriptedPort *> made;
    FormFixture f(0, [&made](const QString &) {
        auto port = std::make_unique<ScriptedPort>();
        port->respond("ON", "00\r\n");
        port->respond("US0", "00:-\r\n");
        port->respond("US1", "00:-----\r\n");
        port->respond("US2", "00:00000,0\r\n");
        made << port.get();
        return std::unique_ptr<SerialPort>(std::move(port));
    });
    f->StartUpWork = 3;
    f->Timer1_Timer();
    QCOMPARE(f->StartUpWork, 2);
    // Ticks during the connection do not start it again.
    for (int i = 0; i < 20; ++i) {
        f->Timer1_Timer();
        spin(10);
    }
    QTRY_COMPARE_WITH_TIMEOUT(f.log().value(f.log().size() - 1), QStringLiteral("OK"), 3000);
    f->Timer1_Timer();
    QCOMPARE(made.size(), 1);
    QCOMPARE(made.first()->writtenLines(), (QList<QByteArray>{"ON", "US0", "US1", "US2"}));
}

QTEST_MAIN(TestLineMonitor)
#include "tst_linemonitor.moc"
