#pragma once

// A socket of the test's own where systemd's would be: what a program sends
// with sd_notify lands here, each assignment with the time it came.
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QSocketNotifier>
#include <QString>
#include <QStringList>

#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace cantrel::test {

class NotifySocket {
  public:
    struct Message {
        qint64 atMs; // since the socket was made
        QString assignment;
    };

    explicit NotifySocket(const QString& path) : path_(path) {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd_ < 0 || size_t(name.size()) >= sizeof address.sun_path)
            qFatal("cannot make the notify socket %s", name.constData());
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            qFatal("cannot bind the notify socket %s", name.constData());
        clock_.start();
        // Read as they come, whenever the test's event loop runs.
        notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { take(); });
    }
    ~NotifySocket() {
        notifier_.reset();
        ::close(fd_);
        QFile::remove(path_);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    // The time on the clock the messages are stamped with.
    qint64 now() const { return clock_.elapsed(); }

    QString variable() const { return QStringLiteral("NOTIFY_SOCKET=") + path_; }

    // Reads what has come so far; each line of a message is one assignment.
    void take() {
        char buffer[4096];
        for (;;) {
            const ssize_t size = ::recv(fd_, buffer, sizeof buffer, 0);
            if (size < 0)
                return;
            const qint64 at = clock_.elapsed();
            for (const QString& line :
                 QString::fromUtf8(buffer, size).split(u'\n', Qt::SkipEmptyParts))
                received.append({at, line});
        }
    }

    // The assignments in order, the watchdog's pings left out.
    QStringList assignments() const {
        QStringList all;
        for (const Message& message : received)
            if (message.assignment != QLatin1String("WATCHDOG=1"))
                all << message.assignment;
        return all;
    }
    // When each of these came.
    QList<qint64> times(const QString& assignment) const {
        QList<qint64> at;
        for (const Message& message : received)
            if (message.assignment == assignment)
                at << message.atMs;
        return at;
    }

    QList<Message> received;

  private:
    QString path_;
    int fd_ = -1;
    QElapsedTimer clock_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace cantrel::test
