#pragma once
// Test helpers for the line back ends: waits that let the event loop sleep (so that CPU time can be
// measured around them), the process's CPU time, and a corvane-unit process serving the emulated
// unit on a pseudo-terminal.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdlib>
#include <ctime>

namespace corvane::test {

// Lets the event loop run for `ms` milliseconds without spinning.
inline void idleFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done()` holds or `timeoutMs` pass; true when it held. Looks every
// millisecond and sleeps in between.
template<typename Done> bool waitUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        idleFor(1);
    }
    return true;
}

// CPU time the whole process has used so far, in seconds.
inline double processCpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

// The corvane-unit program from $CORVANE_UNIT_BIN. Its first line on stdout is the terminal's
// path, the port text to use.
class UnitProcess {
public:
    // Starts the program; path() stays empty when it is missing or does not answer in time.
    explicit UnitProcess(const QStringList &arguments = {}) {
        const QString program = QString::fromLocal8Bit(std::getenv("CORVANE_UNIT_BIN"));
        if (program.isEmpty())
            return;
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(3000))
            return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running &&
               m_process.waitForReadyRead(3000)) {
        }
        if (m_process.canReadLine())
            m_path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~UnitProcess() { stop(); }
    UnitProcess(const UnitProcess &) = delete;
    UnitProcess &operator=(const UnitProcess &) = delete;

    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] bool running() const { return m_process.state() == QProcess::Running; }
    // Ends the program at once (SIGKILL), as if the line were pulled out.
    void kill() {
        if (!running())
            return;
        m_process.kill();
        m_process.waitForFinished(3000);
    }
    void stop() {
        if (!running())
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            kill();
    }

private:
    QProcess m_process;
    QString m_path;
};

} // namespace corvane::test
