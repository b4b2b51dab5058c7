#pragma once
// What the program's shell needs of the window: one window on a unit's controller, shown, told a
// line for its log only, and ended as "終了" ends it.

#include <QString>

#include <memory>

namespace corvane {

class Form1;
class UnitController;

class ProgramWindow {
public:
    // `journalFolder`: where the journal's files are (empty: none).
    ProgramWindow(UnitController &unit, const QString &journalFolder);
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow &) = delete;
    ProgramWindow &operator=(const ProgramWindow &) = delete;

    void show();
    // A line shown in the log and recorded nowhere (the journal's own notices).
    void showInLog(const QString &line);
    // Files closed, the program's event loop ended.
    void exit();

private:
    std::unique_ptr<Form1> m_form;
};

} // namespace corvane
