// The main window: its start state, the layout (nothing overlapping, no frame border or caption
// under a control, nothing cut off, the hidden controls out of sight), the log's 24-line rule,
// Enter in the fields and on the buttons, the version window and the maintenance buttons.

#include "app/splash.h"
#include "formfixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace corvane;
using namespace corvane::test;

namespace {

QString textOf(QWidget *w) {
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<QLabel *>(w))
        return l->text();
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
    void startsBusyWithEmptyLog();
    void hiddenControlsAreOutOfSight();
    void visibleControlsInSightAndFitTheirText();
    void noOverlaps();
    void logKeepsNewest24Lines();
    void enterMovesFocusThenClicks();
    void versionWindow();
    void maintenanceButtons();
};

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
    QStringList problems;
    QList<QWidget *> parents{f->client};
    for (QGroupBox *g : f->client->findChildren<QGroupBox *>())
        parents << g;
    for (QWidget *parent : parents) {
        // What the parent paints itself (a frame's border and caption), without its controls;
        // the colour at its centre is its inside.
        QImage own(parent->size(), QImage::Format_ARGB32_Premultiplied);
        own.fill(Qt::transparent);
        parent->render(&own, QPoint(), QRegion(), {});
        const QRgb inside = own.pixel(own.rect().center());
        QList<QWidget *> kids;
        for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (parent == f->client && !inSight(f.form(), w))
                continue;
            kids << w;
            const QRect r = w->geometry() & own.rect();
            for (int p = 0; p < r.width() * r.height(); ++p) {
                const QPoint at(r.left() + p % r.width(), r.top() + p / r.width());
                if (own.pixel(at) != inside) {
                    problems << QStringLiteral("%1 covers %2 at (%3, %4)")
                                    .arg(w->objectName(), parent->objectName())
                                    .arg(at.x())
                                    .arg(at.y());
                    break;
                }
            }
        }
        kids.removeOne(f->Shape2); // a box drawn around labels
        for (int i = 0; i < kids.size(); ++i) {
            for (int j = i + 1; j < kids.size(); ++j) {
                if (kids[i]->geometry().intersects(kids[j]->geometry()))
                    problems << kids[i]->objectName() + QStringLiteral(" / ") +
                                    kids[j]->objectName();
            }
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
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

void TestWindow::enterMovesFocusThenClicks() {
    FormFixture f;
    f.useEmulated();
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(&f.form()));
    // Keys go to the window and reach whatever has the focus, as the operator's keys do.
    QWindow *window = f->windowHandle();
    QSignalSpy cmdClicks(f->PbCMD, &QPushButton::clicked);
    QSignalSpy dumpClicks(f->PbBD, &QPushButton::clicked);

    // Busy: Enter in the field is swallowed, the disabled button takes none.
    QVERIFY(!f->PbCMD->isEnabled());
    f->TexCMD->setText(QStringLiteral("B"));
    f->TexCMD->setFocus();
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), f->TexCMD);
    QCOMPARE(f->TexCMD->text(), QStringLiteral("B"));
    QTest::keyClick(f->PbCMD, Qt::Key_Return);
    QCOMPARE(cmdClicks.count(), 0);

    // Idle: the first Enter moves the focus, the second clicks once; the keypad Enter alike.
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"), QStringLiteral("EPROM"));
    f->TexCMD->clear();
    f->TexCMD->setFocus();
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), f->PbCMD);
    QCOMPARE(cmdClicks.count(), 0);
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(cmdClicks.count(), 1);

    f->DUMPE->setFocus();
    QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(QApplication::focusWidget(), f->PbBD);
    QCOMPARE(f->DUMPE->text(), QStringLiteral("0FF"));
    QVERIFY(!f.history().contains(QStringLiteral("* Dump buffer RAM")));
    QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(dumpClicks.count(), 1);
    QTRY_VERIFY(f.history().contains(QStringLiteral("* Dump buffer RAM")));
    QTRY_VERIFY(f->PbBD->isEnabled()); // the dump has ended
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
    port->inject("abc\x83\x65\x83\x58\x83\x67"); // CP932 text
    spin(10);
    f->Command1->click();
    QCOMPARE(f.log().last(), QStringLiteral("abcテスト"));
    port->inject("xyz");
    spin(10);
    f->Command2->click();
    QCOMPARE(port->inBufferCount(), 0);
    f->Command3->click();
    QCOMPARE(f.log().last(), QStringLiteral("D:\\"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
