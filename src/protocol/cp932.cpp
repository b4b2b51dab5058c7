#include "protocol/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace corvane {

QByteArray toCp932(const QString &text) {
    QStringEncoder encoder("windows-31j");
    return encoder.encode(text);
}

QString fromCp932(const QByteArray &bytes) {
    QStringDecoder decoder("windows-31j");
    return decoder.decode(bytes);
}

} // namespace corvane
