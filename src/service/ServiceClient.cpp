#include "service/ServiceClient.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>

namespace cantrel {

namespace {

// A service that does not answer within this is taken as not answering:
// `cantrel --status` must not hang on a stuck one.
constexpr int kAnswerMs = 5000;

QDBusMessage getAll() {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kServiceName, kServicePath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    message << QString(kServiceInterface);
    return message;
}

} // namespace

ServiceClient::ServiceClient(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {
    if (!bus_.isConnected())
        return;
    registerServiceTypes();
    watcher_ = new QDBusServiceWatcher(kServiceName, bus_,
                                       QDBusServiceWatcher::WatchForRegistration |
                                           QDBusServiceWatcher::WatchForUnregistration,
                                       this);
    connect(watcher_, &QDBusServiceWatcher::serviceRegistered, this,
            &ServiceClient::serviceStarted);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
            &ServiceClient::serviceStopped);
    bus_.connect(
        kServiceName, kServicePath, kServiceInterface, QStringLiteral("Event"), this,
        SLOT(onEvent(QString, QString, QString, QString, QString, QString, QString, QString)));
    bus_.connect(kServiceName, kServicePath, kServiceInterface, QStringLiteral("StateChanged"),
                 this, SLOT(onStateChanged()));
}

ServiceClient::~ServiceClient() = default;

bool ServiceClient::serviceRunning() const {
    return bus_.isConnected() && bus_.interface()->isServiceRegistered(kServiceName).value();
}

std::optional<ServiceState> ServiceClient::readState(QString* why) const {
    const QDBusReply<QVariantMap> reply = bus_.call(getAll(), QDBus::Block, kAnswerMs);
    if (!reply.isValid()) {
        if (why)
            *why = reply.error().message();
        return std::nullopt;
    }
    return ServiceState::fromProperties(reply.value());
}

void ServiceClient::requestState() {
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(getAll(), kAnswerMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QVariantMap> reply = *finished;
                if (reply.isValid())
                    emit stateRead(ServiceState::fromProperties(reply.value()));
                else
                    emit stateFailed(reply.error().message());
            });
}

void ServiceClient::fireOutput(int output, Done done) {
    call(QStringLiteral("FireOutput"), output, std::move(done));
}

void ServiceClient::executeRow(int row, Done done) {
    call(QStringLiteral("ExecuteRow"), row, std::move(done));
}

void ServiceClient::call(const QString& method, int argument, Done done) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kServiceName, kServicePath, kServiceInterface, method);
    message << argument;
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(message, kAnswerMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<> reply = *finished;
                if (done)
                    done(reply.isError() ? reply.error().message() : QString());
            });
}

void ServiceClient::onEvent(const QString& time, const QString& event, const QString& rowTime,
                            const QString& output, const QString& comment, const QString& media,
                            const QString& lateMs, const QString& detail) {
    emit eventLogged(
        ServiceEvent::fromFields({time, event, rowTime, output, comment, media, lateMs, detail}));
}

void ServiceClient::onStateChanged() {
    emit stateChanged();
}

} // namespace cantrel
