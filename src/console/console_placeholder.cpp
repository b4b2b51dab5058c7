// Placeholder until this subsystem lands.
#include "app/form1.h"

namespace corvane {

QCoro::Task<> Form1::PbCMD_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbResGo1_Click()
{
    co_return;
}

QCoro::Task<> Form1::PbResGo2_Click()
{
    co_return;
}

QCoro::Task<> Form1::runResponseFile(QLineEdit *)
{
    co_return;
}

} // namespace corvane
