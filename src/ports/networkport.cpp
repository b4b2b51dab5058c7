// The network line: a QTcpSocket to a serial server, with the Telnet COM-PORT-OPTION spoken on
// rfc2217:// and raw bytes on tcp://. Connecting never blocks the window; a connection that goes
// away is an unplugged line.

#include "ports/networkport.h"

#include <QMetaObject>
#include <QUrl>

#include <utility>

namespace corvane {

namespace {

constexpr QLatin1StringView kRfc2217("rfc2217");
constexpr QLatin1StringView kTcp("tcp");
constexpr quint8 kModemLines = telnet::kModemCts | telnet::kModemDsr | telnet::kModemCd;

// "HOST:PORT" after the scheme, nothing else; an invalid URL when the text is not that.
QUrl networkUrl(const QString &portText) {
    const QUrl url(portText.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && (scheme == kRfc2217 || scheme == kTcp) && !url.host().isEmpty() &&
        url.port() > 0 && url.userInfo().isEmpty() &&
        (url.path().isEmpty() || url.path() == u"/") && !url.hasQuery() && !url.hasFragment())
        return url;
    return {};
}

} // namespace

bool isNetworkPortText(const QString &portText) {
    const QString text = portText.trimmed();
    return text.startsWith(QLatin1StringView("rfc2217://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1StringView("tcp://"), Qt::CaseInsensitive);
}

// Suspends openAsync() until the connection is made, refused or timed out.
struct NetworkPort::ConnectWait {
    NetworkPort *port;
    [[nodiscard]] bool await_ready() const noexcept { return !port->m_connecting; }
    void await_suspend(std::coroutine_handle<> handle) const noexcept {
        port->m_connectWaiter = handle;
    }
    void await_resume() const noexcept {}
};

NetworkPort::NetworkPort(QObject *parent)
    : SerialPort(parent) {
    // The socket holds no more than the input buffer: a peer that floods meets a full TCP window.
    m_socket.setReadBufferSize(kInBufferSize);
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setTimerType(Qt::PreciseTimer); // "within 5 s" means 5 s, not 4.75
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_socket.abort();
        endConnectWait();
    });
    connect(&m_socket, &QTcpSocket::connected, this, &NetworkPort::endConnectWait);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this] {
        if (m_connecting)
            endConnectWait();
        else
            onLost();
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, &NetworkPort::onLost);
    connect(&m_socket, &QTcpSocket::bytesWritten, this, &SerialPort::bytesWritten);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        if (pull(true))
            Q_EMIT readyRead();
    });
}

NetworkPort::~NetworkPort() {
    // No signal may reach a half-destroyed port. An openAsync() still waiting stays suspended:
    // nothing that could resume it outlives the port.
    m_socket.disconnect(this);
    m_socket.abort();
}

bool NetworkPort::startConnect() {
    close();
    const QUrl url = networkUrl(portText());
    if (url.isEmpty()) {
        setErrorString(QStringLiteral("expected rfc2217://HOST:PORT or tcp://HOST:PORT"));
        return false;
    }
    m_telnet = url.scheme().toLower() == kRfc2217;
    if (m_telnet && !telnet::lineSettings(settings())) {
        setErrorString(QStringLiteral("invalid settings: ") + settings());
        return false;
    }
    m_address = url.authority();
    setErrorString({});
    ++m_session;
    m_timedOut = false;
    // Armed first: the socket may report at once from within connectToHost().
    m_connecting = true;
    m_connectTimer.start(kConnectTimeoutMs);
    m_socket.connectToHost(url.host(), quint16(url.port()));
    return true;
}

void NetworkPort::endConnectWait() {
    if (!m_connecting)
        return;
    m_connecting = false;
    m_connectTimer.stop();
    if (m_connectWaiter) {
        const std::coroutine_handle<> handle = std::exchange(m_connectWaiter, {});
        QMetaObject::invokeMethod(
            this, [handle] { handle.resume(); }, Qt::QueuedConnection);
    }
}

bool NetworkPort::open() {
    if (!startConnect())
        return false;
    if (m_connecting)
        m_socket.waitForConnected(kConnectTimeoutMs);
    endConnectWait();
    return finishConnect(m_session);
}

QCoro::Task<bool> NetworkPort::openAsync() {
    if (!startConnect())
        co_return false;
    const quint64 session = m_session;
    co_await ConnectWait{this};
    co_return finishConnect(session);
}

bool NetworkPort::finishConnect(quint64 session) {
    if (session != m_session)
        return false; // closed meanwhile
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        QString reason = m_socket.errorString();
        if (m_timedOut || m_socket.error() == QAbstractSocket::SocketTimeoutError)
            reason = QStringLiteral("no answer within %1 s").arg(kConnectTimeoutMs / 1000);
        else if (m_socket.error() == QAbstractSocket::ConnectionRefusedError)
            reason = QStringLiteral("connection refused");
        else if (m_socket.error() == QAbstractSocket::HostNotFoundError)
            reason = QStringLiteral("host not found");
        m_socket.abort();
        setErrorString(m_address + QStringLiteral(": ") + reason);
        return false;
    }
    ++m_session;
    m_open = true;
    m_decoder = {};
    m_negotiator = {};
    // Clear to send until the server tells otherwise; opening raises DTR and RTS.
    m_modemState = telnet::kModemCts;
    resetModemOutputs(true);
    m_receivedSincePurge = false;
    m_sentSincePurge = false;
    if (m_telnet) {
        using namespace telnet;
        send(m_negotiator.start() + lineSettings(settings()).value_or(QByteArray()) +
             comPort(SetControl, DtrOn) + comPort(SetControl, RtsOn) +
             comPort(SetModemStateMask, kModemStateMask));
    }
    if (pull(true)) // what came with the connection
        Q_EMIT readyRead();
    return true;
}

void NetworkPort::close() {
    ++m_session;
    m_open = false;
    m_lostPending = false;
    endConnectWait(); // a waiting openAsync() ends, failed
    m_socket.abort();
    clearInput();
}

void NetworkPort::onLost() {
    if (!m_open || m_lostPending)
        return;
    // Closing the socket inside its own signal is not allowed: the close is queued.
    m_lostPending = true;
    setErrorString(m_address + QStringLiteral(": ") +
                   (m_socket.error() == QAbstractSocket::RemoteHostClosedError
                        ? QStringLiteral("connection closed by the server")
                        : m_socket.errorString()));
    const quint64 session = m_session;
    QMetaObject::invokeMethod(
        this,
        [this, session] {
            if (session != m_session || !m_open)
                return;
            close();
            Q_EMIT lost();
        },
        Qt::QueuedConnection);
}

void NetworkPort::send(const QByteArray &bytes) {
    if (!bytes.isEmpty())
        m_socket.write(bytes);
}

bool NetworkPort::write(const QByteArray &bytes) {
    if (!m_open || m_lostPending)
        return false;
    const QByteArray wire = m_telnet ? telnet::escape(bytes) : bytes;
    m_sentSincePurge = true;
    return m_socket.write(wire) == wire.size();
}

int NetworkPort::outBufferCount() const {
    return m_open ? int(m_socket.bytesToWrite()) : 0;
}

void NetworkPort::discardOutput() {
    if (!m_open || m_lostPending)
        return;
    if (m_telnet && m_sentSincePurge)
        send(telnet::comPort(telnet::PurgeData, telnet::PurgeTransmit));
    m_sentSincePurge = false;
}

void NetworkPort::discardInput() {
    if (!m_open || m_lostPending)
        return;
    clearInput();
    pull(false);
    if (m_telnet && m_receivedSincePurge)
        send(telnet::comPort(telnet::PurgeData, telnet::PurgeReceive));
    m_receivedSincePurge = false;
}

bool NetworkPort::pull(bool keep) {
    const int before = inBufferCount();
    bool linesChanged = false;
    QList<telnet::Event> events;
    while (m_open && m_socket.bytesAvailable() > 0) {
        // Each byte read yields one data byte at most.
        const qsizetype room = keep ? kInBufferSize - inBufferCount() : 4096;
        if (room <= 0)
            break;
        const QByteArray raw = m_socket.read(room);
        if (raw.isEmpty())
            break;
        if (!m_telnet) {
            keepInput(raw);
        } else {
            QByteArray data;
            m_decoder.feed(raw, data, events);
            keepInput(data);
            for (const telnet::Event &event : std::as_const(events))
                linesChanged |= onEvent(event);
            events.clear();
        }
        if (!keep) {
            m_receivedSincePurge |= inBufferCount() > 0;
            clearInput();
        }
    }
    const bool got = inBufferCount() > before;
    m_receivedSincePurge |= got;
    if (linesChanged)
        Q_EMIT pinoutChanged();
    return got;
}

bool NetworkPort::onEvent(const telnet::Event &event) {
    if (event.command >= telnet::WILL && event.command <= telnet::DONT) {
        send(m_negotiator.answer(event.command, event.option));
        return false;
    }
    const std::optional<quint8> state = telnet::modemState(event);
    if (!state)
        return false;
    const bool changed = ((*state ^ m_modemState) & kModemLines) != 0;
    m_modemState = *state;
    return changed;
}

int NetworkPort::takeByte() {
    if (inBufferCount() <= kInBufferSize / 2)
        pull(true);
    return SerialPort::takeByte();
}

QByteArray NetworkPort::takeAll() {
    // The socket holds no more than the input buffer: a few rounds empty both.
    QByteArray bytes = SerialPort::takeAll();
    while (pull(true))
        bytes += SerialPort::takeAll();
    return bytes;
}

SerialPort::ModemInputs NetworkPort::modemInputs() const {
    if (!m_open)
        return {};
    if (!m_telnet)
        return {.cts = true}; // a raw connection reads like a pseudo-terminal
    return {(m_modemState & telnet::kModemCts) != 0, (m_modemState & telnet::kModemDsr) != 0,
            (m_modemState & telnet::kModemCd) != 0};
}

void NetworkPort::applyModemOutput(ModemOutput output, bool on) {
    if (!m_open || !m_telnet || m_lostPending)
        return;
    const quint8 value = output == ModemOutput::Dtr ? (on ? telnet::DtrOn : telnet::DtrOff)
                                                    : (on ? telnet::RtsOn : telnet::RtsOff);
    send(telnet::comPort(telnet::SetControl, value));
}

} // namespace corvane
