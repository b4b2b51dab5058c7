// The busy state: which operation controls are usable, judged from the device panel and the last
// reply code.

#include "window/form1.h"

#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace corvane {

void Form1::PbUnEn() {
    for (QPushButton *b :
         {PbBD, PbBL,     PbBuff,   PbCansel, PbCL,      PbCMD,     PbCP,     PbDevice,
          PbER, PbES,     PbEE,     PbExit,   PbGoLoad,  PbGoSave,  PbON,     PbPG,
          PbRD, PbResGo1, PbResGo2, PbWT,     PbLoadDir, PbSaveDir, PBsysinit})
        b->setEnabled(false);
    MenuFile->setEnabled(false);
    MenuOption->setEnabled(false);
}

void Form1::PbReEn() {
    for (QPushButton *b : {PbBD, PbBL})
        b->setEnabled(true);
    PbCansel->setEnabled(false);
    for (QPushButton *b : {PbCL, PbCMD, PbCP, PbES, PbEE, PbGoLoad, PbGoSave, PbPG, PbRD, PbResGo1,
                           PbResGo2, PbUS0, PbUS2, PbWT, PbLoadDir, PbSaveDir, PbBuff})
        b->setEnabled(true);

    if (LbDevRom1->text() != QLatin1String("EPROM"))
        PbER->setEnabled(true);

    if (LbDevSetCode->text() == QLatin1String("--") || textColor(LbDevSetCode) == QColor(255, 0, 0))
        PbUnEn();

    for (QPushButton *b : {PbBuff, PbDevice})
        b->setEnabled(true);
    PbCansel->setEnabled(false);
    for (QPushButton *b : {PbCMD, PbES, PbEE})
        b->setEnabled(true);

    if (AnsRxCode == QLatin1String("98") || AnsRxCode == QLatin1String("99"))
        PbUnEn();

    PbExit->setEnabled(true);
    PbON->setEnabled(true);
    PbCansel->setEnabled(false);
    PbCMD->setEnabled(true);
    PBsysinit->setEnabled(true);
    MenuFile->setEnabled(true);
    MenuOption->setEnabled(true);
}

} // namespace corvane
