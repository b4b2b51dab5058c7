#include "text/imagefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace corvane {

namespace {

// A binary image is at most the unit's whole address range.
constexpr qint64 kMaxBinaryBytes = qint64(1) << 20;

QByteArray binaryBytes(const MemoryImage &image) {
    if (image.isEmpty())
        return {};
    QByteArray bytes(qsizetype(image.highest() - image.lowest()) + 1, char(0xFF));
    for (const ByteRun &run : image.runs())
        std::copy(run.bytes.cbegin(), run.bytes.cend(),
                  bytes.begin() + (run.address - image.lowest()));
    return bytes;
}

} // namespace

ImageFormat formatForPath(const QString &path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    static const QStringList hex = {QStringLiteral("hex"), QStringLiteral("ihx"),
                                    QStringLiteral("ihex")};
    static const QStringList srec = {QStringLiteral("s"),    QStringLiteral("s19"),
                                     QStringLiteral("s28"),  QStringLiteral("s37"),
                                     QStringLiteral("srec"), QStringLiteral("mot")};
    if (hex.contains(suffix))
        return ImageFormat::IntelHex;
    if (srec.contains(suffix))
        return ImageFormat::MotorolaS;
    return ImageFormat::Binary;
}

ImageFileRead readImageFile(const QString &path) {
    ImageFileRead read;
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        read.failure = QStringLiteral("ファイルをオープンできません！");
        return read;
    }
    if (formatForPath(path) != ImageFormat::Binary) {
        RecordsRead records = readRecords(&file);
        read.image = std::move(records.image);
        if (records.error) {
            read.badRecord = records.error;
            read.failure = records.error->text();
        }
        return read;
    }
    if (file.size() > kMaxBinaryBytes) {
        read.failure = QStringLiteral("ファイルが 1 MiB を超えています。");
        return read;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        read.failure = QStringLiteral("ファイルを読めません。");
        return read;
    }
    read.image.write(0, bytes);
    return read;
}

QString writeImageFile(const QString &path, ImageFormat format, const MemoryImage &image) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QStringLiteral("ファイルを作成できません！");
    const QByteArray bytes =
        format == ImageFormat::Binary
            ? binaryBytes(image)
            : writeRecords(format == ImageFormat::IntelHex ? RecordFormat::IntelHex
                                                           : RecordFormat::MotorolaS,
                           image);
    if (file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("ファイルに書き込めませんでした！");
    return {};
}

} // namespace corvane
