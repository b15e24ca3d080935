#pragma once

// Run mode's state beside the main window: the due index over DayGrid, the
// rows held by started workers, the day the loaded schedule belongs to, and
// the link that lets workers report to the window while it exists.
#include "run/DueScan.h"

#include <QDate>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutex>
#include <QReadWriteLock>
#include <QString>
#include <QWaitCondition>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace cantrel {

class MediaOpener;
class RunEngine;
class TMainForm;

// What the workers share with the run engine that started them. The engine
// closes it as it goes away (with its window); from then on a worker opens
// nothing, reports nothing and wakes from its sleep at once.
class RunLink {
  public:
    RunLink(RunEngine* engine, MediaOpener* opener) : engine_(engine), opener_(opener) {}

    // Worker side. The result of the opener, or nothing when the engine is gone.
    std::optional<bool> open(const QString& target);
    // Sleeps until ms have passed since the row fell due, or less when the
    // window goes away; false if it has.
    bool sleepUntil(const QElapsedTimer& dueSince, qint64 ms);
    bool alive() const;

    // GUI side: the engine, or null once it has gone.
    RunEngine* engine() const;
    // Waits for an open in progress (the opener belongs to the window's
    // owner), never for a sleeping worker.
    void close();

    // Tests: stands in for the sleep of the run advance; gets the whole advance.
    void setSleepHook(std::function<void(qint64 ms)> hook);

  private:
    mutable QMutex mutex_;
    QWaitCondition woken_;
    QReadWriteLock opening_;
    RunEngine* engine_;
    MediaOpener* opener_;
    std::function<void(qint64)> sleepHook_;
};

class RunEngine {
  public:
    explicit RunEngine(TMainForm& form);
    ~RunEngine();
    RunEngine(const RunEngine&) = delete;
    RunEngine& operator=(const RunEngine&) = delete;

    // RunButton has one click binding at a time: Run in Edit mode, Pause in Run mode.
    void bindRunButton(void (TMainForm::*handler)());

    // The date whose day file the current run has loaded. A tick whose
    // shifted date is another one loads the day file again, even under the
    // same name: the new day starts with empty marks and with the file as
    // it now stands on disk.
    QDate runDate() const { return runDate_; }
    void setRunDate(QDate date) { runDate_ = date; }

    // The day rows due in this second of the shifted clock.
    DueScan dueRows(int second);

    // A worker has been started for row: no tick starts it again until that
    // worker has written its first mark. The result ties the worker to the
    // grid's present row layout.
    quint64 take(int row);
    // A report's mark. It lands only if the rows still stand where they stood
    // when the worker was started; true when it was written. release gives
    // the row back to the tick.
    bool markRow(int row, quint64 layout, const QString& mark, bool release);

    // PulseOutput, or the test hook in its place. GUI thread.
    void pulse(int output);
    // A worker's failure: the program's own texts in a plain box, any other
    // in the general error display. GUI thread.
    void showFailure(const QString& text, bool programText);

    const std::shared_ptr<RunLink>& link() const { return link_; }
    const DueIndex& dueIndex() const { return index_; }

    // Tests: pulses go here instead of the device.
    void setPulseHook(std::function<void(int output)> hook) { pulseHook_ = std::move(hook); }

  private:
    // Row numbers mean nothing once the rows have been reloaded, added,
    // removed or reordered.
    void forgetTakenIfMoved();

    TMainForm& form_;
    DueIndex index_;
    // Row -> workers started for it that have not yet written a mark.
    std::map<int, int> taken_;
    quint64 takenLayout_ = 0;
    QDate runDate_;
    QMetaObject::Connection runButtonBinding_;
    std::function<void(int)> pulseHook_;
    std::shared_ptr<RunLink> link_;
};

} // namespace cantrel
