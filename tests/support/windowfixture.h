#pragma once
// Test support for what only the window has: Form1 on a unit's controller (settings file in a
// temporary folder), its controls set and read by object name.

#include "unitfixture.h"
#include "window/form1.h"

namespace corvane::test {

// As setControls/controls of unitfixture.h, but on the window's controls: a label's, field's or
// combo box's text, an option's value, a button's enabled flag, "Name!" any control's enabled flag.
void setWidgets(Form1 &form, const QString &words);
[[nodiscard]] QString widgets(const Form1 &form, const QString &words);

class WindowFixture {
public:
    WindowFixture();
    void set(const QString &words) { setWidgets(*m_form, words); }
    [[nodiscard]] QString probe(const QString &words) const { return widgets(*m_form, words); }
    // The log as List1 shows it.
    [[nodiscard]] QStringList log() const;
    // Object names of the enabled buttons in sight and of the menus (all of them with `all`),
    // sorted and joined by one blank.
    [[nodiscard]] QString enabledInSight(bool all = false) const;
    UnitFixture &unit() { return m_unit; }
    Form1 &form() { return *m_form; }
    Form1 *operator->() { return m_form.get(); }

private:
    UnitFixture m_unit;
    std::unique_ptr<Form1> m_form;
};

} // namespace corvane::test
