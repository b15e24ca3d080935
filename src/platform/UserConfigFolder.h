#pragma once

#include <QString>

namespace cantrel {

// The user's own folder for Cantrel's files (the ports file, and the settings
// of an installed program): $XDG_CONFIG_HOME/cantrel, with ~/.config standing
// in when that variable is unset or not an absolute path.
QString userConfigFolder();

} // namespace cantrel
