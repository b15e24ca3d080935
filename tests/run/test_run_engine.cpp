// The run engine on its own: documents without a window, a fake clock, real
// workers, pulses recorded, and a report that notes what it was told.
#include "device/DeviceLink.h"
#include "run/RowWorker.h"
#include "run/RunDocuments.h"
#include "run/AsRunLog.h"
#include "run/NextRowText.h"
#include "run/RunLogger.h"
#include "run/RunEngine.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGridModel.h"
#include "support/TestDoubles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>

#include <algorithm>
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
    void failure(const QString& text, bool programText, const QString& detail) override {
        told.append({"failure", text, programText, engine->running(), detail});
    }
    void ended(const QString& text, bool shown, const QString& detail) override {
        told.append({"ended", text, shown, engine->running(), detail});
    }
};

struct EngineFixture {
    QTemporaryDir dir;
    FakeClock clock{QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59))};
    RecordingOpener opener;
    DeviceLink device;
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
    bool workersDone() const {
        return QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 5000);
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
    void workerFailureGoesToTheReport();
    void rowWithoutAThreadFailsAlone();
    void rowsOfOneSecondPulseInRowOrder();
    void nextRow();
    void linkDownAndBackAreLogged();
    void passedOverRows_data();
    void passedOverRows();
    void wakesAtTheStartOfADueSecond();
};

void TestRunEngine::entersOnTodaysFileAndFires() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,\r\n12:00:00,0,,a.mp3\r\n"));
    QSignalSpy modes(&f.engine, &RunEngine::modeChanged);
    QSignalSpy days(&f.engine, &RunEngine::dayStarted);
    f.engine.enter();
    QVERIFY(f.engine.running());
    QCOMPARE(modes.takeFirst().at(0).toBool(), true);
    QCOMPARE(days.takeFirst().at(0).toInt(), 10);
    QCOMPARE(f.month.rows().cell(0, 10), QStringLiteral("+"));
    QCOMPARE(f.day.rows().gridRowCount(), 3);

    QSignalSpy falling(&f.engine, &RunEngine::rowFalling);
    f.tick(QTime(12, 0));
    f.tick(QTime(12, 0));
    QVERIFY(f.workersDone());
    QCOMPARE(falling.size(), 2);
    // A row without an output pulses output 0.
    std::sort(f.pulses.begin(), f.pulses.end());
    QCOMPARE(f.pulses, QList<int>({0, 3}));
    QCOMPARE(f.opener.takeOpened(), QStringList({"a.mp3"}));
    QCOMPARE(f.mark(1), QStringLiteral("+"));
    QCOMPARE(f.mark(2), QStringLiteral("+"));
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
    f.engine.setFollowDayFile(follow);
    const QString file = f.writeDay("ten.24h", "12:00:00,3,,\r\n");
    f.setCalendar(10, file);
    f.engine.enter();
    f.tick(QTime(12, 0));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>({3}));

    f.writeDay("ten.24h", "12:00:00,3,,\r\n12:00:00,5,new,\r\n12:00:01,6,,\r\n");
    QSignalSpy taken(&f.engine, &RunEngine::dayFileTaken);
    f.tick(QTime(12, 0));
    QCOMPARE(taken.size(), follow ? 1 : 0);
    f.tick(QTime(12, 0, 1));
    QVERIFY(f.workersDone());
    std::sort(f.pulses.begin(), f.pulses.end());
    QCOMPARE(f.pulses, follow ? QList<int>({3, 5, 6}) : QList<int>({3}));
    QCOMPARE(f.day.rows().gridRowCount(), follow ? 4 : 2);

    // A save that does not read leaves the rows in force, said once.
    QFile::remove(file);
    f.tick(QTime(12, 0, 2));
    f.tick(QTime(12, 0, 2));
    QVERIFY(f.engine.running());
    if (follow) {
        QCOMPARE(f.report.told.size(), 1);
        QCOMPARE(f.report.told[0].text, QStringLiteral("Can't load .24h file"));
        QCOMPARE(f.day.rows().gridRowCount(), 4);
    } else {
        QVERIFY(f.report.told.isEmpty());
    }
}

void TestRunEngine::endsWithAReport_data() {
    QTest::addColumn<QByteArray>("tenth");
    QTest::addColumn<QString>("eleventh");
    QTest::addColumn<QTime>("at");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shown");
    QTest::newRow("a time that does not read")
        << QByteArray("12:00:00,3,,\r\nnoon,4,,\r\n") << QString() << QTime(12, 0)
        << "'noon' in row 2 of %1/ten.24h is not a valid time" << false;
    QTest::newRow("the new day's file missing")
        << QByteArray("12:00:00,3,,\r\n") << "gone.24h" << QTime(0, 0) << "Can't load .24h file"
        << true;
    QTest::newRow("no file for the new day") << QByteArray("12:00:00,3,,\r\n") << QString()
                                             << QTime(0, 0) << ".24h file don't specified" << true;
}

void TestRunEngine::endsWithAReport() {
    QFETCH(QByteArray, tenth);
    QFETCH(QString, eleventh);
    QFETCH(QTime, at);
    QFETCH(QString, text);
    QFETCH(bool, shown);
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
    // Out of Run mode before it is told.
    QVERIFY(!told.running);
}

void TestRunEngine::workerFailureGoesToTheReport() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,missing.mp3\r\n"));
    f.opener.succeed = false;
    f.engine.enter();
    f.tick(QTime(12, 0));
    QTRY_COMPARE(f.report.told.size(), 1);
    QCOMPARE(f.report.told[0].what, QStringLiteral("failure"));
    QCOMPARE(f.report.told[0].text, QStringLiteral("Can't execute file"));
    QVERIFY(f.report.told[0].flag);
    QVERIFY(f.report.told[0].running);
    QCOMPARE(f.mark(1), QStringLiteral("!"));
    QVERIFY(f.pulses.isEmpty());
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

namespace {

// Takes its time over one file, as a player that is slow to start would.
class SlowOpener final : public MediaOpener {
  public:
    bool open(const QString& target) override {
        if (target == QLatin1String("slow.mp3"))
            QThread::msleep(300);
        return true;
    }
};

} // namespace

// The first row's media takes longer to open than the second row needs:
// the pulses still go out in row order, with and without a run advance. A
// row without an output waits for no advance, so with one it goes first.
void TestRunEngine::rowsOfOneSecondPulseInRowOrder() {
    for (int advance : {0, 1}) {
        EngineFixture f;
        SlowOpener slow;
        RunEngine engine(f.documents, f.clock, slow, f.device, f.report);
        f.report.engine = &engine;
        QList<int> pulses;
        engine.setPulseHook([&pulses](int output) { pulses.append(output); });
        engine.setRunAdvance(advance);
        f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,slow.mp3\r\n12:00:00,4,,\r\n"
                                                "12:00:00,0,,\r\n12:00:00,5,,\r\n"));
        engine.enter();
        f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0).addSecs(-advance)));
        engine.tick();
        QVERIFY(f.workersDone());
        QCOMPARE(pulses, advance == 0 ? QList<int>({3, 4, 0, 5}) : QList<int>({0, 3, 4, 5}));
        engine.leave();
    }
}

// The tick that sees a row due in the next second wakes the engine at that
// second's start; none is armed when the next second has no row.
void TestRunEngine::wakesAtTheStartOfADueSecond() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,,\r\n"));
    f.engine.enter();
    f.tick(QTime(11, 59, 58, 600));
    QVERIFY(!f.engine.wakeTimer().isActive());
    f.tick(QTime(11, 59, 59, 600));
    QVERIFY(f.engine.wakeTimer().isActive());
    // Armed for the 400 ms left of the fake clock's second, however busy the machine.
    QCOMPARE(f.engine.wakeTimer().interval(), 400);
    f.engine.leave();
    QVERIFY(!f.engine.wakeTimer().isActive());
}

// What fires next: the first row after the tick's second that has not
// fired, and how long until it falls due; nothing once the day is done.
void TestRunEngine::nextRow() {
    EngineFixture f;
    f.setCalendar(10, f.writeDay("ten.24h", "12:00:00,3,\"News jingle\",a.mp3\r\n"
                                            "12:00:05,4,,\r\n13:02:03,5,Bell,\r\n"));
    f.engine.enter();
    const auto next = [&f] {
        const std::optional<RunEngine::NextRow> row = f.engine.nextRow();
        return row ? nextRowText(f.day.rows().rowCells(row->row), row->msLeft) : QString();
    };
    f.tick(QTime(11, 59, 59, 300));
    QCOMPARE(next(), QStringLiteral("Next: 12:00:00  P3  News jingle  in 0:00:01"));
    f.tick(QTime(12, 0, 0, 200));
    QCOMPARE(next(), QStringLiteral("Next: 12:00:05  P4  in 0:00:05"));
    f.tick(QTime(12, 0, 5, 0));
    QCOMPARE(next(), QStringLiteral("Next: 13:02:03  P5  Bell  in 1:01:58"));
    f.tick(QTime(13, 2, 3, 0));
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

// Ticks that lie apart: the rows of the seconds between fire at once, in
// time order, after a gap of up to a minute of real time, and are missed
// after a longer one. A change of summer time is no gap, and no row fires a
// second time on its date, whichever way the clock goes.
void TestRunEngine::passedOverRows_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QByteArray>("rows");   // the file of every day but the 11th
    QTest::addColumn<QByteArray>("rows11"); // the 11th's
    QTest::addColumn<QStringList>("ticks"); // local times; the first enters Run mode
    QTest::addColumn<QList<int>>("pulses");
    QTest::addColumn<int>("late");
    QTest::addColumn<int>("missed");
    const QByteArray three("12:00:01,3,,\r\n12:00:10,4,,\r\n12:00:30,5,,\r\n12:00:59,6,,\r\n"
                           "12:01:01,7,,\r\n12:30:00,8,,\r\n13:00:00,9,,\r\n");
    QTest::newRow("gap of 1.5 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:00:02.000"}
        << QList<int>{3} << 1 << 0;
    QTest::newRow("gap of 59 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:00:59.500"}
        << QList<int>{3, 4, 5, 6} << 3 << 0;
    QTest::newRow("gap of 61 s")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T12:01:01.500"}
        << QList<int>{7} << 0 << 4;
    QTest::newRow("suspended for an hour")
        << QByteArray("UTC") << three << QByteArray()
        << QStringList{"2026-12-10T12:00:00.300", "2026-12-10T12:00:00.500",
                       "2026-12-10T13:00:00.500"}
        << QList<int>{9} << 0 << 6;
    QTest::newRow("spring forward")
        << QByteArray("Europe/Berlin")
        << QByteArray("01:59:59,3,,\r\n02:00:00,4,,\r\n02:59:59,5,,\r\n03:00:00,6,,\r\n")
        << QByteArray()
        << QStringList{"2027-03-28T01:59:58.900+01:00", "2027-03-28T01:59:59.400+01:00",
                       "2027-03-28T03:00:00.300+02:00"}
        << QList<int>{3, 4, 5, 6} << 2 << 0;
    QTest::newRow("fall back")
        << QByteArray("Europe/Berlin") << QByteArray("02:00:00,3,,\r\n02:59:59,4,,\r\n")
        << QByteArray()
        << QStringList{"2027-10-31T01:59:59.900+02:00", "2027-10-31T02:00:00.100+02:00",
                       "2027-10-31T02:59:59.500+02:00", "2027-10-31T02:00:00.000+01:00",
                       "2027-10-31T02:00:00.400+01:00", "2027-10-31T02:59:59.500+01:00"}
        << QList<int>{3, 4} << 0 << 0;
    QTest::newRow("gap over midnight")
        << QByteArray("UTC") << QByteArray("23:59:59,3,,\r\n")
        << QByteArray("00:00:00,4,,\r\n00:00:01,5,,\r\n")
        << QStringList{"2026-12-10T23:59:58.300", "2026-12-10T23:59:58.500",
                       "2026-12-11T00:00:01.500"}
        << QList<int>{3, 4, 5} << 2 << 0;
    QTest::newRow("clock set back 10 s")
        << QByteArray("UTC") << QByteArray("12:00:05,3,,\r\n12:00:10,4,,\r\n") << QByteArray()
        << QStringList{"2026-12-10T12:00:09.800", "2026-12-10T12:00:10.200",
                       "2026-12-10T12:00:00.200", "2026-12-10T12:00:10.200"}
        << QList<int>{4, 3} << 1 << 0;
    QTest::newRow("clock set back over midnight")
        << QByteArray("UTC") << QByteArray("23:59:59,3,,\r\n") << QByteArray("00:00:00,4,,\r\n")
        << QStringList{"2026-12-10T23:59:58.800", "2026-12-10T23:59:59.200",
                       "2026-12-11T00:00:00.200", "2026-12-10T23:59:59.300",
                       "2026-12-11T00:00:00.300"}
        << QList<int>{3, 4} << 0 << 0;
}

void TestRunEngine::passedOverRows() {
    QFETCH(QByteArray, zone);
    QFETCH(QByteArray, rows);
    QFETCH(QByteArray, rows11);
    QFETCH(QStringList, ticks);
    QFETCH(QList<int>, pulses);
    QFETCH(int, late);
    QFETCH(int, missed);
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
        QSignalSpy lateRows(&f.engine, &RunEngine::rowLate);
        QSignalSpy missedRows(&f.engine, &RunEngine::rowMissed);
        for (int i = 0; i < ticks.size(); ++i) {
            f.clock.set(QDateTime::fromString(ticks[i], Qt::ISODateWithMs).toLocalTime());
            if (i == 0)
                f.engine.enter();
            else
                f.engine.tick();
            // The marks land before the next tick, as they do between ticks.
            QVERIFY(f.workersDone());
        }
        QVERIFY(f.engine.running());
        QCOMPARE(f.pulses, pulses);
        QCOMPARE(lateRows.size(), late);
        QCOMPARE(missedRows.size(), missed);
    }
    qputenv("TZ", oldZone);
    tzset();
}

QTEST_GUILESS_MAIN(TestRunEngine)
#include "test_run_engine.moc"
