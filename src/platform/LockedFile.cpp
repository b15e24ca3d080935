#include "platform/LockedFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cantrel {

namespace {

QString reasonOf(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("no such file");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("no permission to write it");
    case EISDIR:
        return QStringLiteral("a folder, not a file");
    case EWOULDBLOCK:
        return QStringLiteral("in use by another program");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// An open, exclusively locked descriptor; closing it drops the lock.
class LockedFd {
public:
    explicit LockedFd(const QString& path, ReadAccess access = ReadAccess::ReadWrite)
    {
        if (path.isEmpty()) {
            why_ = QStringLiteral("no file name");
            return;
        }
        const QByteArray name = QFile::encodeName(path);
        fd_ = ::open(name.constData(), O_RDWR | O_CLOEXEC);
        // flock takes a descriptor opened for reading only just as well.
        if (fd_ < 0 && access == ReadAccess::ReadOnlyAllowed &&
            (errno == EACCES || errno == EROFS || errno == EPERM))
            fd_ = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            why_ = reasonOf(errno);
            return;
        }
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
            why_ = S_ISDIR(st.st_mode) ? reasonOf(EISDIR) : QStringLiteral("not a plain file");
        else if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
            why_ = reasonOf(errno);
        else
            return;
        ::close(fd_);
        fd_ = -1;
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
    // Why it could not be had.
    const QString& why() const { return why_; }

private:
    int fd_ = -1;
    QString why_;
};

} // namespace

std::optional<QByteArray> readExclusive(const QString& path, QString* why, ReadAccess access)
{
    LockedFd file(path, access);
    QFile reader;
    QString failure = file.why();
    if (file.ok()) {
        if (reader.open(file.fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            QByteArray data = reader.readAll();
            if (reader.error() == QFileDevice::NoError)
                return data;
        }
        failure = reader.errorString();
    }
    if (why)
        *why = failure;
    return std::nullopt;
}

int writeWhole(int fd, const QByteArray& data)
{
    for (qsizetype done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n >= 0)
            done += n;
        else if (errno != EINTR)
            return errno;
    }
    return 0;
}

ReplaceResult replaceFile(const QString& path, const QByteArray& data, QString* why)
{
    const auto failed = [why](ReplaceResult result, const QString& reason) {
        if (why)
            *why = reason;
        return result;
    };
    if (path.isEmpty())
        return failed(ReplaceResult::CannotCreate, QStringLiteral("no file name"));
    const QFileInfo target(path);
    // Hold the old file while the new one is written, so no other program
    // that has it open loses its copy under its feet.
    std::optional<LockedFd> old;
    if (target.exists()) {
        old.emplace(path);
        if (!old->ok())
            return failed(ReplaceResult::CannotCreate, old->why());
    }
    QSaveFile out(path);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return failed(ReplaceResult::CannotCreate, out.errorString());
    // Written and synced through the descriptor, and checked while the write
    // can still be cancelled: commit() ignores a failed flush of the file's
    // own buffer (and renames the empty file over the old one) and a failed
    // sync, and a write that Qt sees stop part-way loses its reason.
    int error = writeWhole(out.handle(), data);
    if (error == 0 && ::fsync(out.handle()) != 0)
        error = errno;
    if (error != 0) {
        out.cancelWriting();
        out.commit(); // removes the temporary file
        return failed(ReplaceResult::CannotWrite, QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!out.commit())
        return failed(ReplaceResult::CannotWrite, out.errorString());
    return ReplaceResult::Replaced;
}

} // namespace cantrel
