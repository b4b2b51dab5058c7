// Placeholder until this subsystem lands.
#include "app/form1.h"

namespace corvane {

QCoro::Task<> Form1::LHsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::LSsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::LBsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::SHsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::SSsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::SBsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::PbGoLoad_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbGoSave_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbLoadDir_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbSaveDir_Click()
{
    co_return;
}

QCoro::Task<bool> CommonDialog::ShowOpen(QWidget *)
{
    co_return false;
}

QCoro::Task<bool> CommonDialog::ShowSave(QWidget *)
{
    co_return false;
}

} // namespace corvane
