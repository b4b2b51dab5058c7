// The file frame: choosing the load and save paths with the file dialog and starting the transfer
// in the chosen format.

#include "window/form1.h"

#include <QLineEdit>
#include <QRadioButton>

namespace corvane {

namespace {

const QString kDataFileFilter =
    QStringLiteral("インテル拡張HEX(*.HEX)|*.HEX|モトローラSフォーマット(*.S)|*.S|"
                   "バイナリファイル(*.BIN)|*.BIN");

} // namespace

// Each test reads the option when it comes to it: a format chosen while an earlier load runs
// starts its own load afterwards.
QCoro::Task<> Form1::PbGoLoad_Click() {
    if (OpFileModeH->isChecked())
        co_await LHsub(TexLoadDir->text());
    if (OpFileModeS->isChecked())
        co_await LSsub(TexLoadDir->text());
    if (OpFileModeB->isChecked())
        co_await LBsub(TexLoadDir->text());
}

QCoro::Task<> Form1::PbGoSave_Click() {
    if (OpFileModeH->isChecked())
        co_await SHsub(TexSaveDir->text());
    if (OpFileModeS->isChecked())
        co_await SSsub(TexSaveDir->text());
    if (OpFileModeB->isChecked())
        co_await SBsub(TexSaveDir->text());
}

QCoro::Task<> Form1::PbLoadDir_Click() {
    CommonDialog1.Filter = kDataFileFilter;
    const bool chosen = co_await CommonDialog1.ShowOpen(this);
    if (!chosen)
        co_return;
    TexLoadDir->setText(CommonDialog1.FileName);
    CommonDialog1.InitDir = CommonDialog1.FileName;
}

QCoro::Task<> Form1::PbSaveDir_Click() {
    CommonDialog1.Filter = kDataFileFilter;
    CommonDialog1.Flags = CommonDialog::kOverwritePrompt;
    const bool chosen = co_await CommonDialog1.ShowSave(this);
    if (!chosen)
        co_return;
    TexSaveDir->setText(CommonDialog1.FileName);
    CommonDialog1.InitDir = CommonDialog1.FileName;
}

} // namespace corvane
