#pragma once

#include <QString>

namespace cantrel {

// `cantrel --plan [YYYY-MM | YYYY-MM-DD]`: what will run on each day of the
// month (the current one when when is empty) or on the one day, from the
// calendar the settings name and the plan beside it. Status 0, or 1 when the
// settings, the calendar or the plan do not read.
int showPlan(int& argc, char** argv, const QString& settingsFile, const QString& when);

} // namespace cantrel
