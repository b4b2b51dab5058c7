// Opening the line and greeting the unit.

#include "controller/unitcontroller.h"
#include "text/opstext.h"

#include <QPointer>

namespace corvane {

QCoro::Task<> UnitController::PbON_Click() {
    const Operation operation(this, false);
    m_greetedOk = false;
    if (MSComm1->isOpen())
        MSComm1->close();
    const QString portText = Rs232Port();
    std::unique_ptr<SerialPort> port = m_options.portFactory(portText);
    port->setPortText(portText);
    port->setSettings(Rs232Pbs() + QStringLiteral(",n,8,1"));
    Q_EMIT connecting(portText, port->settings());
    usePort(std::move(port));
    wakeWaiters();

    // Opening may take a while (a network port): the controls stay live meanwhile, with the
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

void UnitController::reportUnopenedPort(const QString &portText) {
    // Nothing can be sent: the controls stay as after a lost link, so that only reconnecting, the
    // command line, the settings, the menus and EXIT remain.
    PbUnEn();
    AddList1(QString());
    AddList1(unopenedPortText(portText, MSComm1->errorString(), MSComm1->accessDenied()));
    AnsRxCode = QStringLiteral("98");
    PbReEn();
}

QCoro::Task<> UnitController::greetUnit() {
    PbUnEn();
    AddList1(QString());
    co_await CLR232IN();

    Reply reply = co_await exchange(QStringLiteral("ON"), QStringLiteral("ON"));
    if (reply.ok()) {
        AddList1(QStringLiteral("Corvaneと接続しました。"));
        reply = co_await exchange(QStringLiteral("US0"), QStringLiteral("US0"));
    }
    if (reply.ok())
        reply = co_await exchange(QStringLiteral("US1"), QStringLiteral("US1"));
    bool goOn = reply.ok();
    if (goOn && m_panel.deviceCode != u"--") {
        reply = co_await exchange(QStringLiteral("TS") + m_panel.deviceCode + QLatin1Char(',') +
                                      m_panel.text1,
                                  QStringLiteral("TS"));
        goOn = reply.ok() || reply.is(u"21");
    }
    if (goOn) {
        reply = co_await exchange(QStringLiteral("US2"), QStringLiteral("US2"));
        m_greetedOk = reply.ok();
        if (m_greetedOk)
            AddList1(QStringLiteral("OK"));
    }
    PbReEn();
}

} // namespace corvane
