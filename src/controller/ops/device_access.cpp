// The device access operations: blank check, read, verify, write, program and erase over an
// address range, and the six buttons of the frame "デバイスアクセス".

#include "window/form1.h"
#include "text/opstext.h"

#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

namespace corvane {

namespace {

// The parameter text of a button: start 0, the device's end address and the selected mode; empty
// when no mode is selected (the button then does nothing).
QString modeParameter(const QRadioButton *all, const QRadioButton *odd, const QRadioButton *even) {
    if (all->isChecked())
        return QStringLiteral("0,,A");
    if (odd->isChecked())
        return QStringLiteral("0,,O");
    if (even->isChecked())
        return QStringLiteral("0,,E");
    return {};
}

} // namespace

QCoro::Task<> Form1::DeviceCont(QString workname, QString CMDmode, QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(workname);
    DiviCCommand(RemoteCMD);

    const QString start = fiveCharAddress(Rcmd1);
    AddList1(QStringLiteral("    start adress = ") + start + QStringLiteral("H"));
    const QString end = Rcmd2.isEmpty() ? LbDevEAddr->text() : fiveCharAddress(Rcmd2);
    AddList1(QStringLiteral("    end adress   = ") + end + QStringLiteral("H"));

    PbCansel->setEnabled(true);
    QString line = CMDmode + start + QStringLiteral(",") + end;
    if (sendsAccessMode(CMDmode)) {
        const AccessMode mode = accessMode(Rcmd3);
        if (!mode.logLine.isEmpty())
            AddList1(mode.logLine);
        line += QStringLiteral(",") + mode.digit;
    }
    Output(line);
    co_await CeckAnsRX(CMDmode);

    PbReEn();
    EscFlag = false;
}

QCoro::Task<> Form1::PbPG_Click() {
    const QString parameter = modeParameter(OpDevAModeA, OpDevAModeO, OpDevAModeE);
    if (!parameter.isEmpty())
        co_await DeviceCont(QStringLiteral("* Program device"), QStringLiteral("PG"), parameter);
}

QCoro::Task<> Form1::PbCP_Click() {
    const QString parameter = modeParameter(OpDevAModeA, OpDevAModeO, OpDevAModeE);
    if (!parameter.isEmpty())
        co_await DeviceCont(QStringLiteral("* Verify device"), QStringLiteral("CP"), parameter);
}

QCoro::Task<> Form1::PbWT_Click() {
    const QString parameter = modeParameter(OpDevAModeA, OpDevAModeO, OpDevAModeE);
    if (!parameter.isEmpty())
        co_await DeviceCont(QStringLiteral("* Write device"), QStringLiteral("WT"), parameter);
}

QCoro::Task<> Form1::PbRD_Click() {
    const QString parameter = modeParameter(OpDevAModeA, OpDevAModeO, OpDevAModeE);
    if (!parameter.isEmpty())
        co_await DeviceCont(QStringLiteral("* Read device"), QStringLiteral("RD"), parameter);
}

QCoro::Task<> Form1::PbBL_Click() {
    co_await DeviceCont(QStringLiteral("* Blank check "), QStringLiteral("BL"), QString());
}

QCoro::Task<> Form1::PbER_Click() {
    co_await DeviceCont(QStringLiteral("* Erase device "), QStringLiteral("ER"), QString());
}

} // namespace corvane
