#pragma once
// Test support shared by every test program: running the event loop, files, scripted answers and
// journal files.

#include "ports/scriptedport.h"

#include <QCoro/QCoroTask>
#include <QElapsedTimer>
#include <QList>

#include <optional>

namespace corvane::test {

// Runs the event loop for `ms` milliseconds (sleeping, not spinning).
void spin(int ms);
// Runs the event loop until `done()` holds or `timeoutMs` pass; true when it held.
template<typename Done> bool waitUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs)
        spin(1);
    return done();
}
// Runs the event loop until `task` has finished or `timeoutMs` has passed; true when it finished.
template<class T> bool runToEnd(QCoro::Task<T> task, int timeoutMs = 10000) {
    return waitUntil([&task] { return task.isReady(); }, timeoutMs);
}
// The result of `task` once it has finished within `timeoutMs`, or none.
template<class T> std::optional<T> resultOf(QCoro::Task<T> task, int timeoutMs = 10000) {
    if (!waitUntil([&task] { return task.isReady(); }, timeoutMs))
        return std::nullopt;
    return QCoro::waitFor(task);
}
// Writes `bytes` to `path` (the test program stops if it cannot) and returns the path.
QString writeFile(const QString &path, const QByteArray &bytes);
// The bytes of the file at `path`, or "<missing>" when it cannot be read.
QByteArray readFile(const QString &path);
// Has `port` answer each line of `script` (lines and answers taking turns; an empty answer or
// "<refused>": none; a long one in pieces 50 ms apart, "|" separates pieces 0.4 s apart) and
// returns the lines.
QList<QByteArray> expectScript(ScriptedPort *port, const QList<QByteArray> &script);
// The bytes one direction of a journal file stands for ('>' sent, '<' received): after "> " a
// text (CP932) and its CR LF, after ">-" a text alone, after ">x " hex bytes.
QByteArray journalBytes(const QString &path, char mark);

} // namespace corvane::test
