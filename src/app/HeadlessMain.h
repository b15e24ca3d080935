#pragma once

#include "run/HeadlessRun.h"

#include <QString>

#include <optional>

namespace cantrel {

// `cantrel --run`: the month calendar's schedule without a window, until
// SIGTERM or SIGINT (status 0) or until Run mode ends by itself (status 1).
// settingsFile empty: the file the window would read at start-up.
int runHeadless(int& argc, char** argv, const QString& settingsFile);

// The settings file --run reads: the one named, else the one the window
// would read at start-up. Needs the application object.
QString runSettingsPath(const QString& settingsFile);
// The run's settings from that file, or nothing and why it does not read.
std::optional<HeadlessSettings> readRunSettingsFile(const QString& path, QString* why);

} // namespace cantrel
