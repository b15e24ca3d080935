#include "run/NextRowText.h"

#include "schedule/Cells.h"

namespace cantrel {

QString nextRowLabel(const QStringList& cells) {
    QString text = QStringLiteral("Next: %1  P%2").arg(cells.value(DayCol::Time).trimmed(),
                                                     cells.value(DayCol::Output).trimmed());
    const QString comment = cells.value(DayCol::Comment).trimmed();
    if (!comment.isEmpty())
        text += QStringLiteral("  ") + comment;
    return text;
}

QString nextRowText(const QStringList& cells, qint64 msLeft) {
    const qint64 seconds = (std::max<qint64>(0, msLeft) + 999) / 1000;
    const QString left = QStringLiteral("%1:%2:%3")
                             .arg(seconds / 3600)
                             .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return nextRowLabel(cells) + QStringLiteral("  in ") + left;
}

} // namespace cantrel
