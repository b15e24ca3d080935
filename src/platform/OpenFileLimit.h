#pragma once

namespace cantrel {

// Raises this process's soft limit of open files to its hard limit. Each row
// waiting for its pulse holds a thread, and each thread an event descriptor:
// a long run advance over a dense schedule needs more than the usual soft
// limit of 1024. Nothing here uses select(), so a high limit is safe.
void raiseOpenFileLimit();

} // namespace cantrel
