#pragma once
// UnitController: one unit on one line. It owns the port, the device panel and the operator's
// choices as values, the busy state, the reply state and every operation under the name the
// operators' manuals use; it reports by signals. The window binds to one; a run without a window
// builds one per unit. Member functions are defined in the folder of their subsystem: link/,
// protocol/, ops/, files/, console/, and here (busy state, settings, line monitor).

#include "controller/awaiting.h"
#include "controller/files/commondialog.h"
#include "controller/outcome.h"
#include "ports/portfactory.h"
#include "ports/serialport.h"
#include "text/consolecommand.h"
#include "text/datafile.h"
#include "text/memoryimage.h"
#include "text/progress.h"
#include "text/replyjudge.h"
#include "text/settingsfile.h"
#include "text/settingsplace.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QFile;
class QIODevice;

namespace corvane {

struct ControllerOptions {
    // Full path of the settings file; empty: "Corvane.INI" beside the program or the user's.
    QString settingsPath;
    // Makes the port for a port text; empty: makePort (EMU or the real line).
    PortFactory portFactory;
    // Interval of the line monitor in milliseconds while something happens (an idle monitor ticks
    // every 100 ms); 0 leaves Timer1 stopped (tests tick it by hand).
    int timerIntervalMs = 10;
    // False for a run: the first tick neither connects nor starts the start-up command-response
    // file (the run connects itself and runs its own file).
    bool startUpConnection = true;
    // A run on several units: every save's file name carries this text before its extension
    // (see taggedSavePath); empty: paths as typed.
    QString saveTag;
};

// The device and buffer panel: what the unit reported and what the operator typed there.
struct PanelState {
    QString deviceEntry = QStringLiteral("03");   // the code to select (TexDVS)
    QString deviceCode = QStringLiteral("--");    // the selected code (LbDevSetCode)
    bool deviceCodeRefused = false;               // the unit refused it: the code shows red
    QString endAddress = QStringLiteral("-----"); // LbDevEAddr
    QString text1 = QStringLiteral("Label26");    // LbDevStr1, LbDevStr2
    QString text2 = QStringLiteral("Label27");
    QString kind = QStringLiteral("Label28");    // LbDevRom1: "EPROM", "EEPROM" ...
    QString width = QStringLiteral("Label29");   // LbDevRom2: "(Byte ROM)", "(Word ROM)"
    QString bufferAddress = QStringLiteral("0"); // StBuffAdr
    bool bufferTypeLow = true;                   // OpBuffTypeL, OpBuffTypeH (maybe neither)
    bool bufferTypeHigh = false;
    bool bufferTypeEnabled = true; // the type's label and options
    bool operator==(const PanelState &) const = default;
};

// The operator's other choices: the settings file's values, the access mode, the dump range and
// the command line. Options of one group are exclusive when set, but a group may have none set.
struct Choices {
    SettingsValues settings;
    bool accessAll = true, accessOdd = false, accessEven = false; // OpDevAModeA, O, E
    QString dumpStart = QStringLiteral("0");                      // DUMPS, DUMPE
    QString dumpEnd = QStringLiteral("0FF");
    QString command; // TexCMD
    bool operator==(const Choices &) const = default;
};

// What the line monitor shows of the line: modem lines and the port's counters.
struct LineView {
    bool cts = false, cd = false, dsr = false, dtr = false;
    int inCount = 0, inSize = 0, outCount = 0;
    bool operator==(const LineView &) const = default;
};

// The controls' busy state: which of them the operator may use, with the panel and the last
// reply code (see enabledControls()).
enum class Busy {
    Operating,       // all locked (PbUnEn)
    Cancellable,     // all locked but the cancel button
    DeviceSetUpOnly, // all locked but the device and buffer set-up buttons
    LinkLost,        // all locked but EXIT and reconnect
    Idle,            // as PbReEn leaves them
};

// The controls' enabled states for a busy state: the object names of the controls enabled.
struct EnabledFacts {
    Busy busy = Busy::Operating;
    PanelState panel;
    QString lastCode;      // AnsRxCode
    bool pathRule = false; // the line monitor ticked since the busy state changed
    bool loadPath = false; // a load and a save path are typed
    bool savePath = false;
};
[[nodiscard]] QSet<QString> enabledControls(const EnabledFacts &facts);

class UnitController : public QObject {
    Q_OBJECT
public:
    // Longest reply line the checker collects before it gives the reply up as broken.
    static constexpr int kMaxReplyBytes = 4096;

    explicit UnitController(ControllerOptions options = {}, QObject *parent = nullptr);
    ~UnitController() override;

    // ---- State ----
    [[nodiscard]] const PanelState &panel() const { return m_panel; }
    void setPanel(const PanelState &panel);
    [[nodiscard]] const Choices &choices() const { return m_choices; }
    void setChoices(const Choices &choices);
    [[nodiscard]] Busy busyState() const { return m_busy; }
    [[nodiscard]] QSet<QString> enabledControls() const;
    [[nodiscard]] const LineView &lineView() const { return m_lineView; }
    // A command-response run is in progress (the command line is then read-only).
    [[nodiscard]] bool commandRunRunning() const { return m_commandRunRunning; }

    // ---- Non-visual members ----
    QTimer Timer1;
    std::unique_ptr<SerialPort> MSComm1;
    CommonDialog CommonDialog1;

    // ---- Reply state ----
    QString AnsRxCode;    // code of the last reply, "98" no complete reply, "99" send refused
    QString AddData;      // the last reply as received (CR LF included until split)
    bool EscFlag = false; // the operator asked to cancel
    QString Rcmd0, Rcmd1, Rcmd2, Rcmd3, Rcmd4, Rcmd5;
    int StartUpWork = 0; // 0 until Form_Load ends, 3 until the first tick, 2 afterwards

    // ---- Log ----
    void AddList1(const QString &word);
    // A passing line at the end of the log: shown (updated by id), never recorded.
    int showPassingLine(const QString &text);
    void updatePassingLine(int id, const QString &text);
    void endPassingLine(int id);
    // One of the program's notices: its log line, and the event a run counts.
    void report(Notice notice);

    // ---- Busy state (busystate.cpp) ----
    void PbUnEn();
    void PbReEn();
    // The cancel button opens during an operation, or locks again.
    void openCancel(bool open);

    // ---- Settings file (settings.cpp) ----
    // The settings file read and the one written: --settings, else see findSettingsFiles().
    [[nodiscard]] SettingsFiles settingsFiles() const;
    void restoreSettings();
    void PBsysinit_Click();
    void MenuReReadUtil_Click();

    // ---- Line monitor (linemonitor.cpp) ----
    void Timer1_Timer();
    // DTR and RTS low while more than half of the input buffer waits, high otherwise. Loops that
    // drain the input apply it at once, so that the unit does not idle until the next tick.
    void flowControl();

    // ---- Serial link (link/) ----
    [[nodiscard]] QString Rs232Port() const { return m_choices.settings.port; }
    [[nodiscard]] QString Rs232Pbs() const { return m_choices.settings.speed; }
    QCoro::Task<> PbON_Click();
    QCoro::Task<> CLR232IN();
    QCoro::Task<> TxCtsCK();
    void PbCansel_Click();
    void ESC_Click();
    // The text in CP932 followed by CR LF, in one write; nothing is sent of a text with a
    // character CP932 cannot carry.
    Sent Output(const QString &text);
    // Raw bytes as they are (data lines already framed, blocks of binary loads).
    Sent OutputBytes(const QByteArray &bytes);
    // Discards the waiting input (InBufferCount = 0).
    void dropInput();
    // A transfer whose progress is reported once it runs long: `word` ("LH", "SB", "BD"...), the
    // bytes it will move (0: unknown) and whether they are sent or received.
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
    // Judges the reply to the word `MODE`: received unless `sent` says nothing went out.
    QCoro::Task<Reply> CeckAnsRX(QString MODE, Sent sent = Sent::Sent);
    // Sends a command line and judges its reply: one exchange with the unit.
    QCoro::Task<Reply> exchange(const QString &line, const QString &MODE);
    // Splits into Rcmd0..Rcmd5; drops a final CR LF from the caller's text.
    void DiviCCommand(QString &ContCommand);
    // Upper case, half width, no spaces; returns the text before the first "'".
    QString ReMakeCmd(QString &ContCommand);
    [[nodiscard]] bool replyWaitInProgress() const { return m_replyWaits > 0; }

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
    // The maintenance buttons: all waiting input into the log, the input dropped, the dialog's
    // starting folder into the log.
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();

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

    // ---- The buffer window's transfers (files/buffer_transfer.cpp) ----
    struct BufferRead {
        QByteArray bytes;       // what the unit sent, from the range's first address on
        bool complete = false;  // the whole range came
        bool cancelled = false; // the operator cancelled it
    };
    // Reads the buffer bytes `first`..`last` (byte addresses from the buffer start, also with a
    // word-wide device) into memory as the binary save reads them, with its log lines, progress
    // and busy state, and a cancel button. An operation: nothing is read while another runs.
    QCoro::Task<BufferRead> readBuffer(quint32 first, quint32 last);
    enum class WriteBack {
        Verified, // loaded and read back equal
        Differs,  // loaded, but the unit holds other bytes
        Failed,   // a load was refused or the line is gone
        Cancelled,
    };
    // Loads each run with a binary load, then reads the runs back and compares. An operation.
    QCoro::Task<WriteBack> writeBuffer(std::vector<ByteRun> runs);

    // ---- Command console (console/) ----
    QCoro::Task<> PbCMD_Click();
    QCoro::Task<> PbResGo1_Click();
    QCoro::Task<> PbResGo2_Click();
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

    // ---- Operations started from outside ----
    // Keeps `task` until it ends: the controller holds every operation it runs.
    void start(QCoro::Task<> task);
    // An operation started so has not ended yet.
    [[nodiscard]] bool operationRunning() const;
    // Closes the files operations hold open, their contents kept so far.
    void closeFiles();
    // The end of the controller's work (the window closed, a run ended by a signal): the files
    // closed, a cancel requested and the port closed, so that every operation still waiting ends
    // as on a lost line.
    void shutDown();

    // ---- Waiting (see awaiting.h) ----
    [[nodiscard]] NextPass nextPass() { return NextPass{this}; }
    // Until input, a modem-line change, a lost port or a cancel, or `ms` milliseconds.
    [[nodiscard]] WakeOrTimeout waitLine(int ms) { return WakeOrTimeout{this, &m_waker, ms}; }
    // A plain wait of `ms` milliseconds (events keep running).
    [[nodiscard]] WakeOrTimeout sleep(int ms) { return WakeOrTimeout{this, nullptr, ms}; }
    void wakeWaiters() { m_waker.poke(); }
    // Makes `port` the controller's port (wired to the waiters). PbON_Click uses it on every
    // connect; tests use it to put a scripted or emulated line in place without a greeting.
    void usePort(std::unique_ptr<SerialPort> port);

    // Data files an operation holds open.
    QPointer<QFile> m_dataFile;
    QPointer<QFile> m_commandFile;

Q_SIGNALS:
    // A line of the log, shown and recorded.
    void logLineAdded(const QString &line);
    // A passing line: shown at the end of the log (or its text replaced), never recorded; then
    // gone.
    void passingLine(int id, const QString &text);
    void passingLineEnded(int id);
    void panelChanged();
    void choicesChanged();
    // enabledControls() or commandRunRunning() may have changed.
    void busyChanged();
    void lineViewChanged();
    // Bytes the operations put on the line, and bytes they took from it (not input discarded
    // unread).
    void bytesSent(const QByteArray &bytes);
    void bytesReceived(const QByteArray &bytes);
    // A text save received a record: the EOF lamp lights.
    void recordReceived();
    // The progress of a long transfer changed ("LH 42 % 3.8 kB/s 1:20"); empty when it ended.
    void progressChanged(const QString &text);
    // A new port is about to open: its text and line settings.
    void connecting(const QString &portText, const QString &settings);
    // The input purge begins.
    void purgeStarted();
    // A save is about to write the file at `path`.
    void saveFileOpened(const QString &path);
    // One of the program's notices (its log line follows).
    void noticed(Notice notice);
    // A command-response run hands a command line to the interpreter, and how it ended.
    void runCommandStarted();
    void commandEnded(const CommandOutcome &outcome);
    void runEnded(const RunOutcome &outcome);

private:
    void Form_Load();
    QCoro::Task<> startUp();
    void setBusy(Busy busy);
    // Something runs or starts that the line monitor keeps pace with.
    [[nodiscard]] bool busy() const;
    // Nothing waits for the input: the line monitor drops what comes unasked.
    [[nodiscard]] bool idleDiscard() const;
    void startLineMonitor();
    void wakeLineMonitor();
    void setNullDiscard(bool discard);

    // ---- link/ ----
    void reportUnopenedPort(const QString &portText);
    QCoro::Task<> greetUnit();

    // ---- protocol/ ----
    QCoro::Task<> receiveReply(int timeoutMs);
    [[nodiscard]] PanelFacts panelFacts() const;
    void applyOutcome(const ReplyOutcome &outcome);
    // The program refuses the command in progress itself: a parameter it cannot send.
    void refuseParameter();

    ControllerOptions m_options;
    PanelState m_panel;
    Choices m_choices;
    Busy m_busy = Busy::Operating;
    bool m_pathRule = false;
    LineView m_lineView;
    Waker m_waker;
    int m_replyWaits = 0;        // reply waits in progress (the idle discard leaves their input)
    bool m_queryRunning = false; // a stand-alone unit query is running
    bool m_nullDiscard = false;  // NUL discarding of the input, kept across port changes
    int m_operations = 0;        // operations in progress (see OperationScope)
    bool m_commandRunRunning = false;
    bool m_runStopRequested = false;
    bool m_greetedOk = false;
    int m_passingLines = 0;
    TransferProgress m_progress;
    QTimer m_progressTimer;
    QElapsedTimer m_progressClock;
    QString m_progressShown;
    std::vector<QCoro::Task<>> m_running;

    // An operation from its start to its end, whichever way it ends: counted as running, and at
    // its end (unless told otherwise) the controls re-enabled by state.
    class Operation {
    public:
        explicit Operation(UnitController *unit, bool reEnable = true)
            : m_unit(unit)
            , m_reEnable(reEnable) {
            ++m_unit->m_operations;
        }
        Operation(Operation &&other) noexcept
            : m_unit(std::exchange(other.m_unit, nullptr))
            , m_reEnable(other.m_reEnable) {}
        ~Operation() {
            if (!m_unit)
                return;
            --m_unit->m_operations;
            if (m_reEnable)
                m_unit->PbReEn();
        }
        Operation(const Operation &) = delete;
        Operation &operator=(const Operation &) = delete;
        Operation &operator=(Operation &&) = delete;

    private:
        UnitController *m_unit;
        bool m_reEnable;
    };
    // The order of an opening's empty log line, input purge and title.
    enum class Opening { BlankPurgeTitle, BlankTitlePurge, PurgeBlankTitle };
    // The opening the operations share: the controls locked, a running query let end, then the
    // empty line, the purge and the title in `order`.
    QCoro::Task<> openSteps(QString title, Opening order);
    // An operation opened so: it re-enables the controls by state when the caller lets it go.
    QCoro::Task<Operation> openOperation(QString title, Opening order = Opening::BlankPurgeTitle);

    // ---- ops/ ----
    [[nodiscard]] bool unitQueryMayStart() const;
    QCoro::Task<> letQueryFinish();
    QCoro::Task<> receiveDumpHead();
    QCoro::Task<ReadEnd> receiveDumpTable(std::uint32_t start);
    QCoro::Task<> endDumpTable(ReadEnd ending);
    QCoro::Task<> switchEraseLamp(QString title, QString word);
    QCoro::Task<> accessInMode(QString workname, QString CMDmode);
    QCoro::Task<> runQuery(std::function<QCoro::Task<>()> query);

    // ---- files/ ----
    QCoro::Task<> loadTextFile(char format, QString RemoteCMD);
    QCoro::Task<> saveTextFile(char format, QString RemoteCMD);
    QString savePath(const QString &typed);
    QString splitFileArgument(QString RemoteCMD);
    // Opens a transfer (see openSteps), empties both directions of the port after the title when
    // `discardLine`, and returns the path of its argument (see splitFileArgument).
    QCoro::Task<QString> openTransfer(QString title, QString RemoteCMD, Opening order,
                                      bool discardLine);
    // A transfer from its start to its end: an operation, and at its end the progress ended and
    // the cancel request cleared.
    class TransferScope {
    public:
        explicit TransferScope(UnitController *unit)
            : m_operation(unit)
            , m_unit(unit) {}
        ~TransferScope() {
            m_unit->endProgress();
            m_unit->EscFlag = false;
        }
        TransferScope(const TransferScope &) = delete;
        TransferScope &operator=(const TransferScope &) = delete;

    private:
        Operation m_operation;
        UnitController *m_unit;
    };
    QCoro::Task<bool> openLoad(HeldFile &held, QString title, QString RemoteCMD, Opening order);
    QCoro::Task<> awaitLoadVerdict(Sent sent);
    enum class BinarySent { Whole, Short, Refused };
    QCoro::Task<BinarySent> sendBinary(QIODevice *source, qint64 length);
    QCoro::Task<ReadEnd> receiveRecords(QFile *file, bool &writeFailed);
    // Receives a binary save's bytes into `sink` until the line is silent (or a cancel, when
    // `cancellable`), logging them in hex; `stored` turns false when `sink` fails.
    QCoro::Task<ReadEnd> receiveBinary(QIODevice *sink, bool &stored, qint64 &received,
                                       bool cancellable = false);
    // Binary input with every byte delivered, NUL included; or text input with NUL discarded.
    void setBinaryInput(bool binary);
    // One run of a write-back loaded with a binary load: true when the unit took it.
    QCoro::Task<bool> loadRun(ByteRun run);
    // The write-back's read-back of `runs`: Verified or Differs with the count of bytes that
    // differ, or Failed or Cancelled when a read did not complete.
    QCoro::Task<std::pair<WriteBack, quint64>> readBack(const std::vector<ByteRun> &runs);
    QCoro::Task<> paceOutput();
    QCoro::Task<> chooseFile(bool save);
    QCoro::Task<> transferChosen(bool save);
    // A text load or save: its title and command word ("LH", "SS" ...) for the format ('H', 'S').
    static std::pair<QString, QString> textTransfer(bool save, char format);

    // ---- console/ ----
    QCoro::Task<> runCommands(QIODevice *file, QString path);
    // A command-response run from its start to its end: at the end the controls it locked
    // itself (`heldBusy`) re-enabled by state, the run and its stop request over.
    class RunScope {
    public:
        RunScope(UnitController *unit, bool &heldBusy);
        ~RunScope();
        RunScope(const RunScope &) = delete;
        RunScope &operator=(const RunScope &) = delete;

    private:
        UnitController *m_unit;
        bool &m_heldBusy;
    };
    QCoro::Task<bool> runCommandLine();
    // Carries out the command line: nothing when another command holds the console.
    QCoro::Task<std::optional<CommandOutcome>> interpret(bool runnerTurn);
    QCoro::Task<> carryOut(ConsoleCommand command);
    void endRun(RunEnd end);
    bool m_commandRunning = false; // a typed or file command is being carried out
    // What the program noticed while the current command ran.
    QList<Notice> m_commandNotices;
    RunOutcome m_run;
};

} // namespace corvane
