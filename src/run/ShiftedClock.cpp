#include "run/ShiftedClock.h"

#include <algorithm>

namespace cantrel {

int clampRunAdvance(qint64 seconds) {
    return int(std::clamp<qint64>(seconds, 0, kMaxRunAdvance));
}

QDateTime shiftedClock(const QDateTime& now, qint64 runAdvance) {
    const int advance = clampRunAdvance(runAdvance);
    return now.addSecs(advance / 60 * 60 + advance % 60);
}

int secondOfDay(const QTime& time) {
    return time.msecsSinceStartOfDay() / 1000;
}

} // namespace cantrel
