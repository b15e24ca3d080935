#pragma once

#include "device/DeviceTraffic.h"
#include "run/DayChooser.h"
#include "run/DueScan.h"
#include "run/FollowedFile.h"
#include "run/RunReport.h"

#include <QDate>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutex>
#include <QReadWriteLock>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QWaitCondition>

#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>

namespace cantrel {

class Clock;
class DeviceThread;
class MediaOpener;
class RunDocuments;
class RunEngine;

// What the workers share with the run engine that started them. The engine
// closes it as it goes away; from then on a worker opens
// nothing, reports nothing and wakes from its sleep at once.
class RunLink {
  public:
    RunLink(RunEngine* engine, MediaOpener* opener, DeviceThread* device, const Clock* clock)
        : engine_(engine), opener_(opener), device_(device), clock_(clock) {}

    // Worker side. The result of the opener (why it failed in why), or
    // nothing when the engine is gone.
    std::optional<bool> open(const QString& target, QString* why);
    // Sleeps until the deadline, or less when the engine goes away; false if
    // it has. plannedMs is what the wait was planned as, for the sleep hook;
    // hooked says whether the hook stood in for it.
    bool sleepUntil(const QDeadlineTimer& deadline, qint64 plannedMs, bool* hooked);
    // The same, whatever the hook.
    bool sleepUntil(const QDeadlineTimer& deadline);
    bool alive() const;

    // Pulses go out in the order of their due instants (ms since the epoch),
    // those of one instant in the order they were queued. GUI thread: a
    // ticket for a pulse due then; the device holds its line free for it
    // (dueNs: the same instant on the machine's wall clock).
    quint64 queuePulse(qint64 dueMs, qint64 dueNs);
    // Worker side: waits until every pulse queued before this one with an
    // earlier or equal due instant is done; false when the engine went away.
    bool waitForTurn(quint64 ticket);
    // The pulse was given, or will never be: the ones behind it go on. Done
    // twice is done once.
    void pulseDone(quint64 ticket);

    // GUI thread: the worker of ticket, holding its row by hold, was started
    // before its row fell due, at fallMs on the engine's clock. Until then,
    // Run mode left withdraws it.
    Withdrawal arm(quint64 ticket, qint64 fallMs, quint64 hold);
    // Run mode left at nowMs: rows armed to fall after it are withdrawn; the
    // holds on them, to give them back.
    QList<quint64> withdrawUnfallen(qint64 nowMs);

    // Worker side: the pulse given by the device thread at its deadline, and
    // when it began on the engine's clock; nothing when the engine is gone.
    struct Pulse {
        std::optional<DeviceFailure> failure;
        qint64 startedMs = 0;
    };
    std::optional<Pulse> pulseOnDevice(const PulseDeadline& deadline, int output,
                                       const Withdrawal& withdrawn);
    // A test's pulse hook stands in for the device: the pulse is then given
    // on the engine's thread, in the worker's report, as the hook expects.
    bool pulsesOnEngineThread() const;
    void setPulsesOnEngineThread(bool on);

    // A deadline ms from now that has already expired when ms is not
    // positive (QDeadlineTimer reads a negative span as "never").
    static QDeadlineTimer deadlineIn(qint64 ms);

    // GUI side: the engine, or null once it has gone.
    RunEngine* engine() const;
    // Waits for an open in progress (the opener belongs to the engine's
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
    DeviceThread* device_;
    const Clock* clock_;
    bool pulsesOnEngineThread_ = false;
    std::function<void(qint64)> sleepHook_;
    // Pulses not yet done, by due instant and ticket.
    std::set<std::pair<qint64, quint64>> pendingPulses_;
    std::map<quint64, qint64> pulseDue_;
    quint64 nextTicket_ = 1;
    // Armed workers whose rows have not yet been found fallen, by ticket:
    // when they fall, and their withdrawal.
    struct Armed {
        qint64 fallMs;
        quint64 hold;
        std::shared_ptr<std::atomic<bool>> withdrawn;
    };
    std::map<quint64, Armed> armed_;
};

// Run mode: the tick every 490 ms on the shifted clock, the day change, the
// due rows and their workers, and the marks those write. It works on the
// documents it is given, opens through the opener, pulses through the device
// and tells its failures to the report; the window and the headless runner
// each show what it does in their own way.
// The longest gap between two ticks whose passed-over rows still fire.
inline constexpr qint64 kCatchUpMs = 60000;

class RunEngine final : public QObject {
    Q_OBJECT
  public:
    RunEngine(RunDocuments& documents, Clock& clock, MediaOpener& opener, DeviceThread& device,
              RunReport& report, QObject* parent = nullptr);
    ~RunEngine() override;

    bool running() const;
    // Enters Run mode: clears the month marks, loads today's day file by the
    // calendar date (the advance only moves the ticks) and starts the tick.
    // A failure of the load raises its text and leaves Run mode unentered.
    void enter();
    // Back to Edit mode; workers already started go on. why says what ended
    // it, for the as-run log.
    void leave(const QString& why = {});
    // One tick: a new shifted date (or another day file for today) loads
    // the day's file; the rows due in this second start their workers. A
    // failure ends Run mode and goes to the report.
    void tick();
    // Starts a worker for one day row by hand (Execute), in any mode: its
    // pulse follows the run advance from now, and it is told as executed.
    void executeRow(int row);

    // Seconds the ticks run ahead of the clock, and the pulse after the open.
    qint32 runAdvance() const { return runAdvance_; }
    void setRunAdvance(qint32 seconds) { runAdvance_ = seconds; }

    // Whether the tick also runs at the start of each second in which a row
    // is due (on by default); off leaves the 490 ms tick alone, for the
    // lateness benchmark's comparison.
    void setWakeAtDueSeconds(bool wake) { wakeAtDueSeconds_ = wake; }

    // Run without a window: the month calendar and the day file, saved anew
    // while it runs, are taken at a tick once the save is complete; the rows
    // that already fired today keep their marks, and a row whose worker is
    // still opening stays taken.
    void setFollowFiles(bool follow) { followFiles_ = follow; }

    // The day in force as the as-run log names it: the day file, with the
    // plan's rule when the plan chose it, or "none (plan: ...)".
    const QString& dayText() const { return dayText_; }
    // False on a day on which the plan runs nothing.
    bool scheduleToday() const { return !noSchedule_; }

    // ---- the workers' side, GUI thread ----------------------------------
    // The day rows due in this second of the shifted clock.
    DueScan dueRows(int second);
    // A worker has been started for row: no tick starts it again until that
    // worker has written its first mark. The result is the worker's hold on
    // its row, which follows the row when the day file is taken anew.
    quint64 take(int row);
    // A report's mark for the row a hold is on. It lands only while the
    // worker's row is still there; true when it was written. The first mark
    // gives the row back to the tick; the worker's last one is final.
    bool markRow(quint64 hold, const QString& mark, bool final);
    // The test hook in the device's place; gives when the pulse began.
    qint64 pulse(int output);
    void tellOpened(const QStringList& cells) { emit rowOpened(cells); }
    // The pulse went out at startedMs: told as fired, lateness counted from
    // dueMs, the start of the row's second; or, for a row started by hand,
    // as executed.
    void tellFired(const QStringList& cells, qint64 dueMs, bool byHand, qint64 startedMs);
    void tellFailed(const QStringList& cells, const QString& text) { emit rowFailed(cells, text); }

    // The next row that will fire today on the shifted clock, after the
    // tick's second: its row number and the ms until its pulse.
    struct NextRow {
        int row;
        qint64 msLeft;
    };
    std::optional<NextRow> nextRow();
    void showFailure(const QString& text, bool programText, const QString& detail) {
        report_.failure(text, programText, detail);
    }

    const std::shared_ptr<RunLink>& link() const { return link_; }

    // Tests: pulses go here instead of the device.
    void setPulseHook(std::function<void(int output)> hook);
    // Tests: the tick's timer, and the one that wakes it at the start of a
    // second in which a row is due.
    const QTimer& tickTimer() const { return tickTimer_; }
    const QTimer& wakeTimer() const { return wakeTimer_; }

  signals:
    void modeChanged(bool running);
    // Run mode is about to end, and why.
    void ending(const QString& why);
    // The day whose file the run has just loaded, marked "+".
    void dayStarted(int day);
    // A due row is about to start its worker.
    void rowFalling(int row);
    // Without a window: the day file or the calendar, saved anew, has been taken.
    void dayFileTaken(const QString& name);
    void calendarTaken(const QString& name);
    void planTaken(const QString& name);
    // A row whose second a gap between two ticks passed over: it starts now,
    // lateMs after its second began (a gap of at most a minute), or is
    // missed (a longer one: a suspend, the clock set forward). cells are the
    // row's, as it stood.
    // why: how far apart the ticks were, and how far the clock moved.
    void rowLate(const QStringList& cells, qint64 lateMs, const QString& why);
    void rowMissed(const QStringList& cells, qint64 lateMs, const QString& why);
    // A worker's row: its media file opened, its pulse given lateMs after it
    // was due, or its failure.
    void rowOpened(const QStringList& cells);
    void rowFired(const QStringList& cells, qint64 lateMs);
    // A row started by hand (Execute) gave its pulse.
    void rowExecuted(const QStringList& cells);
    void rowFailed(const QStringList& cells, const QString& text);
    // A tick has run: what is due next may have changed.
    void ticked();

  private:
    // Loads the day's file from the calendar, marks the day and remembers
    // the file's stamp.
    void startDay(QDate date);
    // Row numbers mean nothing once the rows have been reloaded, added,
    // removed or reordered: the holds then lose their rows, unless
    // carryHolds has moved them along.
    void syncHolds();
    // The day file taken anew: each hold moves to the row of the same
    // content in the new rows (before: the held rows' contents, by hold).
    void carryHolds(const std::map<quint64, QStringList>& before);
    std::map<quint64, QStringList> heldContents();
    // Without a window: the calendar and the day file as they now stand,
    // when they changed.
    void followCalendar();
    void followPlan();
    void followDayFile();
    // Whether the day in force is the one chosen for the date.
    bool inForce(const DayChoice& choice) const;
    void endRun(const QString& text, bool shown, const QString& detail = {});
    // The rows due in the seconds from..to of the loaded day, passed over by
    // a gap between ticks; now is the tick's own second, counted from the
    // start of that day (past 86,400 when the tick is on a later date).
    struct Instant;
    void passSeconds(int from, int to, qint64 now, bool catchUp, const QDateTime& shifted,
                     const QString& why, const Instant& instant);
    // The marked rows by content, and the marks put back on a reloaded file.
    QList<std::pair<QStringList, QString>> firedRows() const;
    void restoreMarks(const QList<std::pair<QStringList, QString>>& fired);
    // Where rows of these contents (time to media file) stand now: the row
    // of the same content, else an unmarked one of the same time, each row
    // found once; -1 where there is none.
    QList<int> findRows(const QList<QStringList>& contents) const;
    // The instant a tick (or Execute) read the clock, on the engine's clock
    // and on the machine's steady one: every due instant is counted from it.
    struct Instant {
        QDateTime at;
        QDeadlineTimer steady;
        // The machine's wall clock at the same moment, in ns.
        qint64 realNs;
        qint64 ms() const { return at.toMSecsSinceEpoch(); }
        // dueIn ms after the instant, on the machine's clocks. An engine
        // clock that is the machine's gives the instant as it stands, to
        // the nanosecond: ms of its own are whole, the start of a second
        // exactly; one of its own (a test's) counts from the reading.
        PulseDeadline deadline(qint64 dueIn) const;
    };
    Instant instantNow() const;
    // A worker for row whose pulse is due waitMs after the instant (at once
    // when not positive, and always at once for a row without an output).
    // A row armed ahead falls due fallInMs after the instant: its worker
    // waits for that before it opens anything or gives any pulse.
    void startWorker(int row, qint64 waitMs, const Instant& instant, bool byHand = false,
                     qint64 fallInMs = 0);
    // Rows due in the next second are started just ahead of it (armed), so
    // their pulses are with the device thread before their moment; on a
    // clock of the engine's own, and for the first second of a day, whose
    // rows the new day's file brings, the tick runs at that second's start
    // instead. The device hears of the rows due then, so the line is free
    // for them.
    void wakeForNextSecond(const QDateTime& shifted, const Instant& instant);
    // The same for second of the shifted day, untilMs after the instant.
    void wakeForSecond(int second, qint64 untilMs, const Instant& instant);
    // The wake-up just ahead of a second with rows due: the tick as any
    // other, then that second's rows armed.
    void armNextSecond();

    RunDocuments& documents_;
    Clock& clock_;
    DeviceThread& device_;
    RunReport& report_;
    QTimer tickTimer_;
    QTimer wakeTimer_;
    qint32 runAdvance_ = 0;
    DueIndex index_;
    // A worker's hold on its row: where the row stands now (-1 once the rows
    // were replaced under it), and whether the tick must still leave the row
    // alone (until the worker's first mark).
    struct RowHold {
        int row;
        bool holding;
    };
    std::map<quint64, RowHold> holds_;
    quint64 nextHold_ = 1;
    // The rows' structure count the holds' rows refer to.
    quint64 holdsLayout_ = 0;
    // Row -> holds that keep the tick from starting it again.
    std::map<int, int> taken_;
    // The date whose day file the current run has loaded. A tick whose
    // shifted date is another one loads the day file again, even under the
    // same name: the new day starts with the file as it now stands on disk.
    QDate runDate_;
    // The last second the tick has dealt with on the shifted clock, and the
    // real time of the last tick (ms since the epoch).
    QDate lastDoneDate_;
    int lastDone_ = -1;
    qint64 lastTickMs_ = 0;
    // The shifted clock at the last tick, for how far it moved since.
    QDateTime lastShifted_;
    // The marks of the dates around midnight, for a clock set back over it.
    std::map<QDate, QList<std::pair<QStringList, QString>>> marksByDate_;
    bool followFiles_ = false;
    bool wakeAtDueSeconds_ = true;
    // The wake timer is set to arm the next second's rows, not to tick.
    bool wakeToArm_ = false;
    FollowedFile dayFile_;
    FollowedFile calendar_;
    DayChooser days_;
    // The plan runs nothing today: there are no rows to scan.
    bool noSchedule_ = false;
    QString dayText_;
    std::function<void(int)> pulseHook_;
    std::shared_ptr<RunLink> link_;
};

} // namespace cantrel
