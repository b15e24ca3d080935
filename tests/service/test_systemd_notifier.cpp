// The notifier on a run in this process, where the test can stop the tick
// and keep the event loop going.
#include "run/HeadlessRun.h"
#include "run/RunEngine.h"
#include "service/SystemdNotifier.h"
#include "support/NotifySocket.h"
#include "support/TestDoubles.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

class TestSystemdNotifier : public QObject {
    Q_OBJECT
  private slots:
    void watchdogFollowsTheTick();
};

// A hung scheduler must not stay hung: the pings come from the tick, so a
// tick that has stopped stops them, though the event loop runs on.
void TestSystemdNotifier::watchdogFollowsTheTick() {
    QTemporaryDir dir;
    QFile day(dir.filePath("today.24h"));
    QFile month(dir.filePath("month.31d"));
    QVERIFY(day.open(QIODevice::WriteOnly) && month.open(QIODevice::WriteOnly));
    // Gone by: nothing fires, and the tick alone keeps the run going.
    day.write("00:00:00,1,midnight,\r\n");
    month.write(QByteArray::number(QDate::currentDate().day()) + ' ' +
                QFile::encodeName(day.fileName()) + "\r\n");
    day.close();
    month.close();

    NotifySocket notify(dir.filePath("notify"));
    qputenv("NOTIFY_SOCKET", notify.variable().section('=', 1).toLocal8Bit());
    qputenv("WATCHDOG_USEC", "2000000");
    SystemClock clock;
    RecordingOpener opener;
    HeadlessSettings settings;
    settings.monthCalendar = month.fileName();
    HeadlessRun run(settings, clock, opener, [](const QString&) {});
    SystemdNotifier notifier(run);
    QVERIFY(run.start());
    notifier.ready();
    QTRY_VERIFY_WITH_TIMEOUT(notify.times("WATCHDOG=1").size() >= 3, 5000);
    QCOMPARE(notify.assignments(), (QStringList{"READY=1", "STATUS=No more rows today"}));

    run.engine().leave();
    QTest::qWait(50);
    notify.take();
    const qsizetype pings = notify.times("WATCHDOG=1").size();
    // Twice the interval, with the event loop running all along.
    QTest::qWait(4000);
    notify.take();
    QCOMPARE(notify.times("WATCHDOG=1").size(), pings);
    qunsetenv("NOTIFY_SOCKET");
    qunsetenv("WATCHDOG_USEC");
}

QTEST_GUILESS_MAIN(TestSystemdNotifier)
#include "test_systemd_notifier.moc"
