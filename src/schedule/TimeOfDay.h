#pragma once

#include <QStringView>

#include <optional>

namespace cantrel {

// Seconds since midnight for "H[:M[:S]]": hours 0..23, minutes and seconds
// 0..59, each written with as many digits as it likes ("007:30" is 7:30),
// blanks (codes 0..32) allowed around the whole text. Anything else gives
// nullopt.
std::optional<int> parseTimeOfDay(QStringView text);

} // namespace cantrel
