// The run engine on its own: documents without a window, a fake clock, real
// workers, pulses recorded, and a report that notes what it was told.
#include "device/DeviceTestSupport.h"
#include "device/DeviceThread.h"
#include "platform/Clock.h"
#include "platform/ProgramError.h"
#include "run/RowWorker.h"
#include "run/RunDocuments.h"
#include "run/AsRunLog.h"
#include "run/NextRowText.h"
#include "run/RunLogger.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGridModel.h"
#include "support/TestDoubles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <algorithm>
#include <functional>
#include <ctime>

using namespace cantrel;
using namespace cantrel::test;

namespace {

struct Told {
    QString what; // "failure", "ended"
    QString text;
    bool flag;     // programText for a failure, shown for an end
    bool running;  // the engine's mode when it was told
    QString detail = {};
};

class RecordingReport final : public RunReport {
  public:
    RunEngine* engine = nullptr;
    QList<Told> told;
    // Runs while a failure is shown, as a box's own event loop would.
    std::function<void()> whileShown;
    void failure(const QString& text, bool programText, const QString& detail) override {
        told.append({"failure", text, programText, engine->running(), detail});
        if (whileShown)
            whileShown();
    }
    void ended(const QString& text, bool shown, const QString& detail) override {
        told.append({"ended", text, shown, engine->running(), detail});
    }
};

struct EngineFixture {
    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59))};
    RecordingOpener opener;
    DeviceThread device;
    DaySchedule day;
    MonthCalendar month;
    PlainRunDocuments documents{day, month};
    RecordingReport report;
    RunEngine engine{documents, clock, opener, device, report};
    QList<int> pulses;

    EngineFixture() {
        report.engine = &engine;
        day.startNew();
        month.startNew();
        engine.setPulseHook([this](int output) { pulses.append(output); });
    }
    ~EngineFixture() {
        engine.leave();
        if (!QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 10000))
            qFatal("workers still alive after the test");
    }
    QString writeDay(const QString& name, const QByteArray& bytes) const {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return file.fileName();
    }
    void setCalendar(int dayOfMonth, const QString& file) {
        month.rows().setCell(2, dayOfMonth, file);
    }
    void tick(QTime time) {
        clock.set(QDateTime(QDate(2026, 12, 10), time));
        engine.tick();
    }
    QString mark(int row) const { return day.rows().cell(0, row); }
    QList<int> monthMarksOn() const {
        QList<int> days;
        for (int d = 1; d <= 31; ++d)
            if (!month.rows().cell(0, d).isEmpty())
                days << d;
        return days;
    }
    bool workersDone() const {
        return QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 5000);
    }
    // Run entered at the first of the clock readings (ISO dates, local
    // time), a tick at each of the others; each tick's workers end before
    // the next, as the marks land between ticks.
    bool runTicks(const QStringList& ticks) {
        for (int i = 0; i < ticks.size(); ++i) {
            clock.set(QDateTime::fromString(ticks[i], Qt::ISODateWithMs).toLocalTime());
            if (i == 0)
                engine.enter();
            else
                engine.tick();
            if (!workersDone())
                return false;
        }
        return true;
    }
    // A file saved anew is taken by a tick once it has stayed as it is for a moment.
    void tickOnceSettled(QTime time) {
        tick(time);
        QTest::qWait(int(FollowedFile::kSettleMs) + 100);
        tick(time);
    }
};

} // namespace

class TestRunEngine : public QObject {
    Q_OBJECT
  private slots:
    void entersOnTodaysFileAndFires();
    void dayFileSavedAnew_data();
    void dayFileSavedAnew();
    void endsWithAReport_data();
    void endsWithAReport();
    void workerFailureGoesToTheReport_data();
    void workerFailureGoesToTheReport();
    void rowWithoutAThreadFailsAlone();
    void failureOnShowHoldsNoPulseBack();
    void rowsOfOneSecondPulseInRowOrder();
    void nextRow();
    void linkDownAndBackAreLogged();
    void eachRowIsLoggedAsItWent();
    void passedOverRows_data();
    void passedOverRows();
    void wakesAtTheStartOfADueSecond();
    void rowsAreArmedAheadOfTheirSecond_data();
    void rowsAreArmedAheadOfTheirSecond();
    void rowStaysTakenAcrossASave_data();
    void rowStaysTakenAcrossASave();
    void firedLatenessCountsFromTheRowsSecond_data();
    void firedLatenessCountsFromTheRowsSecond();
    void executedByHandIsLoggedAsSuch();
    void pulseWaitsOutTheRunAdvance();
    void plannedWaitIsTheAdvanceLessTheTicksLateness();
    void reenteredRunCountsFromItsOwnStart();
    void calendarSavedAnew();
    void aSaveIsTakenOnceItHasSettled();
    void planRunsTheEmptyDays();
    void planDaysKeepTheClocksRules_data();
    void planDaysKeepTheClocksRules();
};

// Outputs 1, 15 and 16 reach the pulse as they are: the device counts them
// from 1, and 16 is a byte of its own (10 hex), not a mask's leftover.
void TestRunEngine::entersOnTodaysFileAndFires() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,\r\n12:00:00,0,,a.mp3\r\n"
                                            "12:00:00,1,,b.mp3\r\n12:00:00,15,,\r\n"
                                            "12:00:00,16,,c.mp3\r\n"));
    QSignalSpy modes(&f.engine, &RunEngine::modeChanged);
    QSignalSpy days(&f.engine, &RunEngine::dayStarted);
    f.engine.enter();
    QVERIFY(f.engine.running());
    QCOMPARE(modes.takeFirst().at(0).toBool(), true);
    QCOMPARE(days.takeFirst().at(0).toInt(), 10);
    QCOMPARE(f.month.rows().cell(0, 10), QStringLiteral("+"));
    QCOMPARE(f.day.rows().gridRowCount(), 6);

    QSignalSpy falling(&f.engine, &RunEngine::rowFalling);
    QSignalSpy opened(&f.engine, &RunEngine::rowOpened);
    QSignalSpy fired(&f.engine, &RunEngine::rowFired);
    f.tick(QTime(12, 0));
    f.tick(QTime(12, 0));
    QVERIFY(f.workersDone());
    QCOMPARE(falling.size(), 5);
    // Rows of one second pulse in row order; a row without an output pulses output 0.
    QCOMPARE(f.pulses, QList<int>({3, 0, 1, 15, 16}));
    QStringList files = f.opener.takeOpened();
    files.sort();
    QCOMPARE(files, QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    // Each told once: a row that waits for its pulse is told opened before it, not again after.
    QStringList told;
    for (const QList<QVariant>& args : opened)
        told << args[0].toStringList().value(4);
    told.sort();
    QCOMPARE(told, QStringList({"a.mp3", "b.mp3", "c.mp3"}));
    QCOMPARE(fired.size(), 5);
    for (int row = 1; row <= 5; ++row)
        QCOMPARE(f.mark(row), QStringLiteral("+"));
    QVERIFY(f.report.told.isEmpty());
}

// Without a window the day file is followed: a save takes effect at the next
// tick, even within the second that already fired, and the rows that fired
// keep their marks. The window's Run mode keeps the rows it loaded.
void TestRunEngine::dayFileSavedAnew_data() {
    QTest::addColumn<bool>("follow");
    QTest::newRow("without a window") << true;
    QTest::newRow("in the window") << false;
}

void TestRunEngine::dayFileSavedAnew() {
    QFETCH(bool, follow);
    EngineFixture f;
    f.engine.setFollowFiles(follow);
    const QString file = f.writeDay("ten.24h", "12:00:00,3,,\r\n");
    f.setCalendar(10, file);
    f.engine.enter();
    f.tick(QTime(12, 0));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>({3}));

    // The new row of the fired one's second comes before it: each keeps its own mark.
    f.writeDay("ten.24h", "12:00:00,5,new,\r\n12:00:00,3,,\r\n12:00:01,6,,\r\n");
    QSignalSpy taken(&f.engine, &RunEngine::dayFileTaken);
    f.tickOnceSettled(QTime(12, 0));
    QCOMPARE(taken.size(), follow ? 1 : 0);
    f.tick(QTime(12, 0, 1));
    QVERIFY(f.workersDone());
    std::sort(f.pulses.begin(), f.pulses.end());
    QCOMPARE(f.pulses, follow ? QList<int>({3, 5, 6}) : QList<int>({3}));
    QCOMPARE(f.day.rows().gridRowCount(), follow ? 4 : 2);

    // A save that does not read leaves the rows in force, said once.
    QFile::remove(file);
    f.tickOnceSettled(QTime(12, 0, 2));
    f.tick(QTime(12, 0, 2));
    QVERIFY(f.engine.running());
    if (follow) {
        QCOMPARE(f.report.told.size(), 1);
        QCOMPARE(f.report.told[0].text, QStringLiteral("Can't load .24h file"));
        QCOMPARE(f.day.rows().gridRowCount(), 4);
    } else {
        QVERIFY(f.report.told.isEmpty());
    }

    // Saved again with a row of 12:00:03, seen at 12:00:03 but settled only
    // in the next second: the ticks are done with its second, it does not run.
    f.writeDay("ten.24h", "12:00:00,5,new,\r\n12:00:00,3,,\r\n12:00:01,6,,\r\n"
                          "12:00:03,8,too late,\r\n");
    f.tick(QTime(12, 0, 3));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 4))); // for the run timer's ticks too
    QTest::qWait(int(FollowedFile::kSettleMs) + 100);
    f.tick(QTime(12, 0, 4));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses.size(), follow ? 3 : 1);
    QCOMPARE(f.day.rows().gridRowCount(), follow ? 5 : 2);
}

void TestRunEngine::endsWithAReport_data() {
    QTest::addColumn<QByteArray>("tenth");
    QTest::addColumn<QString>("eleventh");
    QTest::addColumn<QTime>("at");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("detail");
    QTest::newRow("a time that does not read")
        << QByteArray("12:00:00,3,,\r\nnoon,4,,\r\n") << QString() << QTime(12, 0)
        << "'noon' in row 2 of %1/ten.24h is not a valid time" << false << QString();
    QTest::newRow("the new day's file missing")
        << QByteArray("12:00:00,3,,\r\n") << "gone.24h" << QTime(0, 0) << "Can't load .24h file"
        << true << "gone.24h: no such file";
    QTest::newRow("no file for the new day")
        << QByteArray("12:00:00,3,,\r\n") << QString() << QTime(0, 0)
        << ".24h file don't specified" << true
        << "Untitled.31d names no day schedule for day 11 (2026-12-11)";
}

void TestRunEngine::endsWithAReport() {
    QFETCH(QByteArray, tenth);
    QFETCH(QString, eleventh);
    QFETCH(QTime, at);
    QFETCH(QString, text);
    QFETCH(bool, shown);
    QFETCH(QString, detail);
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", tenth));
    f.setCalendar(11, eleventh);
    f.engine.enter();
    QSignalSpy modes(&f.engine, &RunEngine::modeChanged);
    // Past midnight the shifted date is the eleventh.
    f.clock.set(QDateTime(at == QTime(0, 0) ? QDate(2026, 12, 11) : QDate(2026, 12, 10), at));
    f.engine.tick();
    QVERIFY(!f.engine.running());
    QCOMPARE(modes.size(), 1);
    QCOMPARE(f.report.told.size(), 1);
    const Told& told = f.report.told[0];
    QCOMPARE(told.what, QStringLiteral("ended"));
    QCOMPARE(told.text, text.contains("%1") ? text.arg(f.dir.path()) : text);
    QCOMPARE(told.flag, shown);
    QCOMPARE(told.detail, detail);
    // Out of Run mode before it is told.
    QVERIFY(!told.running);
}

// A media file that does not open, or a pulse that fails after the file
// opened: the row is marked "!", the failure goes to the report with what it
// concerns, and the log hears of the file that did open.
void TestRunEngine::workerFailureGoesToTheReport_data() {
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<QString>("pulseFailure");
    QTest::addColumn<QList<int>>("pulses");
    QTest::addColumn<int>("opened");
    QTest::addColumn<QString>("failed"); // the as-run log's text
    QTest::addColumn<QString>("text");   // the report's
    QTest::addColumn<QString>("detail");
    QTest::newRow("media file missing")
        << QByteArray("12:00:00,3,,missing.mp3\r\n") << false << QString() << QList<int>{} << 0
        << "Can't execute file: missing.mp3: no such file" << "Can't execute file"
        << "missing.mp3: no such file";
    QTest::newRow("pulse fails after the file opened")
        << QByteArray("12:00:00,3,,a.mp3\r\n") << true << "Can't write to port" << QList<int>{3}
        << 1 << "Can't write to port" << "Can't write to port" << QString();
    QTest::newRow("pulse of a row without an output fails")
        << QByteArray("12:00:00,0,,a.mp3\r\n") << true << "Can't write to port" << QList<int>{0}
        << 1 << "Can't write to port" << "Can't write to port" << QString();
}

void TestRunEngine::workerFailureGoesToTheReport() {
    QFETCH(QByteArray, rows);
    QFETCH(bool, opens);
    QFETCH(QString, pulseFailure);
    QFETCH(QList<int>, pulses);
    QFETCH(int, opened);
    QFETCH(QString, failed);
    QFETCH(QString, text);
    QFETCH(QString, detail);
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", rows));
    f.opener.succeed = opens;
    f.engine.setPulseHook([&](int output) {
        f.pulses.append(output);
        if (!pulseFailure.isEmpty())
            throw ProgramError(pulseFailure);
    });
    QSignalSpy openedRows(&f.engine, &RunEngine::rowOpened);
    QSignalSpy failedRows(&f.engine, &RunEngine::rowFailed);
    f.engine.enter();
    f.tick(QTime(12, 0));
    QTRY_COMPARE(f.report.told.size(), 1);
    QCOMPARE(f.report.told[0].what, QStringLiteral("failure"));
    QCOMPARE(f.report.told[0].text, text);
    // Which file, and why, below the text and in the as-run log.
    QCOMPARE(f.report.told[0].detail, detail);
    QVERIFY(f.report.told[0].flag);
    QVERIFY(f.report.told[0].running);
    QCOMPARE(openedRows.size(), opened);
    QCOMPARE(failedRows.size(), 1);
    QCOMPARE(failedRows[0][1].toString(), failed);
    QCOMPARE(f.mark(1), QStringLiteral("!"));
    QCOMPARE(f.pulses, pulses);
}

// The system has no thread for a row's worker: that row fails and says so,
// and the rows after it still fire; none waits for a pulse that never comes.
void TestRunEngine::rowWithoutAThreadFailsAlone() {
    EngineFixture f;
    QSignalSpy failed(&f.engine, &RunEngine::rowFailed);
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,first,\r\n12:00:01,4,second,\r\n"));
    f.engine.enter();
    RowWorker::failBeginsForTests(1);
    f.tick(QTime(12, 0));
    f.tick(QTime(12, 0, 1));
    QVERIFY(f.workersDone());
    QCOMPARE(f.mark(1), QStringLiteral("!"));
    QCOMPARE(f.mark(2), QStringLiteral("+"));
    QCOMPARE(f.pulses, QList<int>{4});
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed[0][0].toStringList().value(3), QStringLiteral("first"));
    QCOMPARE(failed[0][1].toString(), QStringLiteral("Can't start a thread for the row"));
    QTRY_COMPARE(f.report.told.size(), 1);
    QCOMPARE(f.report.told[0].what, QStringLiteral("failure"));
    QCOMPARE(f.report.told[0].text, QStringLiteral("Can't start a thread for the row"));
    QVERIFY(!f.report.told[0].flag);
    QVERIFY(f.report.told[0].running);
}

// A row's failure is on show (a box the operator has not closed yet): the
// rows after it still pulse meanwhile, not once the box has gone.
void TestRunEngine::failureOnShowHoldsNoPulseBack() {
    EngineFixture f;
    f.opener.succeed = false;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,missing.mp3\r\n12:00:01,4,,\r\n"));
    bool pulsedWhileShown = false;
    f.report.whileShown = [&] {
        f.report.whileShown = {};
        f.tick(QTime(12, 0, 1));
        pulsedWhileShown = QTest::qWaitFor([&] { return f.pulses.contains(4); }, 5000);
    };
    f.engine.enter();
    f.tick(QTime(12, 0));
    QTRY_COMPARE(f.report.told.size(), 1);
    QVERIFY(f.workersDone());
    QVERIFY(pulsedWhileShown);
    QCOMPARE(f.pulses, QList<int>{4});
}

namespace {

// Takes its time over one file, as a player that is slow to start would.
class SlowOpener final : public MediaOpener {
  public:
    bool open(const QString& target, QString* = nullptr) override {
        if (target == QLatin1String("slow.mp3"))
            QThread::msleep(300);
        return true;
    }
};

} // namespace

// The first row's media takes longer to open than the second row needs:
// the pulses still go out in row order, with and without a run advance. A
// row without an output waits for no advance, so with one it goes first.
// Given by a test's hook, or by the device thread on the simulated device,
// where each row is marked once its pulse is over.
void TestRunEngine::rowsOfOneSecondPulseInRowOrder() {
    for (const bool onDevice : {false, true}) {
        for (int advance : {0, 1}) {
            EngineFixture f;
            SlowOpener slow;
            DevSim sim(qEnvironmentVariable("CANTREL_TEST_BIN") + "/cantrel-devsim", f.dir.path());
            if (onDevice) {
                QVERIFY(sim.start());
                sim.setMode("f9"); // no selection in the answers, nothing fired but the rows
                qputenv("CANTREL_COM1", sim.linkPath().toLocal8Bit());
                f.device.setConnection(2);
                qunsetenv("CANTREL_COM1");
                QVERIFY(f.device.serialOpen());
            }
            RunEngine engine(f.documents, f.clock, slow, f.device, f.report);
            f.report.engine = &engine;
            QList<int> pulses;
            if (!onDevice)
                engine.setPulseHook([&pulses](int output) { pulses.append(output); });
            engine.setRunAdvance(advance);
            f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,slow.mp3\r\n12:00:00,4,,\r\n"
                                                    "12:00:00,0,,\r\n12:00:00,5,,\r\n"));
            engine.enter();
            f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0).addSecs(-advance)));
            engine.tick();
            QVERIFY(f.workersDone());
            if (onDevice)
                for (const QString& request : sim.requests())
                    pulses.append(request.section(' ', 2, 2).toInt(nullptr, 16));
            QCOMPARE(pulses, advance == 0 ? QList<int>({3, 4, 0, 5}) : QList<int>({0, 3, 4, 5}));
            for (int row = 1; row <= 4; ++row)
                QCOMPARE(f.mark(row), QStringLiteral("+"));
            engine.leave();
        }
    }
}

namespace {

// Notes when each file opened, on the wall clock (ns since the epoch).
class StampingOpener final : public MediaOpener {
  public:
    bool open(const QString& target, QString* = nullptr) override {
        QMutexLocker lock(&mutex_);
        opened_.append({target, PulseDeadline::realNowNs()});
        return true;
    }
    QList<std::pair<QString, qint64>> opened() {
        QMutexLocker lock(&mutex_);
        return opened_;
    }

  private:
    QMutex mutex_;
    QList<std::pair<QString, qint64>> opened_;
};

} // namespace

void TestRunEngine::rowsAreArmedAheadOfTheirSecond_data() {
    QTest::addColumn<bool>("leaves");
    QTest::addColumn<bool>("entersAgain");
    QTest::newRow("runs on") << false << false;
    QTest::newRow("left before the second") << true << false;
    QTest::newRow("left and entered again") << true << true;
}

// On the machine's clock the rows of a second start just before it, so
// their pulses are with the device thread ahead of their moment; still a
// row's file opens once it has fallen due, and no pulse reaches the device
// before its second. Run mode left before that second withdraws them: nothing
// opens or pulses and the rows are free again, so a run entered again at once
// fires each of them once.
void TestRunEngine::rowsAreArmedAheadOfTheirSecond() {
    QFETCH(bool, leaves);
    QFETCH(bool, entersAgain);
    // A busy machine may wake the engine too late to arm, or leave Run mode
    // only after the second began: then the case is tried again.
    for (int attempt = 1;; ++attempt) {
        EngineFixture f;
        DevSim sim(qEnvironmentVariable("CANTREL_TEST_BIN") + "/cantrel-devsim", f.dir.path());
        QVERIFY(sim.start({"--micro"}));
        sim.setMode("f9");
        qputenv("CANTREL_COM1", sim.linkPath().toLocal8Bit());
        f.device.setConnection(2);
        qunsetenv("CANTREL_COM1");
        QVERIFY(f.device.serialOpen());
        SystemClock clock;
        StampingOpener opener;
        RunEngine engine(f.documents, clock, opener, f.device, f.report);
        f.report.engine = &engine;
        // Two rows, the second one with a file, in a second two to three
        // seconds from now, on today's date.
        QDateTime second = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + 3);
        while (second.date() != QDate::currentDate()) {
            QTest::qWait(1000);
            second = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() + 3);
        }
        const QByteArray at = second.time().toString("HH:mm:ss").toLatin1();
        f.setCalendar(second.date().day(),
                      f.writeDay("today.24h", at + ",3,,\r\n" + at + ",4,,a.mp3\r\n"));
        const qint64 secondNs = second.toMSecsSinceEpoch() * 1000000;
        QList<qint64> fallings;
        qint64 leftNs = 0;
        connect(&engine, &RunEngine::rowFalling, this, [&](int) {
            fallings.append(PulseDeadline::realNowNs());
            if (leaves && !leftNs)
                QTimer::singleShot(0, &engine, [&] {
                    leftNs = PulseDeadline::realNowNs();
                    engine.leave();
                    if (entersAgain)
                        engine.enter();
                });
        });
        engine.enter();
        QTest::qWait(int(QDateTime::currentDateTime().msecsTo(second)) + 1500);
        engine.leave();
        QVERIFY(f.workersDone());
        QCoreApplication::processEvents();
        // The two rows were armed before their second (a run entered again
        // may start them at the second itself), and Run mode was left before it.
        const bool inTime = fallings.size() >= 2 && fallings[1] < secondNs &&
                            (!leaves || (leftNs > 0 && leftNs < secondNs));
        if (!inTime) {
            QVERIFY2(attempt < 3, "the rows were never armed ahead of their second");
            continue;
        }
        const bool fires = !leaves || entersAgain;
        QCOMPARE(fallings.size(), leaves && entersAgain ? 4 : 2);
        QStringList pulses;
        for (const auto& [ns, request] : sim.stampedRequests()) {
            pulses << request.section(' ', 2, 2);
            QVERIFY2(ns >= secondNs, qPrintable(request + " reached the device early"));
        }
        QCOMPARE(pulses, fires ? QStringList({"03", "04"}) : QStringList());
        const auto opened = opener.opened();
        QCOMPARE(opened.size(), fires ? 1 : 0);
        if (fires) {
            QCOMPARE(opened[0].first, QStringLiteral("a.mp3"));
            QVERIFY2(opened[0].second >= secondNs, "the file opened before its row fell due");
        }
        for (int row = 1; row <= 2; ++row)
            QCOMPARE(f.mark(row), fires ? QStringLiteral("+") : QString());
        break;
    }
}

// The tick that sees a row due in the next second wakes the engine at that
// second's start, as does the last second of a day; none is armed when the
// next second has no row.
void TestRunEngine::wakesAtTheStartOfADueSecond() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,\r\n"));
    // Entered late in the second before a row's: the wake is armed at once,
    // not only by the first tick, which would come 490 ms later.
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59, 700)));
    f.engine.enter();
    QVERIFY(f.engine.wakeTimer().isActive());
    QCOMPARE(f.engine.wakeTimer().interval(), 300);
    f.tick(QTime(11, 59, 58, 600));
    QVERIFY(!f.engine.wakeTimer().isActive());
    f.tick(QTime(11, 59, 59, 600));
    QVERIFY(f.engine.wakeTimer().isActive());
    // Armed for the 400 ms left of the fake clock's second, however busy the machine.
    QCOMPARE(f.engine.wakeTimer().interval(), 400);
    // The first second of a day is woken for whatever the day's file holds.
    f.setCalendar(11, f.writeDay("eleven.24h", "00:00:00,4,,\r\n"));
    f.tick(QTime(23, 59, 59, 600));
    QVERIFY(f.engine.wakeTimer().isActive());
    QCOMPARE(f.engine.wakeTimer().interval(), 400);
    f.engine.leave();
    QVERIFY(!f.engine.wakeTimer().isActive());

    // Left to its timers, the wake runs the tick at the row's second, before
    // the 490 ms tick comes round: both were started as Run was entered.
    EngineFixture g;
    g.setCalendar(10, g.writeDay("ten.24h", "12:00:00,3,,\r\n"));
    g.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59, 700)));
    g.engine.enter();
    g.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0)));
    int tickTimerLeft = -1;
    QObject::connect(&g.engine, &RunEngine::ticked, &g.engine, [&] {
        if (tickTimerLeft < 0)
            tickTimerLeft = g.engine.tickTimer().remainingTime();
    });
    QTRY_VERIFY(tickTimerLeft >= 0);
    QVERIFY2(tickTimerLeft < 400, qPrintable(QString::number(tickTimerLeft)));
    QVERIFY(g.workersDone());
    QCOMPARE(g.pulses, QList<int>{3});
}

// What fires next: the first row after the tick's second that has not
// fired, and how long until it falls due; nothing once the day is done.
void TestRunEngine::nextRow() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,\"News jingle\",a.mp3\r\n"
                                            "12:00:05,4,,\r\n13:02:03,5,Bell,\r\n"
                                            "23:59:59,6,Last,\r\n"));
    f.engine.enter();
    const auto next = [&f] {
        const std::optional<RunEngine::NextRow> row = f.engine.nextRow();
        return row ? nextRowText(f.day.rows().rowCells(row->row), row->msLeft) : QString();
    };
    f.tick(QTime(11, 59, 59, 300));
    QCOMPARE(next(), QStringLiteral("Next: 12:00:00  P3  News jingle  in 0:00:01"));
    f.tick(QTime(12, 0, 0, 200));
    QCOMPARE(next(), QStringLiteral("Next: 12:00:05  P4  in 0:00:05"));
    // 4.001 s left reads as 5 s: whole seconds, rounded up.
    f.tick(QTime(12, 0, 0, 999));
    QCOMPARE(next(), QStringLiteral("Next: 12:00:05  P4  in 0:00:05"));
    f.tick(QTime(12, 0, 5, 0));
    QCOMPARE(next(), QStringLiteral("Next: 13:02:03  P5  Bell  in 1:01:58"));
    // The last second of the day is a second like the others.
    f.tick(QTime(13, 2, 3, 0));
    QCOMPARE(next(), QStringLiteral("Next: 23:59:59  P6  Last  in 10:57:56"));
    f.tick(QTime(23, 59, 59, 0));
    QCOMPARE(next(), QString());

    // With a run advance the time left runs to the pulse, at the row's time.
    EngineFixture g;
    g.setCalendar(10, g.writeDay("ten.24h", "12:00:10,3,,\r\n"));
    g.engine.setRunAdvance(10);
    g.engine.enter(); // at 11:59:59
    const std::optional<RunEngine::NextRow> row = g.engine.nextRow();
    QVERIFY(row);
    QCOMPARE(row->msLeft, 11000);
}

// The as-run log hears of the link only in Run mode, and of a change only:
// down once however often the test fails, back once when it answers again. A
// link found down with a reason (a port that does not open) is down too, and
// the reason is its detail.
void TestRunEngine::linkDownAndBackAreLogged() {
    EngineFixture f;
    AsRunLog log(f.dir.filePath("state"));
    QStringList echoed;
    RunLogger logger(f.engine, f.documents, f.device, f.clock, log,
                     [&echoed](const QString& line) { echoed << line; });
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,\r\n"));
    emit f.device.linkTextChanged(QStringLiteral("No link")); // Edit mode: not logged
    emit f.device.linkTextChanged(QStringLiteral("Link OK"));
    f.engine.enter();
    for (const char* text : {"Link OK", "No link", "No link", "Link error", "Link OK", "Link OK"})
        emit f.device.linkTextChanged(QString::fromLatin1(text));
    const QString lost = QStringLiteral("Can't open port: COM1 (/dev/ttyUSB0): no such device");
    emit f.device.linkLost(lost);
    emit f.device.linkTextChanged(QStringLiteral("No link"));
    emit f.device.linkLost(QStringLiteral("Can't write to port"));
    emit f.device.linkTextChanged(QStringLiteral("Link OK"));
    f.engine.leave(QStringLiteral("paused"));
    log.flush();
    QFile file(log.fileFor(QDate(2026, 12, 10)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList events;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (!line.isEmpty())
            events << QString::fromUtf8(line).section(u'\t', 1, 1) + "|" +
                          QString::fromUtf8(line).section(u'\t', 7);
    QCOMPARE(events, (QStringList{"day loaded|" + f.dir.filePath("ten.24h"),
                                  "run entered|calendar Untitled.31d, day file " +
                                      f.dir.filePath("ten.24h") + ", run advance 0 s",
                                  "link down|No link", "link back|Link OK", "link down|" + lost,
                                  "link back|Link OK", "run left|paused"}));
    QCOMPARE(echoed.size(), 7);
}

namespace {

// Opens every file but gone.mp3, as a folder with one file missing would.
class OneMissingOpener final : public MediaOpener {
  public:
    bool open(const QString& target, QString* why = nullptr) override {
        if (target != QLatin1String("gone.mp3"))
            return true;
        if (why)
            *why = QStringLiteral("no such file");
        return false;
    }
};

} // namespace

// The as-run log of a run without a window, line by line: a row opened and
// fired, one that failed, one passed over and fired late, one missed after a
// long gap, the day file saved anew, and the end.
void TestRunEngine::eachRowIsLoggedAsItWent() {
    EngineFixture f;
    OneMissingOpener opener;
    RunEngine engine(f.documents, f.clock, opener, f.device, f.report);
    f.report.engine = &engine;
    engine.setPulseHook([](int) {});
    engine.setFollowFiles(true);
    AsRunLog log(f.dir.filePath("state"));
    RunLogger logger(engine, f.documents, f.device, f.clock, log);
    const QByteArray rows("12:00:00,3,News,a.mp3\r\n12:00:01,4,Gone,gone.mp3\r\n"
                          "12:00:03,5,Late,\r\n12:02:00,6,Missed,\r\n");
    const QString file = f.writeDay("ten.24h", rows);
    f.setCalendar(10, file);
    const auto at = [&](QTime time) {
        f.clock.set(QDateTime(QDate(2026, 12, 10), time));
        return time;
    };
    at(QTime(11, 59, 59, 500));
    engine.enter();
    for (QTime time : {QTime(12, 0), QTime(12, 0, 1), QTime(12, 0, 4, 500), QTime(12, 2, 10)}) {
        at(time);
        engine.tick();
        QVERIFY(f.workersDone());
    }
    f.writeDay("ten.24h", rows + "13:00:00,7,New,\r\n");
    at(QTime(12, 2, 10, 400));
    engine.tick();
    QTest::qWait(int(FollowedFile::kSettleMs) + 100);
    engine.tick(); // the save has settled
    engine.leave(QStringLiteral("paused"));
    log.flush();
    QFile written(log.fileFor(QDate(2026, 12, 10)));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray path = file.toUtf8();
    QCOMPARE(QString::fromUtf8(written.readAll()).split(u'\n'), QString::fromUtf8(
        "2026-12-10 11:59:59.500 +00:00\tday loaded\t\t\t\t\t\t" + path + "\n"
        "2026-12-10 11:59:59.500 +00:00\trun entered\t\t\t\t\t\tcalendar Untitled.31d, day file " +
        path + ", run advance 0 s\n"
        "2026-12-10 12:00:00.000 +00:00\topened\t12:00:00\t3\tNews\ta.mp3\t\t\n"
        "2026-12-10 12:00:00.000 +00:00\tfired\t12:00:00\t3\tNews\ta.mp3\t0\t\n"
        "2026-12-10 12:00:01.000 +00:00\tfailed\t12:00:01\t4\tGone\tgone.mp3\t\t"
        "Can't execute file: gone.mp3: no such file\n"
        "2026-12-10 12:00:04.500 +00:00\tlate\t12:00:03\t5\tLate\t\t1500\t"
        "the ticks were 3.5 s apart\n"
        "2026-12-10 12:00:04.500 +00:00\tfired\t12:00:03\t5\tLate\t\t1500\t\n"
        "2026-12-10 12:02:10.000 +00:00\tmissed\t12:02:00\t6\tMissed\t\t10000\t"
        "the ticks were 125.5 s apart, more than 60 s\n"
        "2026-12-10 12:02:10.400 +00:00\tday loaded\t\t\t\t\t\tsaved anew: " + path + "\n"
        "2026-12-10 12:02:10.400 +00:00\trun left\t\t\t\t\t\tpaused\n").split(u'\n'));
    QTRY_COMPARE(f.report.told.size(), 1);
}

// Ticks that lie apart: the rows of the seconds between fire at once, in
// time order, after a gap of up to a minute of real time, and are missed
// after a longer one. A change of summer time is no gap, and no row fires a
// second time on its date, whichever way the clock goes.
void TestRunEngine::passedOverRows_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QByteArray>("rows");   // the file of every day but the 11th
    QTest::addColumn<QByteArray>("rows11"); // the 11th's
    QTest::addColumn<QStringList>("ticks"); // local times; the first enters Run mode
    QTest::addColumn<int>("advance");
    QTest::addColumn<QList<int>>("pulses");
    QTest::addColumn<int>("late");
    QTest::addColumn<int>("missed");
    // The first passed-over row's lateness and reason, as the log gets them.
    QTest::addColumn<qint64>("lateMs");
    QTest::addColumn<QString>("why");
    const QByteArray three("12:00:01,3,,\r\n12:00:10,4,,\r\n12:00:30,5,,\r\n12:00:59,6,,\r\n"
                           "12:01:01,7,,\r\n12:30:00,8,,\r\n13:00:00,9,,\r\n");
    QTest::newRow("gap of 1.5 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:00:02.000"}
        << 0 << QList<int>{3} << 1 << 0 << qint64(1000) << "the ticks were 1.5 s apart";
    QTest::newRow("gap of 59 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:00:59.500"}
        << 0 << QList<int>{3, 4, 5, 6} << 3 << 0 << qint64(58500)
        << "the ticks were 59.0 s apart";
    QTest::newRow("gap of 61 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:01:01.500"}
        << 0 << QList<int>{7} << 0 << 4 << qint64(60500)
        << "the ticks were 61.0 s apart, more than 60 s";
    QTest::newRow("suspended for an hour")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T13:00:00.500"}
        << 0 << QList<int>{9} << 0 << 6 << qint64(3599500)
        << "the ticks were 3600.0 s apart, more than 60 s";
    QTest::newRow("spring forward")
        << QByteArray("Europe/Berlin")
        << QByteArray("01:59:59,3,,\r\n02:00:00,4,,\r\n02:59:59,5,,\r\n03:00:00,6,,\r\n")
        << QByteArray()
        << QStringList{"2027-03-28T01:59:58.900+01:00", "2027-03-28T01:59:59.400+01:00",
                       "2027-03-28T03:00:00.300+02:00"}
        << 0 << QList<int>{3, 4, 5, 6} << 2 << 0 << qint64(3600300)
        << "the ticks were 0.9 s apart while the clock moved on 3600.9 s";
    QTest::newRow("fall back")
        << QByteArray("Europe/Berlin") << QByteArray("02:00:00,3,,\r\n02:59:59,4,,\r\n")
        << QByteArray()
        << QStringList{"2027-10-31T01:59:59.900+02:00", "2027-10-31T02:00:00.100+02:00",
                       "2027-10-31T02:59:59.500+02:00", "2027-10-31T02:00:00.000+01:00",
                       "2027-10-31T02:00:00.400+01:00", "2027-10-31T02:59:59.500+01:00"}
        << 0 << QList<int>{3, 4} << 0 << 0 << qint64(-1) << QString();
    QTest::newRow("gap over midnight")
        << QByteArray("UTC") << QByteArray("23:59:59,3,,\r\n")
        << QByteArray("00:00:00,4,,\r\n00:00:01,5,,\r\n")
        << QStringList{"2026-12-10T23:59:58.300", "2026-12-10T23:59:58.500",
                       "2026-12-11T00:00:01.500"}
        << 0 << QList<int>{3, 4, 5} << 2 << 0 << qint64(2500) << "the ticks were 3.0 s apart";
    QTest::newRow("clock set back 10 s")
        << QByteArray("UTC") << QByteArray("12:00:05,3,,\r\n12:00:10,4,,\r\n") << QByteArray()
        << QStringList{"2026-12-10T12:00:09.800", "2026-12-10T12:00:10.200",
                       "2026-12-10T12:00:00.200", "2026-12-10T12:00:10.200"}
        << 0 << QList<int>{4, 3} << 1 << 0 << qint64(5200) << "the ticks were 10.0 s apart";
    // The 10th has a row before the one that fired: going back to that date
    // passes over nothing, so it stays unfired.
    QTest::newRow("clock set back over midnight")
        << QByteArray("UTC") << QByteArray("12:00:00,2,,\r\n23:59:59,3,,\r\n")
        << QByteArray("00:00:00,4,,\r\n")
        << QStringList{"2026-12-10T23:59:58.800", "2026-12-10T23:59:59.200",
                       "2026-12-11T00:00:00.200", "2026-12-10T23:59:59.300",
                       "2026-12-11T00:00:00.300"}
        << 0 << QList<int>{3, 4} << 0 << 0 << qint64(-1) << QString();
    // At most 60 s apart still fires.
    QTest::newRow("gap of exactly 60 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:01:00.500"}
        << 0 << QList<int>{3, 4, 5, 6} << 4 << 0 << qint64(59500)
        << "the ticks were 60.0 s apart";
    // 1.98 s reads 2.0, not 1.9; the row's lateness counts the 290 ms of the
    // tick's second too.
    QTest::newRow("gap of 1.98 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.310",
                       "2026-12-10T12:00:02.290"}
        << 0 << QList<int>{3} << 1 << 0 << qint64(1290) << "the ticks were 2.0 s apart";
    // Run pressed in the last part of a row's second: the next tick finds it
    // passed over and fires it late; the row of the second before stays.
    QTest::newRow("entered late in a row's second")
        << QByteArray("UTC") << QByteArray("11:59:59,2,,\r\n12:00:00,3,,\r\n12:00:01,4,,\r\n")
        << QByteArray()
        << QStringList{"2026-12-10T12:00:00.800", "2026-12-10T12:00:01.290"} << 0
        << QList<int>{3, 4} << 1 << 0 << qint64(1290) << "the ticks were 0.5 s apart";
    // Entered at 23:59:50 with a run advance of 30 s: the ticks are on the
    // 11th already. The rest of the 10th is not run, nor the 11th's rows
    // before 00:00:20; the row of that second fires, the next one late.
    QTest::newRow("entered within the advance of midnight")
        << QByteArray("UTC") << QByteArray("12:00:00,3,,\r\n23:59:58,4,,\r\n")
        << QByteArray("00:00:05,7,,\r\n00:00:20,5,,\r\n00:00:21,6,,\r\n")
        << QStringList{"2026-12-10T23:59:50.300", "2026-12-10T23:59:50.500",
                       "2026-12-10T23:59:52.000"}
        << 30 << QList<int>{5, 6} << 1 << 0 << qint64(1000) << "the ticks were 1.5 s apart";
}

void TestRunEngine::passedOverRows() {
    QFETCH(QByteArray, zone);
    QFETCH(QByteArray, rows);
    QFETCH(QByteArray, rows11);
    QFETCH(QStringList, ticks);
    QFETCH(int, advance);
    QFETCH(QList<int>, pulses);
    QFETCH(int, late);
    QFETCH(int, missed);
    QFETCH(qint64, lateMs);
    QFETCH(QString, why);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    {
        EngineFixture f;
        const QString every = f.writeDay("every.24h", rows);
        for (int d = 1; d <= 31; ++d)
            f.setCalendar(d, every);
        if (!rows11.isEmpty())
            f.setCalendar(11, f.writeDay("eleven.24h", rows11));
        f.engine.setRunAdvance(advance);
        f.engine.link()->setSleepHook([](qint64) {});
        QSignalSpy lateRows(&f.engine, &RunEngine::rowLate);
        QSignalSpy missedRows(&f.engine, &RunEngine::rowMissed);
        QSignalSpy falling(&f.engine, &RunEngine::rowFalling);
        QVERIFY(f.runTicks(ticks));
        QVERIFY(f.engine.running());
        QCOMPARE(f.pulses, pulses);
        // Late rows too move the day grid's selection as they start.
        QCOMPARE(falling.size(), pulses.size());
        QCOMPARE(lateRows.size(), late);
        QCOMPARE(missedRows.size(), missed);
        const QSignalSpy& first = late > 0 ? lateRows : missedRows;
        QCOMPARE(first.isEmpty() ? qint64(-1) : first[0][1].toLongLong(), lateMs);
        QCOMPARE(first.isEmpty() ? QString() : first[0][2].toString(), why);
    }
    qputenv("TZ", oldZone);
    tzset();
}

namespace {

// Holds every open until the test lets it go, as an opener still deciding.
class GateOpener final : public MediaOpener {
  public:
    bool open(const QString&, QString* = nullptr) override {
        QMutexLocker lock(&mutex_);
        ++waiting_;
        while (!open_)
            released_.wait(&mutex_);
        return true;
    }
    int waiting() {
        QMutexLocker lock(&mutex_);
        return waiting_;
    }
    void release() {
        QMutexLocker lock(&mutex_);
        open_ = true;
        released_.wakeAll();
    }

  private:
    QMutex mutex_;
    QWaitCondition released_;
    int waiting_ = 0;
    bool open_ = false;
};

// Moves on by 40 ms each time it is read, as a busy machine's clock does
// between two readings, and keeps the last reading.
class SteppingClock final : public Clock {
  public:
    explicit SteppingClock(QDateTime start) : next_(std::move(start)) {}
    QDateTime now() const override {
        QMutexLocker lock(&mutex_);
        last_ = next_;
        next_ = next_.addMSecs(40);
        return last_;
    }
    QDateTime last() const {
        QMutexLocker lock(&mutex_);
        return last_;
    }
    void set(const QDateTime& next) {
        QMutexLocker lock(&mutex_);
        next_ = next;
    }

  private:
    mutable QMutex mutex_;
    mutable QDateTime next_;
    mutable QDateTime last_;
};

} // namespace

// A day file saved anew while a row's opener is still deciding, in the very
// second the row fell due: the row stays taken wherever the save moved it,
// and even when its comment was edited, so the next tick of that second
// does not start it again; its marks land on it.
void TestRunEngine::rowStaysTakenAcrossASave_data() {
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<int>("row"); // where the row stands after the save
    QTest::newRow("moved down by a new row")
        << QByteArray("11:00:00,2,,\r\n12:00:00,3,News,a.mp3\r\n") << 2;
    QTest::newRow("its comment edited")
        << QByteArray("12:00:00,3,News at noon,a.mp3\r\n13:00:00,4,,\r\n") << 1;
}

void TestRunEngine::rowStaysTakenAcrossASave() {
    QFETCH(QByteArray, saved);
    QFETCH(int, row);
    EngineFixture f;
    GateOpener gate;
    RunEngine engine(f.documents, f.clock, gate, f.device, f.report);
    f.report.engine = &engine;
    QList<int> pulses;
    engine.setPulseHook([&pulses](int output) { pulses.append(output); });
    engine.setFollowFiles(true);
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,News,a.mp3\r\n"));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59, 900)));
    engine.enter();
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0, 100)));
    engine.tick();
    QTRY_COMPARE(gate.waiting(), 1);
    f.writeDay("ten.24h", saved);
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0, 300)));
    engine.tick();
    QTest::qWait(int(FollowedFile::kSettleMs) + 100);
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0, 900)));
    engine.tick();
    QCOMPARE(f.day.rows().gridRowCount(), 3); // the save was taken
    gate.release();
    QVERIFY(f.workersDone());
    QCOMPARE(pulses, QList<int>{3});
    QCOMPARE(gate.waiting(), 1);
    QCOMPARE(f.mark(row), QStringLiteral("+"));
    QCOMPARE(f.mark(3 - row), QString());
    engine.leave();
}

// The fired line's lateness runs from the start of the row's second, as the
// tick that found the row read the clock, to the pulse: a second reading
// taken later must not shorten it. A row without an output pulses at once
// when it falls due, so with a run advance it reads early.
void TestRunEngine::firedLatenessCountsFromTheRowsSecond_data() {
    QTest::addColumn<QByteArray>("rows");
    QTest::addColumn<int>("advance");
    QTest::addColumn<QTime>("tickAt");
    QTest::newRow("output 3, found 300 ms into its second") << QByteArray("12:00:00,3,,\r\n") << 0
                                                             << QTime(12, 0, 0, 300);
    QTest::newRow("output 0, run advance 2 s") << QByteArray("12:00:00,0,,\r\n") << 2
                                               << QTime(11, 59, 58, 300);
}

void TestRunEngine::firedLatenessCountsFromTheRowsSecond() {
    QFETCH(QByteArray, rows);
    QFETCH(int, advance);
    QFETCH(QTime, tickAt);
    EngineFixture f;
    SteppingClock clock(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 57)));
    RunEngine engine(f.documents, clock, f.opener, f.device, f.report);
    f.report.engine = &engine;
    QDateTime pulseAt;
    engine.setPulseHook([&](int) { pulseAt = clock.last(); });
    engine.setRunAdvance(advance);
    f.setCalendar(10, f.writeDay("ten.24h", rows));
    engine.enter();
    QSignalSpy fired(&engine, &RunEngine::rowFired);
    clock.set(QDateTime(QDate(2026, 12, 10), tickAt));
    engine.tick();
    QTRY_COMPARE(fired.size(), 1);
    const QDateTime rowSecond(QDate(2026, 12, 10), QTime(12, 0));
    QCOMPARE(fired[0][1].toLongLong(), rowSecond.msecsTo(pulseAt));
    QCOMPARE(fired[0][1].toLongLong() < 0, advance > 0);
    engine.leave();
}

// Execute fires a row by hand: the log tells it apart from the schedule's.
void TestRunEngine::executedByHandIsLoggedAsSuch() {
    EngineFixture f;
    AsRunLog log(f.dir.filePath("state"));
    RunLogger logger(f.engine, f.documents, f.device, f.clock, log);
    f.day.load(f.writeDay("ten.24h", "12:00:00,3,Bell,\r\n"));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(9, 30, 15, 250)));
    QSignalSpy fired(&f.engine, &RunEngine::rowFired);
    f.engine.executeRow(1);
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>{3});
    QVERIFY(fired.isEmpty());
    log.flush();
    QFile file(log.fileFor(QDate(2026, 12, 10)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> fields = file.readAll().split('\t');
    QCOMPARE(fields.value(0).left(23), QByteArray("2026-12-10 09:30:15.250"));
    QCOMPARE(fields.mid(1), (QList<QByteArray>{"executed", "12:00:00", "3", "Bell", "", "",
                                               "by hand\n"}));
}

// With a run advance the pulse waits, on the machine's steady clock, until
// the row's own second: never before, whatever the fake wall clock says.
void TestRunEngine::pulseWaitsOutTheRunAdvance() {
    EngineFixture f;
    QElapsedTimer sinceTick;
    qint64 pulseAfterNs = -1;
    f.engine.setPulseHook([&](int) { pulseAfterNs = sinceTick.nsecsElapsed(); });
    f.engine.setRunAdvance(1);
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:01,3,,\r\n"));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59, 500)));
    f.engine.enter();
    sinceTick.start();
    f.tick(QTime(12, 0)); // the row falls due at the start of its second less 1 s
    QVERIFY(f.workersDone());
    QVERIFY2(pulseAfterNs >= 1000000000, qPrintable(QString::number(pulseAfterNs)));
}

// The wait before a pulse is planned to the millisecond: the run advance
// less how far into the row's early second the tick found it. A wait short
// by 1 ms a second of advance would pulse a 30 s advance's row 30 ms before
// its second.
void TestRunEngine::plannedWaitIsTheAdvanceLessTheTicksLateness() {
    EngineFixture f;
    QMutex guard; // the workers' threads call the hook
    QList<qint64> planned;
    f.engine.link()->setSleepHook([&](qint64 ms) {
        QMutexLocker lock(&guard);
        planned << ms;
    });
    f.engine.setRunAdvance(30);
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:30,3,,\r\n12:00:31,4,,\r\n12:00:32,5,,\r\n"));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59, 500)));
    f.engine.enter();
    // 12:00:30 passed over by 1.29 s, 12:00:31 found 290 ms into its second.
    f.tick(QTime(12, 0, 1, 290));
    f.tick(QTime(12, 0, 2, 0));
    QVERIFY(f.workersDone());
    std::sort(planned.begin(), planned.end());
    QCOMPARE(planned, QList<qint64>({28710, 29710, 30000}));
    QCOMPARE(f.pulses, QList<int>({3, 4, 5}));
}

// Run entered again an hour after a pause: a row passed over at the first
// tick is late for the reason of these ticks, not of the hour between runs.
void TestRunEngine::reenteredRunCountsFromItsOwnStart() {
    EngineFixture f;
    f.engine.link()->setSleepHook([](qint64) {});
    f.setCalendar(10, f.writeDay("ten.24h", "13:00:00,3,,\r\n"));
    QSignalSpy lateRows(&f.engine, &RunEngine::rowLate);
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0, 300)));
    f.engine.enter();
    f.tick(QTime(12, 0, 0, 800));
    f.engine.leave(QStringLiteral("paused"));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(13, 0, 0, 800)));
    f.engine.enter();
    f.tick(QTime(13, 0, 1, 290));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>({3}));
    QCOMPARE(lateRows.size(), 1);
    QCOMPARE(lateRows[0][2].toString(), QStringLiteral("the ticks were 0.5 s apart"));
}

// Without a window the calendar is followed too: saved anew with another
// file for today, that file runs from the next tick, and a row that already
// fired and stands in it as it was is not fired again. A calendar that no
// longer reads is said once and the run keeps the one it has.
void TestRunEngine::calendarSavedAnew() {
    EngineFixture f;
    f.engine.setFollowFiles(true);
    const QString a = f.writeDay("a.24h", "12:00:00,3,,\r\n12:30:00,4,,\r\n");
    const QString b = f.writeDay("b.24h", "12:00:00,3,,\r\n12:30:00,5,,\r\n");
    const QString calendar = f.writeDay("month.31d", "10 " + a.toUtf8() + "\r\n");
    f.month.load(calendar);
    QSignalSpy taken(&f.engine, &RunEngine::calendarTaken);
    f.engine.enter();
    f.tick(QTime(12, 0));
    QVERIFY(f.workersDone());

    f.writeDay("month.31d", "10 " + b.toUtf8() + "\r\n");
    f.tickOnceSettled(QTime(12, 10));
    QCOMPARE(taken.size(), 1);
    QCOMPARE(f.day.name(), b);
    QCOMPARE(f.mark(1), QStringLiteral("+"));
    f.tick(QTime(12, 30));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>({3, 5}));

    f.writeDay("month.31d", "ten " + a.toUtf8() + "\r\n");
    f.tickOnceSettled(QTime(12, 40));
    f.tickOnceSettled(QTime(12, 41));
    QVERIFY(f.engine.running());
    QCOMPARE(taken.size(), 1);
    QCOMPARE(f.month.rows().cell(2, 10), b);
    QCOMPARE(f.report.told.size(), 1);
    QCOMPARE(f.report.told[0].text, QStringLiteral("'ten' is not a valid integer value"));
}

// A save still being written changes the file again and again: it is not
// read until it has stayed as it is for a moment.
void TestRunEngine::aSaveIsTakenOnceItHasSettled() {
    EngineFixture f;
    const QString name = f.writeDay("month.31d", "1 a.24h\r\n");
    FollowedFile file;
    file.start(name);
    QVERIFY(!file.savedAnew());
    f.writeDay("month.31d", "1 a.24h\r\n2 b");
    QVERIFY(!file.savedAnew());
    QVERIFY(!file.savedAnew());
    QTest::qWait(int(FollowedFile::kSettleMs) / 2);
    f.writeDay("month.31d", "1 a.24h\r\n2 b.24h\r\n");
    QVERIFY(!file.savedAnew());
    QTest::qWait(int(FollowedFile::kSettleMs) + 100);
    QVERIFY(file.savedAnew());
    QVERIFY(!file.savedAnew());
}

// A calendar with one entry and a plan behind it, from Thursday to Monday:
// the plan's school days run its file, the weekend runs nothing while Run
// mode goes on, Monday's calendar entry comes first. The plan saved anew is
// taken in the second that already fired (no row fires twice); one that does
// not read is said once and the plan in force stays.
void TestRunEngine::planRunsTheEmptyDays() {
    EngineFixture f;
    f.engine.setFollowFiles(true);
    AsRunLog log(f.dir.filePath("state"));
    RunLogger logger(f.engine, f.documents, f.device, f.clock, log);
    f.writeDay("school.24h", "00:00:01,3,,\r\n12:00:00,4,,\r\n");
    f.writeDay("friday.24h", "12:00:00,4,,\r\n12:00:00,6,,\r\n");
    const QString assembly = f.writeDay("assembly.24h", "00:00:01,5,,\r\n");
    f.writeDay("month.plan", "mon-fri  school.24h\nsat,sun  -   # weekend\n");
    f.month.load(f.writeDay("month.31d", "14 " + assembly.toUtf8() + "\r\n"));
    QSignalSpy planTaken(&f.engine, &RunEngine::planTaken);
    const auto at = [&](int day, QTime time) {
        f.clock.set(QDateTime(QDate(2026, 12, day), time));
        f.engine.tick();
        QVERIFY(f.workersDone());
    };
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(23, 59, 59, 500)));
    f.engine.enter();
    QCOMPARE(f.day.name(), f.dir.filePath("school.24h"));
    at(11, QTime(0, 0, 1));
    QCOMPARE(f.pulses, QList<int>({3}));
    at(11, QTime(12, 0));
    f.writeDay("month.plan", "mon-fri  school.24h\nfri friday.24h\nsat,sun  -   # weekend\n");
    at(11, QTime(12, 0, 0, 400));
    // The run timer ticks too while the save settles.
    f.clock.set(QDateTime(QDate(2026, 12, 11), QTime(12, 0, 0, 900)));
    QTest::qWait(int(FollowedFile::kSettleMs) + 100);
    at(11, QTime(12, 0, 0, 900));
    QCOMPARE(planTaken.size(), 1);
    QCOMPARE(f.day.name(), f.dir.filePath("friday.24h"));
    QCOMPARE(f.pulses, QList<int>({3, 4, 6}));

    at(12, QTime(0, 0, 1));
    at(12, QTime(0, 0, 2));
    QVERIFY(f.engine.running());
    QVERIFY(!f.engine.scheduleToday());
    QCOMPARE(f.day.name(), QStringLiteral("Untitled.24h"));
    QCOMPARE(f.month.rows().cell(0, 12), QStringLiteral("+"));
    QCOMPARE(f.engine.nextRow().has_value(), false);
    f.writeDay("month.plan", "mon-fri school.24h\nsat,sun -\nxmas -\n");
    at(12, QTime(0, 0, 3));
    QTest::qWait(int(FollowedFile::kSettleMs) + 100);
    at(12, QTime(0, 0, 4));
    at(12, QTime(0, 0, 5));
    QCOMPARE(f.report.told.size(), 1);
    QCOMPARE(f.report.told[0].text, QStringLiteral("Can't read the plan"));
    QCOMPARE(f.report.told[0].detail,
             f.dir.filePath("month.plan") +
                 ", line 3: expected a day (mon ... sun, a list or range of them such as "
                 "mon-fri or sat,sun, a date YYYY-MM-DD or dates YYYY-MM-DD..YYYY-MM-DD), then "
                 "a day schedule file or -");

    at(14, QTime(0, 0, 1));
    QVERIFY(f.engine.running());
    QCOMPARE(f.day.name(), assembly);
    QCOMPARE(f.pulses, QList<int>({3, 4, 6, 5}));
    QCOMPARE(f.monthMarksOn(), QList<int>({10, 11, 12, 14}));
    f.engine.leave(QStringLiteral("paused"));
    log.flush();
    const auto logOf = [&](int day) {
        QFile written(log.fileFor(QDate(2026, 12, day)));
        return written.open(QIODevice::ReadOnly) ? QString::fromUtf8(written.readAll()) : QString();
    };
    const QString dir = f.dir.path();
    QVERIFY2(logOf(10).startsWith(
                 "2026-12-10 23:59:59.500 +00:00\tday loaded\t\t\t\t\t\t" + dir +
                 "/school.24h (plan: mon-fri school.24h)\n"
                 "2026-12-10 23:59:59.500 +00:00\trun entered\t\t\t\t\t\tcalendar " + dir +
                 "/month.31d, day file " + dir +
                 "/school.24h (plan: mon-fri school.24h), run advance 0 s\n"),
             qPrintable(logOf(10)));
    QVERIFY2(logOf(11).contains("2026-12-11 12:00:00.900 +00:00\tplan loaded\t\t\t\t\t\t"
                                "saved anew: " + dir + "/month.plan\n"
                                "2026-12-11 12:00:00.900 +00:00\tday loaded\t\t\t\t\t\t" +
                                dir + "/friday.24h (plan: fri friday.24h)\n"),
             qPrintable(logOf(11)));
    QCOMPARE(logOf(12), QStringLiteral("2026-12-12 00:00:01.000 +00:00\tday loaded\t\t\t\t\t\t"
                                       "none (plan: sat,sun - # weekend)\n"));
    QVERIFY2(logOf(14).startsWith("2026-12-14 00:00:01.000 +00:00\tday loaded\t\t\t\t\t\t" +
                                  assembly + "\n"),
             qPrintable(logOf(14)));
}

// The plan's days, and its days of nothing, under the run advance, summer
// time and a clock set back over midnight, as a calendar's days are.
void TestRunEngine::planDaysKeepTheClocksRules_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QByteArray>("plan");
    QTest::addColumn<QByteArray>("rows"); // school.24h
    QTest::addColumn<QStringList>("ticks"); // local times; the first enters Run mode
    QTest::addColumn<int>("advance");
    QTest::addColumn<QList<int>>("pulses");
    QTest::newRow("clock set back from a day of nothing")
        << QByteArray("UTC") << QByteArray("thu school.24h\nfri -\n")
        << QByteArray("23:59:59,3,,\r\n")
        << QStringList{"2026-12-10T23:59:58.800", "2026-12-10T23:59:59.200",
                       "2026-12-11T00:00:00.200", "2026-12-10T23:59:59.300",
                       "2026-12-11T00:00:00.300"}
        << 0 << QList<int>{3};
    QTest::newRow("the advance starts the plan's next day early")
        << QByteArray("UTC") << QByteArray("thu -\nfri school.24h\n")
        << QByteArray("00:00:05,4,,\r\n")
        << QStringList{"2026-12-10T23:59:50.000", "2026-12-10T23:59:55.200"} << 10
        << QList<int>{4};
    QTest::newRow("spring forward on the plan's day")
        << QByteArray("Europe/Berlin") << QByteArray("sun school.24h\n")
        << QByteArray("02:30:00,4,,\r\n03:00:01,5,,\r\n")
        << QStringList{"2027-03-28T01:59:59.400+01:00", "2027-03-28T03:00:00.300+02:00",
                       "2027-03-28T03:00:01.100+02:00"}
        << 0 << QList<int>{4, 5};
}

void TestRunEngine::planDaysKeepTheClocksRules() {
    QFETCH(QByteArray, zone);
    QFETCH(QByteArray, plan);
    QFETCH(QByteArray, rows);
    QFETCH(QStringList, ticks);
    QFETCH(int, advance);
    QFETCH(QList<int>, pulses);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    {
        EngineFixture f;
        f.writeDay("school.24h", rows);
        f.writeDay("month.plan", plan);
        f.month.load(f.writeDay("month.31d", ""));
        f.engine.setRunAdvance(advance);
        f.engine.link()->setSleepHook([](qint64) {});
        QVERIFY(f.runTicks(ticks));
        QVERIFY(f.engine.running());
        QCOMPARE(f.pulses, pulses);
        QVERIFY(f.report.told.isEmpty());
    }
    qputenv("TZ", oldZone);
    tzset();
}

QTEST_GUILESS_MAIN(TestRunEngine)
#include "test_run_engine.moc"
