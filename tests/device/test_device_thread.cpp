// The device thread against the simulated device: a due pulse comes before
// an exchange that could hold it up and goes out on its moment, never before;
// the caller never waits for the device; what the link says comes back in
// the order it was said, the request's end last.
#include "device/DeviceTestSupport.h"
#include "device/DeviceThread.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

using namespace cantrel;
using namespace cantrel::test;

namespace {

QString bin() {
    return qEnvironmentVariable("CANTREL_TEST_BIN");
}

// A device thread on COM1, the simulated device behind it.
struct Line {
    QTemporaryDir dir;
    DevSim sim{bin() + "/cantrel-devsim", dir.path()};
    std::unique_ptr<DeviceThread> device;
    QStringList events;

    bool start(const QStringList& simOptions = {}) {
        if (!sim.start(QStringList{"--micro"} + simOptions))
            return false;
        qputenv("CANTREL_COM1", sim.linkPath().toLocal8Bit());
        device = std::make_unique<DeviceThread>(QStringList{});
        device->setConnection(2);
        qunsetenv("CANTREL_COM1");
        QObject::connect(device.get(), &DeviceThread::linkTextChanged,
                         [this](const QString& text) { events << "link " + text; });
        QObject::connect(device.get(), &DeviceThread::selectedOutputChanged,
                         [this](int n) { events << QStringLiteral("show %1").arg(n); });
        QObject::connect(device.get(), &DeviceThread::linkLost,
                         [this](const QString& why) { events << "lost " + why; });
        return device->serialOpen();
    }
    DeviceThread::Done recordDone() {
        return [this](const std::optional<DeviceFailure>& failure) {
            events << "done " + (failure ? failure->text : QStringLiteral("ok"));
        };
    }
};

// Gives a pulse from a thread of its own, as a row's worker does.
PulseJob::Outcome pulseFromAnotherThread(DeviceThread& device, const PulseDeadline& due,
                                         int output) {
    PulseJob::Outcome outcome;
    QThread* worker = QThread::create([&] { outcome = device.pulse(due, output); });
    worker->start();
    while (!worker->wait(QDeadlineTimer(5)))
        QCoreApplication::processEvents();
    delete worker;
    return outcome;
}

} // namespace

class TestDeviceThread : public QObject {
    Q_OBJECT
  private slots:
    void aDuePulseComesFirst_data();
    void aDuePulseComesFirst();
    void theCallerNeverWaitsForTheDevice();
    void resultsComeBackInOrder_data();
    void resultsComeBackInOrder();
};

// A link test asked for just before a pulse is due, against a device that
// answers late (the read waits its full 100 ms): it waits, the pulse goes
// out at its moment and not before it, and the link test right after it.
// An expectation the engine gave (the rows of the next second) holds the
// line as a worker's ticket does.
void TestDeviceThread::aDuePulseComesFirst_data() {
    QTest::addColumn<bool>("byTicket");
    QTest::newRow("a worker's ticket") << true;
    QTest::newRow("rows about to fall due") << false;
}

void TestDeviceThread::aDuePulseComesFirst() {
    QFETCH(bool, byTicket);
    Line line;
    // Late past both reads, so neither answer lands in the other's.
    QVERIFY(line.start({"--late-ms", "400"}));
    line.sim.setMode("late");
    const qint64 dueNs = PulseDeadline::realNowNs() + 120'000'000;
    if (byTicket)
        line.device->expectPulse(1, dueNs);
    else
        line.device->expectPulsesAt(dueNs);
    line.device->testLink(line.recordDone());

    const PulseJob::Outcome outcome =
        pulseFromAnotherThread(*line.device, PulseDeadline::atRealNs(dueNs), 3);
    if (byTicket)
        line.device->pulseSettled(1);
    QVERIFY(outcome.given);
    QCOMPARE(outcome.failure.has_value(), false);
    QTRY_VERIFY_WITH_TIMEOUT(line.device->idle(), 10000);

    const auto requests = line.sim.stampedRequests();
    QCOMPARE(requests.size(), 2);
    QCOMPARE(requests[0].second, QStringLiteral("FD 00 03 7B"));
    QCOMPARE(requests[1].second, QStringLiteral("FD 00 00 06"));
    QVERIFY2(requests[0].first >= dueNs, qPrintable(QString::number(requests[0].first - dueNs)));
    QCOMPARE(line.events.constLast(), QStringLiteral("done ok"));
}

// A silent device holds its line for the whole read, never the caller: the
// call returns at once, the caller's timers go on, and the text comes later.
void TestDeviceThread::theCallerNeverWaitsForTheDevice() {
    Line line;
    QVERIFY(line.start());
    line.sim.setMode("silent");
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] { ticks += line.device->idle() ? 0 : 1; });
    timer.start();
    line.device->testLink(line.recordDone());
    QVERIFY(!line.device->idle());
    QVERIFY(line.events.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(line.device->idle(), 10000);
    QVERIFY2(ticks > 0, "the caller's timer never ran while the device was silent");
    QCOMPARE(line.events, (QStringList{"link No link", "done ok"}));
}

// As the link said it on its own thread: a report of another output fires
// it (a whole inner exchange) before the outer exchange's text; a line that
// hangs up is lost before the failure comes back.
void TestDeviceThread::resultsComeBackInOrder_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("report of output 7")
        << "normal" << QStringList{"show 7", "link Link OK", "link Link OK", "done ok"};
    QTest::newRow("hang-up")
        << "hangup" << QStringList{"lost Can't read from port", "done Can't read from port"};
}

void TestDeviceThread::resultsComeBackInOrder() {
    QFETCH(QString, mode);
    QFETCH(QStringList, events);
    Line line;
    QVERIFY(line.start({"--selected", "7"}));
    line.sim.setMode(mode);
    line.device->testLink(line.recordDone());
    QTRY_VERIFY_WITH_TIMEOUT(line.device->idle(), 10000);
    QCOMPARE(line.events, events);
    QCOMPARE(line.device->selectedOutput(), mode == "normal" ? 7 : 0);
}

QTEST_GUILESS_MAIN(TestDeviceThread)
#include "test_device_thread.moc"
