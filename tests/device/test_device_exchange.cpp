#include "DeviceTestSupport.h"
#include "device/ComPort.h"
#include "device/DeviceLink.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

using namespace cantrel;
using cantrel::test::DevSim;
using cantrel::test::RecordingView;
using cantrel::test::failureLineOf;
using cantrel::test::failureOf;

namespace {

// A line that answers every write with a set reply at once, or fails on purpose.
class ScriptedDevice : public QIODevice {
  public:
    QByteArray reply;
    QByteArray written;
    bool failWrite = false;
    bool failRead = false;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return pending_.size() + QIODevice::bytesAvailable(); }

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        if (failRead) {
            return -1;
        }
        const qint64 n = qMin(maxSize, qint64(pending_.size()));
        memcpy(data, pending_.constData(), size_t(n));
        pending_.remove(0, n);
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override {
        if (failWrite) {
            return -1;
        }
        written.append(data, size);
        pending_ += reply;
        return size;
    }

  private:
    QByteArray pending_;
};

QByteArray statusReply(const char* digits) {
    QByteArray bytes(51, ' ');
    bytes[0] = '\xFE';
    bytes[25] = digits[0];
    bytes[26] = digits[1];
    return bytes;
}

} // namespace

class TestDeviceExchange : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<DevSim> device_;
    RecordingView view_;
    std::unique_ptr<DeviceLink> link_;

    // The requests the device has seen, as "FD 00 00 06" each.
    QStringList requestBytes() const {
        QStringList requests;
        for (const QString& line : device_->requests()) {
            requests << line.left(11);
        }
        return requests;
    }

    // A link whose COM1 is a scripted line instead of a serial port.
    ScriptedDevice* connectScripted() {
        ScriptedDevice* line = nullptr;
        link_ = std::make_unique<DeviceLink>(
            QStringList{}, [&line](const QString&, QString*) -> std::unique_ptr<ComPort> {
                auto device = std::make_unique<ScriptedDevice>();
                device->open(QIODevice::ReadWrite);
                line = device.get();
                return std::make_unique<IoComPort>(std::move(device));
            });
        view_.watch(*link_);
        link_->setConnection(2);
        view_.take();
        return line;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        device_ = std::make_unique<DevSim>(
            qEnvironmentVariable("CANTREL_TEST_BIN") + "/cantrel-devsim", dir_.path());
        // A late answer and a hang-up far outside the 100 ms read, so that a
        // busy machine cannot bring the late answer into the read, nor the
        // device back before the exchange that must find it gone.
        QVERIFY(device_->start({"--late-ms", "400", "--down-ms", "1000"}));
        qputenv("CANTREL_COM1", device_->linkPath().toLocal8Bit());
    }
    void cleanupTestCase() { device_.reset(); }

    void init() {
        view_ = RecordingView();
        link_ = std::make_unique<DeviceLink>(QStringList{});
        view_.watch(*link_);
        device_->setMode("normal");
        link_->setConnection(2);
        QCOMPARE(view_.take(),
                 QStringList({"connection Connection: COM1   Device ID: 0", "enable 16"}));
    }
    void cleanup() { link_.reset(); }

    // Each answer the device can give, then a silent device: an exchange that
    // still finds bytes of the previous answer did not purge its input.
    // "heldBack" counts the parts of the answer that come after the read.
    void answer_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("output");
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("received");
        QTest::addColumn<QString>("linkText");
        QTest::addColumn<int>("heldBack");
        QTest::newRow("output request") << "normal" << 3 << "FD 00 03 7B" << 51 << "Link OK" << 0;
        QTest::newRow("F9") << "f9" << 0 << "FD 00 00 06" << 51 << "Link OK" << 0;
        QTest::newRow("no answer") << "silent" << 0 << "FD 00 00 06" << 0 << "No link" << 0;
        QTest::newRow("late answer") << "late" << 0 << "FD 00 00 06" << 0 << "No link" << 1;
        QTest::newRow("short reply") << "short" << 0 << "FD 00 00 06" << 20 << "Link OK" << 0;
        QTest::newRow("pause in the reply") << "gap" << 0 << "FD 00 00 06" << 10 << "Link OK" << 1;
        QTest::newRow("wrong code") << "wrong" << 0 << "FD 00 00 06" << 51 << "Link error" << 0;
        QTest::newRow("echo") << "echo" << 0 << "FD 00 00 06" << 4 << "Link error" << 0;
        QTest::newRow("garbage") << "garbage" << 0 << "FD 00 00 06" << 51 << "Link error" << 0;
    }
    void answer() {
        QFETCH(QString, mode);
        QFETCH(int, output);
        QFETCH(QString, request);
        QFETCH(int, received);
        QFETCH(QString, linkText);
        QFETCH(int, heldBack);
        device_->setMode(mode);
        const int heldBackBefore = device_->heldBackSends();

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link_->exchange(output), received);
        const qint64 elapsed = clock.elapsed();
        // A request for an output that the device took shows that output as
        // selected, without a click.
        const QStringList shown =
            output != 0 ? QStringList{QStringLiteral("show %1").arg(output)} : QStringList();
        QCOMPARE(view_.take(), shown + QStringList{"link " + linkText});
        QCOMPARE(requestBytes().constLast(), request);
        QVERIFY2(elapsed < 1000, qPrintable(QString::number(elapsed)));
        if (received == 0) {
            QVERIFY2(elapsed >= 90, "the read must wait for the device");
        }

        // The rest of the answer is on the line before the next exchange
        // starts; a fixed pause would lose that race on a busy machine.
        QTRY_COMPARE(device_->heldBackSends(), heldBackBefore + heldBack);
        device_->setMode("silent");
        QCOMPARE(link_->exchange(0), 0);
        QCOMPARE(view_.take(), QStringList{"link No link"});
    }

    // An output the program fires is the device's selection from then on:
    // the bank shows it at once, so the next link test, which reports it,
    // fires nothing a second time.
    void firedOutputIsShownAndNotFiredAgain() {
        link_->setSelectedOutput(1);
        view_.take();
        link_->pulseOutput(7);
        QCOMPARE(view_.take(), QStringList({"show 7", "link Link OK"}));
        QCOMPARE(link_->selectedOutput(), 7);

        const int before = requestBytes().size();
        link_->testLink();
        QCOMPARE(view_.take(), QStringList({"link Link OK"}));
        QCOMPARE(requestBytes().mid(before), QStringList{"FD 00 00 06"});

        // Output 0 fired by a schedule row is the same status request.
        link_->pulseOutput(256);
        QCOMPARE(view_.take(), QStringList({"link Link OK"}));
        QCOMPARE(requestBytes().mid(before + 1), QStringList{"FD 00 00 06"});

        // A request the device did not answer selects nothing.
        device_->setMode("silent");
        link_->pulseOutput(5);
        QCOMPARE(view_.take(), QStringList{"link No link"});
        QCOMPARE(link_->selectedOutput(), 7);
    }

    // The operator's choice on the radio bank is the selection from then on,
    // and fires once.
    void chosenOutputFiresOnce() {
        link_->setSelectedOutput(1);
        view_.take();
        const int before = requestBytes().size();
        link_->chooseOutput(9);
        QCOMPARE(view_.take(), QStringList({"show 9", "link Link OK"}));
        link_->testLink();
        QCOMPARE(requestBytes().mid(before), QStringList({"FD 00 09 7D", "FD 00 00 06"}));
        QCOMPARE(link_->selectedOutput(), 9);
    }

    // The selected output that a link test's answer reports, with output 3
    // selected before: an output of the bank is selected and fired (its own
    // exchange shows its text first); one outside the bank changes nothing.
    void reportedOutput_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QByteArray>("written");
        const QByteArray status("\xFD\x00\x00\x06", 4);
        const QStringList unchanged{"link Link OK"};
        QTest::newRow("00") << statusReply("00") << unchanged << status;
        QTest::newRow("01") << statusReply("01")
                            << QStringList({"show 1", "link Link OK", "link Link OK"})
                            << status + QByteArray("\xFD\x00\x01\x05", 4);
        QTest::newRow("07") << statusReply("07")
                            << QStringList({"show 7", "link Link OK", "link Link OK"})
                            << status + QByteArray("\xFD\x00\x07\x7F", 4);
        QTest::newRow("16") << statusReply("16")
                            << QStringList({"show 16", "link Link OK", "link Link OK"})
                            << status + QByteArray("\xFD\x00\x10\x76", 4);
        QTest::newRow("17") << statusReply("17") << unchanged << status;
        QTest::newRow("19") << statusReply("19") << unchanged << status;
    }
    void reportedOutput() {
        QFETCH(QByteArray, reply);
        QFETCH(QStringList, events);
        QFETCH(QByteArray, written);
        ScriptedDevice* line = connectScripted();
        link_->setSelectedOutput(3);
        view_.take();
        line->reply = reply;
        QCOMPARE(link_->exchange(0), 51);
        QCOMPARE(view_.events, events);
        QCOMPARE(line->written, written);
    }

    void failingLine_data() {
        QTest::addColumn<bool>("failWrite");
        QTest::addColumn<QString>("text");
        QTest::newRow("write") << true << "Can't write to port";
        QTest::newRow("read") << false << "Can't read from port";
    }
    void failingLine() {
        QFETCH(bool, failWrite);
        QFETCH(QString, text);
        ScriptedDevice* line = connectScripted();
        line->reply = statusReply("07");
        line->failWrite = failWrite;
        line->failRead = !failWrite;
        QCOMPARE(failureOf([&] { link_->exchange(0); }), text);
        // The link is lost; the link panel keeps its text.
        QCOMPARE(view_.events, QStringList{"lost " + text});
    }

    // The device hangs up after a request and comes back on a new terminal
    // under the same name: failures meanwhile, the link again afterwards.
    void hangUpAndBack() {
        device_->setMode("hangup");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(failureOf([&] { link_->exchange(0); }), QString("Can't read from port"));
        QCOMPARE(failureOf([&] { link_->exchange(0); }), QString("Can't write to port"));
        QVERIFY2(clock.elapsed() < 1000, "a hung-up line must not block");
        QCOMPARE(view_.take(),
                 QStringList({"lost Can't read from port", "lost Can't write to port"}));

        QVERIFY(device_->waitForTerminal());
        QCOMPARE(link_->exchange(0), 51);
        QCOMPARE(view_.events.constLast(), QString("link Link OK"));
    }

    // Kept, as the run without a window keeps it: a serial port that does not
    // open stays the connection in force, a pulse fails with why, and each link
    // test tries the port again until it opens.
    void keptPortOpensOnceThere() {
        QVERIFY(QDir(dir_.path()).mkpath("later"));
        DevSim later(qEnvironmentVariable("CANTREL_TEST_BIN") + "/cantrel-devsim",
                     dir_.filePath("later"));
        qputenv("CANTREL_COM2", later.linkPath().toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("CANTREL_COM2"); });
        link_->setKeepConnection(true);
        link_->setSelectedOutput(1); // as the device reports it: not fired again
        view_.take();

        const QString why = "COM2 (" + later.linkPath() + "): no such device";
        link_->setConnection(3);
        QCOMPARE(view_.take(), QStringList({"message Can't open port: " + why,
                                            "lost Can't open port: " + why, "enable 16"}));
        QCOMPARE(link_->connectionIndex(), 3);
        QVERIFY(!link_->serialOpen());
        QCOMPARE(failureLineOf([&] { link_->pulseOutput(3); }), "Can't write to port: " + why);
        QCOMPARE(view_.take(), QStringList{"lost Can't write to port: " + why});
        link_->testLink();
        QCOMPARE(view_.take(), QStringList{"lost Can't open port: " + why});

        QVERIFY(later.start());
        link_->testLink();
        QCOMPARE(view_.take(),
                 QStringList({"connection Connection: COM2   Device ID: 0", "link Link OK"}));
        link_->pulseOutput(3);
        QCOMPARE(view_.take(), QStringList({"show 3", "link Link OK"}));
        QStringList requests;
        for (const QString& line : later.requests()) {
            requests << line.left(11);
        }
        QCOMPARE(requests, QStringList({"FD 00 00 06", "FD 00 03 7B"}));
    }

    // A run without a window that starts (or starts again) beside a device
    // that has an output selected takes it as the selection: switching it
    // again would be a doubled action. A later change the device reports
    // fires as it always does.
    void keptPortTakesTheDevicesSelection() {
        QVERIFY(QDir(dir_.path()).mkpath("kept"));
        DevSim device(qEnvironmentVariable("CANTREL_TEST_BIN") + "/cantrel-devsim",
                      dir_.filePath("kept"));
        QVERIFY(device.start({"--selected", "7"}));
        qputenv("CANTREL_COM2", device.linkPath().toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("CANTREL_COM2"); });
        link_->setKeepConnection(true);
        link_->setConnection(3);
        link_->testLink();
        QCOMPARE(link_->selectedOutput(), 7);
        link_->setSelectedOutput(2);
        link_->testLink();
        QStringList requests;
        for (const QString& line : device.requests()) {
            requests << line.left(11);
        }
        QCOMPARE(requests, QStringList({"FD 00 00 06", "FD 00 00 06", "FD 00 07 7F"}));
    }
};

QTEST_GUILESS_MAIN(TestDeviceExchange)
#include "test_device_exchange.moc"
