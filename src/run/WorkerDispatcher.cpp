#include "run/WorkerDispatcher.h"

#include <QCoreApplication>

namespace cantrel {

bool WorkerDispatcher::processEvents(QEventLoop::ProcessEventsFlags) {
    // Events posted to the thread (a deferred delete at its end) are still
    // delivered; there is nothing to wait for.
    QCoreApplication::sendPostedEvents();
    return false;
}

void WorkerDispatcher::registerSocketNotifier(QSocketNotifier*) {
    qWarning("A row's worker thread has no event loop to watch a socket with");
}

void WorkerDispatcher::registerTimer(int, qint64, Qt::TimerType, QObject*) {
    qWarning("A row's worker thread has no event loop to run a timer in");
}

} // namespace cantrel
