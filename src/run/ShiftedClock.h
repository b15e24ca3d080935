#pragma once

#include <QDateTime>

namespace cantrel {

inline constexpr int kMaxRunAdvance = 3599;

// The run advance is minutes and seconds of one hour. The settings file is
// read without a range check, so a value outside 0..3599 is pulled back to
// the nearest end before anything uses it.
int clampRunAdvance(qint64 seconds);

// The local clock moved forward by the run advance: the tick's idea of now.
// The advance is real elapsed time, so across a change to or from summer
// time the media file still starts that many seconds before the row's pulse.
QDateTime shiftedClock(const QDateTime& now, qint64 runAdvance);

// Whole seconds since midnight, 0..86399.
int secondOfDay(const QTime& time);

} // namespace cantrel
