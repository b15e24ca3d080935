#include "app/SettingsPlace.h"

#include "app/SettingsFile.h"
#include "platform/UserConfigFolder.h"
#include "run/ShiftedClock.h"

#include <QDir>
#include <QFileInfo>

namespace cantrel {

namespace {

bool isFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

} // namespace

bool isInstalledCopy(const QString& programFolder) {
    return isFile(QDir(programFolder).filePath(kInstalledMarkerName));
}

SettingsPlace settingsPlace(const QString& programFolder) {
    const QString here = QDir::current().absoluteFilePath(kSettingsName);
    if (!isInstalledCopy(programFolder))
        return {isFile(here) ? here : QString(), programFolder};

    const QString config = userConfigFolder();
    const QString configured = QDir(config).filePath(kSettingsName);
    if (isFile(here))
        return {here, config};
    return {isFile(configured) ? configured : QString(), config};
}

HeadlessSettings readRunSettings(const SettingsFile& list) {
    HeadlessSettings settings;
    settings.monthCalendar = list.value(QStringLiteral("file31d")).value_or(QString());
    settings.connection = list.number(QStringLiteral("Port")).value_or(0);
    settings.deviceId = list.number(QStringLiteral("DeviceID")).value_or(0);
    settings.runAdvance = clampRunAdvance(list.number(QStringLiteral("RunAdvance")).value_or(0));
    return settings;
}

} // namespace cantrel
