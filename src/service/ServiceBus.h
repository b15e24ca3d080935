#pragma once

#include "run/AsRunLog.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace cantrel {

// Where `cantrel --run` is on the session bus: a name derived from the
// program's application ID, one object, one interface.
inline constexpr QLatin1StringView kServiceName("org.cantrel.Cantrel.Service");
inline constexpr QLatin1StringView kServicePath("/org/cantrel/Cantrel/Service");
inline constexpr QLatin1StringView kServiceInterface("org.cantrel.Cantrel.Service");
// The error a call gets when its output or row is not there, and when the
// fire itself failed.
inline constexpr QLatin1StringView kServiceFailed("org.cantrel.Cantrel.Service.Error.Failed");

// An as-run event as the service gives it out: the fields of its log line.
struct ServiceEvent {
    // The log line's first field, "2026-12-10 12:00:00.003 +01:00".
    QString time;
    AsRunEvent event;

    // The eight fields of the log line, in its order, lateness in ms as a
    // number or empty.
    QStringList fields() const;
    static ServiceEvent fromFields(const QStringList& fields);
};

// The row an event concerns, for a person: "12:00:00  P3  News jingle";
// "P5" for an output fired outside any row; empty for an event without one.
QString rowLabel(const AsRunEvent& event);
// The event and its row: "failed 12:00:00  P3  News jingle", "link down".
QString eventLabel(const AsRunEvent& event);

// What the service tells of itself.
struct ServiceState {
    QDateTime runningSince;
    quint32 processId = 0;
    QString settingsFile;
    QString monthCalendar;
    QString dayFile;
    QString connectionText;
    QString linkText;
    qint32 runAdvance = 0;
    // The next row to fire today (time, output, comment, media file) and
    // the ms until its pulse; empty and -1 when none is left today.
    QStringList nextRow;
    qint64 msToNext = -1;
    // The mark of each of today's rows, in the day file's order.
    QStringList marks;
    // The last events, oldest first.
    QList<ServiceEvent> recentEvents;

    // From the properties of the service's interface, as the bus gives them.
    static ServiceState fromProperties(const QVariantMap& properties);
};

// The types beyond D-Bus's own that the service's interface carries; once
// before the first use of the bus, on either side.
void registerServiceTypes();

} // namespace cantrel
