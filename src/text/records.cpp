#include "text/records.h"

#include <QIODevice>

namespace corvane {

QString RecordsError::text() const {
    return QString::number(line) + QStringLiteral(" 行目: ") + message;
}

RecordsRead readRecords(QIODevice *device) {
    return readRecords(device->readAll());
}

RecordsRead readRecords(const QByteArray &text) {
    Q_UNUSED(text);
    RecordsRead read;
    read.error = RecordsError{1, QStringLiteral("未実装です。")};
    return read;
}

QByteArray writeRecords(RecordFormat format, const MemoryImage &image, int bytesPerRecord) {
    Q_UNUSED(format);
    Q_UNUSED(image);
    Q_UNUSED(bytesPerRecord);
    return {};
}

} // namespace corvane
