// The device access operations: blank check, read, verify, write, program and erase over an
// address range, and the six buttons of the frame "デバイスアクセス".

#include "controller/unitcontroller.h"
#include "text/opstext.h"

namespace corvane {

namespace {

// The parameter text of a button: start 0, the device's end address and the selected mode; empty
// when no mode is selected (the button then does nothing).
QString modeParameter(const Choices &choices) {
    if (choices.accessAll)
        return QStringLiteral("0,,A");
    if (choices.accessOdd)
        return QStringLiteral("0,,O");
    if (choices.accessEven)
        return QStringLiteral("0,,E");
    return {};
}

} // namespace

QCoro::Task<> UnitController::DeviceCont(QString workname, QString CMDmode, QString RemoteCMD) {
    const Operation operation = co_await openOperation(workname);
    DiviCCommand(RemoteCMD);

    const QString start = fiveCharAddress(Rcmd1);
    AddList1(QStringLiteral("    start adress = ") + start + QStringLiteral("H"));
    const QString end = Rcmd2.isEmpty() ? m_panel.endAddress : fiveCharAddress(Rcmd2);
    AddList1(QStringLiteral("    end adress   = ") + end + QStringLiteral("H"));

    openCancel(true);
    QString line = CMDmode + start + QStringLiteral(",") + end;
    if (sendsAccessMode(CMDmode)) {
        const AccessMode mode = accessMode(Rcmd3);
        if (!mode.logLine.isEmpty())
            AddList1(mode.logLine);
        line += QStringLiteral(",") + mode.digit;
    }
    co_await exchange(line, CMDmode);
    EscFlag = false;
}

// The four buttons that send the access mode: nothing when no mode is selected.
QCoro::Task<> UnitController::accessInMode(QString workname, QString CMDmode) {
    const QString parameter = modeParameter(m_choices);
    if (!parameter.isEmpty())
        co_await DeviceCont(std::move(workname), std::move(CMDmode), parameter);
}

QCoro::Task<> UnitController::PbPG_Click() {
    co_await accessInMode(QStringLiteral("* Program device"), QStringLiteral("PG"));
}

QCoro::Task<> UnitController::PbCP_Click() {
    co_await accessInMode(QStringLiteral("* Verify device"), QStringLiteral("CP"));
}

QCoro::Task<> UnitController::PbWT_Click() {
    co_await accessInMode(QStringLiteral("* Write device"), QStringLiteral("WT"));
}

QCoro::Task<> UnitController::PbRD_Click() {
    co_await accessInMode(QStringLiteral("* Read device"), QStringLiteral("RD"));
}

QCoro::Task<> UnitController::PbBL_Click() {
    co_await DeviceCont(QStringLiteral("* Blank check "), QStringLiteral("BL"), QString());
}

QCoro::Task<> UnitController::PbER_Click() {
    co_await DeviceCont(QStringLiteral("* Erase device "), QStringLiteral("ER"), QString());
}

} // namespace corvane
