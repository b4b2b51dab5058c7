#pragma once
// Data files as memory images: a binary, Intel HEX or Motorola S file read into an image, and an
// image written to one.

#include "text/records.h"

#include <QString>

#include <optional>

namespace corvane {

enum class ImageFormat { Binary, IntelHex, MotorolaS };

// The format a file name asks for: ".hex", ".ihx", ".ihex" Intel HEX; ".s", ".s19", ".s28",
// ".s37", ".srec", ".mot" Motorola S; anything else binary.
[[nodiscard]] ImageFormat formatForPath(const QString &path);

struct ImageFileRead {
    MemoryImage image;
    // Why the file could not be used (its path not named): it cannot be opened or read, or a bad
    // record (with its line).
    QString failure;
    std::optional<RecordsError> badRecord;
    [[nodiscard]] bool ok() const { return failure.isEmpty(); }
};

// Reads the file at `path` in the format its name asks for; a binary file's bytes from address 0.
[[nodiscard]] ImageFileRead readImageFile(const QString &path);

// Writes the image (a binary file: its bytes from its lowest address on, gaps as FF) to `path`
// safely: the file is replaced only once it has been written whole. Returns the failure (its path
// not named), or empty.
[[nodiscard]] QString writeImageFile(const QString &path, ImageFormat format,
                                     const MemoryImage &image);

} // namespace corvane
