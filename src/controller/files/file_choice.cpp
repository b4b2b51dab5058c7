// The file frame: choosing the load and save paths with the file dialog and starting the transfer
// in the chosen format.

#include "controller/unitcontroller.h"

namespace corvane {

namespace {

const QString kDataFileFilter =
    QStringLiteral("インテル拡張HEX(*.HEX)|*.HEX|モトローラSフォーマット(*.S)|*.S|"
                   "バイナリファイル(*.BIN)|*.BIN");

} // namespace

// Each test reads the option when it comes to it: a format chosen while an earlier load runs
// starts its own load afterwards.
QCoro::Task<> UnitController::PbGoLoad_Click() {
    if (m_choices.settings.intelHex)
        co_await LHsub(m_choices.settings.loadPath);
    if (m_choices.settings.motorolaS)
        co_await LSsub(m_choices.settings.loadPath);
    if (m_choices.settings.binary)
        co_await LBsub(m_choices.settings.loadPath);
}

QCoro::Task<> UnitController::PbGoSave_Click() {
    if (m_choices.settings.intelHex)
        co_await SHsub(m_choices.settings.savePath);
    if (m_choices.settings.motorolaS)
        co_await SSsub(m_choices.settings.savePath);
    if (m_choices.settings.binary)
        co_await SBsub(m_choices.settings.savePath);
}

QCoro::Task<> UnitController::chooseFile(bool save) {
    CommonDialog1.Filter = kDataFileFilter;
    if (save)
        CommonDialog1.Flags = CommonDialog::kOverwritePrompt;
    // (No co_await on a conditional expression: GCC 12 miscompiles it.)
    QCoro::Task<bool> asking = save ? CommonDialog1.ShowSave() : CommonDialog1.ShowOpen();
    const bool chosen = co_await std::move(asking);
    if (!chosen)
        co_return;
    Choices c = m_choices;
    (save ? c.settings.savePath : c.settings.loadPath) = CommonDialog1.FileName;
    setChoices(c);
    CommonDialog1.InitDir = CommonDialog1.FileName;
}

QCoro::Task<> UnitController::PbLoadDir_Click() {
    co_await chooseFile(false);
}

QCoro::Task<> UnitController::PbSaveDir_Click() {
    co_await chooseFile(true);
}

} // namespace corvane
