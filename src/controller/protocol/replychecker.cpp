// CeckAnsRX: receives the unit's reply line, has it judged (judgeReply, a pure function of the
// reply and the panel) and applies the outcome: log lines, panel, busy state.

#include "controller/unitcontroller.h"
#include "text/cp932.h"
#include "text/replyjudge.h"

#include <QTimer>

namespace corvane {

namespace {

constexpr int kWaitMomentMs = 1000;

} // namespace

void UnitController::refuseParameter() {
    report(Notice::ParameterRefused);
}

QCoro::Task<Reply> UnitController::exchange(const QString &line, const QString &MODE) {
    const Sent sent = Output(line);
    co_return co_await CeckAnsRX(MODE, sent);
}

QCoro::Task<Reply> UnitController::CeckAnsRX(QString MODE, Sent sent) {
    if (sent == Sent::Unencodable) {
        // Nothing was sent: there is no reply to judge, and AnsRxCode stays the last reply's.
        refuseParameter();
        co_return Reply{Reply::Kind::ParameterRefused, AnsRxCode, AddData, {}};
    }
    if (sent == Sent::Refused) {
        // The command never left: nothing to wait for. A port that is gone answers nothing.
        AddData.clear();
        AnsRxCode = MSComm1->isOpen() ? QStringLiteral("99") : QStringLiteral("98");
    } else if (const std::optional<int> timeoutMs = replyTimeoutMs(MODE)) {
        co_await receiveReply(*timeoutMs);
    }
    const ReplyOutcome outcome = judgeReply(AnsRxCode, MODE, AddData, panelFacts());
    applyOutcome(outcome);
    co_return Reply{replyKind(AnsRxCode), AnsRxCode, AddData, outcome.fields};
}

QCoro::Task<> UnitController::receiveReply(int timeoutMs) {
    AddData.clear();
    if (!MSComm1->isOpen()) {
        // A port that is gone (or never opened) answers nothing: the link is lost.
        AnsRxCode = QStringLiteral("98");
        co_return;
    }
    const int placeholder = showPassingLine(QString());
    QString shown;
    // A moment without a complete reply: the operator is asked to wait.
    QTimer moment;
    moment.setSingleShot(true);
    connect(&moment, &QTimer::timeout, this, [this, placeholder, &shown] {
        if (shown.isEmpty()) {
            shown = QStringLiteral(" - Wait a moment ");
            updatePassingLine(placeholder, shown);
        }
    });
    moment.start(kWaitMomentMs);

    ++m_replyWaits;
    QByteArray reply;
    co_await nextPass();
    // A reply that never ends is given up at the cap like one that never came.
    co_await readInput(
        [&reply, &moment](char byte) {
            reply.append(byte);
            moment.start();
            return reply.endsWith("\r\n") || reply.size() >= kMaxReplyBytes ? Take::Done
                                                                            : Take::More;
        },
        ReadRule{timeoutMs, false});
    --m_replyWaits;
    AddData = fromCp932(reply);
    endPassingLine(placeholder);
    if (!reply.endsWith("\r\n")) {
        AnsRxCode = QStringLiteral("98");
        // The placeholder stays in the log now.
        AddList1(shown);
        co_return;
    }
    AnsRxCode = AddData.left(2);
}

PanelFacts UnitController::panelFacts() const {
    PanelFacts facts;
    facts.deviceCode = m_panel.deviceCode;
    facts.deviceCodeRed = m_panel.deviceCodeRefused;
    facts.width = m_panel.width;
    facts.bufferTypeLow = m_panel.bufferTypeLow;
    facts.bufferTypeHigh = m_panel.bufferTypeHigh;
    return facts;
}

void UnitController::applyOutcome(const ReplyOutcome &outcome) {
    for (const QString &line : outcome.log)
        AddList1(line);
    AddData = outcome.reply;
    if (outcome.fields) {
        const auto &f = outcome.fields->field;
        Rcmd0 = f[0];
        Rcmd1 = f[1];
        Rcmd2 = f[2];
        Rcmd3 = f[3];
        Rcmd4 = f[4];
        Rcmd5 = f[5];
    }
    if (outcome.clearCancel)
        EscFlag = false;
    if (outcome.busy != BusyChange::None)
        setBusy(outcome.busy == BusyChange::LinkLost ? Busy::LinkLost : Busy::DeviceSetUpOnly);

    const PanelChange &p = outcome.panel;
    PanelState panel = m_panel;
    for (auto [to, from] :
         {std::pair{&panel.deviceCode, &p.deviceCode},
          std::pair{&panel.deviceEntry, &p.deviceEntry}, std::pair{&panel.text1, &p.text1},
          std::pair{&panel.text2, &p.text2}, std::pair{&panel.kind, &p.kind},
          std::pair{&panel.width, &p.width}, std::pair{&panel.endAddress, &p.endAddress},
          std::pair{&panel.bufferAddress, &p.bufferAddress}}) {
        if (*from)
            *to = **from;
    }
    panel.deviceCodeRefused = p.deviceCodeRed.value_or(panel.deviceCodeRefused);
    // Setting one buffer type clears the other, as option buttons do.
    if (p.bufferTypeLow.value_or(false))
        std::tie(panel.bufferTypeLow, panel.bufferTypeHigh) = std::pair{true, false};
    if (p.bufferTypeHigh.value_or(false))
        std::tie(panel.bufferTypeLow, panel.bufferTypeHigh) = std::pair{false, true};
    panel.bufferTypeEnabled = p.bufferTypeEnabled.value_or(panel.bufferTypeEnabled);
    setPanel(panel);
}

} // namespace corvane
