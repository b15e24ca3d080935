#include "run/ExecuteThread.h"

#include "platform/ProgramError.h"
#include "run/RunEngine.h"
#include "schedule/Cells.h"

#include <QCoreApplication>

#include <atomic>

namespace cantrel {

namespace {

std::atomic<int> live{0};

// Reports go through an object that is never deleted: a worker may post to
// it at the very moment the window (or the application) is going away, and
// a report that arrives after the window has gone finds the link closed.
QObject* reportGate() {
    static QObject* const gate = new QObject;
    return gate;
}

} // namespace

ExecuteThread::ExecuteThread(std::shared_ptr<RunLink> link) : link_(std::move(link)) {
    dueSince_.start();
    ++live;
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

ExecuteThread::~ExecuteThread() {
    --live;
}

int ExecuteThread::liveCount() {
    return live;
}

void ExecuteThread::prepareReports() {
    reportGate();
}

void ExecuteThread::flushReports() {
    QCoreApplication::sendPostedEvents(reportGate(), QEvent::MetaCall);
}

void ExecuteThread::RunRow() {
    FileName = trimmedControls(FileName);
    std::optional<Failure> failure;
    if (!FileName.isEmpty()) {
        const std::optional<bool> opened = link_->open(FileName);
        if (!opened)
            return;
        if (!*opened)
            failure = Failure{QStringLiteral("Can't execute file")};
    }
    if (!failure) {
        if (OutputNumber != 0) {
            Stage = 0;
            if (!Synchronize([this](RunEngine& engine) { ReportStage(engine); }))
                return;
            if (!link_->sleepUntil(dueSince_, qint64(AdvanceSec) * 1000))
                return;
        }
        Stage = 1;
        if (!Synchronize([this](RunEngine& engine) { ReportStage(engine); }))
            return;
        if (!pulseFailure_)
            return;
        failure = std::move(pulseFailure_);
    }
    Stage = 2;
    if (!Synchronize([this](RunEngine& engine) { ReportStage(engine); }))
        return;
    // Queued onto the GUI thread, not called inside a report: the run timer
    // goes on ticking while the operator reads the box, and this worker ends
    // once it has been closed.
    Synchronize([&failure](RunEngine& engine) {
        engine.showFailure(failure->text, failure->programText);
    });
}

bool ExecuteThread::Synchronize(const std::function<void(RunEngine&)>& step) {
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

void ExecuteThread::ReportStage(RunEngine& engine) {
    if (Stage == 1) {
        // The failure goes back to the worker, which marks "!" and shows it.
        try {
            engine.pulse(OutputNumber & 0xFF);
        } catch (const ProgramError& failure) {
            pulseFailure_ = Failure{failure.text(), true};
            return;
        } catch (const PlatformError& failure) {
            pulseFailure_ = Failure{failure.text(), false};
            return;
        } catch (const std::exception& failure) {
            pulseFailure_ = Failure{QString::fromLocal8Bit(failure.what()), false};
            return;
        }
    }
    static const QString marks[] = {QStringLiteral(">"), QStringLiteral("+"), QStringLiteral("!")};
    if (engine.markRow(RowIndex, RowLayout, marks[Stage], holdsRow_))
        holdsRow_ = false;
}

} // namespace cantrel
