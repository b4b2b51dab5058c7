#pragma once
// The signals that end the program from outside (SIGTERM, SIGINT, SIGHUP), delivered as a Qt
// signal on the event loop, where it is safe to close files and ports.

#include <QObject>

#include <initializer_list>

class QSocketNotifier;

namespace corvane {

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Catches `signalNumbers` for the life of this object; at most one object may exist at a time.
    explicit QuitSignals(std::initializer_list<int> signalNumbers, QObject *parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals &) = delete;
    QuitSignals &operator=(const QuitSignals &) = delete;

    // Readable while a caught signal waits to be delivered (-1 when none is caught): code that
    // must block outside the event loop polls it so that a signal still ends the program.
    [[nodiscard]] static int pendingDescriptor();

Q_SIGNALS:
    void received(int signalNumber);

private:
    void readPending();

    QSocketNotifier *m_notifier = nullptr;
    QList<int> m_signals;
};

} // namespace corvane
