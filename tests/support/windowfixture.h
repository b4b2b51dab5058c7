#pragma once
// Test support for what only the window has: Form1 on a unit's controller (settings file in a
// temporary folder).

#include "unitfixture.h"
#include "window/form1.h"

namespace corvane::test {

class WindowFixture {
public:
    WindowFixture();
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
