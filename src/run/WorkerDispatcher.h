#pragma once

#include <QAbstractEventDispatcher>

namespace cantrel {

// The event dispatcher of a row's worker thread. A worker runs no event loop
// and owns no objects, yet QThread gives every thread it starts a dispatcher,
// and Qt's own holds a wake-up descriptor for the life of the thread. With a
// long run advance and rows every second, thousands of workers wait at once:
// one descriptor each would run the process out of them. This one holds
// nothing; a timer or notifier asked of it is refused aloud, since nothing
// would ever deliver it.
class WorkerDispatcher final : public QAbstractEventDispatcher {
  public:
    using QAbstractEventDispatcher::QAbstractEventDispatcher;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier*) override {}
    void registerTimer(int timerId, qint64 interval, Qt::TimerType type, QObject* object) override;
    bool unregisterTimer(int) override { return false; }
    bool unregisterTimers(QObject*) override { return false; }
    QList<TimerInfo> registeredTimers(QObject*) const override { return {}; }
    int remainingTime(int) override { return -1; }
    void wakeUp() override {}
    void interrupt() override {}
};

} // namespace cantrel
