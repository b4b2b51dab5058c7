#pragma once
// The Telnet stream of a network serial port with the COM-PORT-OPTION (RFC 2217): a decoder that
// splits the peer's bytes into data and commands, the client's option negotiation, and the frames
// the client sends. Pure functions and small state machines on Qt Core.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QStringView>

#include <array>
#include <optional>

namespace corvane::telnet {

// Command bytes.
enum : quint8 { SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255 };

// Options.
enum : quint8 { kBinary = 0, kSuppressGoAhead = 3, kComPort = 44 };

// COM-PORT-OPTION commands as the client sends them; the server's own carry 100 more.
enum : quint8 {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    SetModemStateMask = 11,
    PurgeData = 12,
    kServerOffset = 100,
    NotifyModemState = 7 + kServerOffset,
};

// Values of SET-PARITY, SET-STOPSIZE, SET-CONTROL and PURGE-DATA.
enum : quint8 { ParityNone = 1, ParityOdd = 2, ParityEven = 3, ParityMark = 4, ParitySpace = 5 };
enum : quint8 { StopOne = 1, StopTwo = 2, StopOneAndHalf = 3 };
enum : quint8 { DtrOn = 8, DtrOff = 9, RtsOn = 11, RtsOff = 12 };
enum : quint8 { PurgeReceive = 1, PurgeTransmit = 2, PurgeBoth = 3 };

// Bits of the modem state.
enum : quint8 { kModemCts = 0x10, kModemDsr = 0x20, kModemCd = 0x80 };
// The changes the client wants to hear of: CTS, DSR and CD, and their change flags.
constexpr quint8 kModemStateMask = kModemCts | kModemDsr | kModemCd | 0x01 | 0x02 | 0x08;

// Something the peer said besides data.
struct Event {
    quint8 command = 0; // WILL, WONT, DO, DONT, SB, or a lone command (NOP, GA, ...)
    quint8 option = 0;  // the option of a negotiation or a subnegotiation
    QByteArray payload; // a subnegotiation's bytes after its option, IAC IAC made one 0xFF
    friend bool operator==(const Event &, const Event &) = default;
};

// Splits the peer's stream, fed in pieces cut anywhere, into data and events. A subnegotiation
// longer than kMaxSubnegotiation bytes is dropped whole; memory stays bounded whatever comes.
class Decoder {
public:
    static constexpr qsizetype kMaxSubnegotiation = 256;
    // Appends the data bytes of `bytes` to `data` and everything else to `events`.
    void feed(QByteArrayView bytes, QByteArray &data, QList<Event> &events);
    // Bytes of an unfinished subnegotiation held so far.
    [[nodiscard]] qsizetype held() const { return m_sb.payload.size(); }

private:
    enum class State : quint8 { Data, Iac, Option, SbOption, Sb, SbIac };
    void command(quint8 byte, QList<Event> &events);
    void keep(char byte);
    State m_state = State::Data;
    quint8 m_verb = 0;
    Event m_sb;
    bool m_sbTooLong = false;
};

// The client's side of the option negotiation: BINARY and SUPPRESS-GO-AHEAD both ways and
// COM-PORT-OPTION on its own side; every other option refused. Each request of the peer gets one
// reply; an answer to our own request, or a request for what already holds, gets none, so the two
// ends never talk in a loop.
class Negotiator {
public:
    // The client's requests on connecting.
    [[nodiscard]] QByteArray start();
    // The reply to a WILL, WONT, DO or DONT of the peer; empty when none is due.
    [[nodiscard]] QByteArray answer(quint8 verb, quint8 option);

private:
    enum class State : quint8 { No, Yes, Asked };
    std::array<State, 256> m_local{};  // options we perform (their DO/DONT, our WILL/WONT)
    std::array<State, 256> m_remote{}; // options the peer performs (their WILL/WONT, our DO/DONT)
};

// Data for the stream: every IAC doubled.
[[nodiscard]] QByteArray escape(QByteArrayView data);
// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
[[nodiscard]] QByteArray comPort(quint8 command, QByteArrayView value);
[[nodiscard]] QByteArray comPort(quint8 command, quint8 value);
[[nodiscard]] QByteArray setBaudRate(quint32 bitsPerSecond);
// SET-BAUDRATE, SET-DATASIZE, SET-PARITY and SET-STOPSIZE for a settings text such as
// "9600,n,8,1" (parity n, o, e, m or s; stop bits 1, 1.5 or 2); nothing when it is not one.
[[nodiscard]] std::optional<QByteArray> lineSettings(QStringView settings);
// The state a NOTIFY-MODEMSTATE event carries; nothing for any other event.
[[nodiscard]] std::optional<quint8> modemState(const Event &event);

} // namespace corvane::telnet
