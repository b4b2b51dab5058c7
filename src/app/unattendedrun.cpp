#include "app/unattendedrun.h"

#include "app/form1.h"
#include "app/journal.h"
#include "app/quitsignals.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>

#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace corvane {

namespace {

void writeLine(std::FILE *stream, const QString &line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Order of badness for the status of several units: 0 < 2 < 1 < 3.
int badness(int status) {
    switch (status) {
    case kExitNormal:
        return 0;
    case kExitCancelled:
        return 1;
    case kExitAbnormal:
        return 2;
    default:
        return 3;
    }
}

QString statusName(int status) {
    switch (status) {
    case kExitNormal:
        return QStringLiteral("normal");
    case kExitCancelled:
        return QStringLiteral("cancelled");
    case kExitAbnormal:
        return QStringLiteral("abnormal");
    default:
        return QStringLiteral("no connection");
    }
}

struct Runs {
    std::vector<std::unique_ptr<Journal>> journals;
    std::vector<std::unique_ptr<UnitRun>> units;
    std::vector<int> statuses;
    int pending = 0;
    int worst = kExitNormal;
    bool abandoned = false; // ended at once by a signal: its status stands
};

// One unit's run to its end; the last to end ends the event loop with the worst status.
QCoro::Task<> runOne(Runs *runs, std::size_t index) {
    const ExitStatus status = co_await runs->units[index]->run();
    runs->statuses[index] = status;
    if (--runs->pending > 0 || runs->abandoned)
        co_return;
    for (int each : runs->statuses)
        if (badness(each) > badness(runs->worst))
            runs->worst = each;
    QCoreApplication::exit(runs->worst);
}

void printSummary(const Runs &runs) {
    if (runs.units.size() == 1) {
        writeLine(stdout, QStringLiteral("summary: ") + runs.units.front()->tally().summary());
        return;
    }
    writeLine(stdout, QStringLiteral("%1 %2 %3 %4")
                          .arg(QStringLiteral("port"), -24)
                          .arg(QStringLiteral("result"), -16)
                          .arg(QStringLiteral("time"), 9)
                          .arg(QStringLiteral("summary")));
    for (std::size_t i = 0; i < runs.units.size(); ++i) {
        const UnitRun &unit = *runs.units[i];
        writeLine(stdout, QStringLiteral("%1 %2 %3 %4")
                              .arg(unit.port(), -24)
                              .arg(QString::number(runs.statuses[i]) + QLatin1Char(' ') +
                                       statusName(runs.statuses[i]),
                                   -16)
                              .arg(QString::number(double(unit.elapsedMs()) / 1000.0, 'f', 1) +
                                       QStringLiteral(" s"),
                                   9)
                              .arg(unit.tally().summary()));
    }
}

} // namespace

UnitRun::UnitRun(Setup setup, std::function<void(const QString &)> print, QObject *parent)
    : QObject(parent)
    , m_setup(std::move(setup)) {
    Form1Options options;
    options.settingsPath = m_setup.settingsPath;
    options.startUpConnection = false;
    options.journal = m_setup.journal;
    m_form = std::make_unique<Form1>(options);
    if (!m_setup.port.isEmpty())
        m_form->Combo1->setEditText(m_setup.port);
    if (!m_setup.speed.isEmpty())
        m_form->Combo2->setEditText(m_setup.speed);
    connect(m_form.get(), &Form1::logLineAdded, this,
            [this, print = std::move(print)](const QString &line) {
                m_tally.see(line);
                print(line);
            });
    connect(m_form.get(), &Form1::runCommandStarted, this, [this] { ++m_tally.commands; });
    // A long transfer's progress on a terminal: one line that keeps being rewritten.
    if (::isatty(STDERR_FILENO)) {
        connect(m_form.get(), &Form1::progressChanged, this, [this](const QString &text) {
            const QString line = text.isEmpty() ? text : port() + QStringLiteral(": ") + text;
            std::fprintf(stderr, "\r%s\x1b[K", qPrintable(line));
            std::fflush(stderr);
        });
    }
}

UnitRun::~UnitRun() = default;

QString UnitRun::port() const {
    return m_form->Rs232Port();
}

QCoro::Task<ExitStatus> UnitRun::run() {
    m_clock.start();
    co_await m_form->PbON_Click();
    const QString code = m_form->AnsRxCode;
    if (!m_form->MSComm1->isOpen() || code == QLatin1String("98") || code == QLatin1String("99"))
        co_return kExitNoConnection;
    co_await m_form->runResponseFile(m_setup.file);
    co_return m_tally.status;
}

void UnitRun::interrupt() {
    m_form->requestRunStop();
    if (m_form->PbCansel->isEnabled())
        m_form->PbCansel_Click();
}

void UnitRun::abandon() {
    m_form->closeFiles();
    m_form->MSComm1->close();
}

int runUnattended(const CommandLine &line) {
    const QStringList ports = line.ports.isEmpty() ? QStringList{QString()} : line.ports;
    const bool tagged = ports.size() > 1;
    Runs runs;
    for (const QString &port : ports) {
        Journal *journal = nullptr;
        if (line.journal) {
            auto made = std::make_unique<Journal>();
            made->setTag(tagged ? port : QString());
            const bool opened = line.journalPath.isEmpty()
                                    ? made->openDaily(Journal::defaultFolder())
                                    : made->openFile(line.journalPath);
            if (!opened)
                writeLine(stderr, QStringLiteral("corvane: no journal: ") + made->errorString());
            journal = made.get();
            runs.journals.push_back(std::move(made));
        }
        const QString prefix = tagged ? port + QStringLiteral(": ") : QString();
        runs.units.push_back(std::make_unique<UnitRun>(
            UnitRun::Setup{line.runFile, port, line.speed, line.settingsPath, journal},
            [prefix](const QString &text) { writeLine(stdout, prefix + text); }));
    }
    runs.statuses.assign(runs.units.size(), kExitAbnormal);
    runs.pending = int(runs.units.size());

    // The first Ctrl-C cancels; a second one, SIGTERM or SIGHUP end at once, files and ports
    // closed.
    QuitSignals quit({SIGINT, SIGTERM, SIGHUP});
    int interrupts = 0;
    QObject::connect(&quit, &QuitSignals::received, &quit, [&](int signalNumber) {
        if (signalNumber == SIGINT && ++interrupts == 1) {
            for (const auto &unit : runs.units)
                unit->interrupt();
            return;
        }
        runs.abandoned = true;
        for (const auto &unit : runs.units)
            unit->abandon();
        for (const auto &journal : runs.journals)
            journal->close();
        QCoreApplication::exit(128 + signalNumber);
    });

    for (std::size_t i = 0; i < runs.units.size(); ++i)
        runOne(&runs, i);
    // Runs that could not even open their port end before the event loop starts.
    const int status = runs.pending == 0 ? runs.worst : QCoreApplication::exec();
    if (!runs.abandoned)
        printSummary(runs);
    return status;
}

} // namespace corvane
