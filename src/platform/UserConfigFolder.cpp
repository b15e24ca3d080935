#include "platform/UserConfigFolder.h"

#include <QDir>

namespace cantrel {

QString userConfigFolder() {
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    const QString base = !config.isEmpty() && QDir::isAbsolutePath(config)
                             ? config
                             : QDir::homePath() + QStringLiteral("/.config");
    return QDir::cleanPath(base + QStringLiteral("/cantrel"));
}

} // namespace cantrel
