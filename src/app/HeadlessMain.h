#pragma once

#include <QString>

namespace cantrel {

// `cantrel --run`: the month calendar's schedule without a window, until
// SIGTERM or SIGINT (status 0) or until Run mode ends by itself (status 1).
// settingsFile empty: the file the window would read at start-up.
int runHeadless(int& argc, char** argv, const QString& settingsFile);

} // namespace cantrel
