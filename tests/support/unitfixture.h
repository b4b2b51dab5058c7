#pragma once
// Test support: a unit's controller on a scripted or emulated line with its settings file in a
// temporary folder; its state set and read by the names of the window's controls, and its log as
// the window shows it.

#include "controller/unitcontroller.h"
#include "ports/emulatedport.h"
#include "ports/journalingport.h"
#include "testing.h"

#include <QStringList>
#include <QTemporaryDir>

#include <list>
#include <memory>

namespace corvane::test {

// "Name=value" words joined by ";", Name a control's object name: a label's, field's or combo
// box's text, an option's value ("1" set), a button's or menu's enabled flag; "Name!" an option's
// enabled flag. "AnsRxCode" is the reply code, "red" (1 or 0) whether the device code shows red.
void setControls(UnitController &unit, const QString &words);
[[nodiscard]] QString controls(const UnitController &unit, const QString &words);

class UnitFixture {
public:
    // Ticks every `timerIntervalMs` (0: when the test calls Timer1_Timer); no start-up connection.
    // With a tap, every port the controller uses is a journaling port on it.
    explicit UnitFixture(int timerIntervalMs = 0, PortFactory factory = {}, PortTap *tap = nullptr);

    // Puts an open scripted line or emulated unit in place (journaled with a tap) and returns it
    // (owned by the unit).
    ScriptedPort *useScripted();
    EmulatedPort *useEmulated(UnitOptions options = {}, bool paced = false);
    // The panel as a greeting leaves it with a device selected (texts "X" and "Y"), AnsRxCode
    // "00", then PbUnEn and PbReEn.
    void setDevice(const QString &code, const QString &endAddress,
                   const QString &kind = QStringLiteral("EEPROM"),
                   const QString &width = QStringLiteral("(Byte ROM)"));
    void set(const QString &words) { setControls(*m_unit, words); }
    // One text as the operator types it into the control of that name (";" and all).
    void setText(const QString &name, const QString &text);
    [[nodiscard]] QString probe(const QString &words) const { return controls(*m_unit, words); }
    // Whether the control of that object name would be enabled.
    [[nodiscard]] bool enabled(const QString &name) const {
        return m_unit->enabledControls().contains(name);
    }
    // The last progress text (empty once a transfer ended) and the records a text save received.
    [[nodiscard]] QString progress() const { return m_progress; }
    [[nodiscard]] int records() const { return m_records; }

    // The log as the window shows it: its last 24 lines, passing lines included.
    [[nodiscard]] QStringList log() const;
    void clearLog() { m_shown.clear(); }
    // Every line ever added to the log, in order.
    [[nodiscard]] QStringList history() const { return m_history; }
    void clearHistory() { m_history.clear(); }
    [[nodiscard]] QString path(const QString &name) const { return m_dir.filePath(name); }

    UnitController &unit() { return *m_unit; }
    UnitController *operator->() { return m_unit.get(); }

private:
    void use(SerialPort *port);
    // A line at the end of the log, or the passing line `id` (not 0) changed.
    void show(int id, const QString &text);
    QTemporaryDir m_dir;
    std::unique_ptr<UnitController> m_unit;
    PortTap *m_tap;
    QStringList m_history;
    QString m_progress;
    int m_records = 0;
    std::list<std::pair<int, QString>> m_shown; // id 0: a line of the log, else a passing line
};

} // namespace corvane::test
