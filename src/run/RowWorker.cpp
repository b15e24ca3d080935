#include "run/RowWorker.h"

#include "platform/ProgramError.h"
#include "run/RunEngine.h"
#include "run/WorkerDispatcher.h"
#include "schedule/Cells.h"

#include <QCoreApplication>

#include <atomic>

namespace cantrel {

namespace {

// A pulse is handed to the device thread this long before it is due, so
// that the worker's wake-up and the hand-over are over well before its moment.
constexpr qint64 kHandOverAheadNs = 250'000'000;

std::atomic<int> live{0};
std::atomic<int> underWay{0};
int beginsToFail = 0; // GUI thread only

// Opening a file and waiting are all a worker does; its stack need not be
// the system's 8 MiB when thousands of workers wait out a long run advance.
constexpr uint kWorkerStackBytes = 512 * 1024;

// Reports go through an object that is never deleted: a worker may post to
// it at the very moment the engine (or the application) is going away, and
// a report that arrives after the engine has gone finds the link closed.
QObject* reportGate() {
    static QObject* const gate = new QObject;
    return gate;
}

} // namespace

RowWorker::RowWorker(std::shared_ptr<RunLink> link) : link_(std::move(link)) {
    ++live;
    setStackSize(kWorkerStackBytes);
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

RowWorker::~RowWorker() {
    --live;
}

bool RowWorker::begin() {
    setEventDispatcher(new WorkerDispatcher);
    if (beginsToFail > 0)
        --beginsToFail;
    else
        start();
    // A thread that could not be created is neither running nor finished,
    // and leaves its dispatcher to us: a thread that ran deletes its own.
    if (isRunning() || isFinished())
        return true;
    delete eventDispatcher();
    return false;
}

void RowWorker::failBeginsForTests(int count) {
    beginsToFail = count;
}

int RowWorker::liveCount() {
    return live;
}

int RowWorker::pulsesUnderWay() {
    return underWay;
}

void RowWorker::prepareReports() {
    reportGate();
}

void RowWorker::flushReports() {
    QCoreApplication::sendPostedEvents(reportGate(), QEvent::MetaCall);
}

void RowWorker::runRow() {
    // Whatever way this worker ends, the pulses behind it do not wait for it.
    const struct TurnGiven {
        RunLink& link;
        quint64 ticket;
        ~TurnGiven() { link.pulseDone(ticket); }
    } turn{*link_, pulseTicket};
    // From the hand-over to the device until the row has been told of it.
    struct UnderWay {
        bool counted = false;
        void start() {
            counted = true;
            ++underWay;
        }
        ~UnderWay() {
            if (counted)
                --underWay;
        }
    } underWayHere;
    mediaFile = trimmedControls(mediaFile);
    // A row withdrawn before it fell has been given back already.
    if (!waitForFall() || withdrawn(withdrawal))
        return;
    std::optional<Failure> failure;
    if (!mediaFile.isEmpty()) {
        QString why;
        const std::optional<bool> opened = link_->open(mediaFile, &why);
        if (!opened)
            return;
        if (!*opened)
            failure = Failure{QStringLiteral("Can't execute file"), true,
                              why.isEmpty() ? mediaFile : mediaFile + QStringLiteral(": ") + why};
        opened_ = *opened;
    }
    if (!failure) {
        if (output != 0) {
            stage = 0;
            if (!link_->alive())
                return;
            // Not waited for: the mark goes up while the pulse's moment comes.
            laterOnEngineThread([this](RunEngine& engine) { reportStage(engine, 0); });
            if (!link_->pulsesOnEngineThread()) {
                // The device thread sleeps the last part itself, to the moment.
                bool hooked = false;
                if (!link_->sleepUntil(pulseDeadline.earlierBy(kHandOverAheadNs).steady,
                                       plannedWaitMs, &hooked))
                    return;
                // A test's sleep stands in for the whole wait.
                if (hooked)
                    pulseDeadline = PulseDeadline::now();
            } else if (!link_->sleepUntil(pulseDeadline.steady, plannedWaitMs, nullptr)) {
                return;
            }
        }
        if (!link_->waitForTurn(pulseTicket))
            return;
        underWayHere.start();
        if (!givePulse())
            return;
        // A test's hook pulses in the report; a pulse that failed is marked below.
        if (!pulsed_ || !pulseFailure_) {
            stage = 1;
            if (!onEngineThread([this](RunEngine& engine) { reportStage(engine, 1); }))
                return;
        }
        link_->pulseDone(pulseTicket);
        if (!pulseFailure_)
            return;
        failure = std::move(pulseFailure_);
    }
    link_->pulseDone(pulseTicket);
    failureText_ = TextFailure::withDetail(failure->text, failure->detail);
    stage = 2;
    if (!onEngineThread([this](RunEngine& engine) { reportStage(engine, 2); }))
        return;
    // Queued onto the GUI thread, not called inside a report: the run timer
    // goes on ticking while the operator reads the box, and this worker ends
    // once it has been closed.
    onEngineThread([&failure](RunEngine& engine) {
        engine.showFailure(failure->text, failure->programText, failure->detail);
    });
}

bool RowWorker::waitForFall() {
    if (!fallDeadline)
        return true;
    QDeadlineTimer until = fallDeadline->steady;
    // Without a file to open, the pulse may have to be handed over before
    // the row falls: the device thread then withdraws it if need be.
    if (mediaFile.isEmpty() && !link_->pulsesOnEngineThread())
        until = std::min(until, pulseDeadline.earlierBy(kHandOverAheadNs).steady);
    return link_->sleepUntil(until);
}

bool RowWorker::onEngineThread(const std::function<void(RunEngine&)>& step) {
    if (!link_->alive())
        return false;
    bool ran = false;
    QMetaObject::invokeMethod(
        reportGate(),
        [&] {
            if (RunEngine* engine = link_->engine()) {
                step(*engine);
                ran = true;
            }
        },
        Qt::BlockingQueuedConnection);
    return ran;
}

void RowWorker::laterOnEngineThread(std::function<void(RunEngine&)> step) {
    // Reports go to one object in the order they were sent, so a mark sent
    // this way lands before any sent after it.
    QMetaObject::invokeMethod(
        reportGate(),
        [link = link_, step = std::move(step)] {
            if (RunEngine* engine = link->engine())
                step(*engine);
        },
        Qt::QueuedConnection);
}

bool RowWorker::givePulse() {
    if (link_->pulsesOnEngineThread())
        return true; // in the stage-1 report
    const std::optional<RunLink::Pulse> pulse =
        link_->pulseOnDevice(pulseDeadline, output & 0xFF, withdrawal);
    if (!pulse)
        return false;
    pulsed_ = true;
    pulseStartedMs_ = pulse->startedMs;
    if (pulse->failure)
        pulseFailure_ = Failure{pulse->failure->text, pulse->failure->programText,
                                pulse->failure->detail};
    return true;
}

void RowWorker::reportStage(RunEngine& engine, quint8 reported) {
    if (reported == 1 && pulseFailure_)
        return; // the worker marks "!" and shows it
    if (reported == 1 && !pulsed_) {
        // The failure goes back to the worker, which marks "!" and shows it.
        try {
            pulseStartedMs_ = engine.pulse(output & 0xFF);
        } catch (const ProgramError& failure) {
            pulseFailure_ = Failure{failure.text(), true, failure.detail()};
            return;
        } catch (const PlatformError& failure) {
            pulseFailure_ = Failure{failure.text(), false, failure.detail()};
            return;
        } catch (const std::exception& failure) {
            pulseFailure_ = Failure{QString::fromLocal8Bit(failure.what()), false};
            return;
        }
    }
    // What happened is told whether or not the mark can still land: the
    // rows may have been reloaded, the pulse was given all the same. A file
    // that opened is told also when the pulse after it failed.
    if (opened_ && !openedTold_) {
        engine.tellOpened(rowCells);
        openedTold_ = true;
    }
    if (reported == 1)
        engine.tellFired(rowCells, rowDueMs, byHand, pulseStartedMs_);
    else if (reported == 2)
        engine.tellFailed(rowCells, failureText_);
    static const QString marks[] = {QStringLiteral(">"), QStringLiteral("+"), QStringLiteral("!")};
    engine.markRow(hold, marks[reported], reported != 0);
}

} // namespace cantrel
