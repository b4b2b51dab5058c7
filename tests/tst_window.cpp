// The main window: enabled states bound from the busy state, layout, the log, the version window,
// Enter, the line lamps and the port box.

#include "ports/portlist.h"
#include "text/cp932.h"
#include "window/splash.h"
#include "windowfixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace corvane;
using namespace corvane::test;
using namespace Qt::StringLiterals;

class TestWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:

    void busyState_data() {
        QTest::addColumn<QString>("facts");   // for UnitFixture::set, then ";" and AnsRxCode
        QTest::addColumn<QString>("enabled"); // "-Name": every button in sight and menu but Name
        const char *b = "PbBuff PbDevice PbES PbEE PbCMD PbExit PbON PBsysinit MenuFile MenuOption";
        const char *c = "PbCMD PbExit PbON PBsysinit MenuFile MenuOption";
        QTest::newRow("A EEPROM") << "LbDevSetCode=2F;LbDevRom1=EEPROM;00"
                                  << "-PbCansel";
        QTest::newRow("A EPROM") << "LbDevSetCode=03;LbDevRom1=EPROM;00"
                                 << "-PbCansel -PbER";
        QTest::newRow("B no device") << "LbDevSetCode=--;00" << b;
        QTest::newRow("B rejected code") << "LbDevSetCode=2F;red;00" << b;
        QTest::newRow("C no reply") << "LbDevSetCode=2F;LbDevRom1=EEPROM;98" << c;
        QTest::newRow("C send refused, no device") << "LbDevSetCode=--;99" << c;
    }

    void busyState() {
        QFETCH(QString, facts);
        QFETCH(QString, enabled);
        WindowFixture f;
        QCOMPARE(f.enabledInSight(), QString()); // the window starts busy
        f.unit()->AnsRxCode = facts.section(';', -1);
        f.unit().set(facts.section(';', 0, -2));
        QStringList expected =
            (enabled.startsWith('-') ? f.enabledInSight(true) : enabled).split(' ');
        for (const QString &name : enabled.split(' '))
            expected.removeAll(name.mid(1));
        expected.sort();
        for (int round = 0; round < 2; ++round) {
            f.unit()->PbReEn();
            QCOMPARE(f.enabledInSight(), expected.join(' '));
            // At the next tick the load and save buttons follow the device button and their paths.
            f->TexLoadDir->setText(round ? "" : "a");
            f->TexSaveDir->setText(round ? "b" : "");
            f.unit()->Timer1_Timer();
            const bool on = f->PbDevice->isEnabled();
            QVERIFY(f->PbGoLoad->isEnabled() == (on && !round) &&
                    f->PbGoSave->isEnabled() == (on && round));
            f.unit()->openCancel(true); // PbUnEn takes all in sight; the ones out of sight stay
            f.unit()->PbUnEn();
            QCOMPARE(f.enabledInSight(), QString());
            for (QPushButton *hidden : {f->PbUS0, f->PbUS2, f->ESC, f->インテルる, f->Command4})
                QVERIFY(hidden->isEnabled());
        }
    }

    // Each button starts its own operation with what the window shows: the first line it sends;
    // the go buttons the transfer of the chosen format on the path in their box.
    void buttonsStartTheirOperations() {
        WindowFixture f;
        ScriptedPort *port = f.unit().useScripted();
        for (const char *word : {"L", "S", ""})
            port->respond(word, *word == 'L' ? "20\r\n" : *word ? "\x1a" : "00\r\n");
        f->TexLoadDir->setText(writeFile(f.unit().path("in"), ""));
        f->TexSaveDir->setText(f.unit().path("out"));
        f->TexCMD->setText("B");
        const std::tuple<QAbstractButton *, QAbstractButton *, QByteArray> buttons[] = {
            {f->PbPG, f->OpDevAModeO, "PG00000,1FFFF,1"},
            {f->PbCP, f->OpDevAModeA, "CP00000,1FFFF,0"},
            {f->PbWT, f->OpDevAModeE, "WT00000,1FFFF,2"},
            {f->PbRD, f->OpDevAModeA, "RD00000,1FFFF,0"},
            {f->PbBL, nullptr, "BL00000,1FFFF"},
            {f->PbER, nullptr, "ER00000,1FFFF"},
            {f->PbBD, nullptr, "BD0,0FF"},
            {f->PbCL, nullptr, "CL"},
            {f->PbES, nullptr, "ES"},
            {f->PbEE, nullptr, "EE"},
            {f->PbCMD, nullptr, "BL00000,1FFFF"},
            {f->Command4, nullptr, "TW0"},
            {f->PbUS0, nullptr, "US0"},
            {f->PbUS2, nullptr, "US2"},
            {f->インテルる, nullptr, toCp932(u"TS2F,インテルる,am27r010gg"_s)},
            {f->PbGoLoad, f->OpFileModeS, "LS0"},
            {f->PbGoSave, f->OpFileModeB, "SB0,1FFFF"},
            {f->PbGoSave, f->OpFileModeH, "SH0,1FFFF,0"},
            {f->PbBuff, nullptr, "BS1000"},
            {f->PbDevice, nullptr, "TS2A,-,-"}};
        for (const auto &[button, option, line] : buttons) {
            f.unit().setDevice(u"2F"_s, u"1FFFF"_s);
            f->StBuffAdr->setText("1000");
            f->TexDVS->setText("2A");
            if (option)
                option->click();
            port->clearWritten();
            button->click();
            QTRY_VERIFY(!f.unit()->operationRunning());
            QCOMPARE(port->writtenLines().value(0), line);
        }
    }

    // Every control in sight lies inside its frame and the window, covers neither its frame's
    // border nor a sibling, and has room for its text; the device panel shows its longest.
    void layout() {
        WindowFixture f;
        f.unit().set("LbDevRom1=FLASH MEMORY;LbDevRom2=(Word ROM);LbDevEAddr=FFFFF");
        f->show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.form()));
        QStringList problems;
        int texts = 0;
        QList<QWidget *> parents{f->client};
        for (QGroupBox *frame : f->client->findChildren<QGroupBox *>())
            parents << frame;
        for (QWidget *parent : std::as_const(parents)) {
            QImage own(parent->size(), QImage::Format_ARGB32_Premultiplied);
            own.fill(Qt::transparent);
            parent->render(&own, QPoint(), QRegion(), {}); // the parent alone, without its controls
            const QRgb inside = own.pixel(own.rect().center());
            QList<QRect> taken;
            for (QWidget *w : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
                const bool inSight =
                    f->client->rect().contains(QRect(w->mapTo(f->client, QPoint()), w->size()));
                if (parent == f->client && !inSight)
                    continue; // out of sight on purpose
                const QRect r = w->geometry();
                if (!inSight || !parent->rect().contains(r))
                    problems << w->objectName() + " leaves its frame";
                for (int p = 0; p < r.width() * r.height(); ++p) {
                    if (own.pixel(r.left() + p % r.width(), r.top() + p / r.width()) != inside) {
                        problems << w->objectName() + " covers its frame";
                        break;
                    }
                }
                for (const QRect &other : std::as_const(taken))
                    if (r.intersects(other) && w != f->Shape2) // a box drawn around labels
                        problems << w->objectName() + " overlaps a sibling";
                taken << (w == f->Shape2 ? QRect() : r);
                QString text;
                int room = w->width();
                if (auto *c = qobject_cast<QComboBox *>(w)) {
                    // Fixed choices (digits, "EMU") show in the field, system ports in the list.
                    room = c->lineEdit()->width() - 4;
                    for (int i = 0; i < c->count(); ++i) {
                        const QString item = c->itemText(i);
                        const bool fixed = item.size() <= 5;
                        if (!fixed && c->view()->fontMetrics().horizontalAdvance(item) >
                                          c->view()->minimumWidth() - 8)
                            problems << c->objectName() + "'s list has no room for " + item;
                        text = fixed && item.size() > text.size() ? item : text;
                    }
                } else if (auto *b = qobject_cast<QPushButton *>(w)) {
                    text = b->text(), room -= 6;
                } else if (auto *l = qobject_cast<QLabel *>(w)) {
                    text = l->text();
                } else if (auto *g = qobject_cast<QGroupBox *>(w)) {
                    text = g->title(), room -= 16;
                } else if (auto *o = qobject_cast<QRadioButton *>(w)) {
                    text = o->text(),
                    room -= o->sizeHint().width() - o->fontMetrics().horizontalAdvance(text);
                }
                const QFontMetrics fm(w->font());
                if (!text.isEmpty() &&
                    (fm.horizontalAdvance(text) > room || fm.height() > w->height()))
                    problems << w->objectName() + " has no room for " + text;
                texts += !text.isEmpty();
            }
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
        QVERIFY(texts > 60);
    }

    void logKeepsNewest24Lines() {
        WindowFixture f;
        for (int i = 1; i <= 30; ++i)
            f.unit()->AddList1(i == 10 ? QString() : QString::number(i));
        QStringList log;
        for (int i = 0; i < f->List1->count(); ++i)
            log << f->List1->item(i)->text();
        QCOMPARE(log.join(' '),
                 "7 8 9  11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30");
    }

    // The version window shows the program's version and closes on any key.
    void versionWindow() {
        WindowFixture f;
        f->MenuVer_Click();
        auto *splash = f->findChild<FrmSplash *>();
        QVERIFY(splash && splash->isVisible());
        const auto labels = splash->findChildren<QLabel *>();
        QVERIFY(std::ranges::any_of(labels, [](QLabel *l) { return l->text() == "Ver 1.0.0"; }));
        QCOMPARE(splash->lblSettings->text(), "設定ファイル: " + f.unit().path("Corvane.INI"));
        QTest::keyClick(splash, Qt::Key_A);
        QVERIFY(!splash->isVisible());
    }

    void enterMovesFocusThenClicks() {
        WindowFixture f;
        f.unit().useEmulated();
        f->show();
        QVERIFY(QTest::qWaitForWindowActive(&f.form()));
        QWindow *window =
            f->windowHandle(); // keys reach whatever has the focus, as the operator's do
        QSignalSpy cmdClicks(f->PbCMD, &QPushButton::clicked);
        // Busy: Enter in the field is swallowed, the disabled button takes none.
        f->TexCMD->setText(QStringLiteral("B"));
        f->TexCMD->setFocus();
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f->TexCMD);
        QCOMPARE(f->TexCMD->text(), QStringLiteral("B"));
        QTest::keyClick(f->PbCMD, Qt::Key_Return);
        // Idle: the first Enter moves the focus, the second clicks once; the keypad Enter alike,
        // without starting a dump.
        f.unit().setDevice(QStringLiteral("03"), QStringLiteral("07FFF"), QStringLiteral("EPROM"));
        f->TexCMD->clear();
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), f->PbCMD);
        QCOMPARE(cmdClicks.count(), 0);
        QTest::keyClick(window, Qt::Key_Return);
        QCOMPARE(cmdClicks.count(), 1);
        f->DUMPE->setFocus();
        QTest::keyClick(window, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(QApplication::focusWidget(), f->PbBD);
        QVERIFY(!f.unit().history().contains(QStringLiteral("* Dump buffer RAM")));
    }

    // DTR and RTS drop while more than half of the 1024-byte input waits; the lamp a tick later.
    void flowControl() {
        for (const auto &[waiting, raised] : {std::pair{512, true}, std::pair{513, false}}) {
            WindowFixture f;
            ScriptedPort *port = f.unit().useScripted();
            f.unit()->PbUnEn(); // an operation runs: nothing is discarded
            port->inject(QByteArray(waiting, 'x'));
            spin(10);
            f.unit()->Timer1_Timer();
            f.unit()->Timer1_Timer();
            QVERIFY(port->dtr() == raised && port->rts() == raised);
            QCOMPARE(Form1::backColor(f->MoniDTR),
                     raised ? QColor(0, 128, 128) : QColor(0, 255, 255));
        }
    }

    // A save that runs long shows its progress in the title, and the title comes back after it.
    void progressInTitle() {
        WindowFixture f;
        f.unit().useEmulated(UnitOptions{0.0}, true); // 38400 bit/s: 11.5 kB take 3 s
        QSignalSpy shown(&f.unit().unit(), &UnitController::progressChanged);
        auto save = f.unit()->SHsub(f.unit().path(u"out.hex"_s) + u",0,FFF"_s);
        QTest::qWait(2600);
        static const QRegularExpression title(
            u"^Corvane ROM Programmer — SH [1-9][0-9] % 3\\.[5-9] kB/s 0:0[0-9]$"_s);
        QVERIFY2(title.match(f->windowTitle()).hasMatch(), qPrintable(f->windowTitle()));
        QVERIFY(runToEnd(std::move(save)));
        QCOMPARE(f->windowTitle(), u"Corvane ROM Programmer"_s);
        QVERIFY(shown.size() >= 2 && shown.constLast().constFirst().toString().isEmpty());
    }

    // The real dialog opens where the last file was chosen; a cancel leaves the edited box alone.
    void realDialog_data() {
        QTest::addColumn<bool>("save");
        QTest::addColumn<bool>("cancel");
        QTest::newRow("open") << false << false;
        QTest::newRow("save") << true << false;
        QTest::newRow("open cancelled") << false << true;
    }
    void realDialog() {
        QFETCH(bool, save);
        QFETCH(bool, cancel);
        WindowFixture f;
        const QString folder = QDir(f.unit().path({})).absolutePath();
        const QString last = writeFile(folder + u"/last.HEX"_s, {}), next = folder + u"/next.S"_s;
        if (!save) // the open dialog takes existing files only
            writeFile(next, {});
        f.unit()->CommonDialog1.InitDir = last;
        QLineEdit *box = save ? f->TexSaveDir : f->TexLoadDir;
        box->setText(u"edited,100"_s);
        auto click = save ? f.unit()->PbSaveDir_Click() : f.unit()->PbLoadDir_Click();
        QFileDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = f->findChild<QFileDialog *>()) && dialog->isVisible());
        QCOMPARE(QDir(dialog->directory()).absolutePath(), folder);
        QCOMPARE(dialog->nameFilters(),
                 (QStringList{u"インテル拡張HEX(*.HEX)"_s, u"モトローラSフォーマット(*.S)"_s,
                              u"バイナリファイル(*.BIN)"_s}));
        QCOMPARE(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        dialog->selectFile(next);
        QTimer::singleShot(0, dialog, cancel ? &QDialog::reject : &QDialog::accept);
        QVERIFY(runToEnd(std::move(click)));
        QCOMPARE(box->text(), cancel ? u"edited,100"_s : next);
        QCOMPARE(f.unit()->CommonDialog1.InitDir, cancel ? last : next);
    }

    // Opening the list looks for the system's ports again and keeps what the operator typed.
    void portBoxKeepsTypedText() {
        WindowFixture f;
        f->Combo1->setEditText(u"/dev/ttyTyped"_s);
        f->Combo1->showPopup();
        f->Combo1->hidePopup();
        QCOMPARE(f.unit()->Rs232Port(), u"/dev/ttyTyped"_s);
        QCOMPARE(f->Combo1->itemText(6), u"EMU"_s);
        QCOMPARE(f->Combo1->count(), 7 + int(systemPorts().size()));
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
