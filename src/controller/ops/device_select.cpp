// Device selection in the unit, the stand-alone unit queries that fill the device panel, and the
// opening every operation shares.

#include "controller/unitcontroller.h"
#include "text/opstext.h"

#include <QScopeGuard>

namespace corvane {

namespace {

// How often an operation looks whether a stand-alone query it waits for has ended.
constexpr int kQueryPollMs = 10;

} // namespace

QCoro::Task<> UnitController::openSteps(QString title, Opening order) {
    PbUnEn();
    co_await letQueryFinish();
    if (order == Opening::PurgeBlankTitle)
        co_await CLR232IN();
    AddList1(QString());
    if (order == Opening::BlankTitlePurge)
        AddList1(title);
    if (order == Opening::BlankPurgeTitle)
        co_await CLR232IN();
    if (order != Opening::BlankTitlePurge)
        AddList1(title);
    else
        co_await CLR232IN();
}

QCoro::Task<UnitController::Operation> UnitController::openOperation(QString title, Opening order) {
    Operation operation(this);
    co_await openSteps(std::move(title), order);
    co_return operation;
}

bool UnitController::unitQueryMayStart() const {
    // Not the busy state: a reply that locks the controls ("21", no device) leaves no operation
    // running, and the queries are how the operator finds out what the unit holds then.
    return !m_queryRunning && !replyWaitInProgress() && m_operations == 0 && !m_commandRunning &&
           !m_commandRunRunning;
}

QCoro::Task<> UnitController::letQueryFinish() {
    while (m_queryRunning)
        co_await sleep(kQueryPollMs);
}

QCoro::Task<> UnitController::TSsub(QString RemoteCMD) {
    const Operation operation = co_await openOperation(QStringLiteral("* Device Select"));
    DiviCCommand(RemoteCMD);
    bool select = true;
    if (Rcmd1.isEmpty()) {
        if (m_panel.deviceCode == u"--") {
            select = false;
        } else {
            Rcmd1 = m_panel.deviceCode;
            Rcmd2 = m_panel.text1;
            Rcmd3 = m_panel.text2;
        }
    }

    bool query = true;
    if (select) {
        if (Rcmd2.isEmpty())
            Rcmd2 = QStringLiteral("-");
        if (Rcmd3.isEmpty())
            Rcmd3 = QStringLiteral("-");
        const Reply reply = co_await exchange(QStringLiteral("TS") + Rcmd1 + QLatin1Char(',') +
                                                  Rcmd2 + QLatin1Char(',') + Rcmd3,
                                              QStringLiteral("TS"));
        if (reply.is(u"21")) {
            // Show what the unit holds instead of the rejected code; no "OK".
            const Reply held = co_await exchange(QStringLiteral("US0"), QStringLiteral("US0"));
            if (held.ok())
                co_await exchange(QStringLiteral("US1"), QStringLiteral("US1"));
            query = false;
        } else {
            query = reply.ok();
        }
    }

    // (No co_await inside a condition: GCC 12 miscompiles it.)
    if (!query)
        co_return;
    Reply reply = co_await exchange(QStringLiteral("US0"), QStringLiteral("US0"));
    if (reply.ok())
        reply = co_await exchange(QStringLiteral("US1"), QStringLiteral("US1"));
    if (reply.ok())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> UnitController::PbDevice_Click() {
    co_await TSsub(m_panel.deviceEntry);
}

// The stand-alone queries run without the busy state. One that would mix its reply with another
// exchange (a query or an operation already talking to the unit) is not started.
QCoro::Task<> UnitController::runQuery(std::function<QCoro::Task<>()> query) {
    if (!unitQueryMayStart())
        co_return;
    m_queryRunning = true;
    const auto done = qScopeGuard([this] { m_queryRunning = false; });
    AddList1(QString());
    co_await query();
}

QCoro::Task<> UnitController::PbUS0_Click() {
    co_await runQuery([this]() -> QCoro::Task<> {
        Reply reply = co_await exchange(QStringLiteral("US0"), QStringLiteral("US0"));
        if (reply.ok())
            reply = co_await exchange(QStringLiteral("US1"), QStringLiteral("US1"));
        if (reply.ok() && m_panel.deviceCode != u"--") {
            // Selects the unit's own device again: code and first text only.
            reply = co_await exchange(QStringLiteral("TS") + m_panel.deviceCode + QLatin1Char(',') +
                                          m_panel.text1,
                                      QStringLiteral("TS"));
            if (reply.ok())
                AddList1(QStringLiteral("OK"));
        }
    });
}

QCoro::Task<> UnitController::PbUS2_Click() {
    co_await runQuery([this]() -> QCoro::Task<> {
        const Reply reply = co_await exchange(QStringLiteral("US2"), QStringLiteral("US2"));
        if (reply.ok())
            AddList1(QStringLiteral("OK"));
    });
}

QCoro::Task<> UnitController::インテルる_Click() {
    co_await runQuery([this]() -> QCoro::Task<> {
        const Reply reply =
            co_await exchange(QStringLiteral("TS2F,インテルる,am27r010gg"), QStringLiteral("TS"));
        if (reply.ok())
            AddList1(QStringLiteral("OK"));
    });
}

} // namespace corvane
