// The busy state: which controls the operator may use, judged from the busy state, the device
// panel and the last reply code.

#include "controller/unitcontroller.h"

namespace corvane {

namespace {

// The controls PbUnEn locks; the hidden query buttons stay as they are.
const QStringList kLockable = {
    QStringLiteral("PbBD"),      QStringLiteral("PbBL"),      QStringLiteral("PbBuff"),
    QStringLiteral("PbCansel"),  QStringLiteral("PbCL"),      QStringLiteral("PbCMD"),
    QStringLiteral("PbCP"),      QStringLiteral("PbDevice"),  QStringLiteral("PbER"),
    QStringLiteral("PbES"),      QStringLiteral("PbEE"),      QStringLiteral("PbExit"),
    QStringLiteral("PbGoLoad"),  QStringLiteral("PbGoSave"),  QStringLiteral("PbON"),
    QStringLiteral("PbPG"),      QStringLiteral("PbRD"),      QStringLiteral("PbResGo1"),
    QStringLiteral("PbResGo2"),  QStringLiteral("PbWT"),      QStringLiteral("PbLoadDir"),
    QStringLiteral("PbSaveDir"), QStringLiteral("PBsysinit"), QStringLiteral("MenuFile"),
    QStringLiteral("MenuOption")};

void enable(QSet<QString> &on, std::initializer_list<const char *> names) {
    for (const char *name : names)
        on.insert(QString::fromLatin1(name));
}

void PbUnEn(QSet<QString> &on) {
    for (const QString &name : kLockable)
        on.remove(name);
}

void PbReEn(QSet<QString> &on, const EnabledFacts &facts) {
    enable(on, {"PbBD", "PbBL", "PbCL", "PbCMD", "PbCP", "PbES", "PbEE", "PbGoLoad", "PbGoSave",
                "PbPG", "PbRD", "PbResGo1", "PbResGo2", "PbUS0", "PbUS2", "PbWT", "PbLoadDir",
                "PbSaveDir", "PbBuff"});
    if (facts.panel.kind != u"EPROM")
        enable(on, {"PbER"});
    if (facts.panel.deviceCode == u"--" || facts.panel.deviceCodeRefused)
        PbUnEn(on);
    enable(on, {"PbBuff", "PbDevice", "PbCMD", "PbES", "PbEE"});
    if (replyKind(facts.lastCode) != Reply::Kind::Unit) // "98" no reply, "99" not sent
        PbUnEn(on);
    enable(on, {"PbExit", "PbON", "PbCMD", "PBsysinit", "MenuFile", "MenuOption"});
}

} // namespace

QSet<QString> enabledControls(const EnabledFacts &facts) {
    QSet<QString> on{QStringLiteral("PbUS0"), QStringLiteral("PbUS2")};
    switch (facts.busy) {
    case Busy::Operating:
        break;
    case Busy::Cancellable:
        enable(on, {"PbCansel"});
        break;
    case Busy::DeviceSetUpOnly:
        enable(on, {"PbDevice", "PbBuff"});
        break;
    case Busy::LinkLost:
        enable(on, {"PbExit", "PbON"});
        break;
    case Busy::Idle:
        PbReEn(on, facts);
        break;
    }
    // The line monitor lets the file buttons follow their paths while device set-up is open.
    if (facts.pathRule) {
        const bool device = on.contains(QStringLiteral("PbDevice"));
        for (auto [name, typed] :
             {std::pair{"PbGoLoad", facts.loadPath}, std::pair{"PbGoSave", facts.savePath}}) {
            if (device && typed)
                on.insert(QString::fromLatin1(name));
            else
                on.remove(QString::fromLatin1(name));
        }
    }
    return on;
}

QSet<QString> UnitController::enabledControls() const {
    return corvane::enabledControls({m_busy, m_panel, AnsRxCode, m_pathRule,
                                     !m_choices.settings.loadPath.isEmpty(),
                                     !m_choices.settings.savePath.isEmpty()});
}

void UnitController::setBusy(Busy busy) {
    if (busy == m_busy && !m_pathRule)
        return;
    m_busy = busy;
    m_pathRule = false;
    Q_EMIT busyChanged();
}

void UnitController::PbUnEn() {
    setBusy(Busy::Operating);
}

void UnitController::PbReEn() {
    setBusy(Busy::Idle);
}

void UnitController::openCancel(bool open) {
    if (open)
        setBusy(Busy::Cancellable);
    else if (m_busy == Busy::Cancellable)
        setBusy(Busy::Operating);
}

} // namespace corvane
