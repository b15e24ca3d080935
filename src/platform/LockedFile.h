#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace cantrel {

// Document files are opened read-write and not shared with other programs:
// a file another process holds locked counts as "open elsewhere".

// The whole file, or nothing when it is missing, a folder, not writable or
// locked by someone else.
std::optional<QByteArray> readExclusive(const QString& path);

enum class ReplaceResult {
    Replaced,
    CannotCreate, // the file could not be created (or is held elsewhere)
    CannotWrite,  // created, but the data did not reach the disk; the old file is whole
};

// Writes a temporary file beside the target and renames it over the target,
// so a failed save never destroys what was there.
ReplaceResult replaceFile(const QString& path, const QByteArray& data);

} // namespace cantrel
