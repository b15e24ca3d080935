#include "service/DesktopNotifier.h"

#include "service/ServiceBus.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace cantrel {

namespace {

// The notification's urgency hint: critical ones stay on most servers even
// without the timeout of 0.
constexpr uchar kNormal = 1;
constexpr uchar kCritical = 2;
// Rows missed together listed in their one notification; the rest counted.
constexpr int kListedRows = 10;

} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

void DesktopNotifier::post(const AsRunEvent& event) {
    const QString& what = event.event;
    // What came after rows missed goes after them.
    if (what != QLatin1String("missed") && !missed_.isEmpty())
        postMissed();
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
        // Rows passed over in one tick (a suspend, the clock set forward)
        // come one after another: they make one notification, not a pile.
        missed_.push_back(event);
        if (missed_.size() == 1)
            QTimer::singleShot(0, this, &DesktopNotifier::postMissed);
    } else if (what == QLatin1String("run left")) {
        send(QStringLiteral("Run ended"), event.detail, true, 0);
    }
}

void DesktopNotifier::postMissed() {
    const QList<AsRunEvent> rows = std::exchange(missed_, {});
    if (rows.isEmpty())
        return;
    if (rows.size() == 1) {
        send(QStringLiteral("Missed: ") + rowLabel(rows[0]), rows[0].detail, true, 0);
        return;
    }
    QStringList body{rows[0].detail};
    for (qsizetype i = 0; i < rows.size() && i < kListedRows; ++i)
        body << rowLabel(rows[i]);
    if (rows.size() > kListedRows)
        body << QStringLiteral("and %1 more").arg(rows.size() - kListedRows);
    send(QStringLiteral("Missed: %1 rows, %2 to %3")
             .arg(QString::number(rows.size()), rows.first().rowTime, rows.last().rowTime),
         body.join(u'\n'), true, 0);
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
