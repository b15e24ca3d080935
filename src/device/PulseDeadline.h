#pragma once

#include <QDeadlineTimer>
#include <QtGlobal>

namespace cantrel {

// When a pulse is due, on both of the machine's clocks: the wall clock to the
// nanosecond (the start of a second is what the operator means), and the
// steady clock, which no one can set, for when the two disagree.
struct PulseDeadline {
    qint64 realNs = 0;
    QDeadlineTimer steady{QDeadlineTimer::Forever};

    // Due at once.
    static PulseDeadline now();
    // realNs on the wall clock; the steady deadline the same distance ahead.
    static PulseDeadline atRealNs(qint64 realNs);
    // The wall clock now, in ns since the epoch.
    static qint64 realNowNs();
    // The steady clock now, in ns.
    static qint64 steadyNowNs();
    // How long until it is due (negative once past), by the wall clock when
    // the two clocks agree on it, else by the steady one.
    qint64 remainingNs() const;
    PulseDeadline earlierBy(qint64 ns) const;
};

// Sleeps until the deadline: an absolute sleep on the wall clock, so that no
// rounding to whole milliseconds and no time spent before the call moves it.
// When the two clocks disagree by more than a little (the wall clock was set,
// or the schedule runs on a clock of its own) the steady one decides.
void sleepUntil(const PulseDeadline& deadline);

} // namespace cantrel
