// Clearing the buffer RAM and switching the unit's UV erase lamp.

#include "window/form1.h"
#include "text/opstext.h"

#include <QPushButton>

namespace corvane {

QCoro::Task<> Form1::PbCL_Click() {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    PbCansel->setEnabled(false);
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Buffer clear"));
    co_await nextPass();
    Output(QStringLiteral("CL"));
    co_await CeckAnsRX(QStringLiteral("CL"));
    if (answeredOk())
        AddList1(QStringLiteral("OK"));
    PbReEn();
}

QCoro::Task<> Form1::switchEraseLamp(QString title, QString word) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    PbCansel->setEnabled(false);
    AddList1(QString());
    AddList1(title);
    co_await CLR232IN();
    Output(word);
    co_await CeckAnsRX(word);
    PbReEn();
    EscFlag = false;
    if (answeredOk())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> Form1::PbES_Click() {
    co_await switchEraseLamp(QStringLiteral("* Erase LAMP ON"), QStringLiteral("ES"));
}

QCoro::Task<> Form1::PbEE_Click() {
    co_await switchEraseLamp(QStringLiteral("* Erase LAMP OFF"), QStringLiteral("EE"));
}

} // namespace corvane
