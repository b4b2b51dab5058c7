#include "formfixture.h"
#include "text/cp932.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenu>
#include <QTimer>

namespace corvane::test {

static const QColor kRed(255, 0, 0);

bool runToEnd(QCoro::Task<> task, int timeoutMs) {
    auto done = std::make_shared<bool>(false);
    auto wrapper = [](QCoro::Task<> t, std::shared_ptr<bool> flag) -> QCoro::Task<> {
        co_await std::move(t);
        *flag = true;
    }(std::move(task), done);
    QElapsedTimer clock;
    clock.start();
    while (!*done && clock.elapsed() < timeoutMs)
        spin(5);
    return *done;
}

void spin(int ms) {
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

QList<QByteArray> expectScript(ScriptedPort *port, const QList<QByteArray> &script) {
    QList<QByteArray> lines;
    for (qsizetype i = 0; i + 1 < script.size(); i += 2) {
        const QByteArray &a = script[i + 1];
        QList<ScriptedPort::Piece> pieces{{0, a.left(10)}, {50, a.mid(10, 100)}, {50, a.mid(110)}};
        if (a.contains('|')) {
            pieces.clear();
            for (const QByteArray &piece : a.split('|'))
                pieces << ScriptedPort::Piece{pieces.isEmpty() ? 0 : 400, piece};
        }
        if (!a.isEmpty() && a != "<refused>")
            port->expectPieces(script[i], pieces);
        lines << script[i];
    }
    return lines;
}

QByteArray journalBytes(const QString &path, char mark) {
    QByteArray bytes;
    for (const QByteArray &line : readFile(path).split('\n')) {
        const QByteArray entry = line.mid(24); // after the time stamp
        if (entry.startsWith(QByteArray(1, mark) + ' '))
            bytes += toCp932(QString::fromUtf8(entry.mid(2))) + "\r\n";
        else if (entry.startsWith(QByteArray(1, mark) + '-'))
            bytes += toCp932(QString::fromUtf8(entry.mid(2)));
        else if (entry.startsWith(QByteArray(1, mark) + 'x'))
            bytes += QByteArray::fromHex(entry.mid(3));
    }
    return bytes;
}

FormFixture::FormFixture(int timerIntervalMs, PortFactory factory, Journal *journal) {
    Form1Options options;
    options.journal = journal;
    options.settingsPath = m_dir.filePath(QStringLiteral("Corvane.INI"));
    options.timerIntervalMs = timerIntervalMs;
    options.portFactory = std::move(factory);
    m_form = std::make_unique<Form1>(options);
    m_form->StartUpWork = 2;
    QObject::connect(m_form.get(), &Form1::logLineAdded, m_form.get(),
                     [this](const QString &line) { m_history.append(line); });
}

ScriptedPort *FormFixture::useScripted() {
    auto *port = new ScriptedPort;
    port->open();
    m_form->usePort(std::unique_ptr<SerialPort>(port));
    return port;
}

EmulatedPort *FormFixture::useEmulated(UnitOptions options, bool paced) {
    auto *port = new EmulatedPort(options);
    port->setPaced(paced);
    port->setSettings(QStringLiteral("38400,n,8,1"));
    port->open();
    m_form->usePort(std::unique_ptr<SerialPort>(port));
    return port;
}

void FormFixture::setDevice(const QString &code, const QString &endAddress, const QString &kind,
                            const QString &width) {
    set(QStringLiteral("LbDevSetCode=%1;LbDevEAddr=%2;LbDevStr1=X;LbDevStr2=Y;LbDevRom1=%3;"
                       "LbDevRom2=%4")
            .arg(code, endAddress, kind, width));
    Form1::setTextColor(m_form->LbDevSetCode, QColor(0, 0, 0));
    m_form->AnsRxCode = QStringLiteral("00");
    m_form->PbUnEn();
    m_form->PbReEn();
}

// The property a word names: "Name!" the control's enabled flag, else the one each kind shows.
static const char *propertyOf(const QObject *o, const QString &name) {
    if (name.endsWith(QLatin1Char('!')) || qobject_cast<const QPushButton *>(o))
        return "enabled";
    if (qobject_cast<const QRadioButton *>(o))
        return "checked";
    return qobject_cast<const QComboBox *>(o) ? "currentText" : "text";
}

void setControls(Form1 &form, const QString &words) {
    for (const QString &word : words.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char('='), 0, 0);
        QObject *o = form.findChild<QObject *>(name);
        if (name == QLatin1String("red"))
            Form1::setTextColor(form.LbDevSetCode, kRed);
        else if (!o || !o->setProperty(propertyOf(o, name), word.section(QLatin1Char('='), 1)))
            qFatal("cannot set %s", qPrintable(word));
    }
}

QString controls(const Form1 &form, const QString &words) {
    QStringList shown;
    for (const QString &word : words.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = word.section(QLatin1Char('='), 0, 0);
        const QObject *o = form.findChild<QObject *>(name.chopped(name.endsWith('!')));
        QVariant v = o ? o->property(propertyOf(o, name)) : QVariant(QStringLiteral("<none>"));
        if (name == QLatin1String("AnsRxCode"))
            v = form.AnsRxCode;
        else if (name == QLatin1String("red"))
            v = Form1::textColor(form.LbDevSetCode) == kRed;
        shown << name + '=' +
                     (v.typeId() == QMetaType::Bool ? QString::number(v.toInt()) : v.toString());
    }
    return shown.join(QLatin1Char(';'));
}

QStringList FormFixture::log() const {
    QStringList lines;
    for (int i = 0; i < m_form->List1->count(); ++i)
        lines.append(m_form->List1->item(i)->text());
    return lines;
}

QString FormFixture::enabledInSight(bool all) const {
    QWidget *client = m_form->client;
    QStringList names;
    for (QPushButton *b : client->findChildren<QPushButton *>()) {
        if ((all || b->isEnabled()) &&
            client->rect().contains(QRect(b->mapTo(client, QPoint()), b->size())))
            names << b->objectName();
    }
    for (QMenu *menu : {m_form->MenuFile, m_form->MenuOption}) {
        if (all || menu->isEnabled())
            names << menu->objectName();
    }
    names.sort();
    return names.join(QLatin1Char(' '));
}

} // namespace corvane::test
