#include "service/ServiceBus.h"

#include <QDBusArgument>
#include <QDBusMetaType>

namespace cantrel {

namespace {

using EventFields = QList<QStringList>;

QString property(const QVariantMap& properties, const char* name) {
    return properties.value(QLatin1String(name)).toString();
}

// A list of lists arrives as the bus's own argument until it is taken apart.
template <typename T> T demarshalled(const QVariant& value) {
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<T>(value.value<QDBusArgument>());
    return value.value<T>();
}

} // namespace

QStringList ServiceEvent::fields() const {
    return {time,
            event.event,
            event.rowTime,
            event.output,
            event.comment,
            event.media,
            event.lateMs ? QString::number(*event.lateMs) : QString(),
            event.detail};
}

ServiceEvent ServiceEvent::fromFields(const QStringList& fields) {
    bool isNumber = false;
    const qint64 late = fields.value(6).toLongLong(&isNumber);
    return {fields.value(0),
            {fields.value(1), fields.value(2), fields.value(3), fields.value(4), fields.value(5),
             isNumber ? std::optional<qint64>(late) : std::nullopt, fields.value(7)}};
}

QString rowLabel(const AsRunEvent& event) {
    QStringList parts;
    if (!event.rowTime.trimmed().isEmpty())
        parts << event.rowTime.trimmed();
    if (!event.output.trimmed().isEmpty())
        parts << QStringLiteral("P") + event.output.trimmed();
    if (!event.comment.trimmed().isEmpty())
        parts << event.comment.trimmed();
    return parts.join(QStringLiteral("  "));
}

QString eventLabel(const AsRunEvent& event) {
    const QString row = rowLabel(event);
    return row.isEmpty() ? event.event : event.event + u' ' + row;
}

ServiceState ServiceState::fromProperties(const QVariantMap& properties) {
    ServiceState state;
    state.runningSince = QDateTime::fromString(property(properties, "RunningSince"), Qt::ISODate);
    state.processId = properties.value(QStringLiteral("ProcessId")).toUInt();
    state.settingsFile = property(properties, "SettingsFile");
    state.monthCalendar = property(properties, "MonthCalendar");
    state.dayFile = property(properties, "DayFile");
    state.connectionText = property(properties, "ConnectionText");
    state.linkText = property(properties, "LinkText");
    state.runAdvance = properties.value(QStringLiteral("RunAdvance")).toInt();
    state.nextRow = properties.value(QStringLiteral("NextRow")).toStringList();
    state.msToNext = properties.value(QStringLiteral("NextRowIn"), -1).toLongLong();
    state.marks = properties.value(QStringLiteral("Marks")).toStringList();
    for (const QStringList& fields :
         demarshalled<EventFields>(properties.value(QStringLiteral("RecentEvents"))))
        state.recentEvents << ServiceEvent::fromFields(fields);
    return state;
}

void registerServiceTypes() {
    qDBusRegisterMetaType<EventFields>();
}

} // namespace cantrel
