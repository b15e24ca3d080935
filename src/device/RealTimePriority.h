#pragma once

#include <QString>

namespace cantrel {

// Asks the scheduler to run the calling thread ahead of ordinary work
// (SCHED_FIFO at a low priority), so that a busy machine does not stand
// between a pulse's moment and its write. Empty when granted, else why not:
// an ordinary user gets it only within the limit RLIMIT_RTPRIO grants
// (LimitRTPRIO= in a systemd unit). Nothing else depends on it.
QString askRealTimePriority();

} // namespace cantrel
