// A line that dies in the middle of an exchange (the cable pulled out of the emulated unit): every
// wait ends at once, the log names the missing answer of that step, the window is in the lost-link
// state, what was received stays in the file, and a command-response run stops abnormally.

#include "formfixture.h"
#include "linktesting.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

QCoro::Task<> runAndMark(Form1 &form, bool &done) {
    co_await form.PbResGo1_Click();
    done = true;
}

QByteArray hexFile(int lines) {
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        const int address = i * 16;
        int sum = 0x10 + (address >> 8 & 0xFF) + (address & 0xFF);
        QByteArray line = ":10" + QByteArray::number(address, 16).rightJustified(4, '0') + "00";
        for (int b = 0; b < 16; ++b) {
            line += "A5";
            sum += 0xA5;
        }
        line += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0');
        text += line.toUpper() + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

} // namespace

class TestLostLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lostMidway_data();
    void lostMidway();
};

void TestLostLine::lostMidway_data() {
    QTest::addColumn<QString>("command"); // %1: the data file
    QTest::addColumn<QString>("title");   // the operation's title line in the log
    QTest::addColumn<QString>("lostLine");
    QTest::addColumn<QByteArray>("loaded"); // the file to load; empty for the others
    const QString forLoad = QStringLiteral("！通信エラーか、ファイル異常です。");
    const QString elsewhere = QStringLiteral("！通信エラーです。");
    QTest::newRow("Intel HEX load") << "LH%1"
                                    << "* Load HEX File" << forLoad << hexFile(2000);
    QTest::newRow("binary load") << "LB%1"
                                 << "* Load Binary File" << forLoad
                                 << QByteArray(64 * 1024, '\x5a');
    QTest::newRow("Intel HEX save") << "SH%1,0,FFFF,0"
                                    << "* Save HEX File" << elsewhere << QByteArray();
    QTest::newRow("binary save") << "SB%1,0,FFFF"
                                 << "* Save Binary File" << elsewhere << QByteArray();
    QTest::newRow("dump") << "D0,FFFF"
                          << "* Dump buffer RAM" << elsewhere << QByteArray();
}

void TestLostLine::lostMidway() {
    QFETCH(QString, command);
    QFETCH(QString, title);
    QFETCH(QString, lostLine);
    QFETCH(QByteArray, loaded);
    FormFixture f(10);
    EmulatedPort *port = f.useEmulated({}, true);
    f.setDevice(QStringLiteral("04"), QStringLiteral("0FFFF"));
    const QString data = f.path(QStringLiteral("data"));
    if (!loaded.isEmpty())
        writeFile(data, loaded);
    const QString run =
        writeFile(f.path(QStringLiteral("run.txt")), command.arg(data).toUtf8() + "\r\nC\r\n");
    f->TexResGoFile1->setText(run);

    bool done = false;
    auto task = runAndMark(f.form(), done);
    // A few lines into the transfer, the cable goes.
    QVERIFY(waitUntil(
        [&] {
            const QStringList h = f.history();
            const qsizetype at = h.indexOf(title);
            return at >= 0 && h.size() >= at + 6;
        },
        10000));
    port->vanish();
    QVERIFY(waitUntil([&] { return done; }, 2000));

    const QStringList history = f.history();
    QVERIFY2(history.contains(lostLine), qPrintable(history.join(QLatin1Char('|'))));
    QVERIFY(!history.contains(QStringLiteral("ファイルをオープンできません！")));
    QVERIFY(!history.contains(QStringLiteral("* Buffer clear")));
    QCOMPARE(history.last(), QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了"));
    QCOMPARE(f->AnsRxCode, QStringLiteral("98"));
    QVERIFY(f->PbON->isEnabled());
    QVERIFY(f->PbCMD->isEnabled());
    QVERIFY(!f->PbPG->isEnabled());
    QVERIFY(!f->PbGoSave->isEnabled());

    // Every record the log showed as received is in the file, in order.
    if (command.startsWith(QLatin1String("SH"))) {
        QByteArray shown;
        for (const QString &line : history) {
            if (line.startsWith(QLatin1Char(':')))
                shown += line.toLatin1() + "\r\n";
        }
        QVERIFY(!shown.isEmpty());
        QVERIFY(readFile(data).startsWith(shown));
    } else if (command.startsWith(QLatin1String("SB"))) {
        const qsizetype at = history.indexOf(QRegularExpression(QStringLiteral("^Save=\\d+byte$")));
        QVERIFY(at >= 0);
        QCOMPARE(QByteArray::number(readFile(data).size()),
                 history.at(at).mid(5).chopped(4).toLatin1());
    }
}

QTEST_MAIN(TestLostLine)
#include "tst_lostline.moc"
