#pragma once
// Test support: a Form1 on a scripted or emulated line in a temporary folder, with helpers to run
// an operation to its end and to read the log.

#include "app/form1.h"
#include "link/emulatedport.h"
#include "link/scriptedport.h"

#include <QCoro/QCoroTask>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace corvane::test {

// Runs the event loop until `task` has finished or `timeoutMs` has passed; true when it finished.
bool runToEnd(QCoro::Task<> task, int timeoutMs = 10000);
// Runs the event loop for `ms` milliseconds.
void spin(int ms);
// Writes `bytes` to `path` (the test program stops if it cannot) and returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);
// The bytes of the file at `path`, or "<missing>" when it cannot be read.
QByteArray readFile(const QString &path);

class FormFixture {
public:
    // A window whose line monitor ticks every `timerIntervalMs` (0: only when the test calls
    // Timer1_Timer), with its settings file in a fresh temporary folder.
    explicit FormFixture(int timerIntervalMs = 0, PortFactory factory = {});
    ~FormFixture();

    // Puts an open scripted line in place and returns it (owned by the window).
    ScriptedPort *useScripted();
    // Puts an open emulated unit in place and returns it (owned by the window).
    EmulatedPort *useEmulated(UnitOptions options = {}, bool paced = false);

    // The panel and reply code as a greeting leaves them with a device selected, then PbReEn.
    void setDevice(const QString &code, const QString &endAddress,
                   const QString &kind = QStringLiteral("EEPROM"),
                   const QString &width = QStringLiteral("(Byte ROM)"));

    [[nodiscard]] QStringList log() const;
    // The log lines from the last empty line on (an operation's lines start with an empty line).
    [[nodiscard]] QStringList lastBlock() const;
    // Every line ever appended to the log, in order (lines the log has since dropped or rewritten
    // included).
    [[nodiscard]] QStringList history() const { return m_history; }
    void clearHistory() { m_history.clear(); }
    [[nodiscard]] QString path(const QString &name) const { return m_dir.filePath(name); }

    Form1 &form() { return *m_form; }
    Form1 *operator->() { return m_form.get(); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<Form1> m_form;
    QStringList m_history;
};

} // namespace corvane::test
