#pragma once

namespace cantrel {

// `cantrel --status`: the state of this user's `cantrel --run` on standard
// output. Exit status 0 when one runs, 3 when none does (as `systemctl
// status` says it), 1 when it cannot be asked.
int showStatus(int& argc, char** argv);

} // namespace cantrel
