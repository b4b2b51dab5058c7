// Command-response runs against the emulated unit, in the process and served by corvane-unit on a
// pseudo-terminal (the start-up auto-run over a real line).

#include "formfixture.h"
#include "linktesting.h"

#include "app/settingsfile.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kNormalEnd = QStringLiteral("ｺﾏﾝﾄﾞﾚｽ正常終了");
const QString kAbnormalEnd = QStringLiteral("ｺﾏﾝﾄﾞﾚｽ異常終了");

} // namespace

class TestConsoleUnit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void unknownDeviceCodeStopsTheRun();
    void autoRunOverARealLine();
};

void TestConsoleUnit::unknownDeviceCodeStopsTheRun() {
    // The unit refuses the code but answers the queries that follow with "00": the red code still
    // ends the run before the blank check.
    FormFixture f;
    UnitOptions options;
    options.timeScale = 0;
    f.useEmulated(options);
    writeFile(f.path(QStringLiteral("run.txt")), "T7E\r\nB\r\n");
    f->TexResGoFile1->setText(f.path(QStringLiteral("run.txt")));

    QVERIFY(runToEnd(f->PbResGo1_Click(), 20000));
    const QStringList h = f.history();
    const qsizetype select = h.indexOf(QStringLiteral("* Device Select"));
    QVERIFY(select >= 0);
    QVERIFY(h.indexOf(QStringLiteral("！ 未定義デバイス・コードです。"), select) > select);
    QVERIFY(!h.contains(QStringLiteral("* Blank check ")));
    QCOMPARE(h.last(), kAbnormalEnd);
    QVERIFY(!f->TexCMD->isReadOnly());
}

void TestConsoleUnit::autoRunOverARealLine() {
    UnitProcess unit({QStringLiteral("--time-scale"), QStringLiteral("0")});
    if (unit.path().isEmpty())
        QSKIP("corvane-unit is not available (CORVANE_UNIT_BIN)");

    QTemporaryDir dir;
    SettingsValues values;
    values.port = unit.path();
    values.speed = QStringLiteral("38400");
    values.responseFile1 = dir.filePath(QStringLiteral("file1.txt"));
    values.noAutoRun = false;
    values.autoRunFile1 = true;
    writeFile(values.responseFile1, "T2F\r\nB0,FF\r\n");
    const QString settingsPath = dir.filePath(QStringLiteral("Corvane.INI"));
    writeFile(settingsPath, formatSettings(values));

    Form1Options options;
    options.settingsPath = settingsPath;
    options.timerIntervalMs = 10;
    Form1 form(options);
    QStringList history;
    QObject::connect(&form, &Form1::logLineAdded, &form,
                     [&history](const QString &line) { history.append(line); });

    QVERIFY2(waitUntil([&] { return history.contains(kNormalEnd); }, 20000),
             qPrintable(history.join(QLatin1Char('|'))));
    QVERIFY(history.contains(QStringLiteral("Corvaneと接続しました。")));
    QVERIFY(history.indexOf(QStringLiteral("Corvaneと接続しました。")) <
            history.indexOf(QStringLiteral("* Device Select")));
    QVERIFY(history.contains(QStringLiteral("    end adress   = 000FFH")));
    QCOMPARE(form.LbDevSetCode->text(), QStringLiteral("2F"));
    QCOMPARE(form.TexCMD->text(), QStringLiteral("B0,FF"));
    QCOMPARE(int(history.count(kNormalEnd)), 1);
}

QTEST_MAIN(TestConsoleUnit)
#include "tst_console_unit.moc"
