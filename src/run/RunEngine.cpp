#include "run/RunEngine.h"

#include "device/DeviceLink.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "platform/ProgramError.h"
#include "run/RowWorker.h"
#include "run/RunDocuments.h"
#include "run/RunReport.h"
#include "run/ShiftedClock.h"
#include "schedule/Cells.h"
#include "schedule/MonthCalendarFile.h"
#include "schedule/StringGridModel.h"

#include <QDeadlineTimer>
#include <QFileInfo>

#include <algorithm>

namespace cantrel {

namespace {

// The day rows as the due scan reads them.
struct DayRows {
    const StringGridModel& cells;
    int rowCount() const { return cells.gridRowCount(); }
    const QString& time(int row) const { return cells.cell(DayCol::Time, row); }
    const QString& mark(int row) const { return cells.cell(DayCol::Mark, row); }
};

// What tells a file saved anew from the one loaded.
QString fileStamp(const QString& name) {
    const QFileInfo info(name);
    if (!info.exists())
        return {};
    return QStringLiteral("%1 %2")
        .arg(info.lastModified().toMSecsSinceEpoch())
        .arg(info.size());
}

} // namespace

std::optional<bool> RunLink::open(const QString& target) {
    QReadLocker opening(&opening_);
    if (!alive())
        return std::nullopt;
    return opener_->open(target);
}

bool RunLink::sleepUntil(const QDeadlineTimer& deadline, qint64 plannedMs) {
    std::function<void(qint64)> hook;
    {
        QMutexLocker lock(&mutex_);
        hook = sleepHook_;
    }
    if (hook) {
        hook(plannedMs);
        return alive();
    }
    QMutexLocker lock(&mutex_);
    while (engine_ && !deadline.hasExpired())
        woken_.wait(&mutex_, deadline);
    return engine_ != nullptr;
}

QDeadlineTimer RunLink::deadlineIn(qint64 ms) {
    // Already past: an expired deadline, never -1, which would mean "forever".
    return QDeadlineTimer(std::max<qint64>(0, ms), Qt::PreciseTimer);
}

quint64 RunLink::queuePulse(qint64 dueMs) {
    QMutexLocker lock(&mutex_);
    const quint64 ticket = nextTicket_++;
    pendingPulses_.insert({dueMs, ticket});
    pulseDue_[ticket] = dueMs;
    return ticket;
}

bool RunLink::waitForTurn(quint64 ticket) {
    QMutexLocker lock(&mutex_);
    const auto due = pulseDue_.find(ticket);
    if (due == pulseDue_.end())
        return engine_ != nullptr;
    const std::pair<qint64, quint64> mine{due->second, ticket};
    while (engine_ && *pendingPulses_.begin() != mine)
        woken_.wait(&mutex_);
    return engine_ != nullptr;
}

void RunLink::pulseDone(quint64 ticket) {
    QMutexLocker lock(&mutex_);
    const auto due = pulseDue_.find(ticket);
    if (due == pulseDue_.end())
        return;
    pendingPulses_.erase({due->second, ticket});
    pulseDue_.erase(due);
    woken_.wakeAll();
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

RunEngine::RunEngine(RunDocuments& documents, Clock& clock, MediaOpener& opener,
                     DeviceLink& device, RunReport& report, QObject* parent)
    : QObject(parent), documents_(documents), clock_(clock), device_(device), report_(report),
      link_(std::make_shared<RunLink>(this, &opener)) {
    RowWorker::prepareReports();
    index_.watch(&documents_.dayRows(), DayCol::Time);
    tickTimer_.setObjectName(QStringLiteral("Timer"));
    tickTimer_.setInterval(490);
    // A coarse timer may stretch 490 ms past half a second and skip a second.
    tickTimer_.setTimerType(Qt::PreciseTimer);
    connect(&tickTimer_, &QTimer::timeout, this, &RunEngine::tick);
    wakeTimer_.setSingleShot(true);
    wakeTimer_.setTimerType(Qt::PreciseTimer);
    connect(&wakeTimer_, &QTimer::timeout, this, [this] {
        if (running())
            tick();
    });
}

RunEngine::~RunEngine() {
    link_->close();
    RowWorker::flushReports();
}

bool RunEngine::running() const {
    return tickTimer_.isActive();
}

void RunEngine::enter() {
    StringGridModel& month = documents_.monthRows();
    for (int day = 1; day <= monthDays; ++day)
        month.setCell(MonthCol::Mark, day, QString());
    const QDateTime now = clock_.now();
    startDay(now.date());
    // No catch-up for rows whose time passed before Run was entered; a row
    // of the very second it was entered in still fires.
    marksByDate_.clear();
    const QDateTime shifted = shiftedClock(now, runAdvance_);
    lastDoneDate_ = shifted.date();
    lastDone_ = secondOfDay(shifted.time()) - 1;
    lastTickMs_ = now.toMSecsSinceEpoch();
    tickTimer_.start();
    emit modeChanged(true);
}

void RunEngine::leave(const QString& why) {
    if (running())
        emit ending(why);
    tickTimer_.stop();
    wakeTimer_.stop();
    emit modeChanged(false);
}

void RunEngine::startDay(QDate date) {
    const int day = date.day();
    const QString dayFile = documents_.monthRows().cell(MonthCol::File, day);
    if (dayFile.isEmpty())
        throw ProgramError(QStringLiteral(".24h file don't specified"),
                           QStringLiteral("%1 names no day schedule for day %2 (%3)")
                               .arg(documents_.monthCalendarName())
                               .arg(day)
                               .arg(date.toString(Qt::ISODate)));
    documents_.loadDaySchedule(dayFile);
    dayFileStamp_ = fileStamp(dayFile);
    documents_.monthRows().setCell(MonthCol::Mark, day, QStringLiteral("+"));
    emit dayStarted(day);
    runDate_ = date;
}

void RunEngine::tick() {
    const QDateTime now = clock_.now();
    const QDateTime shifted = shiftedClock(now, runAdvance_);
    try {
        const QDate date = shifted.date();
        const int second = secondOfDay(shifted.time());
        // Seconds between this tick and the last one are caught up when the
        // ticks were close in real time, whatever the wall clock did (a
        // change of summer time is no gap); after a longer gap (a suspend,
        // the clock set forward) their rows are missed.
        const bool catchUp = now.toMSecsSinceEpoch() - lastTickMs_ <= kCatchUpMs;
        lastTickMs_ = now.toMSecsSinceEpoch();
        if (date != runDate_ || documents_.dayScheduleName() !=
                                    documents_.monthRows().cell(MonthCol::File, date.day())) {
            // What is left of the day the loaded file belongs to goes first.
            if (date > runDate_ && lastDoneDate_ == runDate_)
                passSeconds(lastDone_ + 1, kSecondsPerDay - 1,
                            second + runDate_.daysTo(date) * kSecondsPerDay, catchUp, shifted);
            marksByDate_[runDate_] = firedRows();
            startDay(date);
            // A date already run (the clock set back over midnight) keeps what
            // fired on it.
            if (const auto kept = marksByDate_.find(date); kept != marksByDate_.end())
                restoreMarks(kept->second);
            // Only the two dates around midnight are worth keeping.
            std::erase_if(marksByDate_, [&date](const auto& kept) {
                return std::abs(kept.first.daysTo(date)) > 1;
            });
        } else if (followDayFile_) {
            followDayFile();
        }
        // A new date is passed over from its start; a date the clock went
        // back to has nothing passed over.
        const int from = date > lastDoneDate_ ? 0 : date < lastDoneDate_ ? second : lastDone_ + 1;
        passSeconds(from, second - 1, second, catchUp, shifted);
        lastDoneDate_ = date;
        lastDone_ = second;

        const DueScan scan = dueRows(second);
        // The pulse is due at the start of the row's second on the shifted
        // clock, which is the run advance after the row fell due.
        const qint64 waitMs = qint64(clampRunAdvance(runAdvance_)) * 1000 - shifted.time().msec();
        for (int row : scan.due) {
            emit rowFalling(row);
            startWorker(row, waitMs);
        }
        wakeForNextSecond(shifted);
        emit ticked();
        // A time that does not read ends Run mode without a word.
        if (scan.badRow)
            endRun(QStringLiteral("'%1' in row %2 of %3 is not a valid time")
                       .arg(documents_.dayRows().cell(DayCol::Time, *scan.badRow))
                       .arg(*scan.badRow)
                       .arg(documents_.dayScheduleName()),
                   false);
    } catch (const ProgramError& failure) {
        endRun(failure.text(), true, failure.detail());
    } catch (const std::exception& failure) {
        endRun(QString::fromLocal8Bit(failure.what()), false);
    }
}

void RunEngine::passSeconds(int from, int to, qint64 now, bool catchUp, const QDateTime& shifted) {
    const qint64 advanceMs = qint64(clampRunAdvance(runAdvance_)) * 1000;
    const qint64 intoSecond = shifted.time().msec();
    for (int second = std::max(from, 0); second <= to; ++second) {
        for (int row : dueRows(second).due) {
            const qint64 lateMs = qint64(now - second) * 1000 + intoSecond;
            const QStringList& cells = documents_.dayRows().rowCells(row);
            if (!catchUp) {
                emit rowMissed(cells, lateMs);
                continue;
            }
            emit rowFalling(row);
            emit rowLate(cells, lateMs);
            startWorker(row, advanceMs - lateMs);
        }
    }
}

QList<std::pair<QStringList, QString>> RunEngine::firedRows() const {
    const StringGridModel& rows = documents_.dayRows();
    QList<std::pair<QStringList, QString>> fired;
    for (int r = kFirstDayRow; r < rows.gridRowCount(); ++r)
        if (!rows.cell(DayCol::Mark, r).isEmpty())
            fired.append({rows.rowCells(r).mid(DayCol::Time), rows.cell(DayCol::Mark, r)});
    return fired;
}

// A row that fired keeps its mark, so it does not fire again: matched by its
// whole content, each fired row once.
void RunEngine::restoreMarks(QList<std::pair<QStringList, QString>> fired) {
    StringGridModel& rows = documents_.dayRows();
    for (int r = kFirstDayRow; r < rows.gridRowCount() && !fired.isEmpty(); ++r) {
        const QStringList content = rows.rowCells(r).mid(DayCol::Time);
        const auto old = std::find_if(fired.begin(), fired.end(),
                                      [&](const auto& f) { return f.first == content; });
        if (old != fired.end()) {
            rows.setCell(DayCol::Mark, r, old->second);
            fired.erase(old);
        }
    }
}

void RunEngine::endRun(const QString& text, bool shown, const QString& detail) {
    leave(TextFailure::withDetail(text, detail));
    report_.ended(text, shown, detail);
}

void RunEngine::followDayFile() {
    const QString name = documents_.dayScheduleName();
    const QString stamp = fileStamp(name);
    if (stamp == dayFileStamp_)
        return;
    // Tried once per change of the file: a save still under way, or a file
    // that does not read, leaves the rows as they were until it changes again.
    dayFileStamp_ = stamp;
    const QList<std::pair<QStringList, QString>> fired = firedRows();
    try {
        documents_.loadDaySchedule(name);
    } catch (const ProgramError& failure) {
        report_.failure(failure.text(), true, failure.detail());
        return;
    } catch (const PlatformError& failure) {
        report_.failure(failure.text(), false, failure.detail());
        return;
    }
    restoreMarks(fired);
    emit dayFileTaken(name);
}

void RunEngine::wakeForNextSecond(const QDateTime& shifted) {
    const int next = secondOfDay(shifted.time()) + 1;
    if (wakeAtDueSeconds_ && running() && index_.anyRowAt(next))
        wakeTimer_.start(std::max(0, 1000 - shifted.time().msec()));
}

void RunEngine::executeRow(int row) {
    startWorker(row, qint64(clampRunAdvance(runAdvance_)) * 1000);
}

void RunEngine::startWorker(int row, qint64 waitMs) {
    const StringGridModel& rows = documents_.dayRows();
    auto* worker = new RowWorker(link_);
    worker->output = outputNumber(rows.cell(DayCol::Output, row));
    // A row without an output waits for nothing; a late row's pulse is due
    // already, and takes its place among the others by its own due instant.
    const qint64 dueIn = worker->output != 0 ? waitMs : std::min<qint64>(waitMs, 0);
    worker->plannedWaitMs = std::max<qint64>(0, dueIn);
    worker->pulseDeadline = RunLink::deadlineIn(dueIn);
    worker->pulseDueMs = clock_.now().toMSecsSinceEpoch() + dueIn;
    worker->pulseTicket = link_->queuePulse(worker->pulseDueMs);
    worker->rowCells = rows.rowCells(row);
    worker->row = row;
    worker->mediaFile = rows.cell(DayCol::Media, row);
    worker->rowLayout = take(row);
    if (worker->begin())
        return;
    // No thread for this row: it fails here, alone, and the pulses queued
    // behind its own do not wait for it.
    const QString text = QStringLiteral("Can't start a thread for the row");
    link_->pulseDone(worker->pulseTicket);
    tellFailed(worker->rowCells, text);
    markRow(row, worker->rowLayout, QStringLiteral("!"), true);
    delete worker;
    // Shown from the event loop, as a worker's failure is: the tick goes on
    // while the operator reads it.
    QTimer::singleShot(0, this, [this, text] { showFailure(text, false, {}); });
}

void RunEngine::forgetTakenIfMoved() {
    const quint64 layout = documents_.dayRows().structureVersion();
    if (layout != takenLayout_) {
        taken_.clear();
        takenLayout_ = layout;
    }
}

DueScan RunEngine::dueRows(int second) {
    forgetTakenIfMoved();
    const StringGridModel& cells = documents_.dayRows();
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
    StringGridModel& rows = documents_.dayRows();
    if (layout != rows.structureVersion() || row < kFirstDayRow || row >= rows.gridRowCount())
        return false;
    rows.setCell(DayCol::Mark, row, mark);
    if (release) {
        forgetTakenIfMoved();
        const auto held = taken_.find(row);
        if (held != taken_.end() && --held->second == 0)
            taken_.erase(held);
    }
    return true;
}

void RunEngine::tellFired(const QStringList& cells, qint64 dueMs) {
    emit rowFired(cells, std::max<qint64>(0, lastPulseStartMs_ - dueMs));
}

std::optional<RunEngine::NextRow> RunEngine::nextRow() {
    const QDateTime shifted = shiftedClock(clock_.now(), runAdvance_);
    const int second = secondOfDay(shifted.time());
    dueRows(second); // the index as the rows now stand
    for (int s = second + 1; s < kSecondsPerDay; ++s) {
        if (!index_.anyRowAt(s))
            continue;
        const DueScan scan = dueRows(s);
        if (!scan.due.empty())
            // Until its pulse: the run advance after it falls due.
            return NextRow{scan.due.front(), qint64(s - second) * 1000 - shifted.time().msec() +
                                                 qint64(clampRunAdvance(runAdvance_)) * 1000};
    }
    return std::nullopt;
}

void RunEngine::pulse(int output) {
    // How late a pulse was is counted to its start: a parallel pulse lasts 100 ms.
    lastPulseStartMs_ = clock_.now().toMSecsSinceEpoch();
    if (pulseHook_)
        pulseHook_(output);
    else
        device_.pulseOutput(output);
}

} // namespace cantrel
