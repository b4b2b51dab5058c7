#include "unitfixture.h"

#include <QHash>

namespace corvane::test {

namespace {

struct State {
    PanelState panel;
    Choices choices;
};

// The texts the controls' names stand for.
const QHash<QString, QString *(*)(State &)> kTexts = {
    {"TexDVS", [](State &s) { return &s.panel.deviceEntry; }},
    {"LbDevSetCode", [](State &s) { return &s.panel.deviceCode; }},
    {"LbDevEAddr", [](State &s) { return &s.panel.endAddress; }},
    {"LbDevStr1", [](State &s) { return &s.panel.text1; }},
    {"LbDevStr2", [](State &s) { return &s.panel.text2; }},
    {"LbDevRom1", [](State &s) { return &s.panel.kind; }},
    {"LbDevRom2", [](State &s) { return &s.panel.width; }},
    {"StBuffAdr", [](State &s) { return &s.panel.bufferAddress; }},
    {"Combo1", [](State &s) { return &s.choices.settings.port; }},
    {"Combo2", [](State &s) { return &s.choices.settings.speed; }},
    {"TexResGoFile1", [](State &s) { return &s.choices.settings.responseFile1; }},
    {"TexResGoFile2", [](State &s) { return &s.choices.settings.responseFile2; }},
    {"TexLoadDir", [](State &s) { return &s.choices.settings.loadPath; }},
    {"TexSaveDir", [](State &s) { return &s.choices.settings.savePath; }},
    {"DUMPS", [](State &s) { return &s.choices.dumpStart; }},
    {"DUMPE", [](State &s) { return &s.choices.dumpEnd; }},
    {"TexCMD", [](State &s) { return &s.choices.command; }},
};

// The options, in groups of which one at most is set.
using Option = std::pair<QString, bool *(*)(State &)>;
const std::vector<std::vector<Option>> kOptions = {
    {{"Option1", [](State &s) { return &s.choices.settings.noAutoRun; }},
     {"Option2", [](State &s) { return &s.choices.settings.autoRunFile1; }},
     {"Option3", [](State &s) { return &s.choices.settings.autoRunFile2; }}},
    {{"OpFileModeH", [](State &s) { return &s.choices.settings.intelHex; }},
     {"OpFileModeS", [](State &s) { return &s.choices.settings.motorolaS; }},
     {"OpFileModeB", [](State &s) { return &s.choices.settings.binary; }}},
    {{"OpDevAModeA", [](State &s) { return &s.choices.accessAll; }},
     {"OpDevAModeO", [](State &s) { return &s.choices.accessOdd; }},
     {"OpDevAModeE", [](State &s) { return &s.choices.accessEven; }}},
    {{"OpBuffTypeL", [](State &s) { return &s.panel.bufferTypeLow; }},
     {"OpBuffTypeH", [](State &s) { return &s.panel.bufferTypeHigh; }}},
};

// The option of that name; `set`: the others of its group are cleared.
bool *option(State &s, const QString &name, bool set) {
    for (const auto &group : kOptions) {
        const auto named = std::ranges::find(group, name, &Option::first);
        for (const auto &[other, member] : group)
            *member(s) = *member(s) && !(set && named != group.end());
        if (named != group.end())
            return named->second(s);
    }
    return nullptr;
}

} // namespace

void setControls(UnitController &unit, const QString &words) {
    State s{unit.panel(), unit.choices()};
    for (const QString &word : words.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char('='), 0, 0);
        const QString value = word.section(QLatin1Char('='), 1);
        const bool on = value == QLatin1String("1");
        if (name == QLatin1String("red"))
            s.panel.deviceCodeRefused = value != QLatin1String("0");
        else if (kTexts.contains(name))
            *kTexts[name](s) = value;
        else if (bool *flag = option(s, name, on))
            *flag = on;
        else
            qFatal("cannot set %s", qPrintable(word));
    }
    unit.setPanel(s.panel);
    unit.setChoices(s.choices);
}

void UnitFixture::setText(const QString &name, const QString &text) {
    State s{m_unit->panel(), m_unit->choices()};
    *kTexts[name](s) = text;
    m_unit->setPanel(s.panel);
    m_unit->setChoices(s.choices);
}

QString controls(const UnitController &unit, const QString &words) {
    State s{unit.panel(), unit.choices()};
    const QSet<QString> enabled = unit.enabledControls();
    QStringList shown;
    for (const QString &word : words.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char('='), 0, 0);
        QString value;
        if (name == QLatin1String("AnsRxCode"))
            value = unit.AnsRxCode;
        else if (name == QLatin1String("red"))
            value = QString::number(s.panel.deviceCodeRefused);
        else if (name.startsWith(QLatin1String("OpBuffType")) && name.endsWith(QLatin1Char('!')))
            value = QString::number(s.panel.bufferTypeEnabled);
        else if (kTexts.contains(name))
            value = *kTexts[name](s);
        else if (bool *flag = option(s, name, false))
            value = QString::number(*flag);
        else
            value = QString::number(enabled.contains(name.chopped(name.endsWith('!'))));
        shown << name + QLatin1Char('=') + value;
    }
    return shown.join(QLatin1Char(';'));
}

UnitFixture::UnitFixture(int timerIntervalMs, PortFactory factory, PortTap *tap)
    : m_tap(tap) {
    ControllerOptions options;
    options.settingsPath = m_dir.filePath(QStringLiteral("Corvane.INI"));
    options.timerIntervalMs = timerIntervalMs;
    options.portFactory = [factory = std::move(factory), tap](const QString &portText) {
        std::unique_ptr<SerialPort> port = factory ? factory(portText) : makePort(portText);
        if (tap)
            port = std::make_unique<JournalingPort>(std::move(port), tap);
        return port;
    };
    m_unit = std::make_unique<UnitController>(options);
    m_unit->StartUpWork = 2;
    UnitController *unit = m_unit.get();
    QObject::connect(unit, &UnitController::progressChanged, unit,
                     [this](const QString &text) { m_progress = text; });
    QObject::connect(unit, &UnitController::recordReceived, unit, [this] { ++m_records; });
    QObject::connect(unit, &UnitController::logLineAdded, unit, [this](const QString &line) {
        m_history.append(line);
        show(0, line);
    });
    QObject::connect(unit, &UnitController::passingLine, unit,
                     [this](int id, const QString &text) { show(id, text); });
    QObject::connect(unit, &UnitController::passingLineEnded, unit, [this](int id) {
        std::erase_if(m_shown, [id](const auto &line) { return line.first == id; });
    });
}

void UnitFixture::show(int id, const QString &text) {
    const auto shown = std::ranges::find(m_shown, id, &std::pair<int, QString>::first);
    if (id != 0 && shown != m_shown.end()) {
        shown->second = text;
        return;
    }
    if (m_shown.size() > 23)
        m_shown.pop_front();
    m_shown.emplace_back(id, text);
}

ScriptedPort *UnitFixture::useScripted() {
    auto *port = new ScriptedPort;
    port->open();
    use(port);
    return port;
}

void UnitFixture::use(SerialPort *port) {
    if (m_tap)
        m_unit->usePort(std::make_unique<JournalingPort>(std::unique_ptr<SerialPort>(port), m_tap));
    else
        m_unit->usePort(std::unique_ptr<SerialPort>(port));
}

EmulatedPort *UnitFixture::useEmulated(UnitOptions options, bool paced) {
    auto *port = new EmulatedPort(options);
    port->setPaced(paced);
    port->setSettings(QStringLiteral("38400,n,8,1"));
    port->open();
    use(port);
    return port;
}

void UnitFixture::setDevice(const QString &code, const QString &endAddress, const QString &kind,
                            const QString &width) {
    set(QStringLiteral("LbDevSetCode=%1;red=0;LbDevEAddr=%2;LbDevStr1=X;LbDevStr2=Y;LbDevRom1=%3;"
                       "LbDevRom2=%4")
            .arg(code, endAddress, kind, width));
    m_unit->AnsRxCode = QStringLiteral("00");
    m_unit->PbUnEn();
    m_unit->PbReEn();
}

QStringList UnitFixture::log() const {
    QStringList lines;
    for (const auto &[id, line] : m_shown)
        lines.append(line);
    return lines;
}

} // namespace corvane::test
