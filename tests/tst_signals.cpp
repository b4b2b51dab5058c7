// The program ended from outside by a signal during a text save: it ends as "終了" does, with every
// line received in the file and the exit status 0.

#include "app/settingsfile.h"
#include "formfixture.h"
#include "linktesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace corvane;
using namespace corvane::test;

class TestSignals : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void endsLikeExit_data();
    void endsLikeExit();
};

void TestSignals::endsLikeExit_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestSignals::endsLikeExit() {
    QFETCH(int, signalNumber);
    const QString program = qEnvironmentVariable("CORVANE_BIN");
    if (program.isEmpty())
        QSKIP("CORVANE_BIN is not set");
    // The settings file lives beside the program: a copy of it in a folder of the test's own.
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("corvane"));
    QVERIFY(QFile::copy(program, copy));
    const QString saved = dir.filePath(QStringLiteral("out.hex"));
    SettingsValues settings;
    settings.port = QStringLiteral("EMU");
    settings.speed = QStringLiteral("38400");
    settings.responseFile1 = writeFile(dir.filePath(QStringLiteral("run.txt")),
                                       "SH" + saved.toUtf8() + ",0,1FFFF,0\r\n");
    settings.noAutoRun = false;
    settings.autoRunFile1 = true;
    writeFile(dir.filePath(QStringLiteral("Corvane.INI")), formatSettings(settings));

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(copy, {});
    QVERIFY(process.waitForStarted(5000));
    // Some lines in, well short of the 16 KiB a file keeps in memory.
    QVERIFY(waitUntil([&] { return QFileInfo(saved).exists(); }, 10000));
    QTest::qWait(1500);
    ::kill(pid_t(process.processId()), signalNumber);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    // Whole records only, each as the unit sent it (16 bytes of an erased buffer).
    const QByteArray text = readFile(saved);
    QVERIFY2(text.size() > 200, text.constData());
    QVERIFY(text.endsWith("\r\n"));
    const QList<QByteArray> lines = text.chopped(2).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray expected =
            ":10" + QByteArray::number(i * 16, 16).toUpper().rightJustified(4, '0') + "00" +
            QByteArray(32, 'F');
        QVERIFY2(lines[i].startsWith(expected), lines[i].constData());
    }
}

QTEST_MAIN(TestSignals)
#include "tst_signals.moc"
