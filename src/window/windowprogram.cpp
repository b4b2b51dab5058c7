#include "window/windowprogram.h"

#include "window/form1.h"

namespace corvane {

ProgramWindow::ProgramWindow(UnitController &unit, const QString &journalFolder)
    : m_form(std::make_unique<Form1>(unit, journalFolder)) {}

ProgramWindow::~ProgramWindow() = default;

void ProgramWindow::show() {
    m_form->show();
}

void ProgramWindow::showInLog(const QString &line) {
    m_form->showInLog(line);
}

void ProgramWindow::exit() {
    m_form->PbExit_Click();
}

} // namespace corvane
