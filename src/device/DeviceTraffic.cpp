#include "device/DeviceTraffic.h"

#include "platform/ProgramError.h"

#include <algorithm>

namespace cantrel {

namespace {

// The timer wakes the thread this long before a pulse; the rest is an
// absolute sleep, which no timer's rounding reaches.
constexpr qint64 kWakeAheadNs = 10'000'000;
// Rows expected to fall due that have not: after this the moment has passed
// without them (Run mode left, the rows changed).
constexpr qint64 kProvisionalGraceNs = 1'000'000'000;
// Expectations further ahead than the longest run advance are not ours.
constexpr qint64 kFarAheadNs = 3700LL * 1'000'000'000;

int msCeil(qint64 ns) {
    return int(std::clamp<qint64>((ns + 999'999) / 1'000'000, 0, 24 * 3600 * 1000));
}

} // namespace

std::optional<DeviceFailure> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ProgramError& failure) {
        return DeviceFailure{failure.text(), failure.detail(), true};
    } catch (const TextFailure& failure) {
        return DeviceFailure{failure.text(), failure.detail(), false};
    } catch (const std::exception& failure) {
        return DeviceFailure{QString::fromLocal8Bit(failure.what()), {}, false};
    }
    return std::nullopt;
}

void PulseJob::finish(const Outcome& outcome) {
    QMutexLocker lock(&mutex_);
    if (outcome_)
        return;
    outcome_ = outcome;
    finished_.wakeAll();
}

PulseJob::Outcome PulseJob::wait() {
    QMutexLocker lock(&mutex_);
    while (!outcome_)
        finished_.wait(&mutex_);
    return *outcome_;
}

DeviceTraffic::DeviceTraffic(QStringList portLibraryFiles, ComPortOpener openComPort)
    : link_(new DeviceLink(std::move(portLibraryFiles), std::move(openComPort), this)),
      pulseTimer_(this), retryTimer_(this) {
    pulseTimer_.setSingleShot(true);
    pulseTimer_.setTimerType(Qt::PreciseTimer);
    connect(&pulseTimer_, &QTimer::timeout, this, &DeviceTraffic::givePulse);
    retryTimer_.setSingleShot(true);
    retryTimer_.setTimerType(Qt::PreciseTimer);
    connect(&retryTimer_, &QTimer::timeout, this, &DeviceTraffic::pump);
}

DeviceTraffic::~DeviceTraffic() {
    for (const std::shared_ptr<PulseJob>& job : pulses_)
        job->finish({});
}

void DeviceTraffic::take(const DeviceFields& fields) {
    link_->parallelAddress = fields.parallelAddress;
    link_->pulseMs = fields.pulseMs;
    link_->deviceId = fields.deviceId;
}

DeviceState DeviceTraffic::state() const {
    return {link_->connectionIndex(), link_->askedConnection(), link_->serialOpen(),
            link_->standingBy(),      link_->selectedOutput(),  link_->parallelAddress};
}

void DeviceTraffic::exchange(std::function<void()> run) {
    waiting_.push_back(std::move(run));
    pump();
}

void DeviceTraffic::pump() {
    while (!waiting_.empty()) {
        qint64 retryNs = -1;
        if (pulseDueSoon(&retryNs)) {
            if (retryNs >= 0)
                retryTimer_.start(msCeil(retryNs));
            return;
        }
        const std::function<void()> run = std::move(waiting_.front());
        waiting_.pop_front();
        run();
        if (stateSink_)
            stateSink_(state());
    }
}

bool DeviceTraffic::pulseDueSoon(qint64* retryNs) {
    const qint64 now = PulseDeadline::realNowNs();
    const qint64 horizon = now + kExchangeNs;
    if (!pulses_.empty() && pulses_.front()->deadline.remainingNs() < kExchangeNs)
        return true;
    // A worker's pulse that is overdue (its media file still opening, its
    // turn still coming) holds the line too, until it is settled.
    for (const auto& [ticket, due] : tickets_)
        if (due < horizon)
            return true;
    std::erase_if(provisional_, [now](qint64 due) { return due + kProvisionalGraceNs < now; });
    for (const qint64 due : provisional_) {
        if (due < horizon) {
            *retryNs = due + kProvisionalGraceNs - now;
            return true;
        }
    }
    return false;
}

void DeviceTraffic::pulse(std::shared_ptr<PulseJob> job) {
    pulses_.push_back(std::move(job));
    armPulse();
}

void DeviceTraffic::armPulse() {
    if (pulses_.empty() || pulseTimer_.isActive())
        return;
    const qint64 left = pulses_.front()->deadline.remainingNs();
    if (left > kWakeAheadNs) {
        pulseTimer_.start(int((left - kWakeAheadNs) / 1'000'000));
        return;
    }
    givePulse();
}

void DeviceTraffic::givePulse() {
    const std::shared_ptr<PulseJob> job = std::move(pulses_.front());
    pulses_.pop_front();
    sleepUntil(job->deadline);
    // A withdrawn pulse is not given: it comes back as never given.
    PulseJob::Outcome outcome;
    if (!withdrawn(job->withdrawal)) {
        outcome.given = true;
        outcome.startedSteadyNs = PulseDeadline::steadyNowNs();
        outcome.failure = failureOf([&] { link_->pulseOutput(job->output); });
    }
    job->finish(outcome);
    // The moment has come and gone: the rows still to pulse in it hold the
    // line by their own tickets.
    provisional_.erase(job->deadline.realNs);
    if (stateSink_)
        stateSink_(state());
    armPulse();
    pump();
}

void DeviceTraffic::expect(quint64 ticket, qint64 dueNs) {
    tickets_[ticket] = dueNs;
    provisional_.erase(dueNs);
}

void DeviceTraffic::settle(quint64 ticket) {
    if (tickets_.erase(ticket))
        pump();
}

void DeviceTraffic::expectAt(qint64 dueNs) {
    const qint64 now = PulseDeadline::realNowNs();
    if (dueNs + kProvisionalGraceNs < now || dueNs > now + kFarAheadNs)
        return;
    for (const auto& [ticket, due] : tickets_)
        if (due == dueNs)
            return;
    provisional_.insert(dueNs);
}

} // namespace cantrel
