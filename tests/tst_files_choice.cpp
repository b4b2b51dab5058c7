// The file frame: which transfer the go buttons start, the file dialog through a chooser standing
// in for the operator, and the line reading shared by the text loads.

#include "files/datafile.h"
#include "formfixture.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace corvane;
using namespace corvane::test;

namespace {

const QString kFilter =
    QStringLiteral("インテル拡張HEX(*.HEX)|*.HEX|モトローラSフォーマット(*.S)|*.S|"
                   "バイナリファイル(*.BIN)|*.BIN");

QRadioButton *option(Form1 &form, char format) {
    return format == 'H' ? form.OpFileModeH : format == 'S' ? form.OpFileModeS : form.OpFileModeB;
}

// A window on a scripted unit that refuses every load ("20") and ends every text save at once,
// with a five-byte file in both path boxes.
struct Frame {
    Frame() {
        port = f.useScripted();
        f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"));
        QFile file(f.path(QStringLiteral("a.dat")));
        if (!file.open(QIODevice::WriteOnly) || file.write("ABCDE") != 5)
            qFatal("cannot write the data file");
        port->respond("L", "20\r\n");
        port->respond("S", "\x1a");
        f->TexLoadDir->setText(file.fileName());
        f->TexSaveDir->setText(file.fileName());
    }
    FormFixture f;
    ScriptedPort *port = nullptr;
};

} // namespace

class TestFilesChoice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void goByFormat_data();
    void goByFormat();
    void formatChangedWhileLoading_data();
    void formatChangedWhileLoading();
    void dialog_data();
    void dialog();
    void realDialog_data();
    void realDialog();
    void nameFilters();
    void startFolder();
};

void TestFilesChoice::goByFormat_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<char>("format");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("load HEX") << false << 'H' << QByteArray("LH1000");
    QTest::newRow("load S") << false << 'S' << QByteArray("LS1000");
    QTest::newRow("load binary") << false << 'B' << QByteArray("LB5,1000");
    QTest::newRow("save HEX") << true << 'H' << QByteArray("SH1000,1FFFF,0");
    QTest::newRow("save S") << true << 'S' << QByteArray("SS1000,1FFFF,0");
    QTest::newRow("save binary") << true << 'B' << QByteArray("SB1000,1FFFF");
}

void TestFilesChoice::goByFormat() {
    QFETCH(bool, save);
    QFETCH(char, format);
    QFETCH(QByteArray, sent);
    Frame s;
    option(s.f.form(), format)->setChecked(true);
    // The box's text goes to the operation as it stands, fields after the path included.
    QLineEdit *box = save ? s.f->TexSaveDir : s.f->TexLoadDir;
    box->setText(box->text() + QStringLiteral(",1000"));

    QVERIFY(runToEnd(save ? s.f->PbGoSave_Click() : s.f->PbGoLoad_Click()));
    QCOMPARE(s.port->writtenLines(), QList<QByteArray>{sent});
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
    Frame s;
    s.f->OpFileModeS->setChecked(true);

    auto click = s.f->PbGoLoad_Click(); // now inside the first load
    option(s.f.form(), changeTo)->setChecked(true);
    QVERIFY(runToEnd(std::move(click)));
    QCOMPARE(s.port->writtenLines(), sent);
}

void TestFilesChoice::dialog_data() {
    QTest::addColumn<bool>("save");
    QTest::addColumn<bool>("cancel");
    QTest::newRow("load") << false << false;
    QTest::newRow("save") << true << false;
    QTest::newRow("load cancelled") << false << true;
    QTest::newRow("save cancelled") << true << true;
}

void TestFilesChoice::dialog() {
    QFETCH(bool, save);
    QFETCH(bool, cancel);
    FormFixture f;
    CommonDialog &dialog = f->CommonDialog1;
    dialog.Flags = 0;
    dialog.InitDir = QStringLiteral("/before");
    QLineEdit *box = save ? f->TexSaveDir : f->TexLoadDir;
    box->setText(QStringLiteral("edited by hand,100"));
    bool shownAsSave = !save;
    QString filterShown;
    int flagsShown = -1;
    dialog.chooser = [&](bool asSave, const CommonDialog &d) -> std::optional<QString> {
        shownAsSave = asSave;
        filterShown = d.Filter;
        flagsShown = d.Flags;
        return cancel ? std::nullopt : std::optional(QStringLiteral("/data/Image One.HEX"));
    };

    QVERIFY(runToEnd(save ? f->PbSaveDir_Click() : f->PbLoadDir_Click()));
    QCOMPARE(shownAsSave, save);
    QCOMPARE(filterShown, kFilter);
    QCOMPARE(bool(flagsShown & 2), save); // the save dialog asks before replacing
    const QString chosen =
        cancel ? QStringLiteral("edited by hand,100") : QStringLiteral("/data/Image One.HEX");
    QCOMPARE(box->text(), chosen);
    QCOMPARE(dialog.InitDir, cancel ? QStringLiteral("/before") : chosen);
}

void TestFilesChoice::realDialog_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

// The window's own dialog: it starts where the last file was chosen and hands back the choice.
void TestFilesChoice::realDialog() {
    QFETCH(bool, save);
    FormFixture f;
    const QString folder = QDir(f.path(QString())).absolutePath();
    const QString last = folder + QStringLiteral("/last.HEX");
    const QString next = folder + QStringLiteral("/next.S");
    // The open dialog takes existing files only; the save dialog would ask before replacing one.
    for (const QString &path : save ? QStringList{last} : QStringList{last, next}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    f->CommonDialog1.InitDir = last;

    auto click = save ? f->PbSaveDir_Click() : f->PbLoadDir_Click();
    QFileDialog *dialog = nullptr;
    QTRY_VERIFY((dialog = f->findChild<QFileDialog *>()) && dialog->isVisible());
    QCOMPARE(QDir(dialog->directory()).absolutePath(), folder);
    QCOMPARE(dialog->nameFilters(), qtNameFilters(kFilter));
    QCOMPARE(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
    dialog->selectFile(next);
    QTimer::singleShot(0, dialog, &QDialog::accept);
    QVERIFY(runToEnd(std::move(click)));
    QCOMPARE((save ? f->TexSaveDir : f->TexLoadDir)->text(), next);
    QCOMPARE(f->CommonDialog1.InitDir, next);
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
    QCOMPARE(dialogStartFolder(QStringLiteral("D:\\")), QString());
}

QTEST_MAIN(TestFilesChoice)
#include "tst_files_choice.moc"
