// Linked into every program of the thread build (CANTREL_SANITIZE=thread),
// with the Qt calls below wrapped by the linker (--wrap, see CMakeLists.txt).
//
// The distribution's Qt is not built with TSan. Its locks, semaphores and
// event queues wait on futexes inside libQt6Core, so the order they give
// between threads is invisible, and TSan reports races in our code that
// cannot happen. Each wrapper tells TSan of the order the Qt call guarantees,
// no more, then calls Qt; a wrapper never hides an access.

#include <QDeadlineTimer>
#include <QMetaObject>
#include <QMutex>
#include <QObject>
#include <QReadWriteLock>
#include <QThread>
#include <QWaitCondition>

#include <sanitizer/tsan_interface.h>

#include <dlfcn.h>
#include <sched.h>

#include <algorithm>
#include <cstdarg>
#include <utility>
#include <vector>

extern "C" {
bool __real__ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(QWaitCondition*, QMutex*,
                                                               QDeadlineTimer);
bool __real__ZN14QWaitCondition4waitEP6QMutexm(QWaitCondition*, QMutex*, unsigned long);
void __real__ZN14QReadWriteLock11lockForReadEv(QReadWriteLock*);
void __real__ZN14QReadWriteLock12lockForWriteEv(QReadWriteLock*);
void __real__ZN14QReadWriteLock6unlockEv(QReadWriteLock*);
bool __real__ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv(
    QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*);
void __real__ZN7QThread5startENS_8PriorityE(QThread*, QThread::Priority);
bool __real__ZN7QThread4waitE14QDeadlineTimer(QThread*, QDeadlineTimer);
void __real__ZN7QObject11deleteLaterEv(QObject*);
}

namespace {

// QMutex's inline lock and unlock tell TSan of themselves; the unlock and
// relock inside QWaitCondition::wait, in libQt6Core, do not.
void mutexReleased(QMutex* mutex) {
    __tsan_mutex_pre_unlock(mutex, 0);
    __tsan_mutex_post_unlock(mutex, 0);
}

void mutexRetaken(QMutex* mutex) {
    __tsan_mutex_pre_lock(mutex, 0);
    __tsan_mutex_post_lock(mutex, 0, 0);
}

// QReadWriteLock::unlock does not say which kind of hold it ends: the
// locks this thread holds, true when for reading.
thread_local std::vector<std::pair<QReadWriteLock*, bool>> rwHeld;

void rwLocked(QReadWriteLock* lock, bool read) {
    const unsigned flags = read ? __tsan_mutex_read_lock : 0;
    __tsan_mutex_pre_lock(lock, flags);
    __tsan_mutex_post_lock(lock, flags, 0);
    rwHeld.emplace_back(lock, read);
}

// A call queued onto another thread's loop: what the caller did before
// happens before the call (Qt's event queue mutex), and the call before the
// caller goes on after a blocking one (its semaphore), or before the slot
// object is deleted, on whichever thread drops it last.
class Handoff final : public QtPrivate::QSlotObjectBase {
  public:
    explicit Handoff(QtPrivate::QSlotObjectBase* inner) : QSlotObjectBase(&impl), inner_(inner) {}

  private:
    static void impl(int which, QSlotObjectBase* self, QObject* receiver, void** args, bool* ret) {
        auto* handoff = static_cast<Handoff*>(self);
        switch (which) {
        case Destroy:
            __tsan_acquire(handoff);
            handoff->inner_->destroyIfLastRef();
            delete handoff;
            break;
        case Call:
            __tsan_acquire(handoff);
            handoff->inner_->call(receiver, args);
            __tsan_release(handoff);
            break;
        case Compare:
            *ret = handoff->inner_->compare(args);
            break;
        }
    }

    QtPrivate::QSlotObjectBase* inner_;
};

// finished() is emitted on the thread itself as it ends. Connected at
// start(), after any deleteLater() the thread's own constructor connected, so
// the release comes after Qt has queued that call.
void releaseOnFinish(QThread* thread) {
    QObject::connect(
        thread, &QThread::finished, thread, [] { __tsan_release(QThread::currentThread()); },
        Qt::DirectConnection);
}

} // namespace

extern "C" {

bool __wrap__ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(QWaitCondition* self, QMutex* mutex,
                                                               QDeadlineTimer deadline) {
    mutexReleased(mutex);
    const bool woken = __real__ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer(self, mutex, deadline);
    mutexRetaken(mutex);
    return woken;
}

bool __wrap__ZN14QWaitCondition4waitEP6QMutexm(QWaitCondition* self, QMutex* mutex,
                                               unsigned long ms) {
    mutexReleased(mutex);
    const bool woken = __real__ZN14QWaitCondition4waitEP6QMutexm(self, mutex, ms);
    mutexRetaken(mutex);
    return woken;
}

void __wrap__ZN14QReadWriteLock11lockForReadEv(QReadWriteLock* lock) {
    __real__ZN14QReadWriteLock11lockForReadEv(lock);
    rwLocked(lock, true);
}

void __wrap__ZN14QReadWriteLock12lockForWriteEv(QReadWriteLock* lock) {
    __real__ZN14QReadWriteLock12lockForWriteEv(lock);
    rwLocked(lock, false);
}

void __wrap__ZN14QReadWriteLock6unlockEv(QReadWriteLock* lock) {
    const auto held = std::find_if(rwHeld.rbegin(), rwHeld.rend(),
                                   [lock](const auto& entry) { return entry.first == lock; });
    if (held == rwHeld.rend()) { // taken by a call not wrapped here
        __real__ZN14QReadWriteLock6unlockEv(lock);
        return;
    }
    const unsigned flags = held->second ? __tsan_mutex_read_lock : 0;
    rwHeld.erase(std::next(held).base());
    __tsan_mutex_pre_unlock(lock, flags);
    __real__ZN14QReadWriteLock6unlockEv(lock);
    __tsan_mutex_post_unlock(lock, flags);
}

bool __wrap__ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv(
    QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type, void* ret) {
    auto* handoff = new Handoff(slot);
    // Only a blocking call orders the call before the caller's return.
    const bool blocking = type == Qt::BlockingQueuedConnection;
    if (blocking)
        handoff->ref(); // kept alive to acquire from after the return
    __tsan_release(handoff);
    const bool invoked =
        __real__ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv(
            object, handoff, type, ret);
    if (blocking) {
        __tsan_acquire(handoff);
        handoff->destroyIfLastRef();
    }
    return invoked;
}

void __wrap__ZN7QThread5startENS_8PriorityE(QThread* self, QThread::Priority priority) {
    releaseOnFinish(self);
    __real__ZN7QThread5startENS_8PriorityE(self, priority);
}

bool __wrap__ZN7QThread4waitE14QDeadlineTimer(QThread* self, QDeadlineTimer deadline) {
    const bool ended = __real__ZN7QThread4waitE14QDeadlineTimer(self, deadline);
    if (ended)
        __tsan_acquire(self);
    return ended;
}

// A thread is deleted later from its finished() (RowWorker): Qt's finish,
// which needs nothing of this thread, is let end, and what the thread did
// before is then ordered before the deletion.
void __wrap__ZN7QObject11deleteLaterEv(QObject* self) {
    if (auto* thread = qobject_cast<QThread*>(self); thread && thread != QThread::currentThread())
        thread->wait();
    __tsan_acquire(self);
    __real__ZN7QObject11deleteLaterEv(self);
}

// QProcess starts its child with clone(CLONE_VM | CLONE_VFORK). TSan takes
// every clone for a fork and, in the child, marks the process as forked with
// threads and turns off checking on the calling thread's state: with the
// memory shared, that is the parent's, which then dies at its next thread
// (or is no longer checked). Without CLONE_VM the child is an ordinary fork
// that execs at once; the parent still waits for that (CLONE_VFORK).
// libQt6Core calls clone through its PLT, so this definition, exported by
// the program, is the one it reaches.
int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    static const auto next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    va_list more;
    va_start(more, arg);
    pid_t* parentTid = va_arg(more, pid_t*);
    void* tls = va_arg(more, void*);
    pid_t* childTid = va_arg(more, pid_t*);
    va_end(more);
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK))
        flags &= ~CLONE_VM;
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}

} // extern "C"
