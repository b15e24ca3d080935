#pragma once

#include "device/DeviceLink.h"
#include "device/PulseDeadline.h"

#include <QMutex>
#include <QObject>
#include <QTimer>
#include <QWaitCondition>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace cantrel {

// A request's failure as the one who made it shows it.
struct DeviceFailure {
    QString text;
    QString detail;
    bool programText = true; // one of the program's own texts, else the platform's
};

// Runs call and gives back what it raised, if anything.
std::optional<DeviceFailure> failureOf(const std::function<void()>& call);

// The fields of the device record that a request takes along.
struct DeviceFields {
    quint32 parallelAddress = 888;
    quint32 pulseMs = 100;
    qint32 deviceId = 0;
};

// What the window and the run read of the link without asking the device.
struct DeviceState {
    int connectionIndex = 0;
    int askedConnection = 0;
    bool serialOpen = false;
    bool standingBy = false;
    int selectedOutput = 0;
    quint32 parallelAddress = 888;
};

// Set when a pulse handed over ahead of its row's moment is no longer wanted
// (Run mode left before the row fell due).
using Withdrawal = std::shared_ptr<const std::atomic<bool>>;
inline bool withdrawn(const Withdrawal& withdrawal) {
    return withdrawal && withdrawal->load();
}

// One pulse handed to the device thread, and its outcome, which the thread
// that handed it over waits for.
class PulseJob {
  public:
    PulseJob(const PulseDeadline& due, int fired, Withdrawal withdrawn = {})
        : deadline(due), output(fired), withdrawal(std::move(withdrawn)) {}

    struct Outcome {
        bool given = false; // false: the device went away first
        std::optional<DeviceFailure> failure;
        qint64 startedSteadyNs = 0; // the steady clock as the write began
    };

    const PulseDeadline deadline;
    const int output;
    const Withdrawal withdrawal;

    // The first outcome counts.
    void finish(const Outcome& outcome);
    Outcome wait();

  private:
    QMutex mutex_;
    QWaitCondition finished_;
    std::optional<Outcome> outcome_;
};

// The device thread's side: the link, and the order in which traffic goes
// out. A pulse is given at its deadline, to the nanosecond, and nothing else
// starts on the line when a pulse is due before it could end; what waits
// goes out right after that pulse. Lives on the device thread.
class DeviceTraffic final : public QObject {
    Q_OBJECT
  public:
    DeviceTraffic(QStringList portLibraryFiles, ComPortOpener openComPort);
    ~DeviceTraffic() override;

    DeviceLink& link() { return *link_; }
    void take(const DeviceFields& fields);
    DeviceState state() const;
    // After each request or pulse: what the link's state now is.
    void setStateSink(std::function<void(const DeviceState&)> sink) { stateSink_ = std::move(sink); }

    // An exchange on the line (a link test, an output by hand): at once, or
    // once the pulse due before it could end has been given.
    void exchange(std::function<void()> run);
    void pulse(std::shared_ptr<PulseJob> job);
    // A worker's pulse is due then (ns on the wall clock), until settled:
    // given, or given up.
    void expect(quint64 ticket, qint64 dueNs);
    void settle(quint64 ticket);
    // Rows fall due then, their workers not yet started: the same, until
    // their tickets come or the moment is well past.
    void expectAt(qint64 dueNs);

    // The longest an exchange may hold the line: the read time, or a
    // parallel pulse, with room for the write.
    static constexpr qint64 kExchangeNs = 150'000'000;

  private:
    // Runs what waits while no pulse is due too soon.
    void pump();
    // True when a pulse is due before an exchange started now could end;
    // retryNs then says when that may no longer hold (-1: once a pulse goes).
    bool pulseDueSoon(qint64* retryNs);
    void armPulse();
    void givePulse();

    DeviceLink* link_;
    std::function<void(const DeviceState&)> stateSink_;
    std::deque<std::function<void()>> waiting_;
    std::deque<std::shared_ptr<PulseJob>> pulses_;
    QTimer pulseTimer_;
    QTimer retryTimer_;
    std::map<quint64, qint64> tickets_;
    std::set<qint64> provisional_;
};

} // namespace cantrel
