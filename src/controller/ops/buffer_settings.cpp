// Buffer settings: the buffer RAM start address and the buffer type, each read back from the unit
// once it has taken them.

#include "window/form1.h"
#include "text/opstext.h"

#include <QLineEdit>
#include <QRadioButton>

namespace corvane {

QCoro::Task<> Form1::PbBuff_Click() {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Set Buffer"));

    bool readBack = true;
    if (!StBuffAdr->text().isEmpty()) {
        Output(QStringLiteral("BS") + StBuffAdr->text());
        co_await CeckAnsRX(QStringLiteral("BS"));
        readBack = answeredOk();
        if (readBack) {
            // Sent also for a byte device: the disabled options keep their value.
            Output(OpBuffTypeL->isChecked() ? QStringLiteral("TW0") : QStringLiteral("TW1"));
            co_await CeckAnsRX(QStringLiteral("TW"));
            readBack = answeredOk();
        }
    }
    if (readBack) {
        Output(QStringLiteral("US2"));
        co_await CeckAnsRX(QStringLiteral("US2"));
        if (answeredOk())
            AddList1(QStringLiteral("OK"));
    }
    PbReEn();
}

QCoro::Task<> Form1::BSsub(QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Set Buffer start address"));

    bool readBack = true;
    if (!RemoteCMD.isEmpty()) {
        Output(QStringLiteral("BS") + RemoteCMD);
        co_await CeckAnsRX(QStringLiteral("BS"));
        readBack = answeredOk();
    }
    if (readBack) {
        Output(QStringLiteral("US2"));
        co_await CeckAnsRX(QStringLiteral("US2CB"));
        if (answeredOk())
            AddList1(QStringLiteral("OK"));
    }
    PbReEn();
}

QCoro::Task<> Form1::TWsub(QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Buffer type"));

    bool readBack = true;
    if (RemoteCMD == QLatin1String("L") || RemoteCMD == QLatin1String("H")) {
        Output(RemoteCMD == QLatin1String("L") ? QStringLiteral("TW0") : QStringLiteral("TW1"));
        co_await CeckAnsRX(QStringLiteral("TW"));
        readBack = answeredOk();
    } else if (!RemoteCMD.isEmpty()) {
        // Nothing is sent: the program refuses the parameter itself, and a command-response run
        // stops here as it would on the unit's refusal.
        refuseParameter();
        readBack = false;
    }
    if (readBack) {
        Output(QStringLiteral("US2"));
        co_await CeckAnsRX(QStringLiteral("US2CT"));
        // The options have just been set from the reply: the line reports the unit's type.
        if (answeredOk())
            AddList1(OpBuffTypeL->isChecked() ? QStringLiteral("OK: Even = Low")
                                              : QStringLiteral("OK: Even = Hi"));
    }
    PbReEn();
}

QCoro::Task<> Form1::Command4_Click() {
    co_await TWsub(QStringLiteral("L"));
}

} // namespace corvane
