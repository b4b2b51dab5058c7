// The settings file: its thirteen lines, restoring them at start-up, saving and showing them.

#include "app/settingsfile.h"
#include "formfixture.h"
#include "protocol/cp932.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QByteArray kExampleFile = "3\r\n19200\r\nC:\\a.txt\r\n\r\nFalse\r\nTrue\r\nFalse\r\n"
                                "C:\\x.hex\r\n\r\nFalse\r\nTrue\r\nFalse\r\nD:\\\r\n";

// A window started with `bytes` as its settings file (none when null).
std::unique_ptr<Form1> startWith(const QTemporaryDir &dir, const QByteArray &bytes) {
    const QString path = dir.filePath(QStringLiteral("Corvane.INI"));
    if (!bytes.isNull())
        writeFile(path, bytes);
    Form1Options options;
    options.settingsPath = path;
    options.timerIntervalMs = 0;
    return std::make_unique<Form1>(options);
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void saveWritesThirteenLines();
    void restoreAppliesLines();
    void missingFileKeepsInitialContents();
    void shortFileRestoresWhatItHas();
    void badFlagStopsReading();
    void allFlagsFalseSelectNothing();
    void roundTripOfJapaneseAndTypedValues();
    void displayShowsTheFile();
    void displayOfShortFile();
    void displayOfMissingFile();
    void saveThatCannotBeWritten();
};

void TestSettings::saveWritesThirteenLines() {
    QTemporaryDir dir;
    auto form = startWith(dir, QByteArray());
    form->Combo1->setCurrentIndex(form->Combo1->findText(QStringLiteral("3")));
    form->Combo2->setCurrentIndex(form->Combo2->findText(QStringLiteral("19200")));
    form->TexResGoFile1->setText(QStringLiteral("C:\\a.txt"));
    form->Option2->setChecked(true);
    form->TexLoadDir->setText(QStringLiteral("C:\\x.hex"));
    form->OpFileModeS->setChecked(true);
    QStringList log;
    QObject::connect(form.get(), &Form1::logLineAdded, form.get(),
                     [&](const QString &l) { log << l; });
    form->PBsysinit_Click();
    QCOMPARE(readFile(dir.filePath(QStringLiteral("Corvane.INI"))), kExampleFile);
    QCOMPARE(log, (QStringList{"", "設定環境を保存しました。"}));
}

void TestSettings::restoreAppliesLines() {
    QTemporaryDir dir;
    auto form = startWith(dir, kExampleFile);
    QCOMPARE(form->Combo1->currentText(), QStringLiteral("3"));
    QCOMPARE(form->Combo2->currentText(), QStringLiteral("19200"));
    QCOMPARE(form->TexResGoFile1->text(), QStringLiteral("C:\\a.txt"));
    QCOMPARE(form->TexResGoFile2->text(), QString());
    QVERIFY(form->Option2->isChecked());
    QVERIFY(!form->Option1->isChecked());
    QCOMPARE(form->TexLoadDir->text(), QStringLiteral("C:\\x.hex"));
    QVERIFY(form->OpFileModeS->isChecked());
    QVERIFY(!form->OpFileModeH->isChecked());
    QCOMPARE(form->CommonDialog1.InitDir, QStringLiteral("D:\\"));
    QCOMPARE(form->StartUpWork, 3);
}

void TestSettings::missingFileKeepsInitialContents() {
    QTemporaryDir dir;
    auto form = startWith(dir, QByteArray());
    QCOMPARE(form->Combo1->currentText(), QStringLiteral("1"));
    QCOMPARE(form->Combo2->currentText(), QStringLiteral("9600"));
    QVERIFY(form->Option1->isChecked());
    QVERIFY(form->OpFileModeH->isChecked());
    QCOMPARE(form->TexLoadDir->text(), QString());
    QCOMPARE(form->CommonDialog1.InitDir, QStringLiteral("D:\\"));
    QCOMPARE(form->StartUpWork, 3);
}

void TestSettings::shortFileRestoresWhatItHas() {
    QTemporaryDir dir;
    auto form = startWith(dir, "9\r\n38400\r\n");
    QCOMPARE(form->Combo1->currentText(), QStringLiteral("9"));
    QCOMPARE(form->Combo2->currentText(), QStringLiteral("38400"));
    QVERIFY(form->Option1->isChecked());
    QCOMPARE(form->TexResGoFile1->text(), QString());
}

void TestSettings::badFlagStopsReading() {
    QTemporaryDir dir;
    auto form = startWith(dir, "2\r\n4800\r\nA\r\nB\r\nyes\r\nTrue\r\nFalse\r\nL\r\n");
    QCOMPARE(form->TexResGoFile2->text(), QStringLiteral("B"));
    QVERIFY(form->Option1->isChecked()); // line 5 failed: nothing after it applied
    QCOMPARE(form->TexLoadDir->text(), QString());
    QCOMPARE(form->StartUpWork, 3);
}

void TestSettings::allFlagsFalseSelectNothing() {
    QTemporaryDir dir;
    auto form = startWith(dir, "1\r\n9600\r\n\r\n\r\nFalse\r\nFalse\r\nFalse\r\n");
    QVERIFY(!form->Option1->isChecked());
    QVERIFY(!form->Option2->isChecked());
    QVERIFY(!form->Option3->isChecked());
}

void TestSettings::roundTripOfJapaneseAndTypedValues() {
    QTemporaryDir dir;
    {
        auto form = startWith(dir, QByteArray());
        form->Combo1->setEditText(QStringLiteral("/dev/ttyUSB0"));
        form->Combo2->setEditText(QStringLiteral("2400"));
        form->TexResGoFile2->setText(QStringLiteral("C:\\作業\\手順.txt"));
        form->Option3->setChecked(true);
        form->TexSaveDir->setText(QStringLiteral("C:\\out dir\\ROM.BIN,0,7FFF"));
        form->OpFileModeB->setChecked(true);
        form->CommonDialog1.InitDir = QStringLiteral("C:\\ファイル\\a.hex");
        form->PBsysinit_Click();
    }
    const QByteArray bytes = readFile(dir.filePath(QStringLiteral("Corvane.INI")));
    QVERIFY(bytes.contains(toCp932(QStringLiteral("C:\\作業\\手順.txt")) + "\r\n"));
    auto form = startWith(dir, QByteArray());
    QCOMPARE(form->Combo1->currentText(), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(form->Combo2->currentText(), QStringLiteral("2400"));
    QCOMPARE(form->TexResGoFile2->text(), QStringLiteral("C:\\作業\\手順.txt"));
    QVERIFY(form->Option3->isChecked());
    QCOMPARE(form->TexSaveDir->text(), QStringLiteral("C:\\out dir\\ROM.BIN,0,7FFF"));
    QVERIFY(form->OpFileModeB->isChecked());
    QCOMPARE(form->CommonDialog1.InitDir, QStringLiteral("C:\\ファイル\\a.hex"));
}

void TestSettings::displayShowsTheFile() {
    QTemporaryDir dir;
    auto form = startWith(dir, kExampleFile);
    QStringList log;
    QObject::connect(form.get(), &Form1::logLineAdded, form.get(),
                     [&](const QString &l) { log << l; });
    form->MenuReReadUtil_Click();
    QCOMPARE(log, (QStringList{"", "環境設定ファイルの内容", "　通信ポート　　　No3",
                               "　通信速度　　　　19200bps", "　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ１　 C:\\a.txt",
                               "　ｺﾏﾝﾄﾞﾚｽﾌｧｲﾙ２　 設定無し",
                               "　ｺﾏﾝﾄﾞﾚｽ起動　　 自動起動する。（ﾌｧｲﾙ１）",
                               "　読込ファイル　  C:\\x.hex", "　保存ファイル　  設定無し",
                               "　ﾃﾞｰﾀｰ形式　　 　Ｓファイル", "　ﾌｧｲﾙ参照ﾊﾟｽ　   D:\\", " ok"}));
    // The display leaves the busy state: the menus are usable again.
    QVERIFY(form->PBsysinit->isEnabled());
}

void TestSettings::displayOfShortFile() {
    QTemporaryDir dir;
    auto form = startWith(dir, "1\r\n9600\r\n");
    QStringList log;
    QObject::connect(form.get(), &Form1::logLineAdded, form.get(),
                     [&](const QString &l) { log << l; });
    form->MenuReReadUtil_Click();
    QCOMPARE(log, (QStringList{"", "環境設定ファイルの内容", "　通信ポート　　　No1",
                               "　通信速度　　　　9600bps"}));
}

void TestSettings::displayOfMissingFile() {
    QTemporaryDir dir;
    auto form = startWith(dir, QByteArray());
    QStringList log;
    QObject::connect(form.get(), &Form1::logLineAdded, form.get(),
                     [&](const QString &l) { log << l; });
    form->MenuReReadUtil_Click();
    QCOMPARE(log, (QStringList{"", "環境設定ファイルの内容"}));
}

void TestSettings::saveThatCannotBeWritten() {
    QTemporaryDir dir;
    Form1Options options;
    options.settingsPath = dir.filePath(QStringLiteral("no such folder/Corvane.INI"));
    options.timerIntervalMs = 0;
    Form1 form(options);
    form.Combo1->setEditText(QStringLiteral("4"));
    QStringList log;
    QObject::connect(&form, &Form1::logLineAdded, &form, [&](const QString &l) { log << l; });
    form.PBsysinit_Click();
    QCOMPARE(log.size(), 2);
    QVERIFY(log.last().startsWith(QStringLiteral("！設定環境を保存できませんでした。")));
    QCOMPARE(form.Combo1->currentText(), QStringLiteral("4"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
