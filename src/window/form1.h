#pragma once
// Form1: the program's one window. Its controls are the program's state (a label's caption says
// which device is selected, a button's enabled flag is the busy state) and its members carry the
// names the operators' manuals use. Member functions are defined in the folder of their subsystem:
// app/ (window, log, busy state, settings, line monitor), link/, protocol/, ops/, files/, console/.

#include "controller/awaiting.h"
#include "text/progress.h"
#include "text/consolecommand.h"
#include "controller/files/commondialog.h"
#include "text/datafile.h"
#include "ports/portfactory.h"
#include "ports/serialport.h"
#include "text/replyjudge.h"

#include <QColor>
#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QFile;
class QIODevice;
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

class Journal;

struct Form1Options {
    // Full path of the settings file; empty: "Corvane.INI" in the program's folder.
    QString settingsPath;
    // Makes the port for a port text; empty: makePort (EMU or the real line).
    PortFactory portFactory;
    // Interval of the line monitor in milliseconds while something happens (an idle monitor ticks
    // every 100 ms); 0 leaves Timer1 stopped (tests tick it by hand).
    int timerIntervalMs = 10;
    // False for a run without the window: the first tick neither connects nor starts the start-up
    // command-response file (the run connects itself and runs its own file).
    bool startUpConnection = true;
    // Where every log line, connection and byte on the line is recorded; none when null.
    Journal *journal = nullptr;
    // A run on several units: every save's file name carries this text before its extension
    // (see taggedSavePath); empty: paths as typed.
    QString saveTag;
};

class Form1 : public QWidget {
    Q_OBJECT
public:
    // Client area in twips, as the layout is drawn.
    static constexpr int kClientWidthTwips = 8292;
    static constexpr int kClientHeightTwips = 7464;
    // Longest reply line the checker collects before it gives the reply up as broken.
    static constexpr int kMaxReplyBytes = 4096;
    // Shortest time between two paintings of the log while lines pour in.
    static constexpr int kLogPaintMs = 40;

    explicit Form1(Form1Options options = {}, QWidget *parent = nullptr);
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

    // ---- Non-visual members ----
    QTimer Timer1;
    std::unique_ptr<SerialPort> MSComm1;
    CommonDialog CommonDialog1;

    // ---- State shared by the operations ----
    QString AnsRxCode;    // code of the last reply, "98" no complete reply, "99" send refused
    QString AddData;      // the last reply as received (CR LF included until split)
    bool EscFlag = false; // the operator asked to cancel
    QString Rcmd0, Rcmd1, Rcmd2, Rcmd3, Rcmd4, Rcmd5;
    int StartUpWork = 0; // 0 until Form_Load ends, 3 until the first tick, 2 afterwards

    // ---- Window, log and shutdown (app/) ----
    void Form_Load();
    void AddList1(const QString &word);
    // Appends to the log as AddList1 does, but as a passing sight only: not recorded anywhere
    // else (the purge's blinking line, the reply wait's placeholder). recordLogLine records a
    // line as AddList1 does without showing it (a placeholder that stays).
    void showInLog(const QString &word);
    void recordLogLine(const QString &word);
    void PbExit_Click();
    void MenuApEnd_Click();
    void MenuVer_Click();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    // Text colour of a label and background colour of a lamp.
    static void setTextColor(QLabel *label, const QColor &color);
    [[nodiscard]] static QColor textColor(const QLabel *label);
    static void setBackColor(QLabel *label, const QColor &color);
    [[nodiscard]] static QColor backColor(const QLabel *label);
    // Option button value: setting false may leave no button of the group selected.
    static void setOptionValue(QRadioButton *button, bool value);

    // ---- Busy state (app/busystate.cpp) ----
    void PbUnEn();
    void PbReEn();

    // ---- Settings file (app/settings.cpp) ----
    [[nodiscard]] QString settingsPath() const;
    void restoreSettings();
    void PBsysinit_Click();
    void MenuReReadUtil_Click();

    // ---- Line monitor (app/linemonitor.cpp) ----
    void Timer1_Timer();
    // The flow-control rule of the tick: DTR and RTS low while more than half of the input buffer
    // waits, high otherwise. Loops that drain the input apply it at once, so that the unit does not
    // idle until the next tick.
    void flowControl();

    // ---- Serial link (link/) ----
    [[nodiscard]] QString Rs232Port() const;
    // The port box's list: "1" to "6", "EMU" and the ports the system reports now.
    void fillPortChoices();
    [[nodiscard]] QString Rs232Pbs() const;
    QCoro::Task<> PbON_Click();
    // The two ends of "再接続": the port that did not open, and the greeting on the one that did.
    void reportUnopenedPort(const QString &portText);
    QCoro::Task<> greetUnit();
    QCoro::Task<> CLR232IN();
    QCoro::Task<> TxCtsCK();
    void PbCansel_Click();
    void ESC_Click();
    // Output: the text in CP932 followed by CR LF, in one write. A refused write is remembered and
    // turns the next reply check into "99" ("98" when the port is gone). A text with a character
    // CP932 cannot carry is not sent at all: the next reply check reports a bad parameter.
    bool Output(const QString &text);
    // Output of raw bytes as they are (data lines already framed, single bytes of binary loads).
    bool OutputBytes(const QByteArray &bytes);
    // Discards the waiting input (InBufferCount = 0); the journal still records it.
    void dropInput();

    // A transfer whose progress is shown in the title once it runs long: `word` ("LH", "SB",
    // "BD"...), the bytes it will move (0: unknown) and whether they are sent or received.
    void beginProgress(const QString &word, qint64 expected, bool sending);
    void endProgress();

    // The one reader of the line. `take` sees each received byte in order and says how to go on;
    // the read also ends after `quietMs` without input and after `limitMs` in all (never when
    // negative), at once when the port is gone and its input read, and on a cancel when
    // `cancellable`. Drained input releases the unit at once (flowControl).
    enum class Take {
        More,  // read on
        Pause, // let the event loop run once (a log line is complete), then read on
        Done,  // the read is complete; what follows stays waiting in the port
    };
    enum class ReadEnd { Done, Quiet, Limit, Lost, Cancelled };
    struct ReadRule {
        int quietMs = -1;
        bool cancellable = false;
        int limitMs = -1;
    };
    QCoro::Task<ReadEnd> readInput(std::function<Take(char)> take, ReadRule rule);

    // ---- Reply protocol (protocol/) ----
    QCoro::Task<> CeckAnsRX(QString MODE);
    // Splits into Rcmd0..Rcmd5; drops a final CR LF from the caller's text.
    void DiviCCommand(QString &ContCommand);
    // Upper case, half width, no spaces; returns the text before the first "'".
    QString ReMakeCmd(QString &ContCommand);
    [[nodiscard]] bool replyWaitInProgress() const { return m_replyWaits > 0; }
    // The three steps of CeckAnsRX: receive the reply (AnsRxCode, AddData), judge it, apply it.
    QCoro::Task<> receiveReply(int timeoutMs);
    [[nodiscard]] PanelFacts panelFacts() const;
    void applyOutcome(const ReplyOutcome &outcome);

    // ---- Device and buffer operations (ops/) ----
    QCoro::Task<> DeviceCont(QString workname, QString CMDmode, QString RemoteCMD);
    QCoro::Task<> PbPG_Click();
    QCoro::Task<> PbCP_Click();
    QCoro::Task<> PbWT_Click();
    QCoro::Task<> PbRD_Click();
    QCoro::Task<> PbBL_Click();
    QCoro::Task<> PbER_Click();
    QCoro::Task<> TSsub(QString RemoteCMD);
    QCoro::Task<> PbDevice_Click();
    QCoro::Task<> PbUS0_Click();
    QCoro::Task<> PbUS2_Click();
    QCoro::Task<> インテルる_Click();
    QCoro::Task<> PbBuff_Click();
    QCoro::Task<> BSsub(QString RemoteCMD);
    QCoro::Task<> TWsub(QString RemoteCMD);
    QCoro::Task<> Command4_Click();
    QCoro::Task<> BDsub(QString RemoteCMD);
    QCoro::Task<> PbBD_Click();
    QCoro::Task<> PbCL_Click();
    QCoro::Task<> PbES_Click();
    QCoro::Task<> PbEE_Click();

    // ---- File transfer (files/) ----
    QCoro::Task<> LHsub(QString RemoteCMD) { return loadTextFile('H', std::move(RemoteCMD)); }
    QCoro::Task<> LSsub(QString RemoteCMD) { return loadTextFile('S', std::move(RemoteCMD)); }
    QCoro::Task<> LBsub(QString RemoteCMD);
    QCoro::Task<> SHsub(QString RemoteCMD) { return saveTextFile('H', std::move(RemoteCMD)); }
    QCoro::Task<> SSsub(QString RemoteCMD) { return saveTextFile('S', std::move(RemoteCMD)); }
    QCoro::Task<> SBsub(QString RemoteCMD);
    QCoro::Task<> PbGoLoad_Click();
    QCoro::Task<> PbGoSave_Click();
    QCoro::Task<> PbLoadDir_Click();
    QCoro::Task<> PbSaveDir_Click();

    // ---- Command console (console/) ----
    QCoro::Task<> PbCMD_Click();
    QCoro::Task<> PbResGo1_Click();
    QCoro::Task<> PbResGo2_Click();

    // ---- Waiting (see app/awaiting.h) ----
    // One pass of the event loop.
    [[nodiscard]] NextPass nextPass() { return NextPass{this}; }
    // Until input, a modem-line change, a lost port or a cancel, or `ms` milliseconds.
    [[nodiscard]] WakeOrTimeout waitLine(int ms) { return WakeOrTimeout{this, &m_waker, ms}; }
    // A plain wait of `ms` milliseconds (events keep running).
    [[nodiscard]] WakeOrTimeout sleep(int ms) { return WakeOrTimeout{this, nullptr, ms}; }
    // Pokes every waiting operation (new port, cancel).
    void wakeWaiters() { m_waker.poke(); }
    // Makes `port` the window's port (wired to the waiters). PbON_Click uses it on every connect;
    // tests use it to put a scripted or emulated line in place without a greeting.
    void usePort(std::unique_ptr<SerialPort> port);

    // Data files an operation holds open; the window closes them when it goes away, so a save
    // interrupted by closing the window keeps what it had received.
    QPointer<QFile> m_dataFile;
    QPointer<QFile> m_commandFile;
    void closeFiles();

    // Runs the command-response file at `path` as its "起動" button does.
    QCoro::Task<> runResponseFile(QString path);
    // Runs a command-response file already read into `bytes` (a run without the window reads a
    // pipe or standard input once); `path` names it in the log.
    QCoro::Task<> runResponseBytes(QByteArray bytes, QString path);
    // The last greeting ("再接続") got "OK" to every step.
    [[nodiscard]] bool greetedOk() const { return m_greetedOk; }
    // The command-response run (running or next) stops after its current command, ending as
    // cancelled.
    void requestRunStop() { m_runStopRequested = true; }

Q_SIGNALS:
    // A line was appended to the log (tests and benchmarks follow the log through it).
    void logLineAdded(const QString &line);
    // A command-response run hands a command line to the interpreter.
    void runCommandStarted();
    // The progress of a long transfer changed ("LH 42 % 3.8 kB/s 1:20"); empty when it ended.
    void progressChanged(const QString &text);
    // A save is about to write the file at `path`.
    void saveFileOpened(const QString &path);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void connectHandlers();
    QCoro::Task<> startUp();
    // Something runs or starts that the line monitor keeps pace with.
    [[nodiscard]] bool busy() const;
    // Nothing waits for the input: the line monitor drops what comes unasked.
    [[nodiscard]] bool idleDiscard() const;

    Form1Options m_options;
    Waker m_waker;
    int m_replyWaits = 0; // reply waits in progress (the idle discard leaves their input alone)
    bool m_queryRunning = false; // a stand-alone unit query is running
    bool m_sendRefused = false;  // the last Output was refused by the port
    bool m_nullDiscard = false;  // NUL discarding of the input, kept across port changes
    int m_operations = 0;        // operations in progress (see OperationScope)
    bool m_commandRunRunning = false;
    bool m_runStopRequested = false;
    bool m_greetedOk = false; // see greetedOk()
    TransferProgress m_progress;
    QTimer m_progressTimer;
    QElapsedTimer m_progressClock;
    QString m_progressShown;
    // The log is painted at most every kLogPaintMs while lines pour in (a fast dump).
    QElapsedTimer m_logPainted;
    bool m_logPaintHeld = false;

    // Counts an operation as running from its start to its end, whichever way it ends.
    class OperationScope {
    public:
        explicit OperationScope(Form1 *form)
            : m_form(form) {
            ++m_form->m_operations;
        }
        ~OperationScope() { --m_form->m_operations; }
        OperationScope(const OperationScope &) = delete;
        OperationScope &operator=(const OperationScope &) = delete;

    private:
        Form1 *m_form;
    };
    [[nodiscard]] OperationScope operationScope() {
        m_parameterRefused = false;
        return OperationScope(this);
    }

    // The program refused the command in progress itself (a parameter it cannot send, a device
    // the unit would not select): logs the bad-parameter line for a parameter and marks the
    // command refused, leaving AnsRxCode as the last reply made it.
    void refuseParameter();
    // The last step was acknowledged: reply "00" to a command that was actually sent.
    [[nodiscard]] bool answeredOk() const;
    // Sets NUL discarding for this and every later port.
    void setNullDiscard(bool discard);

    // ---- State owned by ops/ (add below this line only) ----
    // Whether a stand-alone unit query may start: no other query, operation or reply wait runs.
    [[nodiscard]] bool unitQueryMayStart() const;
    // Lets a running stand-alone unit query end before an operation talks to the unit.
    QCoro::Task<> letQueryFinish();
    // The head of a dump's answer into AddData, its code into AnsRxCode.
    QCoro::Task<> receiveDumpHead();
    // The data of a dump after its "00:", as table lines in the log (the partial line in AddData).
    QCoro::Task<ReadEnd> receiveDumpTable(std::uint32_t start);
    // A dump's end as its table's read ended: "OK", cancelled, or the line lost.
    QCoro::Task<> endDumpTable(ReadEnd ending);
    // The UV lamp buttons: `word` is "ES" or "EE".
    QCoro::Task<> switchEraseLamp(QString title, QString word);

    // ---- State owned by files/ (add below this line only) ----
    // The Intel HEX ('H') and Motorola S ('S') loads and saves differ only in their title and
    // command word.
    QCoro::Task<> loadTextFile(char format, QString RemoteCMD);
    QCoro::Task<> saveTextFile(char format, QString RemoteCMD);
    // The file a save writes: `typed`, or with several units the unit's own (logged and
    // announced by saveFileOpened).
    QString savePath(const QString &typed);
    // The argument of a load or save: split into Rcmd0..Rcmd5, the fields after the path cleaned
    // (upper case, half width, no spaces, no comment); returns the path as typed.
    QString splitFileArgument(QString RemoteCMD);
    // How a transfer opens: every one locks the controls, lets a running query end, purges the
    // input and logs its title; they differ in these details.
    struct TransferOpening {
        bool lockCancel = true;        // the cancel button stays locked until the data flows
        bool purgeBeforeBlank = false; // the purge comes before the empty log line
        bool discardLine = false;      // both directions of the port are emptied after the title
    };
    // Opens a transfer as `how` says and returns the path of its argument (see splitFileArgument).
    QCoro::Task<QString> openTransfer(QString title, QString RemoteCMD, TransferOpening how);
    // A transfer from its start to its end, whichever way it leaves: counted as an operation, and
    // at the end the controls re-enabled by state and the cancel request cleared.
    class TransferScope {
    public:
        explicit TransferScope(Form1 *form)
            : m_operation(form->operationScope())
            , m_form(form) {}
        ~TransferScope() {
            m_form->endProgress();
            m_form->PbReEn();
            m_form->EscFlag = false;
        }
        TransferScope(const TransferScope &) = delete;
        TransferScope &operator=(const TransferScope &) = delete;

    private:
        OperationScope m_operation;
        Form1 *m_form;
    };
    // A load's opening: the transfer's, the buffer start defaulted, the cancel button open, and
    // its file opened in `held`; false (logged) when the file cannot be read.
    QCoro::Task<bool> openLoad(HeldFile &held, QString title, QString RemoteCMD,
                               bool purgeBeforeBlank);
    // The end of a load: the unit's verdict on the data ("OK" on "00").
    QCoro::Task<> awaitLoadVerdict();
    // The bytes of a binary load, paced; false when the file ran short of `length`.
    QCoro::Task<bool> sendBinary(QFile *file, qint64 length);
    // The records of a text save into `file` until the unit's end mark (what a dead line left
    // half is kept too); `writeFailed` is set when a byte did not reach the file.
    QCoro::Task<ReadEnd> receiveRecords(QFile *file, bool &writeFailed);
    // The bytes of a binary save into `file` (while `stored`) until the line falls silent,
    // logged sixteen a line; `received` counts them.
    QCoro::Task<ReadEnd> receiveBinary(QFile *file, bool &stored, qint64 &received);
    // The pacing of a load before each line or block: the port's backlog drained to about 10 ms
    // of line time, then TxCtsCK.
    QCoro::Task<> paceOutput();
    // Line monitor (app/linemonitor.cpp): wires Timer1 and its wakes and starts it; a wake moves
    // an idle monitor's next tick to now.
    void startLineMonitor();
    void wakeLineMonitor();

    // ---- State owned by console/ (add below this line only) ----
    // The lines of an open command-response file, each through PbCMD_Click, to the end or to the
    // first command that fails; logs how the run ended. Nothing when a run or a command is already
    // in progress.
    QCoro::Task<> runCommands(QIODevice *file, QString path);
    // The command in TexCMD as the run's turn; false (after the run's end line) when it failed.
    QCoro::Task<bool> runCommandLine();
    // Carries out a matched console command (PbCMD_Click's dispatch).
    QCoro::Task<> carryOut(ConsoleCommand command);
    bool m_commandRunning = false; // a typed or file command is being carried out
    bool m_runnerTurn = false;     // the next PbCMD_Click comes from the command-response run
    // The command in progress was refused by the program (a bad parameter, a rejected device
    // select): a command-response run stops on it as on a failing reply code.
    bool m_commandRefused = false;
    bool m_parameterRefused = false; // the last Output was not sent: its text cannot go on the line
};

} // namespace corvane
