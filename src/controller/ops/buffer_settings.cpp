// Buffer settings: the buffer RAM start address and the buffer type, each read back from the unit
// once it has taken them.

#include "controller/unitcontroller.h"
#include "text/opstext.h"

namespace corvane {

QCoro::Task<> UnitController::PbBuff_Click() {
    const Operation operation = co_await openOperation(QStringLiteral("* Set Buffer"));
    Reply reply;
    reply.code = QStringLiteral("00");
    if (!m_panel.bufferAddress.isEmpty()) {
        reply =
            co_await exchange(QStringLiteral("BS") + m_panel.bufferAddress, QStringLiteral("BS"));
        // Sent also for a byte device: the disabled options keep their value.
        if (reply.ok())
            reply = co_await exchange(m_panel.bufferTypeLow ? QStringLiteral("TW0")
                                                            : QStringLiteral("TW1"),
                                      QStringLiteral("TW"));
    }
    if (reply.ok())
        reply = co_await exchange(QStringLiteral("US2"), QStringLiteral("US2"));
    if (reply.ok())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> UnitController::BSsub(QString RemoteCMD) {
    const Operation operation =
        co_await openOperation(QStringLiteral("* Set Buffer start address"));
    Reply reply;
    reply.code = QStringLiteral("00");
    if (!RemoteCMD.isEmpty())
        reply = co_await exchange(QStringLiteral("BS") + RemoteCMD, QStringLiteral("BS"));
    if (reply.ok())
        reply = co_await exchange(QStringLiteral("US2"), QStringLiteral("US2CB"));
    if (reply.ok())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> UnitController::TWsub(QString RemoteCMD) {
    const Operation operation = co_await openOperation(QStringLiteral("* Buffer type"));
    Reply reply;
    reply.code = QStringLiteral("00");
    if (RemoteCMD == QLatin1String("L") || RemoteCMD == QLatin1String("H")) {
        reply = co_await exchange(RemoteCMD == QLatin1String("L") ? QStringLiteral("TW0")
                                                                  : QStringLiteral("TW1"),
                                  QStringLiteral("TW"));
    } else if (!RemoteCMD.isEmpty()) {
        // Nothing is sent: the program refuses the parameter itself, and a command-response run
        // stops here as it would on the unit's refusal.
        refuseParameter();
        co_return;
    }
    if (reply.ok())
        reply = co_await exchange(QStringLiteral("US2"), QStringLiteral("US2CT"));
    // The buffer type has just been set from the reply: the line reports the unit's type.
    if (reply.ok())
        AddList1(m_panel.bufferTypeLow ? QStringLiteral("OK: Even = Low")
                                       : QStringLiteral("OK: Even = Hi"));
}

QCoro::Task<> UnitController::Command4_Click() {
    co_await TWsub(QStringLiteral("L"));
}

} // namespace corvane
