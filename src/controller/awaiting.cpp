#include "controller/awaiting.h"

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace corvane {

namespace {

void resumeLater(QObject *context, std::coroutine_handle<> handle) {
    QMetaObject::invokeMethod(
        context, [handle] { handle.resume(); }, Qt::QueuedConnection);
}

} // namespace

void NextPass::await_suspend(std::coroutine_handle<> handle) const {
    resumeLater(context, handle);
}

void WakeOrTimeout::await_suspend(std::coroutine_handle<> handle) const {
    struct State {
        QMetaObject::Connection connection;
        QPointer<QTimer> timer;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    QObject *ctx = context;
    auto fire = [state, ctx, handle] {
        if (state->done)
            return;
        state->done = true;
        QObject::disconnect(state->connection);
        if (state->timer)
            state->timer->deleteLater();
        resumeLater(ctx, handle);
    };
    if (ms >= 0) {
        auto *timer = new QTimer(ctx);
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        state->timer = timer;
        QObject::connect(timer, &QTimer::timeout, ctx, fire);
        timer->start(ms);
    }
    if (waker)
        state->connection = QObject::connect(waker, &Waker::woken, ctx, fire);
}

} // namespace corvane
