// Framing, the input purge, the CTS wait and the cancel line.

#include "formfixture.h"
#include "protocol/cp932.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace corvane;
using namespace corvane::test;

class TestLinkPrimitives : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void outputIsOneFramedWrite();
    void purgeWithNothingPending();
    void purgeWaitsForQuietLine();
    void purgeOnFullLogKeepsNewestLines();
    void ctsWait_data();
    void ctsWait();
    void ctsWaitEndsWhenCtsRises();
    void cancelButtonSendsLineAndSetsFlag();
    void escButtonSendsLineOnly();
};

void TestLinkPrimitives::outputIsOneFramedWrite() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    QVERIFY(f->Output(QStringLiteral("TS2F,インテルる,am27r010gg")));
    QCOMPARE(port->written(), "TS2F," + toCp932(QStringLiteral("インテルる")) + ",am27r010gg\r\n");
}

void TestLinkPrimitives::purgeWithNothingPending() {
    FormFixture f;
    f.useScripted();
    f->AddList1(QStringLiteral("a"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->CLR232IN()));
    QVERIFY(clock.elapsed() >= 300);
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(f.log(), QStringList{"a"});
    QCOMPARE(f.history(), (QStringList{"a", "  "}));
}

void TestLinkPrimitives::purgeWaitsForQuietLine() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    // The unit talks for 0.9 s: a byte every 100 ms.
    for (int i = 1; i <= 9; ++i)
        port->inject("x", 100 * i);
    QElapsedTimer clock;
    clock.start();
    auto task = f->CLR232IN();
    bool sawMessage = false;
    while (clock.elapsed() < 700) {
        spin(20);
        sawMessage = sawMessage || f.log().contains(QStringLiteral("通信バッファの清掃中です。"));
    }
    QVERIFY(runToEnd(std::move(task)));
    QVERIFY(sawMessage);
    // The last byte comes at 0.9 s; the input counts as empty only 0.3 s after it.
    QVERIFY2(clock.elapsed() >= 1200, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(port->inBufferCount(), 0);
    QCOMPARE(f.log(), QStringList{});
}

void TestLinkPrimitives::purgeOnFullLogKeepsNewestLines() {
    FormFixture f;
    f.useScripted();
    for (int i = 1; i <= 24; ++i)
        f->AddList1(QString::number(i));
    QVERIFY(runToEnd(f->CLR232IN()));
    QStringList expected;
    for (int i = 2; i <= 24; ++i)
        expected << QString::number(i);
    QCOMPARE(f.log(), expected);
}

void TestLinkPrimitives::ctsWait_data() {
    QTest::addColumn<bool>("cts");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("CTS held") << true << false;
    QTest::newRow("CTS held and cancel") << true << true;
    QTest::newRow("cancel only") << false << true;
}

void TestLinkPrimitives::ctsWait() {
    QFETCH(bool, cts);
    QFETCH(bool, cancel);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    port->setCts(cts);
    f->EscFlag = cancel;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(runToEnd(f->TxCtsCK(), 1000));
    QVERIFY(clock.elapsed() < 250);
}

void TestLinkPrimitives::ctsWaitEndsWhenCtsRises() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    port->setCts(false);
    bool done = false;
    auto wait = [](Form1 &form, bool &flag) -> QCoro::Task<> {
        co_await form.TxCtsCK();
        flag = true;
    };
    auto task = wait(f.form(), done);
    spin(200);
    QVERIFY(!done);
    // The window stays responsive meanwhile: a timer fires.
    bool ticked = false;
    QTimer::singleShot(0, &f.form(), [&] { ticked = true; });
    spin(20);
    QVERIFY(ticked);
    port->setCts(true);
    QTRY_VERIFY_WITH_TIMEOUT(done, 500);
}

void TestLinkPrimitives::cancelButtonSendsLineAndSetsFlag() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f->PbCansel->setEnabled(true);
    f->PbCansel->click();
    QCOMPARE(port->written(), QByteArray("\x1b\x0d\x0a"));
    QCOMPARE(f->EscFlag, true);
}

void TestLinkPrimitives::escButtonSendsLineOnly() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f->PbUnEn();
    QVERIFY(f->ESC->isEnabled());
    f->ESC->click();
    QCOMPARE(port->written(), QByteArray("\x1b\x0d\x0a"));
    QCOMPARE(f->EscFlag, false);
}

QTEST_MAIN(TestLinkPrimitives)
#include "tst_linkprimitives.moc"
