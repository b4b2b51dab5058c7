// Choosing the port and speed, opening the line and greeting the unit.

#include "shell/commandline.h"
#include "window/form1.h"
#include "shell/journal.h"
#include "ports/portlist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>

namespace corvane {

QString Form1::Rs232Port() const {
    return Combo1->currentText();
}

void Form1::fillPortChoices() {
#ifdef Q_OS_WIN
    constexpr bool windows = true;
#else
    constexpr bool windows = false;
#endif
    const QString text = Combo1->currentText();
    const QSignalBlocker quiet(Combo1);
    Combo1->clear();
    for (const PortChoice &choice : portChoices(systemPorts(), windows)) {
        Combo1->addItem(choice.text);
        if (!choice.tooltip.isEmpty())
            Combo1->setItemData(Combo1->count() - 1, choice.tooltip, Qt::ToolTipRole);
    }
    // The list may be wider than the box: device paths are longer than the box's digits.
    int widest = 0;
    for (int i = 0; i < Combo1->count(); ++i)
        widest =
            std::max(widest, Combo1->view()->fontMetrics().horizontalAdvance(Combo1->itemText(i)));
    Combo1->view()->setMinimumWidth(widest + 32);
    Combo1->setCurrentIndex(Combo1->findText(text));
    Combo1->setEditText(text);
}

QString Form1::Rs232Pbs() const {
    return Combo2->currentText();
}

QCoro::Task<> Form1::PbON_Click() {
    const OperationScope operation = operationScope();
    m_greetedOk = false;
    if (MSComm1->isOpen())
        MSComm1->close();
    const QString portText = Rs232Port();
    std::unique_ptr<SerialPort> port = m_options.portFactory(portText);
    port->setPortText(portText);
    port->setSettings(Rs232Pbs() + QStringLiteral(",n,8,1"));
    usePort(std::move(port));
    wakeWaiters();
    if (m_options.journal)
        m_options.journal->header(programVersion(), portText, MSComm1->settings());

    // Opening may take a while (a network port): the window stays live meanwhile, with the
    // operations and "再接続" locked so that nothing replaces the port before it has opened.
    PbUnEn();
    const QPointer<SerialPort> opening = MSComm1.get();
    const bool opened = co_await MSComm1->openAsync();
    if (MSComm1.get() != opening)
        co_return;
    if (!opened) {
        reportUnopenedPort(portText);
        co_return;
    }
    co_await greetUnit();
}

void Form1::reportUnopenedPort(const QString &portText) {
    // Nothing can be sent: the window stays as after a lost link, so that only reconnecting, the
    // command line, the settings, the menus and EXIT remain.
    PbUnEn();
    AddList1(QString());
    QString line = QStringLiteral("！通信ポートを開けません。（") + portText + QStringLiteral("）");
    if (!MSComm1->errorString().isEmpty())
        line += QLatin1Char(' ') + MSComm1->errorString();
    AddList1(line);
    AnsRxCode = QStringLiteral("98");
    PbReEn();
}

QCoro::Task<> Form1::greetUnit() {
    PbUnEn();
    AddList1(QString());
    co_await CLR232IN();

    Output(QStringLiteral("ON"));
    co_await CeckAnsRX(QStringLiteral("ON"));
    bool goOn = answeredOk();
    if (goOn) {
        AddList1(QStringLiteral("Corvaneと接続しました。"));
        Output(QStringLiteral("US0"));
        co_await CeckAnsRX(QStringLiteral("US0"));
        goOn = answeredOk();
    }
    if (goOn) {
        Output(QStringLiteral("US1"));
        co_await CeckAnsRX(QStringLiteral("US1"));
        goOn = answeredOk();
    }
    if (goOn && LbDevSetCode->text() != QLatin1String("--")) {
        Output(QStringLiteral("TS") + LbDevSetCode->text() + QStringLiteral(",") +
               LbDevStr1->text());
        co_await CeckAnsRX(QStringLiteral("TS"));
        goOn = answeredOk() || (!m_parameterRefused && AnsRxCode == QLatin1String("21"));
    }
    if (goOn) {
        Output(QStringLiteral("US2"));
        co_await CeckAnsRX(QStringLiteral("US2"));
        m_greetedOk = answeredOk();
        if (m_greetedOk)
            AddList1(QStringLiteral("OK"));
    }
    PbReEn();
}

} // namespace corvane
