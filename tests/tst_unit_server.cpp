// corvane-unit end to end: the built program (CORVANE_UNIT_BIN) on a pseudo-terminal answers, stays
// usable when its line is closed and reopened, paces its output, sleeps while idle, ends on SIGTERM
// and checks its arguments.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString serverPath() {
    return qEnvironmentVariable("CORVANE_UNIT_BIN");
}

// Opens the line raw, writes `request` and reads until `bytes` have come or 3 s pass without any;
// closes the line again.
QByteArray exchange(const QByteArray &path, const QByteArray &request, qsizetype bytes) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return "cannot open";
    termios settings{};
    tcgetattr(fd, &settings);
    cfmakeraw(&settings);
    tcsetattr(fd, TCSANOW, &settings);
    QByteArray got;
    if (::write(fd, request.constData(), size_t(request.size())) == request.size()) {
        pollfd wait{fd, POLLIN, 0};
        char chunk[4096];
        for (ssize_t n = 0; got.size() < bytes && ::poll(&wait, 1, 3000) > 0 &&
                            (n = ::read(fd, chunk, sizeof chunk)) > 0;)
            got.append(chunk, n);
    }
    ::close(fd);
    return got;
}

// User and system time the process has used, in clock ticks (fields 14 and 15 of its stat).
long cpuTicks(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLong() + fields[12].toLong() : -1;
}

} // namespace

class TestUnitServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void answersSurvivesReopeningAndPaces();
    void sleepsWhileIdleAndEndsOnSigterm();
    void arguments_data();
    void arguments();

private:
    bool start(const QStringList &arguments);

    QProcess m_server;
    QByteArray m_path;
};

void TestUnitServer::init() {
    if (serverPath().isEmpty())
        QSKIP("CORVANE_UNIT_BIN is not set");
}

void TestUnitServer::cleanup() {
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        if (!m_server.waitForFinished(3000))
            m_server.kill();
        m_server.waitForFinished(3000);
    }
}

bool TestUnitServer::start(const QStringList &arguments) {
    m_server.start(serverPath(), arguments);
    if (!m_server.waitForStarted(5000))
        return false;
    for (int tries = 0; tries < 50 && !m_server.canReadLine(); ++tries)
        m_server.waitForReadyRead(100);
    m_path = m_server.readLine().trimmed();
    return m_path.startsWith("/dev/");
}

void TestUnitServer::answersSurvivesReopeningAndPaces() {
    QVERIFY(start({"--speed", "38400", "--time-scale", "0"}));
    QCOMPARE(exchange(m_path, "ON\r\n", 4), QByteArray("00\r\n"));
    // Each exchange closes the line; the next one opens it again.
    QTest::qWait(50);
    const QByteArray selected("00\r\n00:2F,\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9,"
                              "am27r010gg,00,0\r\n");
    QCOMPARE(exchange(m_path, "TS2F,-,-\r\nUS0\r\n", selected.size()), selected);
    QTest::qWait(50);
    QCOMPARE(exchange(m_path, "US1\r\n", 10), QByteArray("00:1FFFF\r\n"));

    // 3076 bytes at 3840 bytes a second take 0.8 s.
    QElapsedTimer clock;
    clock.start();
    const QByteArray dump = exchange(m_path, "BD0,3FF\r\n", 3 + 0x400 * 3 - 1 + 2);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(dump.size(), 3 + 0x400 * 3 - 1 + 2);
    QVERIFY(dump.startsWith("00:FF,FF,"));
    QVERIFY(dump.endsWith(",FF\r\n"));
    QVERIFY2(elapsed >= 750, qPrintable(QString::number(elapsed)));
}

void TestUnitServer::sleepsWhileIdleAndEndsOnSigterm() {
    QVERIFY(start({}));
    QCOMPARE(exchange(m_path, "ON\r\n", 4), QByteArray("00\r\n"));
    const long before = cpuTicks(m_server.processId());
    QVERIFY(before >= 0);
    QTest::qWait(1000);
    const long ticks = cpuTicks(m_server.processId()) - before;
    QVERIFY2(ticks <= 3, qPrintable(QString::number(ticks))); // a spinning loop takes ~100

    m_server.terminate();
    QVERIFY(m_server.waitForFinished(3000));
    QCOMPARE(m_server.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_server.exitCode(), 0);
}

void TestUnitServer::arguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("unknown") << QStringList{"--colour"} << 2;
    QTest::newRow("bad speed") << QStringList{"--speed", "fast"} << 2;
    QTest::newRow("negative scale") << QStringList{"--time-scale=-1"} << 2;
    // 1e13 times the longest device operation (about 36 s) overflows a 64-bit microsecond clock.
    QTest::newRow("scale beyond the clock") << QStringList{"--time-scale", "1e13"} << 2;
    QTest::newRow("unknown fault") << QStringList{"--fault", "smoke"} << 2;
    QTest::newRow("missing value") << QStringList{"--fault"} << 2;
}

void TestUnitServer::arguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    m_server.start(serverPath(), arguments);
    QVERIFY(m_server.waitForFinished(5000));
    QCOMPARE(m_server.exitCode(), exitCode);
    if (exitCode == 0)
        QVERIFY(m_server.readAllStandardOutput().contains("--time-scale"));
}

QTEST_GUILESS_MAIN(TestUnitServer)
#include "tst_unit_server.moc"
