// Command-response files: a text file of console commands (CP932, or UTF-8 with a byte-order
// mark) run from top to bottom without the operator, stopping at the first command the unit does
// not acknowledge.

#include "window/form1.h"
#include "shell/runtally.h"
#include "text/commandfilereader.h"
#include "text/datafile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QScopeGuard>

namespace corvane {

namespace {

// Empty lines run nothing and never wait: after this many the run lets the event loop through
// once, so that a file of millions of them keeps the window alive.
constexpr int kBlankLinesPerPass = 1024;

const QString kNormalEnd = QString::fromUtf16(kRunNormalEnd);
const QString kCancelledEnd = QString::fromUtf16(kRunCancelledEnd);
const QString kAbnormalEnd = QString::fromUtf16(kRunAbnormalEnd);

} // namespace

QCoro::Task<> Form1::PbResGo1_Click() {
    co_await runResponseFile(TexResGoFile1->text());
}

QCoro::Task<> Form1::PbResGo2_Click() {
    co_await runResponseFile(TexResGoFile2->text());
}

QCoro::Task<> Form1::runResponseFile(QString path) {
    if (m_commandRunRunning || m_commandRunning)
        co_return;
    HeldFile held(m_commandFile, this, path);
    // Only a plain file: a device or a pipe could block the open or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile() || !held.file()->open(QIODevice::ReadOnly)) {
        AddList1(path.isEmpty()
                     ? QStringLiteral("！ コマンドレスポンスファイルが指定されてません。")
                     : QStringLiteral("！ コマンドレスポンスファイルを開けません。（") + path +
                           QStringLiteral("）"));
        AddList1(kAbnormalEnd);
        co_return;
    }
    co_await runCommands(held.file(), path);
}

QCoro::Task<> Form1::runResponseBytes(QByteArray bytes, QString path) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    co_await runCommands(&buffer, path);
}

QCoro::Task<> Form1::runCommands(QIODevice *file, QString path) {
    if (m_commandRunRunning || m_commandRunning)
        co_return;
    m_commandRunRunning = true;
    TexCMD->setReadOnly(true);
    const auto unlock = qScopeGuard([this] {
        TexCMD->setReadOnly(false);
        m_commandRunRunning = false;
        m_runStopRequested = false;
    });
    AnsRxCode = QStringLiteral("00");
    CommandFileReader reader(file);
    QByteArray bytes;
    int blankLines = 0;
    bool heldBusy = false; // the run disabled the controls itself to let the event loop through
    const auto release = qScopeGuard([this, &heldBusy] {
        if (heldBusy)
            PbReEn();
    });
    for (;;) {
        const CommandFileReader::Status status = reader.next(bytes);
        if (status == CommandFileReader::Status::End) {
            AddList1(kNormalEnd);
            co_return;
        }
        if (status == CommandFileReader::Status::Error) {
            AddList1(QStringLiteral("！ コマンドレスポンスファイルを読めません。（") + path +
                     QStringLiteral("）"));
            AddList1(kAbnormalEnd);
            co_return;
        }
        bool letEventsThrough = status == CommandFileReader::Status::Pending;
        if (m_runStopRequested) {
            AddList1(kCancelledEnd);
            co_return;
        }
        if (status == CommandFileReader::Status::Line) {
            TexCMD->setText(commandLineText(bytes, reader.encoding()));
            if (!TexCMD->text().isEmpty()) {
                // Every command re-enables the controls by state when it ends.
                heldBusy = false;
                const bool goOn = co_await runCommandLine();
                if (!goOn)
                    co_return;
                continue;
            }
            // An empty line does nothing at all and never waits.
            letEventsThrough = ++blankLines % kBlankLinesPerPass == 0;
        }
        if (!letEventsThrough)
            continue;
        // The window gets a turn, with the operation controls locked as during a command.
        if (!heldBusy) {
            PbUnEn();
            heldBusy = true;
        }
        co_await nextPass();
    }
}

QCoro::Task<bool> Form1::runCommandLine() {
    m_runnerTurn = true;
    Q_EMIT runCommandStarted();
    co_await PbCMD_Click();
    if (!m_commandRefused && AnsRxCode == QLatin1String("00"))
        co_return true;
    AddList1(!m_commandRefused && AnsRxCode == QLatin1String("34") ? kCancelledEnd : kAbnormalEnd);
    co_return false;
}

} // namespace corvane
