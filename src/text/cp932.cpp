#include "text/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace corvane {

namespace {

constexpr char kCodec[] = "windows-31j";
constexpr auto kStateless = QStringConverter::Flag::Stateless;

bool isLeadByte(uchar byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool isTrailByte(uchar byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

// The codec, made when first needed and made anew after every error: a codec's error flag, once
// set, stays set even across resetState(), so a codec that has seen one bad character would
// report every later one as bad too. Each call of the functions below has its own, so that what
// they return depends on their input alone.
template<typename Codec> class FreshCodec {
public:
    // Converts `input`; false (and the output is not to be used) when some part of it has no
    // form on the other side.
    template<typename In, typename Out> bool convert(In input, Out &out) {
        if (!m_codec)
            m_codec.emplace(kCodec, kStateless);
        out = (*m_codec)(input);
        if (!m_codec->hasError())
            return true;
        m_codec.reset();
        return false;
    }

private:
    std::optional<Codec> m_codec;
};

// ASCII goes out as it is (the codec's table would move some control characters, SUB among
// them); runs of other characters go through the codec. `ok` is cleared when some character has
// no CP932 form (it is then written as the codec's substitute) or only one the unit would read as
// another character (the codec maps U+F86F to the bytes of №).
QByteArray encode(const QString &text, bool &ok) {
    FreshCodec<QStringEncoder> encoder;
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    ok = true;
    qsizetype run = -1; // start of a run of non-ASCII characters
    auto flush = [&](qsizetype end) {
        if (run < 0)
            return;
        const QStringView chars = QStringView(text).mid(run, end - run);
        QByteArray encoded;
        if (!encoder.convert(chars, encoded) || chars.contains(QChar::ReplacementCharacter) ||
            fromCp932(encoded) != chars)
            ok = false;
        bytes += encoded;
        run = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            flush(i);
            bytes.append(char(u));
        } else if (run < 0) {
            run = i;
        }
    }
    flush(text.size());
    return bytes;
}

} // namespace

QByteArray toCp932(const QString &text) {
    bool ok = true;
    return encode(text, ok);
}

std::optional<QByteArray> encodeCp932(const QString &text) {
    bool ok = true;
    QByteArray bytes = encode(text, ok);
    if (!ok)
        return std::nullopt;
    return bytes;
}

QString fromCp932(const QByteArray &bytes) {
    // Single bytes map directly. Runs of lead and trail byte pairs go through the codec as a
    // whole; a run the codec does not take whole is read again one pair at a time, so that a pair
    // that is no character costs its lead byte alone and its trail byte is read on its own.
    FreshCodec<QStringDecoder> decoder;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    auto isPair = [&](qsizetype at) {
        return at + 1 < size && isLeadByte(data[at]) && isTrailByte(data[at + 1]);
    };
    QString text;
    text.reserve(size);
    QString chars;
    qsizetype singly = 0; // pairs before this are decoded one at a time
    for (qsizetype i = 0; i < size;) {
        if (isPair(i)) {
            if (i >= singly) {
                qsizetype end = i + 2;
                while (isPair(end))
                    end += 2;
                if (decoder.convert(QByteArrayView(bytes).sliced(i, end - i), chars) &&
                    chars.size() == (end - i) / 2) {
                    text += chars;
                    i = end;
                    continue;
                }
                singly = end;
            }
            if (decoder.convert(QByteArrayView(bytes).sliced(i, 2), chars) && chars.size() == 1) {
                text += chars;
                i += 2;
                continue;
            }
            text.append(QChar::ReplacementCharacter);
            ++i;
            continue;
        }
        const uchar byte = data[i++];
        if (byte < 0x80)
            text.append(QChar(char16_t(byte)));
        else if (byte >= 0xA1 && byte <= 0xDF) // half-width katakana
            text.append(QChar(char16_t(0xFF61 + byte - 0xA1)));
        else // no character begins with it, or a lead byte without its trail
            text.append(QChar::ReplacementCharacter);
    }
    return text;
}

} // namespace corvane
