#include "text/telnetcodec.h"

#include <QString>

#include <initializer_list>
#include <utility>

namespace corvane::telnet {

void Decoder::feed(QByteArrayView bytes, QByteArray &data, QList<Event> &events) {
    for (const char c : bytes) {
        const auto byte = quint8(c);
        switch (m_state) {
        case State::Data:
            if (byte == IAC)
                m_state = State::Iac;
            else
                data.append(c);
            break;
        case State::Iac:
            command(byte, events);
            if (byte == IAC)
                data.append(c);
            break;
        case State::Option:
            events.append({m_verb, byte, {}});
            m_state = State::Data;
            break;
        case State::SbOption:
            m_sb = {SB, byte, {}};
            m_sbTooLong = false;
            m_state = State::Sb;
            break;
        case State::Sb:
            if (byte == IAC)
                m_state = State::SbIac;
            else
                keep(c);
            break;
        case State::SbIac:
            if (byte == IAC) { // a 0xFF of the subnegotiation
                keep(c);
                m_state = State::Sb;
                break;
            }
            // IAC SE ends it; IAC and any other command drops it unfinished, and that command
            // counts as it would outside.
            if (byte == SE && !m_sbTooLong)
                events.append(std::move(m_sb));
            m_sb = {};
            m_state = State::Data;
            if (byte != SE)
                command(byte, events);
            break;
        }
    }
}

void Decoder::keep(char byte) {
    if (m_sb.payload.size() < kMaxSubnegotiation)
        m_sb.payload.append(byte);
    else
        m_sbTooLong = true;
}

// The byte after an IAC outside a subnegotiation.
void Decoder::command(quint8 byte, QList<Event> &events) {
    m_state = State::Data;
    if (byte == IAC)
        return; // a data byte 0xFF: the caller keeps it
    if (byte >= WILL && byte <= DONT) {
        m_verb = byte;
        m_state = State::Option;
    } else if (byte == SB) {
        m_state = State::SbOption;
    } else {
        events.append({byte, 0, {}});
    }
}

namespace {

constexpr bool wantedLocally(quint8 option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

constexpr bool wantedRemotely(quint8 option) {
    return option == kBinary || option == kSuppressGoAhead;
}

QByteArray bytesOf(std::initializer_list<quint8> values) {
    QByteArray bytes;
    for (const quint8 value : values)
        bytes.append(char(value));
    return bytes;
}

QByteArray frame(quint8 verb, quint8 option) {
    return bytesOf({IAC, verb, option});
}

} // namespace

QByteArray Negotiator::start() {
    QByteArray requests;
    for (const quint8 option : {kBinary, kSuppressGoAhead, kComPort}) {
        if (wantedLocally(option) && m_local[option] == State::No) {
            m_local[option] = State::Asked;
            requests += frame(WILL, option);
        }
        if (wantedRemotely(option) && m_remote[option] == State::No) {
            m_remote[option] = State::Asked;
            requests += frame(DO, option);
        }
    }
    return requests;
}

QByteArray Negotiator::answer(quint8 verb, quint8 option) {
    // DO and DONT are about our side, WILL and WONT about the peer's.
    const bool ours = verb == DO || verb == DONT;
    State &state = ours ? m_local[option] : m_remote[option];
    const bool wanted = ours ? wantedLocally(option) : wantedRemotely(option);
    const quint8 yes = ours ? WILL : DO, no = ours ? WONT : DONT;
    if (verb == DO || verb == WILL) {
        if (state == State::Yes)
            return {};
        if (state == State::Asked) { // the answer to our request
            state = State::Yes;
            return {};
        }
        if (!wanted)
            return frame(no, option);
        state = State::Yes;
        return frame(yes, option);
    }
    if (verb != DONT && verb != WONT)
        return {};
    const State before = std::exchange(state, State::No);
    return before == State::Yes ? frame(no, option) : QByteArray();
}

QByteArray escape(QByteArrayView data) {
    QByteArray escaped;
    escaped.reserve(data.size() + data.count(char(IAC)));
    for (const char c : data) {
        escaped.append(c);
        if (quint8(c) == IAC)
            escaped.append(c);
    }
    return escaped;
}

QByteArray comPort(quint8 command, QByteArrayView value) {
    return bytesOf({IAC, SB, kComPort, command}) + escape(value) + bytesOf({IAC, SE});
}

QByteArray comPort(quint8 command, quint8 value) {
    const char byte = char(value);
    return comPort(command, QByteArrayView(&byte, 1));
}

QByteArray setBaudRate(quint32 bitsPerSecond) {
    const char value[] = {char(bitsPerSecond >> 24), char(bitsPerSecond >> 16),
                          char(bitsPerSecond >> 8), char(bitsPerSecond)};
    return comPort(SetBaudRate, QByteArrayView(value, 4));
}

std::optional<QByteArray> lineSettings(QStringView settings) {
    const QList<QStringView> fields = settings.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    bool ok = false;
    const uint speed = fields[0].trimmed().toUInt(&ok);
    if (!ok || speed == 0)
        return std::nullopt;
    const QStringView parityLetter = fields[1].trimmed();
    const int parity = parityLetter.size() == 1
                           ? QStringLiteral("noems").indexOf(parityLetter.at(0).toLower())
                           : -1;
    const int bits = fields[2].trimmed().toInt(&ok);
    const QStringView stop = fields[3].trimmed();
    const quint8 stopSize = stop == u"1"     ? StopOne
                            : stop == u"2"   ? StopTwo
                            : stop == u"1.5" ? StopOneAndHalf
                                             : 0;
    if (parity < 0 || !ok || bits < 5 || bits > 8 || stopSize == 0)
        return std::nullopt;
    return setBaudRate(speed) + comPort(SetDataSize, quint8(bits)) +
           comPort(SetParity, quint8(ParityNone + parity)) + comPort(SetStopSize, stopSize);
}

std::optional<quint8> modemState(const Event &event) {
    if (event.command != SB || event.option != kComPort || event.payload.size() < 2 ||
        quint8(event.payload[0]) != NotifyModemState)
        return std::nullopt;
    return quint8(event.payload[1]);
}

} // namespace corvane::telnet
