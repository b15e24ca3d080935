#include "service/StatusText.h"

#include "run/NextRowText.h"

namespace cantrel {

namespace {

// A file name or a comment must not move the cursor or change the
// terminal's colours: every control character shows as a space.
QString printable(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = u' ';
    return text;
}

// "+01:00", as the as-run log writes the offset.
QString offsetText(int seconds) {
    const int minutes = qAbs(seconds) / 60;
    return QString(QLatin1Char(seconds < 0 ? '-' : '+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString lateness(const AsRunEvent& event) {
    if (!event.lateMs)
        return {};
    return *event.lateMs < 0 ? QStringLiteral("%1 ms early").arg(-*event.lateMs)
                             : QStringLiteral("%1 ms late").arg(*event.lateMs);
}

} // namespace

QString eventLine(const ServiceEvent& event) {
    QStringList parts;
    for (const QString& part :
         {event.time, event.event.event, rowLabel(event.event), event.event.media.trimmed(),
          lateness(event.event), event.event.detail})
        if (!part.isEmpty())
            parts << part;
    return printable(parts.join(QStringLiteral("  ")));
}

QString statusText(const ServiceState& state) {
    const QDateTime& since = state.runningSince;
    QString text = QStringLiteral("cantrel --run is running since %1 (process %2)\n")
                       .arg(since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
                                offsetText(since.offsetFromUtc()),
                            QString::number(state.processId));
    text += QStringLiteral("Settings: %1\nCalendar: %2\nDay file: %3, run advance %4 s\n")
                .arg(printable(state.settingsFile), printable(state.monthCalendar),
                     printable(state.dayFile), QString::number(state.runAdvance));
    text += printable(state.connectionText + QStringLiteral("   ") + state.linkText) + u'\n';
    text += state.nextRow.isEmpty()
                ? QStringLiteral("Next: no more rows today\n")
                : printable(nextRowText(QStringList{QString()} + state.nextRow, state.msToNext)) +
                      u'\n';
    text += QStringLiteral("Last events:\n");
    for (const ServiceEvent& event : state.recentEvents)
        text += QStringLiteral("  ") + eventLine(event) + u'\n';
    return text;
}

} // namespace cantrel
