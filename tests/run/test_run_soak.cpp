// A whole day in Run mode over a schedule with a row in every second, ticked
// every 490 ms of the fake clock with real workers behind it.
#include "run/RunFixture.h"

#include <QDir>

using namespace cantrel;
using namespace cantrel::test;

class TestRunSoak : public QObject {
    Q_OBJECT
  private slots:
    void everyRowOfADayFiresOnceInTimeOrder();
    void workersWaitingOutAnHourHoldNoFileEach();
};

namespace {

int openFiles() {
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

void TestRunSoak::everyRowOfADayFiresOnceInTimeOrder() {
    RunFixture f;
    f.start();
    QList<QStringList> rows;
    rows.reserve(86400);
    for (int s = 0; s < 86400; ++s)
        rows.append({QTime(0, 0).addSecs(s).toString(QStringLiteral("HH:mm:ss")), "0", "", ""});
    f.setCalendar(10, f.writeDay("day.24h", rows));
    const QDateTime midnight = f.at(QTime(0, 0));
    f.enterRun(midnight);
    QVERIFY(f.inRunMode());
    QCOMPARE(f.form->dayGrid->rowCount(), 86401);

    // The selection rests on the last row, so every start shows as a move.
    f.form->dayGrid->setRow(86400, false);
    QList<int> started;
    started.reserve(86400);
    connect(f.form->dayGrid, &StringGrid::selectCell, this,
            [&started](int, int row) { started << row; });

    int ticks = 0;
    for (qint64 ms = 0; ms < 86400 * 1000; ms += 490) {
        f.tick(midnight.addMSecs(ms));
        // Reports come in between ticks, as they would from the event loop.
        // The ticks come far faster than the clock's 490 ms, and pulses go
        // out one after the other: let the workers keep up as they would in
        // real time, where a row's worker is long done before the next second.
        do
            QCoreApplication::processEvents();
        while (RowWorker::liveCount() > 16);
        if (++ticks % 512 == 0)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QVERIFY(f.inRunMode());
    QVERIFY(QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 60000));

    QCOMPARE(started.size(), 86400);
    for (int k = 0; k < started.size(); ++k) {
        if (started[k] != k + 1)
            QFAIL(qPrintable(QStringLiteral("start %1 was row %2").arg(k).arg(started[k])));
    }
    QCOMPARE(f.pulses.size(), 86400);
    QVERIFY(std::all_of(f.pulses.begin(), f.pulses.end(), [](int p) { return p == 0; }));
    const QStringList marks = f.dayMarks();
    QCOMPARE(marks.count(QStringLiteral("+")), 86400);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

// With an advance of nearly an hour and a row every second, a worker per row
// waits out the advance at once: each must not hold a descriptor, or the
// process runs out of them long before the hour is over.
void TestRunSoak::workersWaitingOutAnHourHoldNoFileEach() {
    constexpr int kRows = 1500;
    RunFixture f;
    f.start();
    f.form->runEngine()->setRunAdvance(3599);
    QList<QStringList> rows;
    for (int s = 0; s < kRows; ++s)
        rows.append({QTime(10, 0).addSecs(s).toString(QStringLiteral("HH:mm:ss")), "7", "", ""});
    f.setCalendar(10, f.writeDay("day.24h", rows));
    const QDateTime entered = f.at(QTime(9, 0, 1));
    f.enterRun(entered);
    const int filesBefore = openFiles();
    for (qint64 ms = 0; ms < kRows * 1000; ms += 490) {
        f.tick(entered.addMSecs(ms));
        QCoreApplication::processEvents();
    }
    QVERIFY(QTest::qWaitFor([&f] { return f.sleeps->asked().size() == kRows; }, 60000));
    QCOMPARE(RowWorker::liveCount(), kRows);
    QCOMPARE(f.dayMarks(), QStringList(kRows, QStringLiteral(">")));
    const int filesWaiting = openFiles();
    QVERIFY2(filesWaiting - filesBefore < 16,
             qPrintable(QStringLiteral("%1 files open before, %2 with the workers waiting")
                            .arg(filesBefore)
                            .arg(filesWaiting)));

    f.sleeps->openForGood();
    QVERIFY(QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 60000));
    QCOMPARE(f.pulses, QList<int>(kRows, 7));
    QCOMPARE(f.dayMarks(), QStringList(kRows, QStringLiteral("+")));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

QTEST_MAIN(TestRunSoak)
#include "test_run_soak.moc"
