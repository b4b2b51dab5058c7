#pragma once
// Runs without the window: each unit gets a controller that connects as "再接続" does and runs
// one command-response file as "起動" does; every log line goes to standard output as it comes.

#include "controller/unitcontroller.h"
#include "shell/commandline.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

namespace corvane {

class Journal;

class UnitRun : public QObject {
    Q_OBJECT
public:
    struct Setup {
        QString file;          // the command-response file's name, for the log
        QByteArray commands;   // its contents, read before any unit is touched
        bool ownSaves = false; // several units: every save writes a file named after the port
        QString port;          // empty: the settings file's
        QString speed;         // empty: the settings file's
        QString settingsPath;
        Journal *journal = nullptr; // may be null
        // What the run does once connected; empty: it runs the command-response file.
        std::function<QCoro::Task<ExitStatus>(UnitRun &)> work;
        QString summary; // the summary until the work sets one; empty: the run's outcome
    };
    // `print` gets every log line as it is added, `notice` the journal's word that it stopped or
    // writes again.
    UnitRun(Setup setup, std::function<void(const QString &)> print,
            std::function<void(const QString &)> notice, QObject *parent = nullptr);
    ~UnitRun() override;

    // Connects, runs the file and returns the exit status.
    QCoro::Task<ExitStatus> run();
    // Ctrl-C: cancels what runs as the cancel button would, and stops the run after the current
    // command.
    void interrupt();
    // Closes the files the run holds open (their contents kept) and the port.
    void abandon();

    [[nodiscard]] QString port() const;
    // How the run of the file ended (an abnormal end with nothing counted until it has).
    [[nodiscard]] const RunOutcome &outcome() const { return m_outcome; }
    // The unit's summary in the table of several units.
    [[nodiscard]] QString summary() const;
    void setSummary(const QString &summary) { m_summary = summary; }
    // The time this unit's run took (so far, while it runs).
    [[nodiscard]] qint64 elapsedMs() const { return m_tookMs >= 0 ? m_tookMs : m_clock.elapsed(); }
    // The files its saves wrote (only with ownSaves), each once, in order.
    [[nodiscard]] const QStringList &savedFiles() const { return m_savedFiles; }
    [[nodiscard]] UnitController &unit() { return *m_unit; }

private:
    Setup m_setup;
    std::unique_ptr<UnitController> m_unit;
    RunOutcome m_outcome;
    QElapsedTimer m_clock;
    qint64 m_tookMs = -1;
    QStringList m_savedFiles;
    QString m_summary;
};

// What each unit of a run without the window is set up with, but its port and journal.
struct UnitRunPlan {
    UnitRun::Setup setup;
    // Log lines go to standard output (else only lines of the program's failures, beginning
    // with "！", to standard error).
    bool logToOutput = true;
    // A single unit's end prints "summary: ..." (several units always print their table).
    bool singleSummary = true;
    // The word for each exit status in that table (0 to 4).
    QStringList statusNames = {QStringLiteral("normal"), QStringLiteral("abnormal"),
                               QStringLiteral("cancelled"), QStringLiteral("no connection"),
                               QStringLiteral("files lost")};
};
// Runs `plan` on every port `line` names in parallel and returns the worst exit status.
[[nodiscard]] int runUnits(const CommandLine &line, UnitRunPlan plan);
// Writes a line to standard output or error as a run does (queued, never blocking a signal).
void printOut(const QString &line);
void printError(const QString &line);

// Runs the file of `line` on every port it names (the settings file's when none) in parallel and
// returns the worst exit status (see worseStatus). Log lines go to standard output, prefixed with
// their port when there are several; Ctrl-C cancels, a second Ctrl-C or SIGTERM ends at once.
[[nodiscard]] int runUnattended(const CommandLine &line);

} // namespace corvane
