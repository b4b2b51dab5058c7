// Placeholder until this subsystem lands.
#include "app/form1.h"

namespace corvane {

QCoro::Task<> Form1::DeviceCont(QString, QString, QString)
{
    co_return;
}

QCoro::Task<> Form1::PbPG_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbCP_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbWT_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbRD_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbBL_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbER_Click()
{
    co_return;
}

QCoro::Task<> Form1::TSsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::PbDevice_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbUS0_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbUS2_Click()
{
    co_return;
}

QCoro::Task<> Form1::インテルる_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbBuff_Click()
{
    co_return;
}

QCoro::Task<> Form1::BSsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::TWsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::Command4_Click()
{
    co_return;
}

QCoro::Task<> Form1::BDsub(QString)
{
    co_return;
}

QCoro::Task<> Form1::PbBD_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbCL_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbES_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbEE_Click()
{
    co_return;
}

} // namespace corvane
