#pragma once
// Test support: a Form1 on a scripted or emulated line with its settings file in a temporary
// folder, helpers to run an operation to its end, and to set and read controls by object name.

#include "window/form1.h"
#include "ports/emulatedport.h"
#include "ports/scriptedport.h"

#include <QComboBox>
#include <QCoro/QCoroTask>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace corvane::test {

// Runs the event loop until `task` has finished or `timeoutMs` has passed; true when it finished.
bool runToEnd(QCoro::Task<> task, int timeoutMs = 10000);
// Runs the event loop for `ms` milliseconds (sleeping, not spinning).
void spin(int ms);
// Writes `bytes` to `path` (the test program stops if it cannot) and returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);
// The bytes of the file at `path`, or "<missing>" when it cannot be read.
QByteArray readFile(const QString &path);
// "Name=value" words joined by ";", Name a control's object name: a label's, field's or combo
// box's text, an option's value ("1" set), a button's enabled flag; "Name!" any control's enabled
// flag. setControls() takes "red" for painting the device code red; controls() shows the words it
// is given with the window's values, "AnsRxCode" and "red" (1 or 0) included.
void setControls(Form1 &form, const QString &words);
[[nodiscard]] QString controls(const Form1 &form, const QString &words);
// Has `port` answer each line of `script` (lines and answers taking turns; an empty answer or
// "<refused>": none; a long one in pieces 50 ms apart, "|" separates pieces 0.4 s apart) and
// returns the lines.
QList<QByteArray> expectScript(ScriptedPort *port, const QList<QByteArray> &script);

// The bytes one direction of a journal file stands for ('>' sent, '<' received): after "> " a
// text (CP932) and its CR LF, after ">-" a text alone, after ">x " hex bytes.
QByteArray journalBytes(const QString &path, char mark);

class FormFixture {
public:
    // Ticks every `timerIntervalMs` (0: when the test calls Timer1_Timer); no start-up connection.
    explicit FormFixture(int timerIntervalMs = 0, PortFactory factory = {},
                         Journal *journal = nullptr);

    // Puts an open scripted line or emulated unit in place and returns it (owned by the window).
    ScriptedPort *useScripted();
    EmulatedPort *useEmulated(UnitOptions options = {}, bool paced = false);
    // The panel as a greeting leaves it with a device selected (texts "X" and "Y"), AnsRxCode
    // "00", then PbUnEn and PbReEn.
    void setDevice(const QString &code, const QString &endAddress,
                   const QString &kind = QStringLiteral("EEPROM"),
                   const QString &width = QStringLiteral("(Byte ROM)"));
    void set(const QString &words) { setControls(*m_form, words); }
    [[nodiscard]] QString probe(const QString &words) const { return controls(*m_form, words); }

    [[nodiscard]] QStringList log() const;
    // Object names of the buttons in sight and of the menus, enabled ones only unless `all`,
    // sorted and joined by one blank.
    [[nodiscard]] QString enabledInSight(bool all = false) const;
    // Every line ever appended to the log, in order (lines since dropped or rewritten included).
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
