// The file frame: choosing the load and save paths with the file dialog and starting the transfer
// in the chosen format.

#include "controller/unitcontroller.h"

namespace corvane {

namespace {

const QString kDataFileFilter =
    QStringLiteral("インテル拡張HEX(*.HEX)|*.HEX|モトローラSフォーマット(*.S)|*.S|"
                   "バイナリファイル(*.BIN)|*.BIN");

} // namespace

// The transfer of each chosen format on the path in its box. Each format is looked at when it
// comes to it: a format chosen while an earlier transfer runs starts its own afterwards.
QCoro::Task<> UnitController::transferChosen(bool save) {
    using Sub = QCoro::Task<> (UnitController::*)(QString);
    const std::pair<bool SettingsValues::*, std::array<Sub, 2>> formats[] = {
        {&SettingsValues::intelHex, {&UnitController::LHsub, &UnitController::SHsub}},
        {&SettingsValues::motorolaS, {&UnitController::LSsub, &UnitController::SSsub}},
        {&SettingsValues::binary, {&UnitController::LBsub, &UnitController::SBsub}}};
    for (const auto &[chosen, subs] : formats) {
        const SettingsValues &v = m_choices.settings;
        if (v.*chosen)
            co_await (this->*subs[save])(save ? v.savePath : v.loadPath);
    }
}

QCoro::Task<> UnitController::PbGoLoad_Click() {
    co_await transferChosen(false);
}

QCoro::Task<> UnitController::PbGoSave_Click() {
    co_await transferChosen(true);
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
