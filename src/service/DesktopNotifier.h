#pragma once

#include "run/AsRunLog.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>

namespace cantrel {

// Desktop notifications through the notification server on the session bus
// (org.freedesktop.Notifications), when one is there: none is started for
// us, and a server that is missing or slow to answer holds up nothing.
class DesktopNotifier final : public QObject {
    Q_OBJECT
  public:
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Posts what an event that matters says: a row failed or missed, the
    // link down or back, the run ended ("run left"). Those stay until
    // dismissed, but link back, which takes the place of link down's.
    void post(const AsRunEvent& event);
    // Every notification posted has been answered (or refused).
    bool idle() const { return pending_ == 0 && missed_.isEmpty(); }

  private:
    // The rows missed in one go, as one notification.
    void postMissed();
    // Sends one; then, when given, gets the id the server gave it (0 when
    // it was refused).
    void send(const QString& summary, const QString& body, bool stays, quint32 replaces,
              std::function<void(quint32 id)> then = {});

    QDBusConnection bus_;
    int pending_ = 0;
    QList<AsRunEvent> missed_;
    // Link down's notification, for link back to replace: its id once the
    // server has answered; link back waits while the answer is out.
    quint32 linkDownId_ = 0;
    bool linkDownAwaited_ = false;
    std::optional<AsRunEvent> linkBackWaiting_;
};

} // namespace cantrel
