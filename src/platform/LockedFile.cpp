#include "platform/LockedFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantrel {

namespace {

// An open, exclusively locked descriptor; closing it drops the lock.
class LockedFd {
public:
    explicit LockedFd(const QString& path)
    {
        if (path.isEmpty())
            return;
        const QByteArray name = QFile::encodeName(path);
        fd_ = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0)
            return;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~LockedFd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    LockedFd(const LockedFd&) = delete;
    LockedFd& operator=(const LockedFd&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
};

} // namespace

std::optional<QByteArray> readExclusive(const QString& path)
{
    LockedFd file(path);
    if (!file.ok())
        return std::nullopt;
    QFile reader;
    if (!reader.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    QByteArray data = reader.readAll();
    if (reader.error() != QFileDevice::NoError)
        return std::nullopt;
    return data;
}

ReplaceResult replaceFile(const QString& path, const QByteArray& data)
{
    if (path.isEmpty())
        return ReplaceResult::CannotCreate;
    const QFileInfo target(path);
    // Hold the old file while the new one is written, so no other program
    // that has it open loses its copy under its feet.
    std::optional<LockedFd> old;
    if (target.exists()) {
        old.emplace(path);
        if (!old->ok())
            return ReplaceResult::CannotCreate;
    }
    QSaveFile out(path);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return ReplaceResult::CannotCreate;
    if (out.write(data) != data.size()) {
        out.cancelWriting();
        out.commit();
        return ReplaceResult::CannotWrite;
    }
    return out.commit() ? ReplaceResult::Replaced : ReplaceResult::CannotWrite;
}

} // namespace cantrel
