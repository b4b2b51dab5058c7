// corvane-unit end to end: the built program (CORVANE_UNIT_BIN) on a pseudo-terminal answers, stays
// usable when its line is closed and reopened, paces its output, sleeps while idle and ends on
// SIGTERM.
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

QString serverPath() {
    return qEnvironmentVariable("CORVANE_UNIT_BIN");
}

// One open of the pseudo-terminal's line, raw.
class Line {
public:
    explicit Line(const QByteArray &path)
        : m_fd(::open(path.constData(), O_RDWR | O_NOCTTY)) {
        if (m_fd < 0)
            return;
        termios settings{};
        tcgetattr(m_fd, &settings);
        cfmakeraw(&settings);
        tcsetattr(m_fd, TCSANOW, &settings);
    }
    ~Line() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes) {
        return ::write(m_fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    }
    // Reads until `bytes` have come or `ms` pass without any byte.
    QByteArray read(qsizetype bytes, int ms = 3000) {
        QByteArray got;
        while (got.size() < bytes) {
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, ms) <= 0)
                break;
            char chunk[4096];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n <= 0)
                break;
            got.append(chunk, n);
        }
        return got;
    }

private:
    int m_fd;
};

long cpuTicks(qint64 pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string content((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = content.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(content.substr(close + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14)
            utime = std::stol(field);
        if (i == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

} // namespace

class TestUnitServer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void answersOnThePrintedPath();
    void survivesReopening();
    void pacesAtTheSpeed();
    void sleepsWhileIdle();
    void endsOnSigterm();
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
    QElapsedTimer clock;
    clock.start();
    while (!m_server.canReadLine() && clock.elapsed() < 5000)
        m_server.waitForReadyRead(100);
    m_path = m_server.readLine().trimmed();
    return m_path.startsWith("/dev/");
}

void TestUnitServer::answersOnThePrintedPath() {
    QVERIFY(start({"--time-scale", "0"}));
    Line line(m_path);
    QVERIFY(line.isOpen());
    QVERIFY(line.write("ON\r\n"));
    QCOMPARE(line.read(4), QByteArray("00\r\n"));
    QVERIFY(line.write("TS2F,-,-\r\nUS0\r\n"));
    const QByteArray expected("00\r\n00:2F,\x83\x43\x83\x93\x83\x65\x83\x8B\x82\xE9,"
                              "am27r010gg,00,0\r\n");
    QCOMPARE(line.read(expected.size()), expected);
}

void TestUnitServer::survivesReopening() {
    QVERIFY(start({"--time-scale", "0"}));
    {
        Line line(m_path);
        QVERIFY(line.write("US1\r\n"));
        QCOMPARE(line.read(10), QByteArray("00:07FFF\r\n"));
    }
    QTest::qWait(50);
    Line again(m_path);
    QVERIFY(again.isOpen());
    QVERIFY(again.write("US2\r\n"));
    QCOMPARE(again.read(12), QByteArray("00:00000,0\r\n"));
}

void TestUnitServer::pacesAtTheSpeed() {
    QVERIFY(start({"--speed", "38400", "--time-scale", "0"}));
    Line line(m_path);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(line.write("BD0,3FF\r\n"));
    const QByteArray dump = line.read(3 + 0x400 * 3 - 1 + 2);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(dump.size(), 3 + 0x400 * 3 - 1 + 2);
    QVERIFY(dump.startsWith("00:FF,FF,"));
    QVERIFY(dump.endsWith(",FF\r\n"));
    // 3076 bytes at 3840 bytes a second take 0.8 s.
    QVERIFY2(elapsed >= 750, qPrintable(QString::number(elapsed)));
}

void TestUnitServer::sleepsWhileIdle() {
    QVERIFY(start({}));
    Line line(m_path);
    QVERIFY(line.write("ON\r\n"));
    QCOMPARE(line.read(4), QByteArray("00\r\n"));
    const long before = cpuTicks(m_server.processId());
    QVERIFY(before >= 0);
    QTest::qWait(1000);
    const long ticks = cpuTicks(m_server.processId()) - before;
    QVERIFY2(ticks <= 3, qPrintable(QString::number(ticks))); // a spinning loop takes ~100
}

void TestUnitServer::endsOnSigterm() {
    QVERIFY(start({}));
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
