#include "controller/unitcontroller.h"

#include "ports/nullport.h"
#include "text/cp932.h"

#include <QFile>

#include <algorithm>

namespace corvane {

UnitController::UnitController(ControllerOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options)) {
    if (!m_options.portFactory)
        m_options.portFactory = makePort;
    usePort(std::make_unique<NullPort>());
    connect(&m_progressTimer, &QTimer::timeout, this, [this] {
        const QString text = m_progress.text(m_progressClock.elapsed());
        if (text.isEmpty() || text == m_progressShown)
            return;
        m_progressShown = text;
        Q_EMIT progressChanged(text);
    });
    Form_Load();
    startLineMonitor();
}

UnitController::~UnitController() {
    Timer1.stop();
    closeFiles();
}

void UnitController::Form_Load() {
    PbUnEn();
    EscFlag = false;
    MSComm1->discardOutput();
    MSComm1->discardInput();
    restoreSettings();
    StartUpWork = 3;
}

void UnitController::usePort(std::unique_ptr<SerialPort> port) {
    MSComm1 = std::move(port);
    MSComm1->setNullDiscard(m_nullDiscard);
    connect(MSComm1.get(), &SerialPort::readyRead, &m_waker, &Waker::poke);
    connect(MSComm1.get(), &SerialPort::pinoutChanged, &m_waker, &Waker::poke);
    connect(MSComm1.get(), &SerialPort::lost, &m_waker, &Waker::poke);
}

void UnitController::setPanel(const PanelState &panel) {
    if (panel == m_panel)
        return;
    m_panel = panel;
    Q_EMIT panelChanged();
    Q_EMIT busyChanged();
}

void UnitController::setChoices(const Choices &choices) {
    if (choices == m_choices)
        return;
    m_choices = choices;
    Q_EMIT choicesChanged();
    Q_EMIT busyChanged();
}

void UnitController::AddList1(const QString &word) {
    Q_EMIT logLineAdded(word);
}

int UnitController::showPassingLine(const QString &text) {
    const int id = ++m_passingLines;
    Q_EMIT passingLine(id, text);
    return id;
}

void UnitController::updatePassingLine(int id, const QString &text) {
    Q_EMIT passingLine(id, text);
}

void UnitController::endPassingLine(int id) {
    Q_EMIT passingLineEnded(id);
}

void UnitController::report(Notice notice) {
    if (m_commandRunning)
        m_commandNotices.append(notice);
    if (m_commandRunRunning)
        m_run.count(notice);
    Q_EMIT noticed(notice);
    AddList1(noticeText(notice));
}

void UnitController::beginProgress(const QString &word, qint64 expected, bool sending) {
    if (!m_progressClock.isValid())
        m_progressClock.start();
    m_progress.begin(word, expected, sending, m_progressClock.elapsed());
    m_progressTimer.start(250);
}

void UnitController::endProgress() {
    m_progress.end();
    m_progressTimer.stop();
    if (m_progressShown.isEmpty())
        return;
    m_progressShown.clear();
    Q_EMIT progressChanged(QString());
}

void UnitController::start(QCoro::Task<> task) {
    std::erase_if(m_running, [](const QCoro::Task<> &each) { return each.isReady(); });
    if (!task.isReady())
        m_running.push_back(std::move(task));
}

bool UnitController::operationRunning() const {
    return std::ranges::any_of(m_running,
                               [](const QCoro::Task<> &each) { return !each.isReady(); });
}

void UnitController::closeFiles() {
    if (m_dataFile)
        m_dataFile->close();
    if (m_commandFile)
        m_commandFile->close();
}

void UnitController::shutDown() {
    closeFiles();
    EscFlag = true;
    MSComm1->close();
    wakeWaiters();
}

void UnitController::Command1_Click() {
    AddList1(fromCp932(MSComm1->readAll()));
}

void UnitController::Command2_Click() {
    dropInput();
}

void UnitController::Command3_Click() {
    AddList1(CommonDialog1.InitDir);
}

} // namespace corvane
