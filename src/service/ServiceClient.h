#pragma once

#include "service/ServiceBus.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QDBusServiceWatcher;

namespace cantrel {

// The other side of the service: whether a `cantrel --run` of this user is
// on the session bus, its state, its events as they happen, and its two
// calls. It follows the service as it starts and stops. `cantrel --status`
// asks once and waits; a window keeps one and waits for nothing.
class ServiceClient final : public QObject {
    Q_OBJECT
  public:
    explicit ServiceClient(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                           QObject* parent = nullptr);
    ~ServiceClient() override;

    // Whether there is a session bus at all, and why not.
    bool busConnected() const { return bus_.isConnected(); }
    QString busError() const { return bus_.lastError().message(); }
    // Whether a service has the name now; asks the bus.
    bool serviceRunning() const;

    // The service's state, waiting for its answer; nothing when it does not
    // give one, and then why says why.
    std::optional<ServiceState> readState(QString* why = nullptr) const;
    // The same without waiting: stateRead or stateFailed follows.
    void requestState();

    // The calls, without waiting: done, when given, gets the service's
    // refusal or failure as its text, or an empty text once it went out.
    using Done = std::function<void(const QString& failure)>;
    void fireOutput(int output, Done done = {});
    void executeRow(int row, Done done = {});

  signals:
    void serviceStarted();
    void serviceStopped();
    void eventLogged(const ServiceEvent& event);
    void stateChanged();
    void stateRead(const ServiceState& state);
    void stateFailed(const QString& why);

  private slots:
    // The service's signals, as the bus delivers them.
    void onEvent(const QString& time, const QString& event, const QString& rowTime,
                 const QString& output, const QString& comment, const QString& media,
                 const QString& lateMs, const QString& detail);
    void onStateChanged();

  private:
    void call(const QString& method, int argument, Done done);

    QDBusConnection bus_;
    QDBusServiceWatcher* watcher_ = nullptr;
};

} // namespace cantrel
