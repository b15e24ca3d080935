#pragma once

#include <QString>
#include <QStringList>

namespace cantrel {

// What the status bar says of the next row to fire, from its cells (mark,
// time, output, comment, media) and the ms left until it falls due:
// "Next: 12:00:00  P3  News jingle  in 0:04:12". Time left counts whole
// seconds, rounded up.
QString nextRowText(const QStringList& cells, qint64 msLeft);
// The same without the time left: "Next: 12:00:00  P3  News jingle".
QString nextRowLabel(const QStringList& cells);

} // namespace cantrel
