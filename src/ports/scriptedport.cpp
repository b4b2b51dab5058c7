#include "ports/scriptedport.h"

#include <QTimer>

namespace corvane {

ScriptedPort::ScriptedPort(QObject *parent)
    : SerialPort(parent) {}

ScriptedPort::~ScriptedPort() = default;

void ScriptedPort::expect(const QByteArray &line, const QByteArray &reply, int delayMs) {
    m_rules.append(Rule{line, {Piece{delayMs, reply}}, true, false});
}

void ScriptedPort::expectPieces(const QByteArray &line, const QList<Piece> &pieces) {
    m_rules.append(Rule{line, pieces, true, false});
}

void ScriptedPort::respond(const QByteArray &prefix, const QByteArray &reply, int delayMs) {
    m_rules.append(Rule{prefix, {Piece{delayMs, reply}}, false, true});
}

void ScriptedPort::inject(const QByteArray &bytes, int delayMs) {
    schedule({Piece{delayMs, bytes}});
}

QList<QByteArray> ScriptedPort::writtenLines() const {
    QList<QByteArray> lines = m_written.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

void ScriptedPort::setCts(bool on) {
    m_cts = on;
    Q_EMIT pinoutChanged();
}

bool ScriptedPort::open() {
    ++m_openCount;
    if (m_openFails) {
        setErrorString(QStringLiteral("No such port"));
        return false;
    }
    m_open = true;
    return true;
}

void ScriptedPort::close() {
    m_open = false;
}

bool ScriptedPort::write(const QByteArray &bytes) {
    if (!m_open || m_writeRefused)
        return false;
    m_written += bytes;
    // Passed on at once: nothing ever waits in the output.
    Q_EMIT bytesWritten(bytes.size());
    // Only the new bytes (and the one before them) can complete a line.
    const qsizetype from = std::max<qsizetype>(0, m_pendingLine.size() - 1);
    m_pendingLine += bytes;
    for (qsizetype end = m_pendingLine.indexOf("\r\n", from); end >= 0;
         end = m_pendingLine.indexOf("\r\n")) {
        const QByteArray line = m_pendingLine.left(end);
        m_pendingLine.remove(0, end + 2);
        lineWritten(line);
    }
    return true;
}

void ScriptedPort::lineWritten(const QByteArray &line) {
    for (qsizetype i = 0; i < m_rules.size(); ++i) {
        const Rule &rule = m_rules[i];
        if (!rule.once)
            continue;
        if (rule.line == line) {
            const QList<Piece> pieces = rule.pieces;
            m_rules.removeAt(i);
            schedule(pieces);
            return;
        }
    }
    for (const Rule &rule : std::as_const(m_rules)) {
        if (!rule.once && line.startsWith(rule.line)) {
            schedule(rule.pieces);
            return;
        }
    }
}

void ScriptedPort::schedule(const QList<Piece> &pieces) {
    int at = 0;
    for (const Piece &piece : pieces) {
        at += piece.delayMs;
        const QByteArray bytes = piece.bytes;
        QTimer::singleShot(at, this, [this, bytes] {
            if (!m_open)
                return;
            keepInput(bytes);
            Q_EMIT readyRead();
        });
    }
}

} // namespace corvane
