#pragma once
// A serial line served on the network. Port texts "rfc2217://HOST:PORT" (Telnet with the
// COM-PORT-OPTION: line settings, DTR/RTS, CTS/DSR/CD and purges travel with the data) and
// "tcp://HOST:PORT" (raw bytes; CTS held, DSR and CD off, as on a pseudo-terminal).

#include "ports/serialport.h"
#include "text/telnetcodec.h"

#include <QTcpSocket>
#include <QTimer>

#include <coroutine>

namespace corvane {

// Whether the text names a network port (either scheme, any case).
[[nodiscard]] bool isNetworkPortText(const QString &portText);

class NetworkPort : public SerialPort {
    Q_OBJECT
public:
    static constexpr int kConnectTimeoutMs = 5000;

    explicit NetworkPort(QObject *parent = nullptr);
    ~NetworkPort() override;

    // Blocks until connected or failed (at most kConnectTimeoutMs); the window uses openAsync().
    bool open() override;
    QCoro::Task<bool> openAsync() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_open; }
    // What the server last notified (rfc2217); over tcp CTS held, DSR and CD off.
    [[nodiscard]] ModemInputs modemInputs() const override;
    bool write(const QByteArray &bytes) override;
    [[nodiscard]] int outBufferCount() const override;
    // A discard also has the server purge that direction, when anything may be there to purge.
    void discardOutput() override;
    void discardInput() override;

protected:
    int takeByte() override;
    QByteArray takeAll() override;
    void applyModemOutput(ModemOutput output, bool on) override;

private:
    struct ConnectWait;
    bool startConnect();
    void endConnectWait();
    bool finishConnect(quint64 session);
    // Moves what the socket holds into the input (as much as fits; all of it, dropped, when
    // `keep` is false) and acts on the peer's commands; true when input was kept.
    bool pull(bool keep);
    // Answers a negotiation, takes a modem state; true when CTS, DSR or CD changed.
    bool onEvent(const telnet::Event &event);
    void send(const QByteArray &bytes);
    void onLost();

    QTcpSocket m_socket;
    QTimer m_connectTimer;
    std::coroutine_handle<> m_connectWaiter;
    quint64 m_session = 0; // counts connects and closes: late queued calls hit no newer one
    QString m_address;     // "HOST:PORT" for messages
    bool m_telnet = false;
    bool m_open = false;
    bool m_connecting = false; // from connectToHost() until connected, refused or timed out
    bool m_timedOut = false;
    bool m_lostPending = false;
    telnet::Decoder m_decoder;
    telnet::Negotiator m_negotiator;
    QList<telnet::Event> m_events;
    quint8 m_modemState = 0;
    // A purge goes out only when something may be there to purge, so that the idle window's
    // discards do not keep the peer busy.
    bool m_receivedSincePurge = false;
    bool m_sentSincePurge = false;
};

} // namespace corvane
