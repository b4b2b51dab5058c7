// Device selection in the unit and the stand-alone unit queries that fill the device panel.

#include "window/form1.h"
#include "text/opstext.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

namespace corvane {

namespace {

// How often an operation looks whether a stand-alone query it waits for has ended.
constexpr int kQueryPollMs = 10;

} // namespace

bool Form1::unitQueryMayStart() const {
    // Not the busy state: a reply that locks the controls ("21", no device) leaves no operation
    // running, and the queries are how the operator finds out what the unit holds then.
    return !m_queryRunning && !replyWaitInProgress() && m_operations == 0 && !m_commandRunning &&
           !m_commandRunRunning;
}

QCoro::Task<> Form1::letQueryFinish() {
    while (m_queryRunning)
        co_await sleep(kQueryPollMs);
}

QCoro::Task<> Form1::TSsub(QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Device Select"));

    DiviCCommand(RemoteCMD);
    bool select = true;
    if (Rcmd1.isEmpty()) {
        if (LbDevSetCode->text() == QLatin1String("--")) {
            select = false;
        } else {
            Rcmd1 = LbDevSetCode->text();
            Rcmd2 = LbDevStr1->text();
            Rcmd3 = LbDevStr2->text();
        }
    }

    bool query = true;
    if (select) {
        if (Rcmd2.isEmpty())
            Rcmd2 = QStringLiteral("-");
        if (Rcmd3.isEmpty())
            Rcmd3 = QStringLiteral("-");
        Output(QStringLiteral("TS") + Rcmd1 + QStringLiteral(",") + Rcmd2 + QStringLiteral(",") +
               Rcmd3);
        co_await CeckAnsRX(QStringLiteral("TS"));
        if (!m_parameterRefused && AnsRxCode == QLatin1String("21")) {
            // Show what the unit holds instead of the rejected code; no "OK".
            Output(QStringLiteral("US0"));
            co_await CeckAnsRX(QStringLiteral("US0"));
            if (answeredOk()) {
                Output(QStringLiteral("US1"));
                co_await CeckAnsRX(QStringLiteral("US1"));
            }
            query = false;
        } else {
            query = answeredOk();
        }
    }

    if (query) {
        Output(QStringLiteral("US0"));
        co_await CeckAnsRX(QStringLiteral("US0"));
        if (answeredOk()) {
            Output(QStringLiteral("US1"));
            co_await CeckAnsRX(QStringLiteral("US1"));
            if (answeredOk())
                AddList1(QStringLiteral("OK"));
        }
    }
    PbReEn();
}

QCoro::Task<> Form1::PbDevice_Click() {
    co_await TSsub(TexDVS->text());
}

// The stand-alone queries run without the busy state. One that would mix its reply with another
// exchange (a query or an operation already talking to the unit) is not started.

QCoro::Task<> Form1::PbUS0_Click() {
    if (!unitQueryMayStart())
        co_return;
    m_queryRunning = true;
    const auto done = qScopeGuard([this] { m_queryRunning = false; });

    AddList1(QString());
    Output(QStringLiteral("US0"));
    co_await CeckAnsRX(QStringLiteral("US0"));
    if (answeredOk()) {
        Output(QStringLiteral("US1"));
        co_await CeckAnsRX(QStringLiteral("US1"));
    }
    if (answeredOk() && LbDevSetCode->text() != QLatin1String("--")) {
        // Selects the unit's own device again: code and first text only.
        Output(QStringLiteral("TS") + LbDevSetCode->text() + QStringLiteral(",") +
               LbDevStr1->text());
        co_await CeckAnsRX(QStringLiteral("TS"));
        if (answeredOk())
            AddList1(QStringLiteral("OK"));
    }
}

QCoro::Task<> Form1::PbUS2_Click() {
    if (!unitQueryMayStart())
        co_return;
    m_queryRunning = true;
    const auto done = qScopeGuard([this] { m_queryRunning = false; });

    AddList1(QString());
    Output(QStringLiteral("US2"));
    co_await CeckAnsRX(QStringLiteral("US2"));
    if (answeredOk())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<> Form1::インテルる_Click() {
    if (!unitQueryMayStart())
        co_return;
    m_queryRunning = true;
    const auto done = qScopeGuard([this] { m_queryRunning = false; });

    AddList1(QString());
    Output(QStringLiteral("TS2F,インテルる,am27r010gg"));
    co_await CeckAnsRX(QStringLiteral("TS"));
    if (answeredOk())
        AddList1(QStringLiteral("OK"));
}

} // namespace corvane
