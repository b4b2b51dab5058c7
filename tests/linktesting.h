#pragma once
// Test helpers for the line back ends: CPU time, corvane-unit on a pseudo-terminal, ser2net.

#include "testing.h"

#include <QProcess>
#include <QTcpServer>

#include <ctime>

namespace corvane::test {

// CPU time the whole process has used so far, in seconds.
inline double processCpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return double(used.tv_sec) + double(used.tv_nsec) / 1e9;
}

// The program $CORVANE_UNIT_BIN; path() is the terminal it serves (the port text to use), empty
// when the program is missing or does not answer. Ends with the object, or at once by kill().
struct UnitProcess {
    explicit UnitProcess(const QStringList &arguments = {}) {
        process.start(QString::fromLocal8Bit(qgetenv("CORVANE_UNIT_BIN")), arguments);
        while (!process.canReadLine() && process.waitForReadyRead(3000)) {
        }
        path = QString::fromLocal8Bit(process.readLine()).trimmed();
    }
    ~UnitProcess() { // corvane-unit still serving ends on SIGTERM, with status 0
        const bool running = process.state() != QProcess::NotRunning;
        process.terminate();
        if (running && !(process.waitForFinished(3000) && process.exitCode() == 0))
            qFatal("corvane-unit did not end on SIGTERM with status 0");
    }
    void kill() {
        process.kill();
        process.waitForFinished(3000);
    }
    QProcess process;
    QString path;
};

// ser2net serving the terminal `device` at `speed` (bit/s) on free local ports: Telnet with
// rfc2217 on rfcPort, raw TCP on rawPort. Ends with the object.
struct Ser2net {
    Ser2net(const QString &device, const QString &speed, const QString &pidFile) {
        const QString connector = "#  connector: serialdev," + device + "," + speed + "n81,local";
        process.start(
            "ser2net",
            {"-n", "-u", "-P", pidFile, "-Y",
             "connection: &rfc#  accepter: telnet(rfc2217),tcp,127.0.0.1," + rfcPort + connector,
             "-Y", "connection: &raw#  accepter: tcp,127.0.0.1," + rawPort + connector});
    }
    ~Ser2net() { process.kill(), process.waitForFinished(3000); }
    static QString freePort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        return QString::number(probe.serverPort());
    }
    QString rfcPort = freePort(), rawPort = freePort();
    QProcess process;
};

} // namespace corvane::test
