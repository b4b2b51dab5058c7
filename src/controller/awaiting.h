#pragma once
// Awaitables for a controller's operations: every wait suspends the running coroutine and lets the
// one event loop go on. A coroutine is only ever resumed from the event loop, through a queued call
// on its context object, so a destroyed controller never resumes a coroutine.

#include <QObject>

#include <coroutine>

namespace corvane {

// Emits woken() whenever something a waiting operation may care about happened: input arrived, a
// modem line changed, the port was lost, the operator pressed cancel.
class Waker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void poke() { Q_EMIT woken(); }
Q_SIGNALS:
    void woken();
};

// co_await NextPass{ctx}: resumes after the event loop has run once more.
struct NextPass {
    QObject *context;
    [[nodiscard]] bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const;
    void await_resume() const noexcept {}
};

// co_await WakeOrTimeout{ctx, waker, ms}: resumes when `waker` pokes or `ms` milliseconds have
// passed, whichever comes first (always through the event loop). A null waker makes it a plain
// sleep; ms < 0 waits for the waker alone.
struct WakeOrTimeout {
    QObject *context;
    Waker *waker;
    int ms;
    [[nodiscard]] bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) const;
    void await_resume() const noexcept {}
};

} // namespace corvane
