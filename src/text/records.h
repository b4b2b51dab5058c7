#pragma once
// The program's own reader and writer of Intel HEX and Motorola S record files. The reader checks
// every record (type, length, checksum, address) and names the line of the first bad one.

#include "text/memoryimage.h"

#include <QByteArray>
#include <QString>

#include <optional>

class QIODevice;

namespace corvane {

enum class RecordFormat { IntelHex, MotorolaS };

// The first bad record of a file: its line (from 1) and what is wrong with it, as the log and
// standard error show it ("12 行目: チェックサムが違います。").
struct RecordsError {
    qint64 line = 0;
    QString message;
    [[nodiscard]] QString text() const;
};

struct RecordsRead {
    MemoryImage image; // the data records' bytes (what came before an error)
    std::optional<RecordsError> error;
    std::optional<quint32> entry; // the start address of a type 03/05 (03: CS:IP) or S7-S9 record
};

// Reads Intel HEX (records 00-05) or Motorola S (S0-S9) records; the format is told by each line's
// first character. Lines end with CR LF, CR or LF; empty lines are skipped; reading stops at the
// end-of-file record (01, S7-S9), whatever follows; a file without one is read whole. An Intel
// data record's address is the extended address plus its offset (not wrapped at 64 KiB); data past
// 2^32 is an error.
[[nodiscard]] RecordsRead readRecords(QIODevice *device);
[[nodiscard]] RecordsRead readRecords(const QByteArray &text);

// Writes `image` as records of at most `bytesPerRecord` (1-255) data bytes each, lines ended with
// CR LF, closed by an end-of-file record: Intel HEX with extended linear address records where
// addresses pass 64 KiB; Motorola S with S1, S2 or S3 records as the highest address needs.
[[nodiscard]] QByteArray writeRecords(RecordFormat format, const MemoryImage &image,
                                      int bytesPerRecord = 16);

} // namespace corvane
