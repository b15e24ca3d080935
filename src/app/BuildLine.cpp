#include "app/BuildLine.h"

namespace cantrel {

QString buildLine(const char* date, const char* time)
{
    return QStringLiteral("Build: %1, %2")
        .arg(QString::fromLatin1(date).simplified(), QString::fromLatin1(time));
}

} // namespace cantrel
