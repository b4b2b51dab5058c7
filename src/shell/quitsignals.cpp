#include "shell/quitsignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace corvane {

#ifdef Q_OS_UNIX
namespace {

// The handler may only write to a descriptor: the event loop reads the signal number from the
// other end.
int g_signalPipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace
#endif

QuitSignals::QuitSignals(std::initializer_list<int> signalNumbers, QObject *parent)
    : QObject(parent)
    , m_signals(signalNumbers) {
#ifdef Q_OS_UNIX
    if (g_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    for (int fd : g_signalPipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPending);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : m_signals)
        ::sigaction(number, &action, nullptr);
#endif
}

QuitSignals::~QuitSignals() {
#ifdef Q_OS_UNIX
    if (!m_notifier)
        return;
    for (int number : m_signals)
        ::signal(number, SIG_DFL);
    delete m_notifier;
    for (int &fd : g_signalPipe) {
        ::close(fd);
        fd = -1;
    }
#endif
}

int QuitSignals::pendingDescriptor() {
#ifdef Q_OS_UNIX
    return g_signalPipe[1];
#else
    return -1;
#endif
}

void QuitSignals::readPending() {
#ifdef Q_OS_UNIX
    char byte = 0;
    while (::read(g_signalPipe[1], &byte, 1) == 1)
        Q_EMIT received(int(static_cast<unsigned char>(byte)));
#endif
}

} // namespace corvane
