// The loads: an Intel HEX, Motorola S or binary file sent from disk into the unit's buffer RAM.
// Text files are relayed line by line and binary files in blocks of about a millisecond of line
// time, each paced by CTS; the unit decodes the records and judges them.

#include "controller/unitcontroller.h"
#include "text/cp932.h"
#include "text/datafile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

namespace corvane {

namespace {

constexpr qsizetype kReadBlock = 64 * 1024;
// Bytes the port may still hold unsent when the next line or block is paced: CTS only tells about
// the data the unit has received, so the program lets the line carry what it was given before it
// looks at CTS, instead of queueing the whole file in the port. Enough for kFillMs of line time,
// so that the line stays busy while the program waits to be woken, and never less than
// kMinBacklog (17 ms of line time at 38400 bit/s).
constexpr int kMinBacklog = 64;
constexpr int kFillMs = 10;
// When the port has not said that it passed bytes on, it is looked at again this much after the
// excess should have left (a back end that counts the system's queue reports no draining).
constexpr int kDrainSlackMs = 2;
constexpr int kLongestDrainWaitMs = 100;

// Bytes per millisecond of line time at `baud`, 10 bits a byte (0 when the speed is unknown).
int bytesPerMs(int baud) {
    return baud > 0 ? baud / 10 / 1000 : 0;
}

int outBacklog(int baud) {
    return std::max(kMinBacklog, bytesPerMs(baud) * kFillMs);
}

// Opens `file` for reading; a folder counts as a file that cannot be opened.
bool openForReading(QFile *file) {
    if (QFileInfo(file->fileName()).isDir())
        return false;
    return file->open(QIODevice::ReadOnly);
}

} // namespace

// Waits until the port holds no more than the backlog (or a cancel came, or the port is gone),
// woken whenever the port passes bytes on, then for CTS.
QCoro::Task<> UnitController::paceOutput() {
    for (bool passed = false; MSComm1->isOpen() && !EscFlag; passed = true) {
        const int waiting = MSComm1->outBufferCount();
        if (waiting <= kMinBacklog)
            break;
        const int baud = MSComm1->baudRate();
        const qint64 excess = waiting - outBacklog(baud);
        if (excess <= 0)
            break;
        // A port that passes data on at once has drained after one pass of the event loop.
        if (!passed) {
            co_await nextPass();
            continue;
        }
        const qint64 drainMs = baud > 0 ? (excess * 10 * 1000 + baud - 1) / baud : 0;
        const QMetaObject::Connection written =
            connect(MSComm1.get(), &SerialPort::bytesWritten, &m_waker, &Waker::poke);
        const auto unhook = qScopeGuard([written] { QObject::disconnect(written); });
        co_await waitLine(int(std::min<qint64>(drainMs + kDrainSlackMs, kLongestDrainWaitMs)));
    }
    co_await TxCtsCK();
}

QCoro::Task<> UnitController::awaitLoadVerdict(Sent sent) {
    const Reply reply = co_await CeckAnsRX(QStringLiteral("Load"), sent);
    if (reply.ok())
        AddList1(QStringLiteral("OK"));
}

QCoro::Task<QString> UnitController::openTransfer(QString title, QString RemoteCMD, Opening order,
                                                  bool discardLine) {
    co_await openSteps(std::move(title), order);
    if (discardLine) {
        dropInput();
        MSComm1->discardOutput();
    }
    co_return splitFileArgument(std::move(RemoteCMD));
}

QCoro::Task<bool> UnitController::openLoad(HeldFile &held, QString title, QString RemoteCMD,
                                           Opening order) {
    const QString path = co_await openTransfer(title, RemoteCMD, order, true);
    if (Rcmd2.isEmpty())
        Rcmd2 = QStringLiteral("0");
    openCancel(true);
    held.setPath(path);
    if (openForReading(held.file()))
        co_return true;
    report(Notice::FileNotFound);
    co_return false;
}

std::pair<QString, QString> UnitController::textTransfer(bool save, char format) {
    static const QString titles[2][2] = {
        {QStringLiteral("* Load HEX File"), QStringLiteral("* Losd S File")},
        {QStringLiteral("* Save HEX File"), QStringLiteral("* Save S File")}};
    const char word[] = {save ? 'S' : 'L', format, '\0'};
    return {titles[save][format == 'S'], QString::fromLatin1(word)};
}

QCoro::Task<> UnitController::loadTextFile(char format, QString RemoteCMD) {
    const auto [title, word] = textTransfer(false, format);
    const TransferScope transfer(this);
    HeldFile held(m_dataFile, this);
    const bool opened = co_await openLoad(held, title, RemoteCMD, Opening::BlankPurgeTitle);
    if (!opened)
        co_return;
    // A refused announcement is judged like any other: a bad parameter, a lost link.
    const Reply ready = co_await exchange(word + Rcmd2, QStringLiteral("Load"));
    if (!ready.is(u"01"))
        co_return;

    beginProgress(word, held.file()->size(), true); // the lines go out as they are in the file
    DataLineReader reader(held.file());
    QByteArray line;
    Sent sent = Sent::Sent;
    for (;;) {
        const DataLineReader::Result result = reader.next(line);
        if (result == DataLineReader::Result::End)
            break;
        if (result != DataLineReader::Result::Line) {
            report(Notice::FileNotFound);
            co_return;
        }
        AddList1(fromCp932(line));
        co_await paceOutput();
        if (EscFlag) {
            co_await CeckAnsRX(QStringLiteral("ESC"));
            co_return;
        }
        // A line that died is the unit's missing answer, not the file's fault.
        sent = OutputBytes(line + "\r\n");
        if (sent != Sent::Sent)
            break;
    }
    co_await awaitLoadVerdict(sent);
}

QCoro::Task<> UnitController::LBsub(QString RemoteCMD) {
    const TransferScope transfer(this);
    // The file is opened before the announcement, so a file that cannot be read is reported
    // before the unit has been told to expect anything.
    HeldFile held(m_dataFile, this);
    const bool opened = co_await openLoad(held, QStringLiteral("* Load Binary File"), RemoteCMD,
                                          Opening::PurgeBlankTitle);
    if (!opened)
        co_return;
    const qint64 length = held.file()->size();
    const Reply ready =
        co_await exchange(QStringLiteral("LB") + QString::number(length) + QLatin1Char(',') + Rcmd2,
                          QStringLiteral("Load"));
    if (!ready.is(u"01"))
        co_return;
    beginProgress(QStringLiteral("LB"), length, true);
    const BinarySent sent = co_await sendBinary(held.file(), length);
    if (sent == BinarySent::Short) {
        // Shorter than announced (cut while loading) or unreadable.
        report(Notice::FileNotFound);
        co_return;
    }
    co_await awaitLoadVerdict(sent == BinarySent::Whole ? Sent::Sent : Sent::Refused);
}

QCoro::Task<UnitController::BinarySent> UnitController::sendBinary(QIODevice *source,
                                                                   qint64 length) {
    HexLogLine logLine;
    // CTS is looked at before every block: the unit can hold the data within a millisecond.
    const qsizetype blockBytes = std::max(1, bytesPerMs(MSComm1->baudRate()));
    QByteArray chunk;
    qsizetype inChunk = 0;
    for (qint64 count = 0; count != length;) {
        if (inChunk == chunk.size()) {
            chunk = source->read(std::min<qint64>(kReadBlock, length - count));
            inChunk = 0;
            if (chunk.isEmpty())
                co_return BinarySent::Short;
        }
        co_await paceOutput();
        const QByteArray block = chunk.mid(inChunk, blockBytes);
        // A line that died is the unit's missing answer, not the file's fault.
        if (OutputBytes(block) != Sent::Sent)
            co_return BinarySent::Refused;
        inChunk += block.size();
        count += block.size();
        for (const char byte : block) {
            if (logLine.add(quint8(byte)))
                AddList1(logLine.take());
        }
    }
    co_return BinarySent::Whole;
}

} // namespace corvane
