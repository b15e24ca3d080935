#pragma once

#include <QString>

namespace cantrel {

// "Build: Oct 25 2003, 15:34:24" from the compiler's __DATE__ ("Oct 25 2003",
// single-digit days padded with a space) and __TIME__ ("15:34:24").
QString buildLine(const char* date, const char* time);

} // namespace cantrel
