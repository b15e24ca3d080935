#include "run/RunEngine.h"

#include "app/TMainForm.h"
#include "platform/MediaOpener.h"
#include "run/ExecuteThread.h"
#include "schedule/Cells.h"
#include "schedule/StringGrid.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <QPushButton>

namespace cantrel {

namespace {

// DayGrid's cells as the due scan reads them.
struct DayRows {
    const StringGridModel& cells;
    int rowCount() const { return cells.gridRowCount(); }
    const QString& time(int row) const { return cells.cell(DayCol::Time, row); }
    const QString& mark(int row) const { return cells.cell(DayCol::Mark, row); }
};

} // namespace

std::optional<bool> RunLink::open(const QString& target) {
    QReadLocker opening(&opening_);
    if (!alive())
        return std::nullopt;
    return opener_->open(target);
}

bool RunLink::sleepUntil(const QElapsedTimer& dueSince, qint64 ms) {
    std::function<void(qint64)> hook;
    {
        QMutexLocker lock(&mutex_);
        hook = sleepHook_;
    }
    if (hook) {
        hook(ms);
        return alive();
    }
    // Already past: an expired deadline, never -1, which would mean "forever".
    const QDeadlineTimer deadline(std::max<qint64>(0, ms - dueSince.elapsed()), Qt::PreciseTimer);
    QMutexLocker lock(&mutex_);
    while (engine_ && !deadline.hasExpired())
        woken_.wait(&mutex_, deadline);
    return engine_ != nullptr;
}

bool RunLink::alive() const {
    QMutexLocker lock(&mutex_);
    return engine_ != nullptr;
}

RunEngine* RunLink::engine() const {
    QMutexLocker lock(&mutex_);
    return engine_;
}

void RunLink::close() {
    QWriteLocker opening(&opening_);
    QMutexLocker lock(&mutex_);
    engine_ = nullptr;
    woken_.wakeAll();
}

void RunLink::setSleepHook(std::function<void(qint64)> hook) {
    QMutexLocker lock(&mutex_);
    sleepHook_ = std::move(hook);
}

RunEngine::RunEngine(TMainForm& form)
    : form_(form), link_(std::make_shared<RunLink>(this, form.services().opener)) {
    ExecuteThread::prepareReports();
    index_.watch(form_.DayGrid->cells(), DayCol::Time);
}

RunEngine::~RunEngine() {
    link_->close();
    ExecuteThread::flushReports();
}

void RunEngine::bindRunButton(void (TMainForm::*handler)()) {
    QObject::disconnect(runButtonBinding_);
    TMainForm* form = &form_;
    runButtonBinding_ =
        QObject::connect(form->RunButton, &QAbstractButton::clicked, form, [form, handler] {
            form->handle([form, handler] { (form->*handler)(); });
        });
}

void RunEngine::forgetTakenIfMoved() {
    const quint64 layout = form_.DayGrid->cells()->structureVersion();
    if (layout != takenLayout_) {
        taken_.clear();
        takenLayout_ = layout;
    }
}

DueScan RunEngine::dueRows(int second) {
    forgetTakenIfMoved();
    const StringGridModel& cells = *form_.DayGrid->cells();
    return index_.scan(
        DayRows{cells}, second, [this](int row) { return taken_.contains(row); },
        cells.structureVersion());
}

quint64 RunEngine::take(int row) {
    forgetTakenIfMoved();
    ++taken_[row];
    return takenLayout_;
}

bool RunEngine::markRow(int row, quint64 layout, const QString& mark, bool release) {
    StringGrid& grid = *form_.DayGrid;
    if (layout != grid.cells()->structureVersion() || row < kFirstDayRow || row >= grid.rowCount())
        return false;
    grid.setCell(DayCol::Mark, row, mark);
    if (release) {
        forgetTakenIfMoved();
        const auto held = taken_.find(row);
        if (held != taken_.end() && --held->second == 0)
            taken_.erase(held);
    }
    return true;
}

void RunEngine::showFailure(const QString& text, bool programText) {
    if (programText)
        form_.ShowMessage(text);
    else
        form_.prompter().error(kProgramTitle, text);
}

void RunEngine::pulse(int output) {
    if (pulseHook_)
        pulseHook_(output);
    else
        form_.PulseOutput(output);
}

} // namespace cantrel
