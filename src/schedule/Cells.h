#pragma once

#include <QString>

namespace cantrel {

// The columns of a day row.
namespace DayCol {
inline constexpr int Mark = 0;
inline constexpr int Time = 1;
inline constexpr int Output = 2;
inline constexpr int Comment = 3;
inline constexpr int Media = 4;
} // namespace DayCol

// The columns of a calendar row.
namespace MonthCol {
inline constexpr int Mark = 0;
inline constexpr int Day = 1;
inline constexpr int File = 2;
} // namespace MonthCol

// The text without the characters of codes 0 to 32 at either end.
QString trimmedControls(const QString& text);

// The output number of a "P" cell: a whole decimal number, blanks around it
// allowed; anything else names no output (0).
int outputNumber(const QString& cell);

} // namespace cantrel
