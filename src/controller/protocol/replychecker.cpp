// CeckAnsRX: receives the unit's reply line, has it judged (judgeReply, a pure function of the
// reply and the panel) and applies the outcome: log lines, panel, busy state.

#include "window/form1.h"
#include "text/cp932.h"
#include "text/replyjudge.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPersistentModelIndex>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace corvane {

namespace {

constexpr int kWaitMomentMs = 1000;
// The colour of a device code the unit refused.
const QColor kRefusedCode(255, 0, 0);

} // namespace

void Form1::refuseParameter() {
    AddList1(QStringLiteral("！ パラメータに、誤りがあります。"));
    m_commandRefused = true;
}

bool Form1::answeredOk() const {
    return !m_parameterRefused && AnsRxCode == QLatin1String("00");
}

QCoro::Task<> Form1::CeckAnsRX(QString MODE) {
    if (m_parameterRefused) {
        // Nothing was sent: there is no reply to judge, and AnsRxCode stays the last reply's.
        refuseParameter();
        co_return;
    }
    if (const std::optional<int> timeoutMs = replyTimeoutMs(MODE))
        co_await receiveReply(*timeoutMs);
    applyOutcome(judgeReply(AnsRxCode, MODE, AddData, panelFacts()));
}

QCoro::Task<> Form1::receiveReply(int timeoutMs) {
    AddData.clear();
    if (!MSComm1->isOpen()) {
        // A port that is gone (or never opened) answers nothing: the link is lost.
        m_sendRefused = false;
        AnsRxCode = QStringLiteral("98");
        co_return;
    }
    if (m_sendRefused) {
        // The command never left: nothing to wait for.
        m_sendRefused = false;
        AnsRxCode = QStringLiteral("99");
        co_return;
    }
    showInLog(QString());
    const QPersistentModelIndex placeholder(List1->model()->index(List1->count() - 1, 0));
    // A moment without a complete reply: the operator is asked to wait.
    QTimer moment;
    moment.setSingleShot(true);
    connect(&moment, &QTimer::timeout, this, [this, &placeholder] {
        if (placeholder.isValid() && List1->item(placeholder.row())->text().isEmpty())
            List1->item(placeholder.row())->setText(QStringLiteral(" - Wait a moment "));
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
    if (!reply.endsWith("\r\n")) {
        AnsRxCode = QStringLiteral("98");
        // The placeholder stays in the log now.
        if (placeholder.isValid())
            recordLogLine(List1->item(placeholder.row())->text());
        co_return;
    }
    if (placeholder.isValid())
        delete List1->takeItem(placeholder.row());
    AnsRxCode = AddData.left(2);
}

PanelFacts Form1::panelFacts() const {
    PanelFacts facts;
    facts.deviceCode = LbDevSetCode->text();
    facts.deviceCodeRed = textColor(LbDevSetCode) == kRefusedCode;
    facts.width = LbDevRom2->text();
    facts.bufferTypeLow = OpBuffTypeL->isChecked();
    facts.bufferTypeHigh = OpBuffTypeH->isChecked();
    return facts;
}

void Form1::applyOutcome(const ReplyOutcome &outcome) {
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
    if (outcome.busy != BusyChange::None) {
        PbUnEn();
        const bool linkLost = outcome.busy == BusyChange::LinkLost;
        (linkLost ? PbExit : PbDevice)->setEnabled(true);
        (linkLost ? PbON : PbBuff)->setEnabled(true);
    }

    const PanelChange &p = outcome.panel;
    const auto setText = [](auto *control, const std::optional<QString> &text) {
        if (text)
            control->setText(*text);
    };
    setText(LbDevSetCode, p.deviceCode);
    setText(TexDVS, p.deviceEntry);
    setText(LbDevStr1, p.text1);
    setText(LbDevStr2, p.text2);
    setText(LbDevRom1, p.kind);
    setText(LbDevRom2, p.width);
    setText(LbDevEAddr, p.endAddress);
    setText(StBuffAdr, p.bufferAddress);
    if (p.deviceCodeRed)
        setTextColor(LbDevSetCode, *p.deviceCodeRed ? kRefusedCode : QColor(0, 0, 0));
    if (p.bufferTypeLow.value_or(false))
        setOptionValue(OpBuffTypeL, true);
    if (p.bufferTypeHigh.value_or(false))
        setOptionValue(OpBuffTypeH, true);
    if (p.bufferTypeEnabled) {
        for (QWidget *w : std::initializer_list<QWidget *>{Label18, OpBuffTypeL, OpBuffTypeH})
            w->setEnabled(*p.bufferTypeEnabled);
    }
}

} // namespace corvane
