// The busy state: what PbUnEn disables and what PbReEn gives back in each of the three states.

#include "formfixture.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

namespace {

QList<QPair<QString, QWidget *>> controls(Form1 &f) {
    return {{"PbBD", f.PbBD},           {"PbBL", f.PbBL},           {"PbCL", f.PbCL},
            {"PbCP", f.PbCP},           {"PbPG", f.PbPG},           {"PbRD", f.PbRD},
            {"PbWT", f.PbWT},           {"PbER", f.PbER},           {"PbGoLoad", f.PbGoLoad},
            {"PbGoSave", f.PbGoSave},   {"PbLoadDir", f.PbLoadDir}, {"PbSaveDir", f.PbSaveDir},
            {"PbResGo1", f.PbResGo1},   {"PbResGo2", f.PbResGo2},   {"PbBuff", f.PbBuff},
            {"PbDevice", f.PbDevice},   {"PbES", f.PbES},           {"PbEE", f.PbEE},
            {"PbCMD", f.PbCMD},         {"PbExit", f.PbExit},       {"PbON", f.PbON},
            {"PBsysinit", f.PBsysinit}, {"PbCansel", f.PbCansel},   {"PbUS0", f.PbUS0},
            {"PbUS2", f.PbUS2}};
}

QStringList enabled(Form1 &f) {
    QStringList names;
    for (const auto &[name, w] : controls(f)) {
        if (w->isEnabled())
            names << name;
    }
    if (f.MenuFile->isEnabled())
        names << "MenuFile";
    if (f.MenuOption->isEnabled())
        names << "MenuOption";
    return names;
}

const QStringList kStateA{
    "PbBD",      "PbBL",     "PbCL",     "PbCP",      "PbPG",      "PbRD",     "PbWT",
    "PbER",      "PbGoLoad", "PbGoSave", "PbLoadDir", "PbSaveDir", "PbResGo1", "PbResGo2",
    "PbBuff",    "PbDevice", "PbES",     "PbEE",      "PbCMD",     "PbExit",   "PbON",
    "PBsysinit", "PbUS0",    "PbUS2",    "MenuFile",  "MenuOption"};
const QStringList kStateB{"PbBuff", "PbDevice",  "PbES",  "PbEE",  "PbCMD",    "PbExit",
                          "PbON",   "PBsysinit", "PbUS0", "PbUS2", "MenuFile", "MenuOption"};
const QStringList kStateC{"PbCMD", "PbExit", "PbON",     "PBsysinit",
                          "PbUS0", "PbUS2",  "MenuFile", "MenuOption"};

} // namespace

class TestBusyState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void busyDisablesOperationSet();
    void states_data();
    void states();
};

void TestBusyState::busyDisablesOperationSet() {
    FormFixture f;
    f.setDevice(QStringLiteral("03"), QStringLiteral("07FFF"));
    QCOMPARE(enabled(f.form()), kStateA);
    f->PbCansel->setEnabled(true);
    f->PbUnEn();
    // The queries stay usable, and so do the fields and the never-disabled buttons.
    QCOMPARE(enabled(f.form()), (QStringList{"PbUS0", "PbUS2"}));
    QVERIFY(f->ESC->isEnabled());
    QVERIFY(f->Command4->isEnabled());
}

void TestBusyState::states_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("red");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("expected");
    QStringList eprom = kStateA;
    eprom.removeAll("PbER");
    QTest::newRow("A EEPROM") << "2F"
                              << "EEPROM" << false << "00" << kStateA;
    QTest::newRow("A EPROM keeps erase off") << "03"
                                             << "EPROM" << false << "00" << eprom;
    QTest::newRow("A flash") << "05"
                             << "FLASH MEMORY" << false << "00" << kStateA;
    QTest::newRow("B no device") << "--"
                                 << "" << false << "00" << kStateB;
    QTest::newRow("B rejected code") << "2F"
                                     << "EEPROM" << true << "00" << kStateB;
    QTest::newRow("B after an error reply") << "--"
                                            << "" << false << "20" << kStateB;
    QTest::newRow("C no reply") << "2F"
                                << "EEPROM" << false << "98" << kStateC;
    QTest::newRow("C send refused") << "2F"
                                    << "EEPROM" << false << "99" << kStateC;
    QTest::newRow("C without device") << "--"
                                      << "" << false << "99" << kStateC;
}

void TestBusyState::states() {
    QFETCH(QString, code);
    QFETCH(QString, kind);
    QFETCH(bool, red);
    QFETCH(QString, answer);
    QFETCH(QStringList, expected);
    FormFixture f;
    f->LbDevSetCode->setText(code);
    Form1::setTextColor(f->LbDevSetCode, red ? QColor(255, 0, 0) : QColor(0, 0, 0));
    f->LbDevRom1->setText(kind);
    f->AnsRxCode = answer;
    f->PbUnEn();
    f->PbReEn();
    QCOMPARE(enabled(f.form()), expected);
    // Calling it again changes nothing; the cancel button is never left enabled.
    f->PbCansel->setEnabled(true);
    f->PbReEn();
    QCOMPARE(enabled(f.form()), expected);
}

QTEST_MAIN(TestBusyState)
#include "tst_busystate.moc"
