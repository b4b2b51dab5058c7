// The file frame: which transfer the go buttons start, the file dialog through a chooser standing
// in for the operator, and the pieces shared by the transfers (line reading, hex log, dialog
// set-up).

#include "files/datafile.h"
#include "formfixture.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kFilter =
    QStringLiteral("インテル拡張HEX(*.HEX)|*.HEX|モトローラSフォーマット(*.S)|*.S|"
                   "バイナリファイル(*.BIN)|*.BIN");

QRadioButton *option(Form1 &form, char format) {
    return format == 'H' ? form.OpFileModeH : format == 'S' ? form.OpFileModeS : form.OpFileModeB;
}

} // namespace

class TestFilesChoice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void goLoadByFormat_data();
    void goLoadByFormat();
    void goSaveByFormat_data();
    void goSaveByFormat();
    void formatChangedWhileLoading_data();
    void formatChangedWhileLoading();
    void dialogChoosesPath_data();
    void dialogChoosesPath();
    void dialogCancelLeavesBoxAlone_data();
    void dialogCancelLeavesBoxAlone();
    void nameFilters();
    void startFolder();
    void lineReader_data();
    void lineReader();
    void lineReaderCapsLines();
    void hexLog();
};

void TestFilesChoice::goLoadByFormat_data() {
    QTest::addColumn<char>("format");
    QTest::addColumn<QByteArray>("announcement");
    QTest::newRow("HEX") << 'H' << QByteArray("LH1000");
    QTest::newRow("S") << 'S' << QByteArray("LS1000");
    QTest::newRow("binary") << 'B' << QByteArray("LB5,1000");
}

void TestFilesChoice::goLoadByFormat() {
    QFETCH(char, format);
    QFETCH(QByteArray, announcement);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    QFile file(f.path(QStringLiteral("a.dat")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("ABCDE") == 5);
    file.close();
    port->respond("", "20\r\n"); // the unit refuses: only the announcement goes out
    option(f.form(), format)->setChecked(true);
    f->TexLoadDir->setText(file.fileName() + QStringLiteral(",1000"));

    QVERIFY(runToEnd(f->PbGoLoad_Click()));
    QCOMPARE(port->written(), announcement + "\r\n");
}

void TestFilesChoice::goSaveByFormat_data() {
    QTest::addColumn<char>("format");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("HEX") << 'H' << QByteArray("SH0,1FFFF,0");
    QTest::newRow("S") << 'S' << QByteArray("SS0,1FFFF,0");
    QTest::newRow("binary") << 'B' << QByteArray("SB0,1FFFF");
}

void TestFilesChoice::goSaveByFormat() {
    QFETCH(char, format);
    QFETCH(QByteArray, request);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    port->respond("S", "\x1a");
    option(f.form(), format)->setChecked(true);
    f->TexSaveDir->setText(f.path(QStringLiteral("out")));

    QVERIFY(runToEnd(f->PbGoSave_Click()));
    QCOMPARE(port->written(), request + "\r\n");
    QVERIFY(QFile::exists(f.path(QStringLiteral("out"))));
}

void TestFilesChoice::formatChangedWhileLoading_data() {
    QTest::addColumn<char>("changeTo");
    QTest::addColumn<QList<QByteArray>>("sent");
    QTest::newRow("to a later format") << 'B' << QList<QByteArray>{"LS0", "LB5,0"};
    QTest::newRow("to an earlier format") << 'H' << QList<QByteArray>{"LS0"};
}

void TestFilesChoice::formatChangedWhileLoading() {
    QFETCH(char, changeTo);
    QFETCH(QList<QByteArray>, sent);
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
    QFile file(f.path(QStringLiteral("a.dat")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("ABCDE") == 5);
    file.close();
    port->respond("", "20\r\n");
    f->OpFileModeS->setChecked(true);
    f->TexLoadDir->setText(file.fileName());

    auto click = f->PbGoLoad_Click(); // now inside the first load
    option(f.form(), changeTo)->setChecked(true);
    QVERIFY(runToEnd(std::move(click)));
    QCOMPARE(port->writtenLines(), sent);
}

void TestFilesChoice::dialogChoosesPath_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("load") << false;
    QTest::newRow("save") << true;
}

void TestFilesChoice::dialogChoosesPath() {
    QFETCH(bool, save);
    FormFixture f;
    CommonDialog &dialog = f->CommonDialog1;
    dialog.Flags = 0;
    bool shownAsSave = !save;
    QString filterShown;
    int flagsShown = -1;
    dialog.chooser = [&](bool asSave, const CommonDialog &d) -> std::optional<QString> {
        shownAsSave = asSave;
        filterShown = d.Filter;
        flagsShown = d.Flags;
        return QStringLiteral("/data/Image One.HEX");
    };

    QVERIFY(runToEnd(save ? f->PbSaveDir_Click() : f->PbLoadDir_Click()));
    QCOMPARE(shownAsSave, save);
    QCOMPARE(filterShown, kFilter);
    if (save)
        QVERIFY(flagsShown & 2); // asks before replacing
    QLineEdit *box = save ? f->TexSaveDir : f->TexLoadDir;
    QCOMPARE(box->text(), QStringLiteral("/data/Image One.HEX"));
    QCOMPARE(dialog.InitDir, QStringLiteral("/data/Image One.HEX"));
}

void TestFilesChoice::dialogCancelLeavesBoxAlone_data() {
    dialogChoosesPath_data();
}

void TestFilesChoice::dialogCancelLeavesBoxAlone() {
    QFETCH(bool, save);
    FormFixture f;
    f->CommonDialog1.InitDir = QStringLiteral("/before");
    f->CommonDialog1.chooser = [](bool, const CommonDialog &) { return std::optional<QString>(); };
    QLineEdit *box = save ? f->TexSaveDir : f->TexLoadDir;
    box->setText(QStringLiteral("edited by hand,100"));

    QVERIFY(runToEnd(save ? f->PbSaveDir_Click() : f->PbLoadDir_Click()));
    QCOMPARE(box->text(), QStringLiteral("edited by hand,100"));
    QCOMPARE(f->CommonDialog1.InitDir, QStringLiteral("/before"));
}

void TestFilesChoice::nameFilters() {
    QCOMPARE(qtNameFilters(kFilter), (QStringList{QStringLiteral("インテル拡張HEX(*.HEX)"),
                                                  QStringLiteral("モトローラSフォーマット(*.S)"),
                                                  QStringLiteral("バイナリファイル(*.BIN)")}));
    QCOMPARE(qtNameFilters(QStringLiteral("Text|*.txt;*.log")),
             QStringList{QStringLiteral("Text (*.txt *.log)")});
}

void TestFilesChoice::startFolder() {
    FormFixture f;
    const QString folder = QDir(f.path(QString())).absolutePath();
    QCOMPARE(dialogStartFolder(folder), folder);
    QCOMPARE(dialogStartFolder(f.path(QStringLiteral("gone.hex"))), folder);
    QCOMPARE(dialogStartFolder(f.path(QStringLiteral("no/such/a.hex"))), QString());
}

void TestFilesChoice::lineReader_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QList<QByteArray>>("lines");

    const QByteArray block(65535, 'x'); // the reader's block ends between CR and LF
    QTest::newRow("CR LF split by a block") << block + "\r\nB" << QList<QByteArray>{block, "B"};
    QTest::newRow("CR ends a block") << block + "\r" << QList<QByteArray>{block};
    QTest::newRow("LF inside a line") << QByteArray("a\nb\r\n") << QList<QByteArray>{"a\nb"};
    QTest::newRow("empty lines") << QByteArray("\r\n\r") << QList<QByteArray>{"", ""};
}

void TestFilesChoice::lineReader() {
    QFETCH(QByteArray, content);
    QFETCH(QList<QByteArray>, lines);
    QBuffer device(&content);
    QVERIFY(device.open(QIODevice::ReadOnly));
    DataLineReader reader(&device);
    QList<QByteArray> got;
    QByteArray line;
    while (reader.next(line) == DataLineReader::Result::Line)
        got.append(line);
    QCOMPARE(got, lines);
}

void TestFilesChoice::lineReaderCapsLines() {
    QByteArray content = QByteArray("ok\r\n") + QByteArray(200000, 'y') + "\r\n";
    QBuffer device(&content);
    QVERIFY(device.open(QIODevice::ReadOnly));
    DataLineReader reader(&device, 1000);
    QByteArray line;
    QCOMPARE(reader.next(line), DataLineReader::Result::Line);
    QCOMPARE(reader.next(line), DataLineReader::Result::TooLong);
}

void TestFilesChoice::hexLog() {
    HexLogLine log;
    for (int i = 0; i < 15; ++i)
        QVERIFY(!log.add(quint8(i * 17)));
    QVERIFY(log.add(0xA0));
    QCOMPARE(log.take(), QStringLiteral("00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE A0 "));
    QVERIFY(log.isEmpty());
    QVERIFY(!log.add(0x1F));
    QCOMPARE(log.take(), QStringLiteral("1F "));
}

QTEST_MAIN(TestFilesChoice)
#include "tst_files_choice.moc"
