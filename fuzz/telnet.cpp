// Fuzzes the Telnet stream decoder and the negotiation a network port answers with: the same
// data, events and replies whatever the cuts, escaped data comes back unchanged, and an endless
// subnegotiation holds no more than its bound.
#include "fuzz.h"
#include "text/telnetcodec.h"

using namespace corvane;

namespace {

struct Reading {
    QByteArray data, replies;
    QList<telnet::Event> events;
    bool operator==(const Reading &) const = default;
};

// Everything a port makes of the stream, read from `device` in the pieces it gives.
Reading readStream(QIODevice *device) {
    telnet::Decoder decoder;
    telnet::Negotiator negotiator;
    Reading reading;
    reading.replies = negotiator.start();
    char piece[64];
    for (qint64 n = device->read(piece, sizeof piece); n > 0;
         n = device->read(piece, sizeof piece)) {
        const qsizetype first = reading.events.size();
        decoder.feed(QByteArrayView(piece, n), reading.data, reading.events);
        FUZZ_CHECK(decoder.held() <= telnet::Decoder::kMaxSubnegotiation,
                   "a subnegotiation outgrew its bound");
        for (qsizetype i = first; i < reading.events.size(); ++i) {
            const telnet::Event &event = reading.events[i];
            FUZZ_CHECK(event.payload.size() <= telnet::Decoder::kMaxSubnegotiation,
                       "a subnegotiation longer than its bound came through");
            reading.replies += negotiator.answer(event.command, event.option);
        }
    }
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const Reading whole = readStream(&buffer);
    FUZZ_CHECK(whole.data.size() <= bytes.size(), "more data than bytes");
    fuzz::checkReadings(bytes, bytes, whole, readStream);

    // The same bytes sent as data come out unchanged, as data alone.
    QByteArray escaped = telnet::escape(bytes);
    QBuffer escapedBuffer(&escaped);
    escapedBuffer.open(QIODevice::ReadOnly);
    const Reading echoed = readStream(&escapedBuffer);
    FUZZ_CHECK(echoed.data == bytes && echoed.events.isEmpty(), "escaped data changed");

    // An endless subnegotiation holds no more than its bound and yields nothing when it ends.
    const QByteArray filler =
        QByteArray(bytes).replace(char(telnet::IAC), 'x') + QByteArray(257, 'x');
    telnet::Decoder decoder;
    QByteArray out;
    QList<telnet::Event> events;
    decoder.feed("\xff\xfa\x2c", out, events);
    for (int i = 0; i < 16; ++i) {
        decoder.feed(filler, out, events);
        FUZZ_CHECK(decoder.held() <= telnet::Decoder::kMaxSubnegotiation, "endless subnegotiation");
    }
    decoder.feed("\xff\xf0", out, events);
    FUZZ_CHECK(out.isEmpty() && events.isEmpty(), "an overlong subnegotiation came through");
    return 0;
}
