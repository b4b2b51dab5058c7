#include "formfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTimer>

namespace corvane::test {

namespace {

QCoro::Task<> markDone(QCoro::Task<> task, std::shared_ptr<bool> done) {
    co_await std::move(task);
    *done = true;
}

} // namespace

bool runToEnd(QCoro::Task<> task, int timeoutMs) {
    auto done = std::make_shared<bool>(false);
    auto wrapper = markDone(std::move(task), done);
    QElapsedTimer clock;
    clock.start();
    while (!*done && clock.elapsed() < timeoutMs)
        spin(5);
    return *done;
}

void spin(int ms) {
    // A nested loop that sleeps until events or the timer arrive, so waiting costs no CPU.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

FormFixture::FormFixture(int timerIntervalMs, PortFactory factory) {
    Form1Options options;
    options.settingsPath = m_dir.filePath(QStringLiteral("Corvane.INI"));
    options.timerIntervalMs = timerIntervalMs;
    options.portFactory = std::move(factory);
    m_form = std::make_unique<Form1>(options);
    // Tests drive the line monitor by hand; the start-up connection only where a test arms it.
    m_form->StartUpWork = 2;
    QObject::connect(m_form.get(), &Form1::logLineAdded, m_form.get(),
                     [this](const QString &line) { m_history.append(line); });
}

FormFixture::~FormFixture() = default;

ScriptedPort *FormFixture::useScripted() {
    auto port = std::make_unique<ScriptedPort>();
    ScriptedPort *raw = port.get();
    raw->open();
    m_form->usePort(std::move(port));
    return raw;
}

EmulatedPort *FormFixture::useEmulated(UnitOptions options, bool paced) {
    auto port = std::make_unique<EmulatedPort>(options);
    EmulatedPort *raw = port.get();
    raw->setPaced(paced);
    raw->setSettings(QStringLiteral("38400,n,8,1"));
    raw->open();
    m_form->usePort(std::move(port));
    return raw;
}

void FormFixture::setDevice(const QString &code, const QString &endAddress, const QString &kind,
                            const QString &width) {
    m_form->LbDevSetCode->setText(code);
    Form1::setTextColor(m_form->LbDevSetCode, QColor(0, 0, 0));
    m_form->LbDevEAddr->setText(endAddress);
    m_form->LbDevStr1->setText(QStringLiteral("X"));
    m_form->LbDevStr2->setText(QStringLiteral("Y"));
    m_form->LbDevRom1->setText(kind);
    m_form->LbDevRom2->setText(width);
    m_form->AnsRxCode = QStringLiteral("00");
    m_form->PbUnEn();
    m_form->PbReEn();
}

QStringList FormFixture::log() const {
    QStringList lines;
    for (int i = 0; i < m_form->List1->count(); ++i)
        lines.append(m_form->List1->item(i)->text());
    return lines;
}

QStringList FormFixture::lastBlock() const {
    const QStringList lines = log();
    const qsizetype start = lines.lastIndexOf(QString());
    return start < 0 ? lines : lines.mid(start);
}

} // namespace corvane::test
