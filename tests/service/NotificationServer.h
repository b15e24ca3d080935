#pragma once

// A stand-in desktop notification server on the test's private bus, on a
// connection of its own so that calls from this process go through the bus:
// it records each Notify call and answers with ids 1, 2, 3... An answer can
// be held back, as a busy server's would be.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace cantrel::test {

class NotificationServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
  public:
    struct Notification {
        QString appName;
        uint replaces;
        QString icon;
        QString summary;
        QString body;
        int urgency;
        int expireTimeout;
    };
    QList<Notification> received;
    bool holdAnswers = false;

    bool start() {
        QDBusConnection bus = bus_;
        return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                  QDBusConnection::ExportAllSlots) &&
               bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    ~NotificationServer() override { stop(); }
    void stop() {
        QDBusConnection bus = bus_;
        bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
        bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
    }
    // Sends the answers held back so far.
    void answerHeld() {
        for (const auto& [message, id] : std::exchange(held_, {}))
            bus_.send(message.createReply(id));
    }
    // "Link down  No link  replaces 0  stays": what a person sees, and
    // whether it stays (no timeout, critical) or goes by itself.
    static QString seen(const Notification& n) {
        const bool stays = n.expireTimeout == 0 && n.urgency == 2;
        const bool goes = n.expireTimeout == -1 && n.urgency == 1;
        return QStringLiteral("%1  %2  replaces %3  %4")
            .arg(n.summary, n.body, QString::number(n.replaces),
                 stays  ? QStringLiteral("stays")
                 : goes ? QStringLiteral("goes")
                        : QStringLiteral("?"));
    }
    QStringList seen() const {
        QStringList all;
        for (const Notification& n : received)
            all << seen(n);
        return all;
    }

  public slots:
    uint Notify(const QString& appName, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList&, const QVariantMap& hints, int timeout) {
        received << Notification{appName, replaces, icon,
                                 summary, body,     hints.value(QStringLiteral("urgency")).toInt(),
                                 timeout};
        const uint id = replaces ? replaces : ++lastId_;
        if (holdAnswers) {
            setDelayedReply(true);
            held_.append({message(), id});
        }
        return id;
    }

  private:
    QDBusConnection bus_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                         QStringLiteral("notification server"));
    uint lastId_ = 0;
    QList<std::pair<QDBusMessage, uint>> held_;
};

} // namespace cantrel::test
