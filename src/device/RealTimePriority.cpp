#include "device/RealTimePriority.h"

#include <cstring>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

namespace cantrel {

namespace {
// Low: above every ordinary thread, below what the system keeps for itself.
constexpr int kPriority = 1;
} // namespace

QString askRealTimePriority() {
    sched_param param{};
    param.sched_priority = kPriority;
    const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (error == 0)
        return {};
    rlimit limit{};
    getrlimit(RLIMIT_RTPRIO, &limit);
    return QStringLiteral("real-time priority not granted (%1; RLIMIT_RTPRIO %2): pulses run at "
                          "ordinary priority")
        .arg(QString::fromLocal8Bit(std::strerror(error)))
        .arg(limit.rlim_cur == RLIM_INFINITY ? QStringLiteral("unlimited")
                                             : QString::number(limit.rlim_cur));
}

} // namespace cantrel
