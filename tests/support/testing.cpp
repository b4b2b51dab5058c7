#include "testing.h"

#include "text/cp932.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace corvane::test {

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

} // namespace corvane::test
