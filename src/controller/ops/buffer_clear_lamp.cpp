// Clearing the buffer RAM and switching the unit's UV erase lamp.

#include "controller/unitcontroller.h"
#include "text/opstext.h"

namespace corvane {

QCoro::Task<> UnitController::PbCL_Click() {
    const Operation operation = co_await openOperation(QStringLiteral("* Buffer clear"));
    co_await nextPass();
    const Reply reply = co_await exchange(QStringLiteral("CL"), QStringLiteral("CL"));
    if (reply.ok())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> UnitController::switchEraseLamp(QString title, QString word) {
    Reply reply;
    {
        const Operation operation = co_await openOperation(title, Opening::BlankTitlePurge);
        reply = co_await exchange(word, word);
    }
    EscFlag = false;
    if (reply.ok())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> UnitController::PbES_Click() {
    co_await switchEraseLamp(QStringLiteral("* Erase LAMP ON"), QStringLiteral("ES"));
}

QCoro::Task<> UnitController::PbEE_Click() {
    co_await switchEraseLamp(QStringLiteral("* Erase LAMP OFF"), QStringLiteral("EE"));
}

} // namespace corvane
