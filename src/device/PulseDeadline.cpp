#include "device/PulseDeadline.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>

namespace cantrel {

namespace {

constexpr qint64 kNsPerS = 1000000000;
// Beyond this the wall clock was set, or is not the one the deadline was
// taken on: the steady clock decides.
constexpr qint64 kClocksAgreeNs = 50000000;

qint64 nsOf(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return qint64(now.tv_sec) * kNsPerS + now.tv_nsec;
}

timespec timespecOf(qint64 ns) {
    return timespec{time_t(ns / kNsPerS), long(ns % kNsPerS)};
}

void sleepOn(clockid_t clock, qint64 untilNs) {
    const timespec until = timespecOf(untilNs);
    while (clock_nanosleep(clock, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

} // namespace

PulseDeadline PulseDeadline::now() {
    return atRealNs(realNowNs());
}

PulseDeadline PulseDeadline::atRealNs(qint64 realNs) {
    PulseDeadline deadline;
    deadline.realNs = realNs;
    const qint64 left = realNs - realNowNs();
    deadline.steady = QDeadlineTimer(Qt::PreciseTimer);
    deadline.steady.setPreciseRemainingTime(0, std::max<qint64>(0, left), Qt::PreciseTimer);
    return deadline;
}

qint64 PulseDeadline::realNowNs() {
    return nsOf(CLOCK_REALTIME);
}

qint64 PulseDeadline::steadyNowNs() {
    return nsOf(CLOCK_MONOTONIC);
}

qint64 PulseDeadline::remainingNs() const {
    const qint64 real = realNs - realNowNs();
    const qint64 steadyLeft = steady.deadlineNSecs() - steadyNowNs();
    return std::abs(real - steadyLeft) <= kClocksAgreeNs ? real : steadyLeft;
}

PulseDeadline PulseDeadline::earlierBy(qint64 ns) const {
    PulseDeadline earlier = *this;
    earlier.realNs -= ns;
    earlier.steady.setPreciseDeadline(0, steady.deadlineNSecs() - ns, Qt::PreciseTimer);
    return earlier;
}

void sleepUntil(const PulseDeadline& deadline) {
    const qint64 real = deadline.realNs - PulseDeadline::realNowNs();
    const qint64 steadyAt = deadline.steady.deadlineNSecs();
    const qint64 steadyLeft = steadyAt - PulseDeadline::steadyNowNs();
    if (real <= 0 && steadyLeft <= 0)
        return;
    if (std::abs(real - steadyLeft) <= kClocksAgreeNs)
        sleepOn(CLOCK_REALTIME, deadline.realNs);
    else
        sleepOn(CLOCK_MONOTONIC, steadyAt);
}

} // namespace cantrel
