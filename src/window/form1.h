#pragma once
// Form1: the program's one window on one unit's controller. It holds the controls under the names
// the operators' manuals use, their handlers (each calls the controller), the bindings (labels
// follow the panel, the log follows the log lines, enabled states follow the busy state) and the
// layout. Nothing the program decides is read back from a control.

#include "controller/unitcontroller.h"

#include <QColor>
#include <QElapsedTimer>
#include <QHash>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QWidget>

class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;

namespace corvane {

class BufferWindow;

class Form1 : public QWidget {
    Q_OBJECT
public:
    // Client area in twips, as the layout is drawn.
    static constexpr int kClientWidthTwips = 8292;
    static constexpr int kClientHeightTwips = 7464;
    // Shortest time between two paintings of the log while lines pour in.
    static constexpr int kLogPaintMs = 40;

    // `journalFolder`: where the journal's files are (empty: no journal, its menu item disabled).
    explicit Form1(UnitController &unit, QString journalFolder = {}, QWidget *parent = nullptr);
    ~Form1() override;

    // ---- Controls (created by the constructor; never null) ----
    QListWidget *List1;
    QMenuBar *menuBar;
    QWidget *client; // the 8292 x 7464 twip client area below the menu bar

    QGroupBox *Frame1;
    QLabel *Lb232[2];
    QComboBox *Combo1, *Combo2;

    QGroupBox *Frame2;
    QLabel *Label7, *Label10, *Label11;
    QRadioButton *Option1, *Option2, *Option3;
    QLineEdit *TexResGoFile1, *TexResGoFile2;
    QPushButton *PbResGo1, *PbResGo2;

    QGroupBox *Frame8;
    QPushButton *PbGoLoad, *PbLoadDir, *PbGoSave, *PbSaveDir;
    QLineEdit *TexLoadDir, *TexSaveDir;
    QRadioButton *OpFileModeH, *OpFileModeS, *OpFileModeB;

    QGroupBox *Frame7;
    QPushButton *PbPG, *PbCP, *PbWT, *PbRD, *PbBL, *PbER;

    QGroupBox *Frame6;
    QPushButton *PbCL, *PbBD;
    QLineEdit *DUMPS, *DUMPE;
    QLabel *Label19, *Label20;

    QGroupBox *Frame4;
    QPushButton *PbBuff;
    QLabel *Label14, *Label17, *Label18;
    QLineEdit *StBuffAdr;
    QRadioButton *OpBuffTypeL, *OpBuffTypeH;

    QGroupBox *Frame3;
    QPushButton *PbDevice;
    QLabel *Label23, *Label24, *Label25, *Label15;
    QLineEdit *TexDVS;
    QLabel *LbDevSetCode, *LbDevEAddr, *LbDevStr1, *LbDevStr2, *LbDevRom1, *LbDevRom2;
    QFrame *Shape2;

    QGroupBox *Frame5;
    QRadioButton *OpDevAModeA, *OpDevAModeO, *OpDevAModeE;

    QGroupBox *Frame10;
    QLineEdit *TexCMD;
    QPushButton *PbCMD;

    QPushButton *PbON, *PBsysinit, *PbES, *PbEE, *PbCansel, *PbExit;
    QLabel *Label16, *Label13, *Label2;

    // Outside the visible client area: present, driven, never seen.
    QPushButton *ESC, *PbUS0, *PbUS2, *インテルる;
    QLabel *MoniDSR, *MoniCTS, *MoniCD, *MoniEOF, *MoniDTR;
    QLabel *Label9, *Label8, *Label21, *Label5, *Label3, *Label22;
    QPushButton *Command1, *Command2, *Command3, *Command4;

    QMenu *MenuFile, *MenuOption;
    QAction *MenuReReadUtil, *MenuSep, *MenuApEnd, *MenuVer;
    QAction *MenuJournal; // opens the journal's folder (disabled without a journal)
    QAction *MenuBuffer;  // opens the buffer window

    [[nodiscard]] UnitController &unit() const { return m_unit; }

    // ---- Handlers: each calls the controller ----
    void PbON_Click();
    void PbPG_Click();
    void PbCP_Click();
    void PbWT_Click();
    void PbRD_Click();
    void PbBL_Click();
    void PbER_Click();
    void PbDevice_Click();
    void PbUS0_Click();
    void PbUS2_Click();
    void インテルる_Click();
    void PbBuff_Click();
    void PbBD_Click();
    void PbCL_Click();
    void PbES_Click();
    void PbEE_Click();
    void PbGoLoad_Click();
    void PbGoSave_Click();
    void PbLoadDir_Click();
    void PbSaveDir_Click();
    void PbCMD_Click();
    void PbResGo1_Click();
    void PbResGo2_Click();
    void PbCansel_Click();
    void ESC_Click();
    void PbExit_Click();
    void PBsysinit_Click();
    void MenuReReadUtil_Click();
    void MenuApEnd_Click();
    void MenuVer_Click();
    // Opens the one buffer window, or raises it.
    void MenuBuffer_Click();
    [[nodiscard]] BufferWindow *bufferWindow() const;
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();

    // ---- Bindings ----
    // A line at the end of the log, shown only (a notice about the journal itself).
    void showInLog(const QString &word);
    // The list of the port box: "1" to "6", "EMU" and the ports the system reports now.
    void fillPortChoices();
    // Text colour of a label and background colour of a lamp.
    static void setTextColor(QLabel *label, const QColor &color);
    [[nodiscard]] static QColor textColor(const QLabel *label);
    static void setBackColor(QLabel *label, const QColor &color);
    [[nodiscard]] static QColor backColor(const QLabel *label);
    // Option button value: setting false may leave no button of the group selected.
    static void setOptionValue(QRadioButton *button, bool value);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void connectHandlers();
    void bindControls();
    // The controller's state into the controls.
    void showPanel();
    void showChoices();
    void showBusy();
    void showLineView();
    void showPassingLine(int id, const QString &text);
    void endPassingLine(int id);
    // The controls' values into the controller.
    void takePanel();
    void takeChoices();

    UnitController &m_unit;
    QString m_journalFolder;
    QPointer<BufferWindow> m_bufferWindow;
    QHash<int, QPersistentModelIndex> m_passing;
    bool m_showing = false; // the controls are being set from the controller
    // The log is painted at most every kLogPaintMs while lines pour in (a fast dump).
    QElapsedTimer m_logPainted;
    bool m_logPaintHeld = false;
};

} // namespace corvane
