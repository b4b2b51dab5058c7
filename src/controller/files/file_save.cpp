// The saves: the unit's buffer RAM over an address range received into an Intel HEX, Motorola S
// or binary file. The unit produces the records; the program writes what it receives.

#include "controller/unitcontroller.h"
#include "text/cp932.h"
#include "text/datafile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace corvane {

namespace {

constexpr char kEndOfText = 26;
// The binary data has ended once the line has been silent for longer than this.
constexpr int kBinarySilenceMs = 300;

bool openForWriting(QFile *file) {
    if (QFileInfo(file->fileName()).isDir())
        return false;
    return file->open(QIODevice::WriteOnly | QIODevice::Truncate);
}

} // namespace

QString UnitController::savePath(const QString &typed) {
    if (m_options.saveTag.isEmpty())
        return typed;
    const QString path = taggedSavePath(typed, m_options.saveTag);
    AddList1(QStringLiteral("file: ") + path);
    Q_EMIT saveFileOpened(path);
    return path;
}

QCoro::Task<> UnitController::saveTextFile(char format, QString RemoteCMD) {
    const auto [title, word] = textTransfer(true, format);
    const TransferScope transfer(this);
    const QString typed = co_await openTransfer(title, RemoteCMD, Opening::BlankPurgeTitle, false);
    const QString path = savePath(typed);
    if (Rcmd2.isEmpty())
        Rcmd2 = QStringLiteral("0");
    if (Rcmd3.isEmpty())
        Rcmd3 = m_panel.endAddress;
    if (Rcmd4.isEmpty())
        Rcmd4 = QStringLiteral("0");
    const QString command = word + Rcmd2 + QLatin1Char(',') + Rcmd3 + QLatin1Char(',') + Rcmd4;
    if (!encodeCp932(command) || !MSComm1->isOpen()) {
        // Refused, or no line: judged before the file is touched, so an existing file keeps
        // its contents.
        co_await exchange(command, word);
        co_return;
    }

    HeldFile held(m_dataFile, this, path);
    QFile *file = held.file();
    if (!openForWriting(file)) {
        // Nothing has been asked of the unit yet.
        report(Notice::FileNotCreated);
        co_return;
    }
    const bool sent = Output(command) == Sent::Sent;
    beginProgress(
        word,
        expectedTransferBytes(word, Rcmd2.toULongLong(nullptr, 16), Rcmd3.toULongLong(nullptr, 16)),
        false);
    AddList1(QStringLiteral("装置からデーターを受信しています。"));
    openCancel(true);

    bool writeFailed = false;
    // (No co_await inside a condition: GCC 12 miscompiles it.)
    ReadEnd ending = ReadEnd::Lost;
    if (sent)
        ending = co_await receiveRecords(file, writeFailed);
    if (ending == ReadEnd::Cancelled) {
        co_await CLR232IN();
        AnsRxCode = QStringLiteral("34");
        AddList1(QStringLiteral("キャンセルしました。"));
    }
    if (!held.close() || writeFailed)
        report(Notice::FileNotWritten);
    if (ending == ReadEnd::Lost)
        co_await CeckAnsRX(word, sent ? Sent::Sent : Sent::Refused);
}

QCoro::Task<UnitController::ReadEnd> UnitController::receiveRecords(QFile *file,
                                                                    bool &writeFailed) {
    auto store = [file, &writeFailed](const QByteArray &bytes) {
        if (file->write(bytes) != bytes.size())
            writeFailed = true;
    };
    QByteArray line;
    // One pass of the event loop per logged line keeps the window painting and the cancel button
    // served. A live but silent unit is waited for without limit; a line that is gone is not.
    auto take = [&](char c) {
        if (c == '\r') {
            AddList1(fromCp932(line));
            store(line + "\r\n");
            Q_EMIT recordReceived();
            line.clear();
            return Take::Pause;
        }
        if (c == kEndOfText) {
            AddList1(QStringLiteral("終了しました。"));
            return Take::Done;
        }
        if (c != '\n') { // LF is not part of the data
            line.append(c);
            if (line.size() > kMaxDataLineBytes) {
                // A line this long is no record: keep its bytes, not the memory.
                store(line);
                line.clear();
            }
        }
        return Take::More;
    };
    const ReadEnd ending = co_await readInput(take, ReadRule{-1, true});
    if (ending == ReadEnd::Lost)
        store(line); // the start of a line is data received too
    co_return ending;
}

QCoro::Task<> UnitController::SBsub(QString RemoteCMD) {
    const TransferScope transfer(this);
    const QString typed = co_await openTransfer(QStringLiteral("* Save Binary File"), RemoteCMD,
                                                Opening::BlankPurgeTitle, false);
    const QString path = savePath(typed);
    if (Rcmd2.isEmpty())
        Rcmd2 = QStringLiteral("0");
    if (Rcmd3.isEmpty())
        Rcmd3 = m_panel.endAddress;
    const QString command = QStringLiteral("SB") + Rcmd2 + QLatin1Char(',') + Rcmd3;
    if (!encodeCp932(command) || !MSComm1->isOpen()) {
        // Refused, or no line: judged before the file is touched.
        co_await exchange(command, QStringLiteral("SB"));
        co_return;
    }
    const Sent sent = Output(command);
    beginProgress(QStringLiteral("SB"),
                  expectedTransferBytes(QStringLiteral("SB"), Rcmd2.toULongLong(nullptr, 16),
                                        Rcmd3.toULongLong(nullptr, 16)),
                  false);

    HeldFile held(m_dataFile, this, path);
    QFile *file = held.file();
    if (QFileInfo::exists(path) && !QFileInfo(path).isDir())
        QFile::remove(path);
    // When the file cannot be opened or written the data is still received, counted and logged,
    // so that the unit has finished talking when the save ends.
    bool stored = openForWriting(file);
    AddList1(QStringLiteral("装置からデーターを受信しています。"));
    setBinaryInput(true);
    const auto textMode = qScopeGuard([this] { setBinaryInput(false); });

    qint64 received = 0;
    const ReadEnd ending = co_await receiveBinary(file, stored, received);
    AddList1(QStringLiteral("Save=") + QString::number(received) + QStringLiteral("byte"));
    if (!held.close())
        stored = false;
    if (ending != ReadEnd::Lost) {
        if (stored)
            AddList1(QStringLiteral("end"));
        else
            report(Notice::FileNotWritten);
        co_return;
    }
    // What came is kept; the save itself is not complete.
    if (!stored)
        report(Notice::FileNotWritten);
    co_await CeckAnsRX(QStringLiteral("SB"), sent);
}

void UnitController::setBinaryInput(bool binary) {
    MSComm1->setBinaryMode(binary);
    setNullDiscard(!binary);
}

QCoro::Task<UnitController::ReadEnd>
UnitController::receiveBinary(QIODevice *sink, bool &stored, qint64 &received, bool cancellable) {
    HexLogLine logLine;
    QByteArray chunk;
    auto keep = [&] {
        if (stored && sink->write(chunk) != chunk.size())
            stored = false;
        chunk.clear();
    };
    // The data has ended once the line has been silent for kBinarySilenceMs.
    const ReadEnd ending = co_await readInput(
        [&](char byte) {
            chunk.append(byte);
            ++received;
            if (!logLine.add(quint8(byte)))
                return Take::More;
            AddList1(logLine.take());
            keep();
            return Take::Pause;
        },
        ReadRule{kBinarySilenceMs, cancellable});
    keep();
    if (!logLine.isEmpty())
        AddList1(logLine.take());
    co_return ending;
}

} // namespace corvane
