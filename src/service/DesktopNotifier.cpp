#include "service/DesktopNotifier.h"

#include "service/ServiceBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace cantrel {

namespace {

// The notification's urgency hint: critical ones stay on most servers even
// without the timeout of 0.
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

void DesktopNotifier::post(const AsRunEvent& event) {
    const QString& what = event.event;
    if (what == QLatin1String("link back")) {
        if (linkDownAwaited_) {
            linkBackWaiting_ = event;
            return;
        }
        send(QStringLiteral("Link back"), event.detail, false, std::exchange(linkDownId_, 0));
    } else if (what == QLatin1String("link down")) {
        linkDownAwaited_ = true;
        send(QStringLiteral("Link down"), event.detail, true, 0, [this](quint32 id) {
            linkDownId_ = id;
            linkDownAwaited_ = false;
            if (linkBackWaiting_)
                post(*std::exchange(linkBackWaiting_, std::nullopt));
        });
    } else if (what == QLatin1String("failed")) {
        send(QStringLiteral("Failed: ") + rowLabel(event), event.detail, true, 0);
    } else if (what == QLatin1String("missed")) {
        send(QStringLiteral("Missed: ") + rowLabel(event), event.detail, true, 0);
    } else if (what == QLatin1String("run left")) {
        send(QStringLiteral("Run ended"), event.detail, true, 0);
    }
}

void DesktopNotifier::send(const QString& summary, const QString& body, bool stays,
                           quint32 replaces, std::function<void(quint32)> then) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // Only a server that is there: a headless machine must not start one.
    call.setAutoStartService(false);
    const QVariantMap hints{
        {QStringLiteral("urgency"), QVariant::fromValue(stays ? kCritical : kNormal)},
        {QStringLiteral("desktop-entry"), QStringLiteral("org.cantrel.Cantrel")}};
    call << QStringLiteral("Cantrel") << replaces << QStringLiteral("cantrel") << summary << body
         << QStringList() << hints << qint32(stays ? 0 : -1);
    ++pending_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, then = std::move(then)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                --pending_;
                const QDBusPendingReply<quint32> reply = *finished;
                if (then)
                    then(reply.isValid() ? reply.value() : 0);
            });
}

} // namespace cantrel
