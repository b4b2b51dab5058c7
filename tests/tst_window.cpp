// The main window: its controls and their initial contents, the layout (nothing overlapping or cut
// off, the hidden controls out of sight), the log's 24-line rule, Enter in the fields and the
// version window.

#include "app/splash.h"
#include "formfixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

QString textOf(QWidget *w) {
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<QComboBox *>(w))
        return c->currentText();
    if (auto *g = qobject_cast<QGroupBox *>(w))
        return g->title();
    return QString();
}

// Whether `w` lies inside the visible client area.
bool inSight(Form1 &f, QWidget *w) {
    const QRect r(w->mapTo(f.client, QPoint(0, 0)), w->size());
    return f.client->rect().contains(r);
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initialContents_data();
    void initialContents();
    void startsBusyWithEmptyLog();
    void menus();
    void fixedSizeInTwips();
    void hiddenControlsAreOutOfSight();
    void visibleControlsInSightAndFitTheirText();
    void noOverlaps();
    void logKeepsNewest24Lines();
    void enterMovesFocus_data();
    void enterMovesFocus();
    void enterWithDisabledButtonIsSwallowed();
    void versionWindow();
    void maintenanceButtons();
};

void TestWindow::initialContents_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const QList<QPair<const char *, const char *>> rows{{"Combo1", "1"},
                                                        {"Combo2", "9600"},
                                                        {"Frame1", "通信設定"},
                                                        {"Frame2", "コマンドレスポンスファイル"},
                                                        {"Label7", "起動時の自動実行"},
                                                        {"Option1", "しない"},
                                                        {"Option2", "File1"},
                                                        {"Option3", "File2"},
                                                        {"Label10", "Ｆｉｌｅ１"},
                                                        {"Label11", "Ｆｉｌｅ2"},
                                                        {"PbResGo1", "起動"},
                                                        {"Frame8", "ファイル"},
                                                        {"PbGoLoad", "読込"},
                                                        {"PbLoadDir", "参照"},
                                                        {"PbGoSave", "保存"},
                                                        {"OpFileModeH", "インテルHEX"},
                                                        {"OpFileModeS", "モトローラS"},
                                                        {"OpFileModeB", "バイナリー"},
                                                        {"Frame7", "デバイスアクセス"},
                                                        {"PbPG", "プログラム"},
                                                        {"PbCP", "ベリファイ"},
                                                        {"PbWT", "書き込み"},
                                                        {"PbRD", "読み込み"},
                                                        {"PbBL", "ブランクチェック"},
                                                        {"PbER", "イレース"},
                                                        {"Frame6", "バッファコントロール"},
                                                        {"PbCL", "クリア"},
                                                        {"PbBD", "ダンプ"},
                                                        {"DUMPS", "0"},
                                                        {"Label19", "ｈ～"},
                                                        {"DUMPE", "0FF"},
                                                        {"Label20", "ｈ"},
                                                        {"PbBuff", "バッファSET"},
                                                        {"Label14", "Start Addres    ="},
                                                        {"StBuffAdr", "0"},
                                                        {"Label17", "h"},
                                                        {"Label18", "Buffer TYPE   →"},
                                                        {"OpBuffTypeL", "Low"},
                                                        {"OpBuffTypeH", "Hi"},
                                                        {"PbDevice", "デバイスSET"},
                                                        {"Label23", "Code ="},
                                                        {"TexDVS", "03"},
                                                        {"Label24", "Selected Code　="},
                                                        {"LbDevSetCode", "--"},
                                                        {"Label25", "End Address   　 ="},
                                                        {"LbDevEAddr", "-----"},
                                                        {"Label15", "情報"},
                                                        {"LbDevStr1", "Label26"},
                                                        {"LbDevStr2", "Label27"},
                                                        {"LbDevRom1", "Label28"},
                                                        {"LbDevRom2", "Label29"},
                                                        {"Frame5", "デバイスアクセスMode"},
                                                        {"OpDevAModeA", "全数"},
                                                        {"OpDevAModeO", "奇数"},
                                                        {"OpDevAModeE", "偶数"},
                                                        {"Frame10", "コマンド入力"},
                                                        {"PbCMD", "Cr"},
                                                        {"PbON", "再接続"},
                                                        {"PBsysinit", "設定環境の保存"},
                                                        {"PbES", "UVランプ点灯"},
                                                        {"PbEE", "ＵＶ消灯"},
                                                        {"PbCansel", "キャンセル"},
                                                        {"PbExit", "EXIT"},
                                                        {"ESC", "ESC"},
                                                        {"PbUS0", "US0/US1"},
                                                        {"PbUS2", "US2"},
                                                        {"インテルる", "インテルる"},
                                                        {"MoniDSR", "DSR"},
                                                        {"MoniCTS", "CTS"},
                                                        {"MoniCD", "CD"},
                                                        {"MoniEOF", "EOF"},
                                                        {"MoniDTR", "DTR＆RTS"},
                                                        {"Label9", "InBufferSize"},
                                                        {"Label8", "InBufferCount"},
                                                        {"Label21", "OutBufferCount"},
                                                        {"Command1", "InBF書き出し"},
                                                        {"Command2", "InBF=0"},
                                                        {"Command3", "ETC"},
                                                        {"Command4", "Command4"},
                                                        {"TexCMD", ""},
                                                        {"TexLoadDir", ""},
                                                        {"TexSaveDir", ""},
                                                        {"TexResGoFile1", ""}};
    for (const auto &[name, text] : rows)
        QTest::newRow(name) << QString::fromUtf8(name) << QString::fromUtf8(text);
}

void TestWindow::initialContents() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    FormFixture f;
    auto *w = f->findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(textOf(w), text);
}

void TestWindow::startsBusyWithEmptyLog() {
    FormFixture f;
    QCOMPARE(f->List1->count(), 0);
    QVERIFY(!f->PbON->isEnabled());
    QVERIFY(!f->PbExit->isEnabled());
    QVERIFY(!f->MenuFile->isEnabled());
    QVERIFY(f->Option1->isChecked());
    QVERIFY(f->OpFileModeH->isChecked());
    QVERIFY(f->OpBuffTypeL->isChecked());
    QVERIFY(f->OpDevAModeA->isChecked());
    QCOMPARE(f->Combo1->count(), 7);
    QCOMPARE(f->Combo1->itemText(6), QStringLiteral("EMU"));
    QCOMPARE(f->List1->font().pointSize(), 9);
}

void TestWindow::menus() {
    FormFixture f;
    QCOMPARE(f->MenuFile->title(), QStringLiteral("ファイル"));
    QCOMPARE(f->MenuOption->title(), QStringLiteral("オプション"));
    const QList<QAction *> items = f->MenuFile->actions();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("保存環境表示"));
    QVERIFY(items[1]->isSeparator());
    QCOMPARE(items[2]->text(), QStringLiteral("終了"));
    QCOMPARE(f->MenuOption->actions().value(0)->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
}

void TestWindow::fixedSizeInTwips() {
    FormFixture f;
    const qreal dpi = f->screen()->logicalDotsPerInchX();
    QCOMPARE(f->client->width(), qRound(8292 * dpi / 1440));
    QCOMPARE(f->client->height(), qRound(7464 * dpi / 1440));
    QCOMPARE(f->minimumSize(), f->maximumSize());
    QCOMPARE(f->List1->geometry(), QRect(qRound(120 * dpi / 1440), qRound(120 * dpi / 1440),
                                         qRound(5292 * dpi / 1440), qRound(4548 * dpi / 1440)));
}

void TestWindow::hiddenControlsAreOutOfSight() {
    FormFixture f;
    for (QWidget *w : std::initializer_list<QWidget *>{
             f->ESC,      f->PbUS0,    f->PbUS2,    f->インテルる, f->MoniDSR,
             f->MoniCTS,  f->MoniCD,   f->MoniEOF,  f->MoniDTR,    f->Label9,
             f->Label8,   f->Label21,  f->Label5,   f->Label3,     f->Label22,
             f->Command1, f->Command2, f->Command3, f->Command4,   f->Label2}) {
        QVERIFY2(!f->client->rect().intersects(QRect(w->pos(), w->size())),
                 qPrintable(w->objectName()));
    }
}

void TestWindow::visibleControlsInSightAndFitTheirText() {
    FormFixture f;
    // The longest texts the device panel shows.
    f->LbDevRom1->setText(QStringLiteral("FLASH MEMORY"));
    f->LbDevRom2->setText(QStringLiteral("(Word ROM)"));
    f->LbDevEAddr->setText(QStringLiteral("FFFFF"));
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form()));
    const QList<QWidget *> all = f->client->findChildren<QWidget *>();
    int checked = 0;
    QStringList problems;
    for (QWidget *w : all) {
        if (w->parentWidget() == f->client && !inSight(f.form(), w))
            continue; // a hidden control
        if (qobject_cast<QGroupBox *>(w->parentWidget()) || w->parentWidget() == f->client) {
            QVERIFY2(inSight(f.form(), w), qPrintable(w->objectName()));
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()),
                     qPrintable(w->objectName() + QStringLiteral(" leaves its frame")));
        }
        if (auto *c = qobject_cast<QComboBox *>(w)) {
            // Room for the longest item ("38400", "EMU") in the edit field beside the arrow.
            int longest = 0;
            for (int i = 0; i < c->count(); ++i)
                longest = std::max(longest, c->fontMetrics().horizontalAdvance(c->itemText(i)));
            if (longest + 4 > c->lineEdit()->width()) {
                problems << QStringLiteral("%1 needs %2 px for its items, has %3")
                                .arg(w->objectName())
                                .arg(longest + 4)
                                .arg(c->lineEdit()->width());
            }
            continue;
        }
        const QString text = textOf(w);
        if (text.isEmpty() || qobject_cast<QLineEdit *>(w))
            continue;
        const QFontMetrics fm(w->font());
        int needed = fm.horizontalAdvance(text);
        if (qobject_cast<QPushButton *>(w))
            needed += 6;
        else if (qobject_cast<QRadioButton *>(w))
            needed = w->sizeHint().width();
        else if (qobject_cast<QGroupBox *>(w))
            needed += 16;
        if (needed > w->width() || fm.height() > w->height()) {
            problems << QStringLiteral("%1 \"%2\" needs %3 x %4 px, has %5 x %6")
                            .arg(w->objectName(), text)
                            .arg(needed)
                            .arg(fm.height())
                            .arg(w->width())
                            .arg(w->height());
        }
        ++checked;
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    QVERIFY(checked > 60);
}

void TestWindow::noOverlaps() {
    FormFixture f;
    QList<QWidget *> parents{f->client};
    for (QGroupBox *g : f->client->findChildren<QGroupBox *>())
        parents << g;
    for (QWidget *parent : parents) {
        QList<QWidget *> kids;
        for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (w == f->Shape2 || (parent == f->client && !inSight(f.form(), w)))
                continue;
            kids << w;
        }
        for (int i = 0; i < kids.size(); ++i) {
            for (int j = i + 1; j < kids.size(); ++j) {
                QVERIFY2(!kids[i]->geometry().intersects(kids[j]->geometry()),
                         qPrintable(kids[i]->objectName() + QStringLiteral(" / ") +
                                    kids[j]->objectName()));
            }
        }
    }
}

void TestWindow::logKeepsNewest24Lines() {
    FormFixture f;
    for (int i = 1; i <= 30; ++i)
        f->AddList1(i == 10 ? QString() : QString::number(i));
    QStringList expected;
    for (int i = 7; i <= 30; ++i)
        expected << (i == 10 ? QString() : QString::number(i));
    QCOMPARE(f.log(), expected);
}

void TestWindow::enterMovesFocus_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("button");
    const QList<QPair<const char *, const char *>> rows{{"TexCMD", "PbCMD"},
                                                        {"TexDVS", "PbDevice"},
                                                        {"StBuffAdr", "PbBuff"},
                                                        {"OpBuffTypeH", "PbBuff"},
                                                        {"OpBuffTypeL", "PbBuff"},
                                                        {"TexLoadDir", "PbGoLoad"},
                                                        {"TexSaveDir", "PbGoSave"},
                                                        {"TexResGoFile1", "PbResGo1"},
                                                        {"TexResGoFile2", "PbResGo2"},
                                                        {"DUMPS", "PbBD"},
                                                        {"DUMPE", "PbBD"}};
    for (const auto &[field, button] : rows)
        QTest::newRow(field) << QString::fromUtf8(field) << QString::fromUtf8(button);
}

void TestWindow::enterMovesFocus() {
    QFETCH(QString, field);
    QFETCH(QString, button);
    FormFixture f;
    f.useScripted();
    f.setDevice(QStringLiteral("2F"), QStringLiteral("1FFFF"), QStringLiteral("EEPROM"),
                QStringLiteral("(Word ROM)"));
    f->Label18->setEnabled(true);
    f->OpBuffTypeL->setEnabled(true);
    f->OpBuffTypeH->setEnabled(true);
    f->TexLoadDir->setText(QStringLiteral("a.hex"));
    f->TexSaveDir->setText(QStringLiteral("b.hex"));
    f->Timer1_Timer();
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(&f.form()));
    auto *w = f->findChild<QWidget *>(field);
    auto *b = f->findChild<QPushButton *>(button);
    QVERIFY(b->isEnabled());
    w->setFocus();
    const QString before = textOf(w);
    const int logBefore = int(f.log().size());
    QTest::keyClick(w, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), b);
    QCOMPARE(textOf(w), before);
    QCOMPARE(int(f.log().size()), logBefore); // focus only: nothing started
}

void TestWindow::enterWithDisabledButtonIsSwallowed() {
    FormFixture f;
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(&f.form()));
    QVERIFY(!f->PbCMD->isEnabled());
    f->TexCMD->setFocus();
    f->TexCMD->setText(QStringLiteral("B"));
    QTest::keyClick(f->TexCMD, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), f->TexCMD);
    QCOMPARE(f->TexCMD->text(), QStringLiteral("B"));
}

void TestWindow::versionWindow() {
    QCOMPARE(versionText(1, 0, 3), QStringLiteral("Ver 1.0.3"));
    FormFixture f;
    f->MenuVer_Click();
    auto *splash = f->findChild<FrmSplash *>();
    QVERIFY(splash);
    QVERIFY(splash->isVisible());
    QVERIFY(!splash->isModal());
    QCOMPARE(splash->lblVersion->text(),
             versionText(CORVANE_VERSION_MAJOR, CORVANE_VERSION_MINOR, CORVANE_VERSION_PATCH));
    QCOMPARE(
        splash->Label1->text(),
        QStringLiteral(
            "免責事項\n　本ソフトウェアを使用することによって、あるいは使用できないことによって"
            "発生した損失や損害に対して一切責任を負いません。 "));
    QPointer<FrmSplash> watch(splash);
    QTest::keyClick(splash, Qt::Key_X);
    QTRY_VERIFY(watch.isNull());
}

void TestWindow::maintenanceButtons() {
    FormFixture f;
    ScriptedPort *port = f.useScripted();
    port->inject("abc");
    spin(10);
    f->Command1->click();
    QCOMPARE(f.log().last(), QStringLiteral("abc"));
    port->inject("xyz");
    spin(10);
    f->Command2->click();
    QCOMPARE(port->inBufferCount(), 0);
    f->Command3->click();
    QCOMPARE(f.log().last(), QStringLiteral("D:\\"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
