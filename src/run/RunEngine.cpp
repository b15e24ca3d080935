#include "run/RunEngine.h"

#include "device/DeviceThread.h"
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
#include <QHash>

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

// How far the local wall clock moved between two readings, a change of
// summer time included.
qint64 wallClockSpanMs(const QDateTime& from, const QDateTime& to) {
    return QDateTime(from.date(), from.time(), Qt::UTC)
        .msecsTo(QDateTime(to.date(), to.time(), Qt::UTC));
}

QString inSeconds(qint64 ms) {
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

// Why a tick found rows passed over: how far apart in real time it and the
// one before it were, and how far the clock moved when that was another span.
QString passedOverWhy(qint64 gapMs, qint64 movedMs, bool catchUp) {
    QString why = QStringLiteral("the ticks were %1 s apart").arg(inSeconds(gapMs));
    if (std::abs(movedMs - gapMs) >= 1000)
        why += QStringLiteral(" while the clock moved on %1 s").arg(inSeconds(movedMs));
    if (!catchUp)
        why += QStringLiteral(", more than %1 s").arg(kCatchUpMs / 1000);
    return why;
}

// Whether the engine's clock (a reading of ms) is the machine's wall clock
// (read as realNs at the same moment): a test's or a moved one is not.
bool onMachinesClock(qint64 ms, qint64 realNs) {
    return std::abs(ms - realNs / 1000000) < 1000;
}

// The wake-up for a due second comes this much early on the machine's clock
// and sleeps the rest: the GUI thread is held for at most that long.
constexpr qint64 kWakeAheadNs = 3000000;
// Rows are armed this long before their second: room for the tick, the
// workers' start and the hand-over to the device thread on a busy machine.
constexpr qint64 kArmAheadMs = 50;

} // namespace

std::optional<bool> RunLink::open(const QString& target, QString* why) {
    QReadLocker opening(&opening_);
    if (!alive())
        return std::nullopt;
    return opener_->open(target, why);
}

bool RunLink::sleepUntil(const QDeadlineTimer& deadline, qint64 plannedMs, bool* hooked) {
    std::function<void(qint64)> hook;
    {
        QMutexLocker lock(&mutex_);
        hook = sleepHook_;
    }
    if (hooked)
        *hooked = bool(hook);
    if (hook) {
        hook(plannedMs);
        return alive();
    }
    return sleepUntil(deadline);
}

bool RunLink::sleepUntil(const QDeadlineTimer& deadline) {
    QMutexLocker lock(&mutex_);
    while (engine_ && !deadline.hasExpired())
        woken_.wait(&mutex_, deadline);
    return engine_ != nullptr;
}

QDeadlineTimer RunLink::deadlineIn(qint64 ms) {
    // Already past: an expired deadline, never -1, which would mean "forever".
    return QDeadlineTimer(std::max<qint64>(0, ms), Qt::PreciseTimer);
}

quint64 RunLink::queuePulse(qint64 dueMs, qint64 dueNs) {
    QMutexLocker lock(&mutex_);
    const quint64 ticket = nextTicket_++;
    pendingPulses_.insert({dueMs, ticket});
    pulseDue_[ticket] = dueMs;
    device_->expectPulse(ticket, dueNs);
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
    // The device outlives the engine, not its workers: it is told only
    // while the engine is there.
    QReadLocker opening(&opening_);
    QMutexLocker lock(&mutex_);
    const auto due = pulseDue_.find(ticket);
    if (due == pulseDue_.end())
        return;
    pendingPulses_.erase({due->second, ticket});
    pulseDue_.erase(due);
    armed_.erase(ticket);
    woken_.wakeAll();
    if (engine_)
        device_->pulseSettled(ticket);
}

Withdrawal RunLink::arm(quint64 ticket, qint64 fallMs, quint64 hold) {
    QMutexLocker lock(&mutex_);
    auto withdrawn = std::make_shared<std::atomic<bool>>(false);
    armed_[ticket] = {fallMs, hold, withdrawn};
    return withdrawn;
}

QList<quint64> RunLink::withdrawUnfallen(qint64 nowMs) {
    QMutexLocker lock(&mutex_);
    QList<quint64> holds;
    for (const auto& [ticket, armed] : armed_) {
        if (armed.fallMs > nowMs) {
            armed.withdrawn->store(true);
            holds.append(armed.hold);
        }
    }
    // Those that have fallen are started as any other: they go on.
    armed_.clear();
    return holds;
}

std::optional<RunLink::Pulse> RunLink::pulseOnDevice(const PulseDeadline& deadline, int output,
                                                     const Withdrawal& withdrawn) {
    // Held while the device thread gives the pulse: the engine, and the
    // device after it, wait for it as they go away.
    QReadLocker opening(&opening_);
    if (!alive())
        return std::nullopt;
    const PulseJob::Outcome outcome = device_->pulse(deadline, output, withdrawn);
    if (!outcome.given)
        return std::nullopt;
    // When it began, on the engine's clock: the engine's clock now, less
    // the time since, which the steady clock measures.
    const qint64 sinceMs = (PulseDeadline::steadyNowNs() - outcome.startedSteadyNs) / 1000000;
    return Pulse{outcome.failure, clock_->now().toMSecsSinceEpoch() - sinceMs};
}

bool RunLink::pulsesOnEngineThread() const {
    QMutexLocker lock(&mutex_);
    return pulsesOnEngineThread_;
}

void RunLink::setPulsesOnEngineThread(bool on) {
    QMutexLocker lock(&mutex_);
    pulsesOnEngineThread_ = on;
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
    // Gone at once: a worker whose open ends while this waits for it sees
    // the engine gone, and does not go on to its sleep or its pulse.
    {
        QMutexLocker lock(&mutex_);
        engine_ = nullptr;
        woken_.wakeAll();
    }
    // Then the opens and pulses under way (the opener and the device belong
    // to the engine's owner) are waited for.
    QWriteLocker opening(&opening_);
}

void RunLink::setSleepHook(std::function<void(qint64)> hook) {
    QMutexLocker lock(&mutex_);
    sleepHook_ = std::move(hook);
}

RunEngine::RunEngine(RunDocuments& documents, Clock& clock, MediaOpener& opener,
                     DeviceThread& device, RunReport& report, QObject* parent)
    : QObject(parent), documents_(documents), clock_(clock), device_(device), report_(report),
      link_(std::make_shared<RunLink>(this, &opener, &device, &clock)) {
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
        if (!running())
            return;
        if (wakeToArm_) {
            armNextSecond();
            return;
        }
        // Woken just ahead of the second: the rest is an absolute sleep to
        // its first instant, so the tick reads the new second at once rather
        // than a timer's rounding later.
        const qint64 realNs = PulseDeadline::realNowNs();
        const qint64 intoSecondNs = realNs % 1000000000;
        if (onMachinesClock(clock_.now().toMSecsSinceEpoch(), realNs) &&
            intoSecondNs >= 1000000000 - kWakeAheadNs)
            sleepUntil(PulseDeadline::atRealNs(realNs - intoSecondNs + 1000000000));
        tick();
    });
}

void RunEngine::setPulseHook(std::function<void(int output)> hook) {
    link_->setPulsesOnEngineThread(bool(hook));
    pulseHook_ = std::move(hook);
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
    const Instant instant = instantNow();
    const QDateTime now = instant.at;
    calendar_.start(documents_.monthCalendarName());
    days_.start(documents_.monthCalendarName());
    startDay(now.date());
    // No catch-up for rows whose time passed before Run was entered; a row
    // of the very second it was entered in still fires.
    marksByDate_.clear();
    const QDateTime shifted = shiftedClock(now, runAdvance_);
    lastDoneDate_ = shifted.date();
    lastDone_ = secondOfDay(shifted.time()) - 1;
    lastTickMs_ = now.toMSecsSinceEpoch();
    lastShifted_ = shifted;
    tickTimer_.start();
    // A row of the next second fires at its start, not up to a tick into it.
    wakeForNextSecond(shifted, instant);
    emit modeChanged(true);
}

void RunEngine::leave(const QString& why) {
    if (running())
        emit ending(why);
    // Rows armed for a second that has not begun do not fall in this run:
    // they are free at once, for a run entered again before that second.
    for (const quint64 hold : link_->withdrawUnfallen(clock_.now().toMSecsSinceEpoch()))
        markRow(hold, QString(), true);
    tickTimer_.stop();
    wakeTimer_.stop();
    emit modeChanged(false);
}

void RunEngine::startDay(QDate date) {
    const int day = date.day();
    const DayChoice choice = days_.choose(documents_.monthRows().cell(MonthCol::File, day), date);
    if (choice.file.isEmpty() && !days_.hasPlan())
        throw ProgramError(QStringLiteral(".24h file don't specified"),
                           QStringLiteral("%1 names no day schedule for day %2 (%3)")
                               .arg(documents_.monthCalendarName())
                               .arg(day)
                               .arg(date.toString(Qt::ISODate)));
    if (choice.file.isEmpty())
        documents_.clearDaySchedule();
    else
        documents_.loadDaySchedule(choice.file);
    noSchedule_ = choice.file.isEmpty();
    dayText_ = days_.describe(choice, date);
    dayFile_.start(choice.file);
    documents_.monthRows().setCell(MonthCol::Mark, day, QStringLiteral("+"));
    emit dayStarted(day);
    runDate_ = date;
}

bool RunEngine::inForce(const DayChoice& choice) const {
    // Without a plan an empty entry is never in force: its load fails.
    if (choice.file.isEmpty())
        return noSchedule_ && days_.hasPlan();
    return !noSchedule_ && documents_.dayScheduleName() == choice.file;
}

RunEngine::Instant RunEngine::instantNow() const {
    return {clock_.now(), QDeadlineTimer::current(Qt::PreciseTimer), PulseDeadline::realNowNs()};
}

PulseDeadline RunEngine::Instant::deadline(qint64 dueIn) const {
    PulseDeadline due;
    due.realNs = onMachinesClock(ms(), realNs) ? (ms() + dueIn) * 1000000 : realNs + dueIn * 1000000;
    due.steady = steady + dueIn;
    return due;
}

void RunEngine::tick() {
    const Instant instant = instantNow();
    const QDateTime& now = instant.at;
    const QDateTime shifted = shiftedClock(now, runAdvance_);
    try {
        const QDate date = shifted.date();
        const int second = secondOfDay(shifted.time());
        // Seconds between this tick and the last one are caught up when the
        // ticks were close in real time, whatever the wall clock did (a
        // change of summer time is no gap); after a longer gap (a suspend,
        // the clock set forward) their rows are missed.
        const qint64 gapMs = instant.ms() - lastTickMs_;
        const bool catchUp = gapMs <= kCatchUpMs;
        const QString why = passedOverWhy(gapMs, wallClockSpanMs(lastShifted_, shifted), catchUp);
        lastTickMs_ = instant.ms();
        lastShifted_ = shifted;
        if (followFiles_) {
            followCalendar();
            followPlan();
        }
        const bool newDate = date != runDate_;
        if (newDate ||
            !inForce(days_.choose(documents_.monthRows().cell(MonthCol::File, date.day()), date))) {
            // What is left of the day the loaded file belongs to goes first.
            if (date > runDate_ && lastDoneDate_ == runDate_)
                passSeconds(lastDone_ + 1, kSecondsPerDay - 1,
                            second + runDate_.daysTo(date) * kSecondsPerDay, catchUp, shifted,
                            why, instant);
            // A day without a schedule has no marks to keep.
            if (!noSchedule_)
                marksByDate_[runDate_] = firedRows();
            // Another file for the same day (the calendar saved anew): a row
            // whose worker is still opening stays taken in it.
            const std::map<quint64, QStringList> held =
                newDate ? std::map<quint64, QStringList>() : heldContents();
            startDay(date);
            // A date already run (the clock set back over midnight) keeps what
            // fired on it.
            if (const auto kept = marksByDate_.find(date); kept != marksByDate_.end())
                restoreMarks(kept->second);
            carryHolds(held);
            // Only the two dates around midnight are worth keeping.
            std::erase_if(marksByDate_, [&date](const auto& kept) {
                return std::abs(kept.first.daysTo(date)) > 1;
            });
        } else if (followFiles_) {
            followDayFile();
        }
        // A new date is passed over from its start; a date the clock went
        // back to has nothing passed over.
        const int from = date > lastDoneDate_ ? 0 : date < lastDoneDate_ ? second : lastDone_ + 1;
        passSeconds(from, second - 1, second, catchUp, shifted, why, instant);
        lastDoneDate_ = date;
        lastDone_ = second;

        const DueScan scan = dueRows(second);
        // The pulse is due at the start of the row's second on the shifted
        // clock, which is the run advance after the row fell due.
        const qint64 waitMs = qint64(clampRunAdvance(runAdvance_)) * 1000 - shifted.time().msec();
        for (int row : scan.due) {
            emit rowFalling(row);
            startWorker(row, waitMs, instant);
        }
        wakeForNextSecond(shifted, instant);
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

void RunEngine::passSeconds(int from, int to, qint64 now, bool catchUp, const QDateTime& shifted,
                            const QString& why, const Instant& instant) {
    const qint64 advanceMs = qint64(clampRunAdvance(runAdvance_)) * 1000;
    const qint64 intoSecond = shifted.time().msec();
    for (int second = std::max(from, 0); second <= to; ++second) {
        for (int row : dueRows(second).due) {
            const qint64 lateMs = qint64(now - second) * 1000 + intoSecond;
            const QStringList& cells = documents_.dayRows().rowCells(row);
            if (!catchUp) {
                emit rowMissed(cells, lateMs, why);
                continue;
            }
            emit rowFalling(row);
            emit rowLate(cells, lateMs, why);
            startWorker(row, advanceMs - lateMs, instant);
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

// A row that fired keeps its mark, so it does not fire again.
void RunEngine::restoreMarks(const QList<std::pair<QStringList, QString>>& fired) {
    QList<QStringList> contents;
    for (const auto& [content, mark] : fired)
        contents.append(content);
    const QList<int> found = findRows(contents);
    StringGridModel& rows = documents_.dayRows();
    for (qsizetype i = 0; i < fired.size(); ++i)
        if (found[i] >= 0)
            rows.setCell(DayCol::Mark, found[i], fired[i].second);
}

QList<int> RunEngine::findRows(const QList<QStringList>& contents) const {
    const StringGridModel& rows = documents_.dayRows();
    const auto key = [](const QStringList& content) { return content.join(QChar(0)); };
    // Row numbers by content and by time, in row order; each row is given out once.
    QHash<QString, QList<int>> byContent;
    QHash<QString, QList<int>> byTime;
    for (int r = kFirstDayRow; r < rows.gridRowCount(); ++r) {
        byContent[key(rows.rowCells(r).mid(DayCol::Time))].append(r);
        if (rows.cell(DayCol::Mark, r).isEmpty())
            byTime[rows.cell(DayCol::Time, r)].append(r);
    }
    QList<int> found(contents.size(), -1);
    std::set<int> given;
    const auto give = [&given](QList<int>& candidates) {
        while (!candidates.isEmpty()) {
            const int r = candidates.takeFirst();
            if (given.insert(r).second)
                return r;
        }
        return -1;
    };
    for (qsizetype i = 0; i < contents.size(); ++i)
        if (const auto same = byContent.find(key(contents[i])); same != byContent.end())
            found[i] = give(*same);
    // A row edited and saved in its own second is still that row: one of the
    // same time stands in for it, so it is not started a second time.
    for (qsizetype i = 0; i < contents.size(); ++i)
        if (found[i] < 0)
            if (const auto sameTime = byTime.find(contents[i].value(0)); sameTime != byTime.end())
                found[i] = give(*sameTime);
    return found;
}

void RunEngine::endRun(const QString& text, bool shown, const QString& detail) {
    leave(TextFailure::withDetail(text, detail));
    report_.ended(text, shown, detail);
}

void RunEngine::followCalendar() {
    // Tried once per change of the file: one that does not read leaves the
    // calendar as it was until it changes again.
    if (!calendar_.savedAnew())
        return;
    try {
        documents_.reloadMonthCalendar();
    } catch (const TextFailure& failure) {
        report_.failure(failure.text(), dynamic_cast<const ProgramError*>(&failure) != nullptr,
                        failure.detail());
        return;
    }
    emit calendarTaken(calendar_.name());
}

void RunEngine::followPlan() {
    try {
        if (days_.followPlan())
            emit planTaken(days_.planFile());
    } catch (const TextFailure& failure) {
        report_.failure(failure.text(), true, failure.detail());
    }
}

void RunEngine::followDayFile() {
    if (noSchedule_)
        return;
    const QString name = documents_.dayScheduleName();
    // Tried once per change of the file: one that does not read leaves the
    // rows as they were until it changes again.
    if (!dayFile_.savedAnew())
        return;
    const QList<std::pair<QStringList, QString>> fired = firedRows();
    const std::map<quint64, QStringList> held = heldContents();
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
    carryHolds(held);
    emit dayFileTaken(name);
}

void RunEngine::wakeForNextSecond(const QDateTime& shifted, const Instant& instant) {
    wakeForSecond(secondOfDay(shifted.time()) + 1, 1000 - shifted.time().msec(), instant);
}

void RunEngine::wakeForSecond(int next, qint64 untilNext, const Instant& instant) {
    wakeTimer_.stop();
    if (!wakeAtDueSeconds_ || !running())
        return;
    const bool machines = onMachinesClock(instant.ms(), instant.realNs);
    // A new day starts with whatever its file holds: its first second is
    // always worth the tick at its start.
    const bool newDay = next == kSecondsPerDay;
    if (!newDay && dueRows(next).due.empty())
        return;
    wakeToArm_ = machines && !newDay;
    const qint64 aheadMs = wakeToArm_ ? kArmAheadMs : machines ? kWakeAheadNs / 1000000 : 0;
    wakeTimer_.start(int(std::max<qint64>(0, untilNext - aheadMs)));
    // Their pulses come the run advance after that second begins. A clock
    // of the engine's own does not say when that is on the machine's.
    if (machines && !newDay)
        device_.expectPulsesAt(
            instant.deadline(untilNext + qint64(clampRunAdvance(runAdvance_)) * 1000).realNs);
}

void RunEngine::armNextSecond() {
    // Everything up to now first, as at any tick (the day, the files, the
    // rows of this second and those passed over), unless a tick has already
    // dealt with this second.
    const QDateTime before = shiftedClock(clock_.now(), runAdvance_);
    if (before.date() != lastDoneDate_ || secondOfDay(before.time()) != lastDone_)
        tick();
    if (!running())
        return;
    const Instant instant = instantNow();
    const QDateTime shifted = shiftedClock(instant.at, runAdvance_);
    const int next = secondOfDay(shifted.time()) + 1;
    const qint64 untilNext = 1000 - shifted.time().msec();
    // Woken late, well into the second: the ticks take its rows as they come.
    if (next == kSecondsPerDay || untilNext > 2 * kArmAheadMs)
        return;
    const DueScan scan = dueRows(next);
    // A time that does not read ends Run mode at that second's tick, which
    // comes at its start.
    if (scan.badRow) {
        wakeToArm_ = false;
        wakeTimer_.start(int(std::max<qint64>(0, untilNext - kWakeAheadNs / 1000000)));
        return;
    }
    const qint64 waitMs = untilNext + qint64(clampRunAdvance(runAdvance_)) * 1000;
    for (int row : scan.due) {
        emit rowFalling(row);
        startWorker(row, waitMs, instant, false, untilNext);
    }
    wakeForSecond(next + 1, untilNext + 1000, instant);
}

void RunEngine::executeRow(int row) {
    startWorker(row, qint64(clampRunAdvance(runAdvance_)) * 1000, instantNow(), true);
}

void RunEngine::startWorker(int row, qint64 waitMs, const Instant& instant, bool byHand,
                            qint64 fallInMs) {
    const StringGridModel& rows = documents_.dayRows();
    auto* worker = new RowWorker(link_);
    worker->output = outputNumber(rows.cell(DayCol::Output, row));
    // A row without an output waits for nothing but its fall; a late row's
    // pulse is due already, and takes its place among the others by its own
    // due instant. Both count from the instant the clock was read, so the
    // time the tick took since does not move the pulse.
    const qint64 dueIn = worker->output != 0 ? waitMs : std::min<qint64>(waitMs, fallInMs);
    worker->plannedWaitMs = std::max<qint64>(0, dueIn);
    worker->pulseDeadline = instant.deadline(dueIn);
    worker->pulseDueMs = instant.ms() + dueIn;
    worker->rowDueMs = instant.ms() + waitMs;
    worker->byHand = byHand;
    worker->pulseTicket = link_->queuePulse(worker->pulseDueMs, worker->pulseDeadline.realNs);
    worker->rowCells = rows.rowCells(row);
    worker->mediaFile = rows.cell(DayCol::Media, row);
    worker->hold = take(row);
    if (fallInMs > 0) {
        worker->fallDeadline = instant.deadline(fallInMs);
        worker->withdrawal = link_->arm(worker->pulseTicket, instant.ms() + fallInMs, worker->hold);
    }
    if (worker->begin())
        return;
    // No thread for this row: it fails here, alone, and the pulses queued
    // behind its own do not wait for it.
    const QString text = QStringLiteral("Can't start a thread for the row");
    link_->pulseDone(worker->pulseTicket);
    tellFailed(worker->rowCells, text);
    markRow(worker->hold, QStringLiteral("!"), true);
    delete worker;
    // Shown from the event loop, as a worker's failure is: the tick goes on
    // while the operator reads it.
    QTimer::singleShot(0, this, [this, text] { showFailure(text, false, {}); });
}

void RunEngine::syncHolds() {
    const quint64 layout = documents_.dayRows().structureVersion();
    if (layout == holdsLayout_)
        return;
    for (auto& [id, hold] : holds_)
        hold.row = -1;
    taken_.clear();
    holdsLayout_ = layout;
}

std::map<quint64, QStringList> RunEngine::heldContents() {
    syncHolds();
    std::map<quint64, QStringList> contents;
    for (const auto& [id, hold] : holds_)
        if (hold.row >= 0)
            contents[id] = documents_.dayRows().rowCells(hold.row).mid(DayCol::Time);
    return contents;
}

void RunEngine::carryHolds(const std::map<quint64, QStringList>& before) {
    syncHolds();
    // Several holds on one row (Execute twice) move together: find each
    // row once, by the first hold on it.
    QList<QStringList> contents;
    std::map<quint64, qsizetype> index;
    for (const auto& [id, content] : before) {
        const qsizetype at = contents.indexOf(content);
        index[id] = at >= 0 ? at : contents.size();
        if (at < 0)
            contents.append(content);
    }
    const QList<int> found = findRows(contents);
    for (const auto& [id, at] : index) {
        RowHold& hold = holds_.at(id);
        hold.row = found[at];
        if (hold.holding && hold.row >= 0)
            ++taken_[hold.row];
    }
}

DueScan RunEngine::dueRows(int second) {
    if (noSchedule_)
        return {};
    syncHolds();
    const StringGridModel& cells = documents_.dayRows();
    return index_.scan(
        DayRows{cells}, second, [this](int row) { return taken_.contains(row); },
        cells.structureVersion());
}

quint64 RunEngine::take(int row) {
    syncHolds();
    const quint64 id = nextHold_++;
    holds_[id] = {row, true};
    ++taken_[row];
    return id;
}

bool RunEngine::markRow(quint64 hold, const QString& mark, bool final) {
    syncHolds();
    const auto found = holds_.find(hold);
    if (found == holds_.end())
        return false;
    RowHold& held = found->second;
    StringGridModel& rows = documents_.dayRows();
    const bool lands = held.row >= kFirstDayRow && held.row < rows.gridRowCount();
    if (lands)
        rows.setCell(DayCol::Mark, held.row, mark);
    // The first mark makes the row ineligible by itself.
    if (held.holding) {
        held.holding = false;
        if (const auto taken = taken_.find(held.row);
            taken != taken_.end() && --taken->second == 0)
            taken_.erase(taken);
    }
    if (final)
        holds_.erase(found);
    return lands;
}

void RunEngine::tellFired(const QStringList& cells, qint64 dueMs, bool byHand,
                          qint64 startedMs) {
    if (byHand)
        emit rowExecuted(cells);
    else
        emit rowFired(cells, startedMs - dueMs);
}

std::optional<RunEngine::NextRow> RunEngine::nextRow() {
    if (noSchedule_)
        return std::nullopt;
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

qint64 RunEngine::pulse(int output) {
    // How late a pulse was is counted to its start: a parallel pulse lasts 100 ms.
    const qint64 startedMs = clock_.now().toMSecsSinceEpoch();
    if (pulseHook_)
        pulseHook_(output);
    return startedMs;
}

} // namespace cantrel
