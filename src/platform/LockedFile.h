#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace cantrel {

// Document files are opened read-write and not shared with other programs:
// a file another process holds locked counts as "open elsewhere".

enum class ReadAccess {
    ReadWrite,       // the file must be one this user may also write
    ReadOnlyAllowed, // a file this user may only read is read all the same
};

// The whole file, or nothing when it is missing, a folder, not writable (for
// ReadWrite) or locked by someone else; then why, when given, says which
// ("no such file", "in use by another program", ...).
std::optional<QByteArray> readExclusive(const QString& path, QString* why = nullptr,
                                        ReadAccess access = ReadAccess::ReadWrite);

// Writes all of data to the descriptor, going on after a signal: 0, or the
// errno of the failure (part of data may have been written then).
int writeWhole(int fd, const QByteArray& data);

enum class ReplaceResult {
    Replaced,
    CannotCreate, // the file could not be created (or is held elsewhere)
    CannotWrite,  // created, but the data did not reach the disk; the old file is whole
};

// Writes a temporary file beside the target and renames it over the target,
// so a failed save never destroys what was there. why, when given, says why
// it failed ("No space left on device", ...).
ReplaceResult replaceFile(const QString& path, const QByteArray& data, QString* why = nullptr);

} // namespace cantrel
