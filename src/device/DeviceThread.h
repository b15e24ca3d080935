#pragma once

#include "device/DeviceTraffic.h"

#include <QObject>
#include <QThread>

#include <functional>
#include <optional>
#include <set>

namespace cantrel {

// The device's own thread and the window's (or the run's) handle on it.
// Every exchange with the device goes out on that thread, one at a time, so
// traffic never overlaps and the thread that owns this object never waits
// for the device: a silent or late device holds up nothing but the line.
// What the link says (panels, selection, failures) comes back here through
// queued signals, in the order it was said.
//
// Setting up (the port library, the connection, standing by) opens or closes
// ports without a word to the device; it runs on the device thread too, while
// the caller waits, so its failures and panel texts are there when it
// returns, as before.
class DeviceThread final : public QObject {
    Q_OBJECT
  public:
    explicit DeviceThread(QStringList portLibraryFiles = PortLibrary::defaultFileNames(),
                          ComPortOpener openComPort = DeviceLink::defaultComPortOpener(),
                          QObject* parent = nullptr);
    ~DeviceThread() override;
    DeviceThread(const DeviceThread&) = delete;
    DeviceThread& operator=(const DeviceThread&) = delete;

    // The device fields of the main window's state record; each request
    // takes them along as they stand when it is made.
    quint32 parallelAddress = 888;
    quint32 pulseMs = 100;
    qint32 deviceId = 0;

    // As on DeviceLink, done on the device thread while the caller waits.
    void loadPortLibrary();
    void unloadPortLibrary();
    void closePort();
    void setConnection(int index);
    void setKeepConnection(bool keep);
    void standBy();
    void takeUp();

    // The link's state as of the last request done.
    int connectionIndex() const { return state_.connectionIndex; }
    int askedConnection() const { return state_.askedConnection; }
    bool serialOpen() const { return state_.serialOpen; }
    bool standingBy() const { return state_.standingBy; }
    int selectedOutput() const { return state_.selectedOutput; }

    // Exchanges, done when the line is free; done then gets the failure,
    // if any, on this object's thread, after every signal the exchange gave.
    using Done = std::function<void(const std::optional<DeviceFailure>& failure)>;
    // The link test. One still waiting for the line makes another needless.
    void testLink(Done done = {});
    // The operator chose output n on the radio bank.
    void chooseOutput(int n, Done done = {});
    // Nothing asked of the device from this thread is still under way.
    bool idle() const { return pending_ == 0; }

    // ---- any thread -----------------------------------------------------
    // Fires output at the deadline (on the connection then in force) and
    // waits for it; not when withdrawn by then.
    PulseJob::Outcome pulse(const PulseDeadline& deadline, int output, Withdrawal withdrawn = {});
    // A pulse will be due then: nothing starts on the line that could hold
    // it up, until it is settled.
    void expectPulse(quint64 ticket, qint64 dueNs);
    void pulseSettled(quint64 ticket);
    // Rows are due to fall then, their pulses with them.
    void expectPulsesAt(qint64 dueNs);

  signals:
    // As DeviceLink's.
    void connectionTextChanged(const QString& text);
    void linkTextChanged(const QString& text);
    void outputCountChanged(int count);
    void selectedOutputChanged(int output);
    void connectionFailed(const QString& text, const QString& detail);
    void linkLost(const QString& why);
    // The device thread runs at ordinary priority, and why; said once.
    void realTimeRefused(const QString& why);

  private:
    DeviceFields fields() const { return {parallelAddress, pulseMs, deviceId}; }
    // Runs call on the device thread and waits; rethrows what it raised.
    void onDeviceNow(const std::function<void(DeviceLink&)>& call);
    void onDeviceLater(std::function<void(DeviceLink&)> call, Done done);
    void post(std::function<void(DeviceTraffic&)> call);
    template <typename... Args>
    void relay(void (DeviceLink::*said)(Args...), void (DeviceThread::*sayAgain)(Args...));

    QThread thread_;
    DeviceTraffic* traffic_;
    DeviceState state_;
    int pending_ = 0;
    bool linkTestWaiting_ = false;
    // Pulses handed over and not yet given, so that none waits forever once
    // the thread is gone.
    QMutex handedOverMutex_;
    std::set<std::shared_ptr<PulseJob>> handedOver_;
};

} // namespace cantrel
