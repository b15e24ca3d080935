#include "platform/MediaOpener.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

namespace cantrel {

namespace {
// "mailto:x@y" and "https://..." are links, not files; a Windows-looking
// drive letter never reaches us here, so two letters or more make a scheme.
bool isLink(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(target).hasMatch();
}
} // namespace

QString DesktopMediaOpener::openerProgram()
{
    const QString chosen = qEnvironmentVariable("CANTREL_OPENER");
    return chosen.isEmpty() ? QStringLiteral("xdg-open") : chosen;
}

bool DesktopMediaOpener::open(const QString& target)
{
    if (target.isEmpty())
        return false;
    if (!isLink(target) && !QFileInfo::exists(target))
        return false;
    return QProcess::startDetached(openerProgram(), {target});
}

} // namespace cantrel
