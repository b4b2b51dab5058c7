// Connecting: port and speed choice, opening the line, the greeting and its branches.

#include "app/settingsfile.h"
#include "formfixture.h"
#include "linktesting.h"
#include "protocol/cp932.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

using Script = std::function<void(ScriptedPort *)>;

// A window whose port factory hands out scripted lines prepared by `script`.
struct Bench {
    explicit Bench(Script script)
        : fixture(0, [this, script](const QString &text) {
            portTexts << text;
            auto port = std::make_unique<ScriptedPort>();
            script(port.get());
            ports << port.get();
            return std::unique_ptr<SerialPort>(std::move(port));
        }) {}
    void connect() { QVERIFY(runToEnd(fixture->PbON_Click())); }
    ScriptedPort *port() { return ports.last(); }

    QStringList portTexts;
    QList<ScriptedPort *> ports;
    FormFixture fixture;
};

void unitWithDevice(ScriptedPort *p) {
    p->expect("ON", "00\r\n");
    p->expect("US0", "00:2F,ABC,DEF,10,1\r\n");
    p->expect("US1", "00:1FFFF\r\n");
    p->expect("TS2F,ABC", "00\r\n");
    p->expect("US2", "00:00000,1\r\n");
}

} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unitWithoutDevice();
    void unitWithWordDevice();
    void unknownStoredCode();
    void otherErrorToTsStops();
    void noReplyToUs0();
    void noReplyToOn();
    void startUpWithoutThePort_data();
    void startUpWithoutThePort();
    void portAndSpeedChoice();
    void reconnectClosesTheOldPort();
    void deviceTextGoesOutInCp932();
};

void TestConnection::unitWithoutDevice() {
    Bench b([](ScriptedPort *p) {
        p->expect("ON", "00\r\n");
        p->expect("US0", "00:-\r\n");
        p->expect("US1", "00:-----\r\n");
        p->expect("US2", "00:00000,0\r\n");
    });
    b.connect();
    QCOMPARE(b.port()->writtenLines(), (QList<QByteArray>{"ON", "US0", "US1", "US2"}));
    QCOMPARE(b.fixture.log(), (QStringList{"", "Corvaneと接続しました。",
                                           "！ 装置内にデバイス・タイプが設定されてません。",
                                           "バッファRAM先頭アドレスは、00000H", "OK"}));
    Form1 &f = b.fixture.form();
    QCOMPARE(f.LbDevSetCode->text(), QStringLiteral("--"));
    QVERIFY(f.PbDevice->isEnabled());
    QVERIFY(f.PbBuff->isEnabled());
    QVERIFY(!f.PbPG->isEnabled());
    QVERIFY(!f.PbResGo1->isEnabled());
}

void TestConnection::unitWithWordDevice() {
    Bench b(unitWithDevice);
    b.connect();
    QCOMPARE(b.port()->writtenLines(), (QList<QByteArray>{"ON", "US0", "US1", "TS2F,ABC", "US2"}));
    QCOMPARE(b.fixture.log(),
             (QStringList{"", "Corvaneと接続しました。", "装置内デバイス・コードは2Fです。",
                          "バッファRAM先頭アドレスは、00000H", "バッファタイプは、Hi", "OK"}));
    Form1 &f = b.fixture.form();
    QCOMPARE(f.LbDevEAddr->text(), QStringLiteral("1FFFF"));
    QCOMPARE(f.LbDevRom1->text(), QStringLiteral("EEPROM"));
    QVERIFY(f.PbPG->isEnabled());
    QVERIFY(f.PbER->isEnabled());
    QVERIFY(!f.PbCansel->isEnabled());
}

void TestConnection::unknownStoredCode() {
    Bench b([](ScriptedPort *p) {
        p->expect("ON", "00\r\n");
        p->expect("US0", "00:2F,ABC,DEF,00,0\r\n");
        p->expect("US1", "00:1FFFF\r\n");
        p->expect("TS2F,ABC", "21\r\n");
        p->expect("US2", "00:00000,0\r\n");
    });
    b.connect();
    QCOMPARE(b.port()->writtenLines().last(), QByteArray("US2"));
    QVERIFY(b.fixture.log().contains(QStringLiteral("！ 未定義デバイス・コードです。")));
    Form1 &f = b.fixture.form();
    QCOMPARE(Form1::textColor(f.LbDevSetCode), QColor(255, 0, 0));
    QCOMPARE(f.LbDevEAddr->text(), QStringLiteral("-----"));
    QVERIFY(f.PbDevice->isEnabled());
    QVERIFY(!f.PbRD->isEnabled());
}

void TestConnection::otherErrorToTsStops() {
    Bench b([](ScriptedPort *p) {
        p->expect("ON", "00\r\n");
        p->expect("US0", "00:2F,ABC,DEF,00,0\r\n");
        p->expect("US1", "00:1FFFF\r\n");
        p->expect("TS2F,ABC", "20\r\n");
    });
    b.connect();
    QCOMPARE(b.port()->writtenLines(), (QList<QByteArray>{"ON", "US0", "US1", "TS2F,ABC"}));
    QCOMPARE(b.fixture.log().last(), QStringLiteral("！ パラメータに、誤りがあります。"));
}

void TestConnection::noReplyToUs0() {
    Bench b([](ScriptedPort *p) { p->expect("ON", "00\r\n"); });
    b.connect();
    QCOMPARE(b.port()->writtenLines(), (QList<QByteArray>{"ON", "US0"}));
    QCOMPARE(b.fixture.log(),
             (QStringList{"", "Corvaneと接続しました。", "", "！通信エラーです。"}));
    Form1 &f = b.fixture.form();
    QVERIFY(f.PbON->isEnabled());
    QVERIFY(f.PbExit->isEnabled());
    QVERIFY(!f.PbDevice->isEnabled());
    QVERIFY(!f.PbES->isEnabled());
}

void TestConnection::noReplyToOn() {
    Bench b([](ScriptedPort *) {});
    b.connect();
    QCOMPARE(b.port()->writtenLines(), QList<QByteArray>{"ON"});
    QCOMPARE(b.fixture.log(), (QStringList{"", "", "！通信エラーです。"}));
    QCOMPARE(b.fixture->AnsRxCode, QStringLiteral("98"));
}

void TestConnection::startUpWithoutThePort_data() {
    QTest::addColumn<QString>("portText");
    QTest::newRow("missing device") << "/dev/nonexistent";
    QTest::newRow("port number without device") << "99";
    QTest::newRow("no port name") << "abc";
}

// The most common bad day: the stored port is not there. The start-up connection reports it, the
// auto-run goes on, and the operator can pick another port.
void TestConnection::startUpWithoutThePort() {
    QFETCH(QString, portText);
    QTemporaryDir dir;
    SettingsValues settings;
    settings.port = portText;
    settings.speed = QStringLiteral("38400");
    settings.responseFile1 = writeFile(dir.filePath(QStringLiteral("run.txt")), "C\r\n");
    settings.noAutoRun = false;
    settings.autoRunFile1 = true;
    writeFile(dir.filePath(QStringLiteral("Corvane.INI")), formatSettings(settings));
    Form1Options options;
    options.settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    options.timerIntervalMs = 0;
    Form1 form(options);
    QStringList log;
    QObject::connect(&form, &Form1::logLineAdded, &form, [&log](const QString &l) { log << l; });

    for (int tick = 0; tick < 3; ++tick) {
        form.Timer1_Timer();
        spin(5);
    }
    QVERIFY(waitUntil([&] { return log.contains(QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了")); }, 5000));
    const QString refusal =
        QStringLiteral("！通信ポートを開けません。（") + portText + QStringLiteral("） ");
    QVERIFY2(log.value(1).startsWith(refusal), qPrintable(log.value(1)));
    QVERIFY(log.contains(QStringLiteral("！通信エラーです。")));
    QCOMPARE(form.AnsRxCode, QStringLiteral("98"));
    QVERIFY(form.PbON->isEnabled());
    QVERIFY(form.PbCMD->isEnabled());
    QVERIFY(!form.PbPG->isEnabled());
    QVERIFY(!form.PbDevice->isEnabled());

    form.Combo1->setEditText(QStringLiteral("EMU"));
    QVERIFY(runToEnd(form.PbON_Click()));
    QCOMPARE(form.AnsRxCode, QStringLiteral("00"));
    QCOMPARE(log.last(), QStringLiteral("OK"));
}

void TestConnection::portAndSpeedChoice() {
    Bench b(unitWithDevice);
    b.fixture->Combo1->setCurrentIndex(-1);
    b.fixture->Combo1->setEditText(QStringLiteral("3"));
    b.fixture->Combo2->setCurrentIndex(b.fixture->Combo2->findText(QStringLiteral("19200")));
    QCOMPARE(b.fixture->Rs232Port(), QStringLiteral("3"));
    QCOMPARE(b.fixture->Rs232Pbs(), QStringLiteral("19200"));
    b.connect();
    QCOMPARE(b.portTexts, QStringList{"3"});
    QCOMPARE(b.port()->settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(b.port()->portText(), QStringLiteral("3"));
}

void TestConnection::reconnectClosesTheOldPort() {
    Bench b(unitWithDevice);
    b.connect();
    ScriptedPort *first = b.port();
    QPointer<ScriptedPort> watch(first);
    b.fixture->Combo1->setEditText(QStringLiteral("EMU"));
    b.connect();
    QVERIFY(watch.isNull()); // closed and replaced by the new port
    QCOMPARE(b.portTexts, (QStringList{"1", "EMU"}));
    QCOMPARE(b.ports.size(), 2);
    QVERIFY(b.port()->isOpen());
    QCOMPARE(b.fixture.log().last(), QStringLiteral("OK"));
}

void TestConnection::deviceTextGoesOutInCp932() {
    const QByteArray name = toCp932(QStringLiteral("インテルる"));
    Bench b([name](ScriptedPort *p) {
        p->expect("ON", "00\r\n");
        p->expect("US0", "00:2F," + name + ",am27r010gg,00,0\r\n");
        p->expect("US1", "00:1FFFF\r\n");
        p->expect("TS2F," + name, "00\r\n");
        p->expect("US2", "00:00000,0\r\n");
    });
    b.connect();
    QCOMPARE(b.port()->writtenLines().value(3), "TS2F," + name);
    QCOMPARE(b.fixture.log().last(), QStringLiteral("OK"));
}

QTEST_MAIN(TestConnection)
#include "tst_connection.moc"
