// The buffer window's transfers: a range of the buffer read into memory with the binary save, and
// changed runs written back with the binary load, then read back.

#include "controller/unitcontroller.h"
#include "text/bytecompare.h"

#include <QBuffer>
#include <QScopeGuard>

namespace corvane {

namespace {

// Runs of a write-back closer than this are read back in one piece: a read costs a purge and the
// binary save's closing silence, more than this many bytes take at 38400 bit/s.
constexpr quint32 kReadBackGap = 2048;

QString hexAddress(quint32 address) {
    return QString::number(address, 16).toUpper();
}

} // namespace

QCoro::Task<UnitController::BufferRead> UnitController::readBuffer(quint32 first, quint32 last) {
    BufferRead read;
    if (m_operations > 0 || last < first)
        co_return read;
    const TransferScope transfer(this);
    co_await openSteps(QStringLiteral("* Save Binary File"), Opening::BlankPurgeTitle);
    // A word-wide device's save range counts words of two bytes.
    const bool words = m_panel.width == QLatin1String("(Word ROM)");
    const quint32 from = words ? first / 2 : first;
    const quint32 to = words ? last / 2 : last;
    const QString command =
        QStringLiteral("SB") + hexAddress(from) + QLatin1Char(',') + hexAddress(to);
    if (!MSComm1->isOpen()) {
        co_await exchange(command, QStringLiteral("SB"));
        co_return read;
    }
    const Sent sent = Output(command);
    beginProgress(QStringLiteral("SB"), qint64(to - from + 1) * (words ? 2 : 1), false);
    AddList1(QStringLiteral("装置からデーターを受信しています。"));
    setBinaryInput(true);
    const auto textMode = qScopeGuard([this] { setBinaryInput(false); });
    openCancel(true);

    QBuffer sink(&read.bytes);
    sink.open(QIODevice::WriteOnly);
    bool stored = true;
    qint64 received = 0;
    const ReadEnd ending = co_await receiveBinary(&sink, stored, received, true);
    openCancel(false);
    AddList1(QStringLiteral("Save=") + QString::number(received) + QStringLiteral("byte"));
    sink.close();
    if (ending == ReadEnd::Cancelled) {
        co_await CLR232IN();
        AnsRxCode = QStringLiteral("34");
        AddList1(QStringLiteral("キャンセルしました。"));
        read.cancelled = true;
    } else if (ending == ReadEnd::Lost) {
        co_await CeckAnsRX(QStringLiteral("SB"), sent);
    } else {
        AddList1(QStringLiteral("end"));
    }
    read.bytes =
        read.bytes.mid(qsizetype(first - (words ? 2 * from : from)), qsizetype(last - first) + 1);
    read.complete = !read.cancelled && read.bytes.size() == qsizetype(last - first) + 1;
    co_return read;
}

QCoro::Task<bool> UnitController::loadRun(ByteRun run) {
    const qint64 length = run.bytes.size();
    const Reply ready = co_await exchange(QStringLiteral("LB") + QString::number(length) +
                                              QLatin1Char(',') + hexAddress(run.address),
                                          QStringLiteral("Load"));
    if (!ready.is(u"01"))
        co_return false;
    beginProgress(QStringLiteral("LB"), length, true);
    QBuffer source(&run.bytes);
    source.open(QIODevice::ReadOnly);
    const BinarySent sent = co_await sendBinary(&source, length);
    const Reply verdict = co_await CeckAnsRX(
        QStringLiteral("Load"), sent == BinarySent::Whole ? Sent::Sent : Sent::Refused);
    endProgress();
    if (!verdict.ok())
        co_return false;
    AddList1(QStringLiteral("OK"));
    co_return true;
}

QCoro::Task<std::pair<UnitController::WriteBack, quint64>>
UnitController::readBack(const std::vector<ByteRun> &runs) {
    MemoryImage written;
    for (const ByteRun &run : runs)
        written.write(run.address, run.bytes);
    quint64 differing = 0;
    for (std::size_t i = 0; i < runs.size();) {
        std::size_t j = i + 1;
        while (j < runs.size() && runs[j].address - quint32(runs[j - 1].end()) < kReadBackGap)
            ++j;
        const quint32 first = runs[i].address;
        const BufferRead read = co_await readBuffer(first, quint32(runs[j - 1].end() - 1));
        if (!read.complete)
            co_return std::pair{read.cancelled ? WriteBack::Cancelled : WriteBack::Failed, 0};
        differing += compareImage(first, read.bytes, written).differing;
        i = j;
    }
    co_return std::pair{differing == 0 ? WriteBack::Verified : WriteBack::Differs, differing};
}

QCoro::Task<UnitController::WriteBack> UnitController::writeBuffer(std::vector<ByteRun> runs) {
    if (m_operations > 0)
        co_return WriteBack::Failed;
    quint64 bytes = 0;
    {
        const TransferScope transfer(this);
        co_await openSteps(QStringLiteral("* Load Binary File"), Opening::PurgeBlankTitle);
        openCancel(true);
        for (const ByteRun &run : runs) {
            const bool loaded = co_await loadRun(run);
            if (EscFlag)
                co_return WriteBack::Cancelled;
            if (!loaded)
                co_return WriteBack::Failed;
            bytes += quint64(run.bytes.size());
        }
    }
    const auto [result, differing] = co_await readBack(runs);
    if (result == WriteBack::Verified)
        AddList1(QStringLiteral("読み返し: 書き込んだ %1 バイトは装置のバッファと一致しました。")
                     .arg(bytes));
    if (result == WriteBack::Differs)
        AddList1(
            QStringLiteral(
                "！ 読み返し: 書き込んだ %1 バイトのうち %2 バイトが装置のバッファと一致しません。")
                .arg(bytes)
                .arg(differing));
    co_return result;
}

} // namespace corvane
