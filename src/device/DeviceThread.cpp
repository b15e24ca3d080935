#include "device/DeviceThread.h"

#include "device/RealTimePriority.h"

#include <QCoreApplication>

namespace cantrel {

DeviceThread::DeviceThread(QStringList portLibraryFiles, ComPortOpener openComPort,
                           QObject* parent)
    : QObject(parent),
      traffic_(new DeviceTraffic(std::move(portLibraryFiles), std::move(openComPort))) {
    thread_.setObjectName(QStringLiteral("device"));
    // What the link says on the device thread is said again here, through
    // one queue, in the order it was said.
    relay(&DeviceLink::connectionTextChanged, &DeviceThread::connectionTextChanged);
    relay(&DeviceLink::linkTextChanged, &DeviceThread::linkTextChanged);
    relay(&DeviceLink::outputCountChanged, &DeviceThread::outputCountChanged);
    relay(&DeviceLink::selectedOutputChanged, &DeviceThread::selectedOutputChanged);
    relay(&DeviceLink::connectionFailed, &DeviceThread::connectionFailed);
    relay(&DeviceLink::linkLost, &DeviceThread::linkLost);
    traffic_->setStateSink([this](const DeviceState& state) {
        QMetaObject::invokeMethod(this, [this, state] { state_ = state; }, Qt::QueuedConnection);
    });
    state_ = traffic_->state();
    traffic_->moveToThread(&thread_);
    // The port is closed where it was opened, as the thread ends.
    connect(&thread_, &QThread::finished, traffic_, &QObject::deleteLater);
    thread_.start();
    post([this](DeviceTraffic&) {
        if (const QString why = askRealTimePriority(); !why.isEmpty())
            QMetaObject::invokeMethod(
                this, [this, why] { emit realTimeRefused(why); }, Qt::QueuedConnection);
    });
}

DeviceThread::~DeviceThread() {
    // A pulse still waiting for the thread is told it was not given.
    thread_.quit();
    thread_.wait();
    QMutexLocker lock(&handedOverMutex_);
    for (const std::shared_ptr<PulseJob>& job : handedOver_)
        job->finish({});
}

template <typename... Args>
void DeviceThread::relay(void (DeviceLink::*said)(Args...), void (DeviceThread::*sayAgain)(Args...)) {
    connect(
        &traffic_->link(), said, &traffic_->link(),
        [this, sayAgain](std::decay_t<Args>... args) {
            QMetaObject::invokeMethod(
                this, [this, sayAgain, args...] { (this->*sayAgain)(args...); },
                Qt::QueuedConnection);
        },
        Qt::DirectConnection);
}

void DeviceThread::post(std::function<void(DeviceTraffic&)> call) {
    QMetaObject::invokeMethod(
        traffic_, [traffic = traffic_, call = std::move(call)] { call(*traffic); },
        Qt::QueuedConnection);
}

void DeviceThread::onDeviceNow(const std::function<void(DeviceLink&)>& call) {
    const DeviceFields asked = fields();
    std::exception_ptr failure;
    DeviceState state;
    QMetaObject::invokeMethod(
        traffic_,
        [&] {
            traffic_->take(asked);
            try {
                call(traffic_->link());
            } catch (...) {
                failure = std::current_exception();
            }
            state = traffic_->state();
        },
        Qt::BlockingQueuedConnection);
    // What the call said on its way (panel texts, a failed connection) is
    // heard before it returns, as when it ran on this thread.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    state_ = state;
    parallelAddress = state.parallelAddress;
    if (failure)
        std::rethrow_exception(failure);
}

void DeviceThread::onDeviceLater(std::function<void(DeviceLink&)> call, Done done) {
    ++pending_;
    post([this, asked = fields(), call = std::move(call), done = std::move(done)](
             DeviceTraffic& traffic) {
        traffic.exchange([this, &traffic, asked, call, done] {
            traffic.take(asked);
            const std::optional<DeviceFailure> failure =
                failureOf([&] { call(traffic.link()); });
            QMetaObject::invokeMethod(
                this,
                [this, failure, done] {
                    --pending_;
                    if (done)
                        done(failure);
                },
                Qt::QueuedConnection);
        });
    });
}

void DeviceThread::loadPortLibrary() {
    onDeviceNow([](DeviceLink& link) { link.loadPortLibrary(); });
}

void DeviceThread::unloadPortLibrary() {
    onDeviceNow([](DeviceLink& link) { link.unloadPortLibrary(); });
}

void DeviceThread::closePort() {
    onDeviceNow([](DeviceLink& link) { link.setComPort(0, 0); });
}

void DeviceThread::setConnection(int index) {
    onDeviceNow([index](DeviceLink& link) { link.setConnection(index); });
}

void DeviceThread::setKeepConnection(bool keep) {
    onDeviceNow([keep](DeviceLink& link) { link.setKeepConnection(keep); });
}

void DeviceThread::standBy() {
    onDeviceNow([](DeviceLink& link) { link.standBy(); });
}

void DeviceThread::takeUp() {
    onDeviceNow([](DeviceLink& link) { link.takeUp(); });
}

void DeviceThread::testLink(Done done) {
    if (linkTestWaiting_)
        return;
    linkTestWaiting_ = true;
    onDeviceLater([](DeviceLink& link) { link.testLink(); },
                  [this, done = std::move(done)](const std::optional<DeviceFailure>& failure) {
                      linkTestWaiting_ = false;
                      if (done)
                          done(failure);
                  });
}

void DeviceThread::chooseOutput(int n, Done done) {
    onDeviceLater([n](DeviceLink& link) { link.chooseOutput(n); }, std::move(done));
}

PulseJob::Outcome DeviceThread::pulse(const PulseDeadline& deadline, int output,
                                      Withdrawal withdrawn) {
    const auto job = std::make_shared<PulseJob>(deadline, output, std::move(withdrawn));
    {
        QMutexLocker lock(&handedOverMutex_);
        handedOver_.insert(job);
    }
    post([job](DeviceTraffic& traffic) { traffic.pulse(job); });
    const PulseJob::Outcome outcome = job->wait();
    QMutexLocker lock(&handedOverMutex_);
    handedOver_.erase(job);
    return outcome;
}

void DeviceThread::expectPulse(quint64 ticket, qint64 dueNs) {
    post([ticket, dueNs](DeviceTraffic& traffic) { traffic.expect(ticket, dueNs); });
}

void DeviceThread::pulseSettled(quint64 ticket) {
    post([ticket](DeviceTraffic& traffic) { traffic.settle(ticket); });
}

void DeviceThread::expectPulsesAt(qint64 dueNs) {
    post([dueNs](DeviceTraffic& traffic) { traffic.expectAt(dueNs); });
}

} // namespace cantrel
