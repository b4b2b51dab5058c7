// The saves: the unit's buffer RAM over an address range received into an Intel HEX, Motorola S
// or binary file. The unit produces the records; the program writes what it receives.

#include "app/form1.h"
#include "files/datafile.h"
#include "protocol/cp932.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace corvane {

namespace {

constexpr char kEndOfText = 26;
// The binary data has ended once the line has been silent for longer than this.
constexpr qint64 kBinarySilenceMs = 300;
// A waiting save wakes at least this often, whatever the port reports.
constexpr int kIdleWakeMs = 100;
const QColor kEofLamp(128, 0, 128);

bool openForWriting(QFile *file) {
    if (QFileInfo(file->fileName()).isDir())
        return false;
    return file->open(QIODevice::WriteOnly | QIODevice::Truncate);
}

} // namespace

QCoro::Task<> Form1::SHsub(QString RemoteCMD) {
    co_await saveTextFile(QStringLiteral("* Save HEX File"), QStringLiteral("SH"),
                          std::move(RemoteCMD));
}

QCoro::Task<> Form1::SSsub(QString RemoteCMD) {
    co_await saveTextFile(QStringLiteral("* Save S File"), QStringLiteral("SS"),
                          std::move(RemoteCMD));
}

QCoro::Task<> Form1::saveTextFile(QString title, QString word, QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    AddList1(QString());
    co_await CLR232IN();
    AddList1(title);
    const QString path = splitFileArgument(RemoteCMD);
    if (Rcmd2.isEmpty())
        Rcmd2 = QStringLiteral("0");
    if (Rcmd3.isEmpty())
        Rcmd3 = LbDevEAddr->text();
    if (Rcmd4.isEmpty())
        Rcmd4 = QStringLiteral("0");
    QByteArray line;
    const QString command = word + Rcmd2 + QLatin1Char(',') + Rcmd3 + QLatin1Char(',') + Rcmd4;

    if (!encodeCp932(command) || !MSComm1->isOpen()) {
        // Refused, or no line: judged before the file is touched, so an existing file keeps
        // its contents.
        Output(command);
        co_await CeckAnsRX(word);
    } else {
        HeldFile held(m_dataFile, this, path);
        QFile *file = held.file();
        if (!openForWriting(file)) {
            // Nothing has been asked of the unit yet.
            AddList1(QString::fromUtf16(kCannotCreateFile));
        } else {
            const bool sent = Output(command);
            AddList1(QStringLiteral("装置からデーターを受信しています。"));
            PbCansel->setEnabled(true);
            bool writeFailed = false;
            auto store = [&](const QByteArray &bytes) {
                if (file->write(bytes) != bytes.size())
                    writeFailed = true;
            };
            bool cancelled = false;
            bool ended = false;
            bool lost = !sent;
            while (!ended && !lost) {
                co_await nextPass();
                if (EscFlag) {
                    cancelled = true;
                    break;
                }
                // A live but silent unit is waited for without limit; a line that is gone is not.
                if (!MSComm1->isOpen() && MSComm1->inBufferCount() <= 0) {
                    lost = true;
                    break;
                }
                // Everything that waits is taken, up to the end of one line: one pass of the event
                // loop per logged line keeps the window painting and the cancel button served.
                bool lineDone = false;
                while (!lineDone && !ended && MSComm1->inBufferCount() > 0) {
                    const int c = MSComm1->readByte();
                    if (c < 0)
                        break;
                    if (c == '\r') {
                        AddList1(fromCp932(line));
                        store(line + "\r\n");
                        setBackColor(MoniEOF, kEofLamp);
                        line.clear();
                        lineDone = true;
                    } else if (c == '\n') {
                        // LF is not part of the data.
                    } else if (c == kEndOfText) {
                        AddList1(QStringLiteral("終了しました。"));
                        ended = true;
                    } else {
                        line.append(char(c));
                        if (line.size() > kMaxDataLineBytes) {
                            // A line this long is no record: keep its bytes, not the memory.
                            store(line);
                            line.clear();
                        }
                    }
                }
                // Drained input lets the unit go on at once, not at the line monitor's next tick.
                flowControl();
                if (!lineDone && !ended && MSComm1->inBufferCount() <= 0)
                    co_await waitLine(kIdleWakeMs);
            }
            if (cancelled) {
                co_await CLR232IN();
                AnsRxCode = QStringLiteral("34");
                AddList1(QStringLiteral("キャンセルしました。"));
            }
            if (lost && !line.isEmpty())
                store(line); // the start of a line is data received too
            if (!held.close() || writeFailed)
                AddList1(QString::fromUtf16(kFileNotWritten));
            if (lost)
                co_await CeckAnsRX(word);
        }
    }
    PbReEn();
    EscFlag = false;
}

QCoro::Task<> Form1::SBsub(QString RemoteCMD) {
    const OperationScope operation = operationScope();
    PbUnEn();
    co_await letQueryFinish();
    PbCansel->setEnabled(false);
    AddList1(QString());
    co_await CLR232IN();
    AddList1(QStringLiteral("* Save Binary File"));
    const QString path = splitFileArgument(RemoteCMD);
    if (Rcmd2.isEmpty())
        Rcmd2 = QStringLiteral("0");
    if (Rcmd3.isEmpty())
        Rcmd3 = LbDevEAddr->text();
    const QString command = QStringLiteral("SB") + Rcmd2 + QLatin1Char(',') + Rcmd3;
    if (!encodeCp932(command) || !MSComm1->isOpen()) {
        // Refused, or no line: judged before the file is touched.
        Output(command);
        co_await CeckAnsRX(QStringLiteral("SB"));
        PbReEn();
        EscFlag = false;
        co_return;
    }
    Output(command);

    {
        HeldFile held(m_dataFile, this, path);
        QFile *file = held.file();
        if (QFileInfo::exists(path) && !QFileInfo(path).isDir())
            QFile::remove(path);
        // When the file cannot be opened or written the data is still received, counted and
        // logged, so that the unit has finished talking when the save ends.
        bool stored = openForWriting(file);
        AddList1(QStringLiteral("装置からデーターを受信しています。"));
        MSComm1->setBinaryMode(true);
        setNullDiscard(false);
        qint64 received = 0;
        HexLogLine logLine;
        QByteArray chunk;
        QElapsedTimer sinceLastByte;
        sinceLastByte.start();
        for (;;) {
            co_await nextPass();
            if (MSComm1->inBufferCount() > 0) {
                // Everything that waits, up to the end of one log line.
                bool lineDone = false;
                while (!lineDone && MSComm1->inBufferCount() > 0) {
                    const int byte = MSComm1->readByte();
                    if (byte < 0)
                        break;
                    sinceLastByte.restart();
                    chunk.append(char(byte));
                    ++received;
                    if (logLine.add(quint8(byte))) {
                        AddList1(logLine.take());
                        lineDone = true;
                    }
                }
                if (stored && file->write(chunk) != chunk.size())
                    stored = false;
                chunk.clear();
                flowControl();
                continue;
            }
            const qint64 silent = sinceLastByte.elapsed();
            if (silent > kBinarySilenceMs || !MSComm1->isOpen())
                break;
            co_await waitLine(int(kBinarySilenceMs + 1 - silent));
        }
        const bool lost = !MSComm1->isOpen();
        if (!logLine.isEmpty())
            AddList1(logLine.take());
        AddList1(QStringLiteral("Save=") + QString::number(received) + QStringLiteral("byte"));
        if (!held.close())
            stored = false;
        if (lost) {
            // What came is kept; the save itself is not complete.
            if (!stored)
                AddList1(QString::fromUtf16(kFileNotWritten));
            co_await CeckAnsRX(QStringLiteral("SB"));
        } else {
            AddList1(stored ? QStringLiteral("end") : QString::fromUtf16(kFileNotWritten));
        }
    }
    setNullDiscard(true);
    MSComm1->setBinaryMode(false);
    PbReEn();
    EscFlag = false;
}

} // namespace corvane
