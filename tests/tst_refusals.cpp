// Commands the program refuses itself, and queries after a reply that locks the controls: nothing
// but intended bytes reaches the unit, the busy state stays what it was, and a command-response
// run stops on a refusal without a made-up reply code.

#include "formfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kBadParameter = QStringLiteral("！ パラメータに、誤りがあります。");

// Which controls are usable: the busy state as the operator sees it.
QString busyState(Form1 &f) {
    QString state;
    for (QPushButton *b : f.findChildren<QPushButton *>())
        state += b->objectName() + (b->isEnabled() ? QLatin1Char('+') : QLatin1Char('-'));
    return state + (f.MenuFile->isEnabled() ? QLatin1Char('+') : QLatin1Char('-'));
}

QCoro::Task<> typed(Form1 &f, QString line) {
    f.TexCMD->setText(line);
    co_await f.PbCMD_Click();
}

} // namespace

class TestRefusals : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusedCommand_data();
    void refusedCommand();
    void runStopsOnRefusal_data();
    void runStopsOnRefusal();
    void queriesAfterLockingReply_data();
    void queriesAfterLockingReply();
    void nulDiscardOutlivesThePort();
};

void TestRefusals::refusedCommand_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("linkLost");
    // Characters the unit's code page has no bytes for (the typed text is upper-cased first).
    QTest::newRow("buffer address é") << "BS1é" << false;
    QTest::newRow("device text emoji") << "T03,\U0001F600" << false;
    QTest::newRow("device range é") << "P0,1é" << false;
    // File commands: the path stays on this machine and may hold anything; the fields may not.
    QTest::newRow("load field é") << "LH%1,é" << false;
    QTest::newRow("save field é") << "SH%1,0,1é,0" << false;
    QTest::newRow("replacement character") << QStringLiteral("BS1") + QChar(0xFFFD) << false;
    // Parameters the program cannot carry out, in either link state.
    QTest::newRow("buffer type X") << "BTX" << false;
    QTest::newRow("buffer type X, link lost") << "BTX" << true;
    QTest::newRow("dump start too high") << "D1000000,1000010" << false;
    QTest::newRow("dump start too high, link lost") << "D1000000,1000010" << true;
}

void TestRefusals::refusedCommand() {
    QFETCH(QString, command);
    QFETCH(bool, linkLost);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    if (linkLost) {
        f->AnsRxCode = QStringLiteral("98");
        f->PbUnEn();
        f->PbReEn();
    }
    const QString before = busyState(f.form());
    const QString codeBefore = f->AnsRxCode;
    const QString dataFile = writeFile(f.path(QStringLiteral("dätä.hex")), ":00000001FF\r\n");
    command.replace(QStringLiteral("%1"), dataFile);

    QVERIFY(runToEnd(typed(f.form(), command)));
    QCOMPARE(port->written(), QByteArray());
    QCOMPARE(readFile(dataFile), QByteArray(":00000001FF\r\n"));
    QCOMPARE(f.log().last(), kBadParameter);
    QCOMPARE(f->AnsRxCode, codeBefore);
    QCOMPARE(busyState(f.form()), before);
}

void TestRefusals::runStopsOnRefusal_data() {
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::newRow("unencodable") << QByteArray("BS1\xc3\xa9") << QList<QByteArray>{};
    QTest::newRow("bad buffer type") << QByteArray("BTX") << QList<QByteArray>{};
    // The unit refuses the code; the queries that follow answer "00" but the run must stop.
    QTest::newRow("rejected device")
        << QByteArray("T99") << QList<QByteArray>{"TS99,-,-", "US0", "US1"};
}

void TestRefusals::runStopsOnRefusal() {
    QFETCH(QByteArray, firstLine);
    QFETCH(QList<QByteArray>, sent);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    port->expect("TS99,-,-", "21\r\n");
    port->expect("US0", "00:03,A,B,00,0\r\n");
    port->expect("US1", "00:07FFF\r\n");
    port->respond("CL", "00\r\n");
    // The first line in UTF-8 with its mark, so that "é" is a character and not two bytes.
    f->TexResGoFile1->setText(
        writeFile(f.path(QStringLiteral("run.txt")), "\xef\xbb\xbf" + firstLine + "\r\nC\r\n"));

    QVERIFY(runToEnd(f->PbResGo1_Click()));
    QCOMPARE(port->writtenLines(), sent);
    QCOMPARE(f.log().last(), QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了"));
    QCOMPARE(f->AnsRxCode, QStringLiteral("00"));
}

void TestRefusals::queriesAfterLockingReply_data() {
    QTest::addColumn<QByteArray>("us0Reply");
    QTest::addColumn<QByteArray>("tsReply");
    QTest::newRow("no device in the unit") << QByteArray("00:-\r\n") << QByteArray();
    QTest::newRow("device code rejected")
        << QByteArray("00:03,A,B,00,0\r\n") << QByteArray("21\r\n");
}

// A query whose reply locks the operation controls leaves no operation running: the next query
// still goes out.
void TestRefusals::queriesAfterLockingReply() {
    QFETCH(QByteArray, us0Reply);
    QFETCH(QByteArray, tsReply);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    port->expect("US0", us0Reply);
    port->expect("US1", "00:07FFF\r\n");
    port->expect("TS03,A", tsReply);
    port->respond("US2", "00:00000,0\r\n");
    port->respond("TS2F", "00\r\n");
    QVERIFY(runToEnd(f->PbUS0_Click()));
    QVERIFY(!f->PbPG->isEnabled());

    port->clearWritten();
    QVERIFY(runToEnd(f->PbUS2_Click()));
    QVERIFY(runToEnd(f->インテルる_Click()));
    QCOMPARE(
        port->writtenLines(),
        (QList<QByteArray>{"US2", "TS2F,\x83\x43\x83\x93\x83\x65\x83\x8b\x82\xe9,am27r010gg"}));
}

// The binary save leaves NUL discarding on; a reconnect must not forget it.
void TestRefusals::nulDiscardOutlivesThePort() {
    QList<ScriptedPort *> ports;
    FormFixture f(0, [&ports](const QString &) {
        auto port = std::make_unique<ScriptedPort>();
        ports << port.get();
        return std::unique_ptr<SerialPort>(std::move(port));
    });
    f.useScripted()->respond("SB", "");
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    QVERIFY(runToEnd(f->SBsub(f.path(QStringLiteral("out.bin")) + QStringLiteral(",0,F"))));
    QVERIFY(f->MSComm1->nullDiscard());

    QVERIFY(runToEnd(f->PbON_Click()));
    QCOMPARE(ports.size(), 1);
    QVERIFY(ports.first()->nullDiscard());
}

QTEST_MAIN(TestRefusals)
#include "tst_refusals.moc"
