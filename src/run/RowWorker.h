#pragma once

#include "device/DeviceTraffic.h"

#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>
#include <memory>
#include <optional>

namespace cantrel {

class RunEngine;
class RunLink;

// One fired day row: opens its media file, waits until its pulse is nearly
// due when the row names an output, waits for its turn behind pulses due
// earlier (rows of one second in row order), then hands the pulse to the
// device thread, which gives it at its moment, and has the GUI thread mark
// the row. Nobody holds it once started; it deletes itself when it ends.
// The engine may go away at any point: the worker then ends without another
// report, and a sleeping worker wakes at once, so nothing waits for it.
class RowWorker final : public QThread {
    Q_OBJECT
  public:
    // Created suspended, as its row falls due or just before (armed): set
    // the fields, then begin().
    explicit RowWorker(std::shared_ptr<RunLink> link);
    ~RowWorker() override;

    qint32 output = 0;
    // When the pulse is due: the row's own second (the run advance after it
    // fell due), or at once. plannedWaitMs is what that was from the due
    // instant, for the tests' sleep hook.
    PulseDeadline pulseDeadline;
    qint64 plannedWaitMs = 0;
    // The worker's place in the order of pulses (RunLink::queuePulse), and
    // the instant (ms since the epoch on the engine's clock) the pulse is
    // planned for; rowDueMs is the start of the row's own second, what its
    // lateness is counted from (a row without an output pulses at once,
    // the run advance before it).
    quint64 pulseTicket = 0;
    qint64 pulseDueMs = 0;
    qint64 rowDueMs = 0;
    // Started by hand (Execute), not by the schedule.
    bool byHand = false;
    // Armed ahead of its row's second: the row falls due then, and until
    // then leaving Run mode withdraws it.
    std::optional<PulseDeadline> fallDeadline;
    Withdrawal withdrawal;
    // The row as it stood when it fell due, for what is told about it.
    QStringList rowCells;
    // What the next report does: 0 waiting (">"), 1 fired ("+"), 2 failed ("!").
    quint8 stage = 0;
    QString mediaFile;
    // The worker's hold on its row (RunEngine::take): a report's mark lands
    // on the row it is on, wherever the row has moved.
    quint64 hold = 0;

    // Starts the thread, and says whether it is there: the system may have none to
    // give (its limit of threads, or of memory for their stacks).
    bool begin();

    // Workers constructed and not yet deleted, for tests.
    static int liveCount();
    // Pulses handed to the device thread whose rows have not yet been told
    // of them: a run that ends lets these finish first.
    static int pulsesUnderWay();
    // Tests: the next count begins fail, as if the system had no thread.
    static void failBeginsForTests(int count);
    // The object reports are sent to. Call once from the GUI thread before
    // the first worker starts, so it lives there.
    static void prepareReports();
    // Runs the reports already queued, so that workers waiting on them see a
    // closed link now and end, rather than when the application goes.
    static void flushReports();

  protected:
    void run() override { runRow(); }

  private:
    struct Failure {
        QString text;
        bool programText = true; // else a platform failure, for the error display
        QString detail = {};     // what it concerns, and why
    };

    void runRow();
    // Runs step on the GUI thread while this thread waits. False when the
    // engine has gone, before or while the call was queued:
    // the step did not run.
    bool onEngineThread(const std::function<void(RunEngine&)>& step);
    // Queues step for the GUI thread and goes on; it is dropped when the
    // engine has gone by then.
    void laterOnEngineThread(std::function<void(RunEngine&)> step);
    // The pulse, on the device thread or, for a test's hook, in the report.
    // False when the engine has gone.
    bool givePulse();
    // GUI thread: a test hook's pulse for stage 1, then the mark of stage.
    void reportStage(RunEngine& engine, quint8 reported);
    // An armed worker waits for its row to fall, or for as long as its pulse
    // allows when it has no file to open; false when the engine went away.
    bool waitForFall();

    std::shared_ptr<RunLink> link_;
    // Set by a stage-1 pulse that failed.
    std::optional<Failure> pulseFailure_;
    // The pulse has been given (on the device thread), at pulseStartedMs on
    // the engine's clock.
    bool pulsed_ = false;
    qint64 pulseStartedMs_ = 0;
    bool opened_ = false;
    bool openedTold_ = false;
    QString failureText_;
};

} // namespace cantrel
