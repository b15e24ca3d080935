// Run mode through the whole window: the mode switch, the tick against a fake
// clock, the Execute command and what the workers report.
#include "run/RunEngine.h"
#include "device/DeviceTestSupport.h"
#include "run/RunFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRadioButton>
#include <QThread>
#include <QTimeZone>

#include <atomic>
#include <ctime>

using namespace cantrel;
using namespace cantrel::test;

namespace {

QList<QWidget*> lockedControls(const MainWindow& w) {
    QList<QWidget*> controls = {
        w.insertButton, w.modifyButton,    w.removeButton, w.executeButton, w.dayGrid,
        w.dayEditGrid,  w.browseMediaButton, w.monthGrid,    w.monthEditGrid, w.browseDayFileButton};
    for (int n = 1; n <= 16; ++n)
        controls << w.bottomPanel->findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n));
    return controls;
}

QStringList enabledRadios(const MainWindow& w) {
    QStringList names;
    for (int n = 1; n <= 16; ++n) {
        auto* radio = w.bottomPanel->findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n));
        if (radio->isEnabled())
            names << radio->objectName();
    }
    return names;
}

// Every mark written into column 0 of a day row, in order.
struct MarkHistory {
    QStringList marks;
    MarkHistory(StringGrid* grid, int row) {
        QObject::connect(grid->cells(), &QAbstractItemModel::dataChanged, grid,
                         [this, grid, row](const QModelIndex& from, const QModelIndex&) {
                             if (from.column() == 0 && from.row() + 1 == row)
                                 marks << grid->cell(0, row);
                         });
    }
};

} // namespace

class TestRunMode : public QObject {
    Q_OBJECT
  private slots:
    void enterAndLeaveRunMode();
    void runIsLoggedAndAnUnwritableLogIsSaidOnce();
    void leavingOnASerialConnectionKeepsAllRadios();
    void entryFailuresStayInEditMode_data();
    void entryFailuresStayInEditMode();
    void rowFiresOnceThoughSeveralTicksSeeItsSecond();
    void rowsOfOneSecondStartInRowOrder();
    void noCatchUp();
    void runAdvanceOpensEarlyAndPulsesAfterTheWait();
    void newDayLoadsItsFile_data();
    void newDayLoadsItsFile();
    void newDayWithoutItsFileEndsRunMode_data();
    void newDayWithoutItsFileEndsRunMode();
    void unreadableTimeEndsRunModeSilently_data();
    void unreadableTimeEndsRunModeSilently();
    void executeInEditMode();
    void workerOutcomes_data();
    void workerOutcomes();
    void lateMarkLandsNowhere_data();
    void lateMarkLandsNowhere();
    void windowGoneWhileWorkersWait();
    void exitDoesNotWaitForSleepingWorkers();
    void closingWaitsForAnOpenInProgress();
    void pulseDueAlreadyPassed();
    void summerTimeChanges_data();
    void summerTimeChanges();
    void desktopOpenerGetsThePath();
};

void TestRunMode::enterAndLeaveRunMode() {
    RunFixture f;
    f.start();
    MainWindow& w = *f.form;
    const QString day = f.writeDay("ten.24h", {{"08:00:00", "1", "", ""}});
    f.setCalendar(10, day);
    // Left from an earlier run, the last day of the month among them.
    w.monthGrid->setCell(0, 3, QStringLiteral("+"));
    w.monthGrid->setCell(0, 31, QStringLiteral("+"));

    f.enterRun(f.at(QTime(7, 0)));
    QVERIFY(f.inRunMode());
    QCOMPARE(w.runEngine()->tickTimer().interval(), 490);
    QCOMPARE(w.runButton->text(), QStringLiteral("Pause"));
    QCOMPARE(w.dayScheduleName(), day);
    QCOMPARE(f.monthMarks(), plusOn({10}));
    QCOMPARE(w.monthGrid->row(), 10);
    QCOMPARE(w.monthEditGrid->cell(2, 0), day);
    for (QWidget* control : lockedControls(w))
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
    QVERIFY(w.runButton->isEnabled());
    QVERIFY(!w.fileMenu->menuAction()->isEnabled());
    QVERIFY(!w.setupMenu->menuAction()->isEnabled());
    QVERIFY(w.helpMenu->menuAction()->isEnabled());
    // The status bar shows what fires next, after its two panels.
    QCOMPARE(w.nextRowPanel->text(), QStringLiteral("Next: 08:00:00  P1  in 1:00:00"));
    f.tick(QTime(7, 59, 58, 500));
    QCOMPARE(w.nextRowPanel->text(), QStringLiteral("Next: 08:00:00  P1  in 0:00:02"));

    w.dayGrid->setCell(0, 1, QStringLiteral("+"));
    w.runButton->click();
    QVERIFY(f.inEditMode());
    QCOMPARE(w.nextRowPanel->text(), QString());
    QCOMPARE(w.windowTitle(), QStringLiteral("Cantrel 1.18 - Edit mode"));
    for (QWidget* control : lockedControls(w)) {
        if (!control->objectName().startsWith(QLatin1String("Radio")))
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    }
    // No serial port is open: the parallel port has four outputs.
    QCOMPARE(enabledRadios(w), (QStringList{"Radio1", "Radio2", "Radio3", "Radio4"}));
    QVERIFY(w.fileMenu->menuAction()->isEnabled());
    QVERIFY(w.setupMenu->menuAction()->isEnabled());
    QCOMPARE(f.dayMarks(), QStringList{"+"});
    QCOMPARE(f.monthMarks(), plusOn({10}));

    // Entering again reads today's file anew.
    f.enterRun(f.at(QTime(7, 0)));
    QVERIFY(f.inRunMode());
    QCOMPARE(f.dayMarks(), QStringList{""});
    QCOMPARE(f.monthMarks(), plusOn({10}));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

// The window's runs go to the as-run log; a log that cannot be written is
// said once, in the error display, and the run goes on.
void TestRunMode::runIsLoggedAndAnUnwritableLogIsSaidOnce() {
    const QByteArray oldState = qgetenv("XDG_STATE_HOME");
    for (bool writable : {true, false}) {
        RunFixture f;
        f.write("file", "a file, not a folder");
        const QString state = writable ? f.path("state") : f.path("file/state");
        qputenv("XDG_STATE_HOME", state.toLocal8Bit());
        f.start();
        f.sleeps->openForGood();
        f.setCalendar(10, f.writeDay("ten.24h", {{"12:00:00", "3", "News", ""},
                                                 {"12:00:01", "4", "", ""}}));
        f.enterRun(f.at(QTime(11, 59, 59, 500)));
        f.tick(QTime(12, 0, 0, 100));
        f.tick(QTime(12, 0, 1, 100));
        QTRY_COMPARE(f.dayMarks(), (QStringList{"+", "+"}));
        f.form->runButton->click();
        QVERIFY(f.workersDone());
        if (writable) {
            f.form.reset(); // the log is written out as the window goes
            const QByteArray log = f.read("state/cantrel/as-run-2026-12-10.log");
            // How late each was depends on when the fake clock's reports came in.
            QCOMPARE(log.count("\tfired\t12:00:00\t3\tNews\t\t"), 1);
            QCOMPARE(log.count("\tfired\t12:00:01\t4\t\t\t"), 1);
            QVERIFY2(log.contains("\trun left\t\t\t\t\t\tpaused\n"), log.constData());
            QVERIFY(f.prompter.takeShown().isEmpty());
        } else {
            QList<ScriptedPrompter::Shown> shown;
            // Only gathers what was shown, so it may be evaluated again once it holds.
            QTRY_VERIFY((shown += f.prompter.takeShown(), !shown.isEmpty()));
            QTest::qWait(200);
            shown += f.prompter.takeShown();
            QCOMPARE(shown.size(), 1);
            QCOMPARE(shown[0].kind, QStringLiteral("error"));
            QVERIFY2(shown[0].text.startsWith("Can't write the as-run log " + state +
                                              "/cantrel/as-run-2026-12-10.log: "),
                     qPrintable(shown[0].text));
        }
    }
    qputenv("XDG_STATE_HOME", oldState);
}

void TestRunMode::leavingOnASerialConnectionKeepsAllRadios() {
    RunFixture f;
    DevSim device(qEnvironmentVariable("CANTREL_TEST_BIN") + "/cantrel-devsim", f.dir.path());
    QVERIFY(device.start());
    qputenv("CANTREL_COM1", device.linkPath().toLocal8Bit());
    f.start();
    f.form->device().setConnection(2);
    QVERIFY(f.form->serialConnectionOpen());
    f.setCalendar(10, f.writeDay("ten.24h", {{"08:00:00", "1", "", ""}}));

    f.enterRun(f.at(QTime(7, 0)));
    QVERIFY(enabledRadios(*f.form).isEmpty());
    f.form->runButton->click();
    QVERIFY(f.inEditMode());
    QCOMPARE(enabledRadios(*f.form).size(), 16);
    f.form.reset();
    qunsetenv("CANTREL_COM1");
}

void TestRunMode::entryFailuresStayInEditMode_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("cancelQuestion");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("monthMarks");

    QTest::newRow("no file named for today")
        << QString() << false << ".24h file don't specified" << plusOn({});
    QTest::newRow("file missing") << "missing.24h" << false << "Can't load .24h file" << plusOn({});
    QTest::newRow("question cancelled") << "ten.24h" << true << QString() << plusOn({3});
}

void TestRunMode::entryFailuresStayInEditMode() {
    QFETCH(QString, entry);
    QFETCH(bool, cancelQuestion);
    QFETCH(QString, message);
    QFETCH(QStringList, monthMarks);
    RunFixture f;
    f.start();
    f.writeDay("ten.24h", {{"08:00:00", "1", "", ""}});
    f.setCalendar(10, entry.isEmpty() ? QString() : f.path(entry));
    f.form->monthGrid->setCell(0, 3, QStringLiteral("+"));
    f.form->daySchedule().setModified(cancelQuestion);
    f.prompter.answers = {Answer::Cancel};

    f.enterRun(f.at(QTime(7, 0)));
    QVERIFY(f.inEditMode());
    QVERIFY(f.form->executeButton->isEnabled());
    QVERIFY(f.form->fileMenu->menuAction()->isEnabled());
    QCOMPARE(f.monthMarks(), monthMarks);
    const QList<ScriptedPrompter::Shown> shown = f.prompter.takeShown();
    if (cancelQuestion) {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, QStringLiteral("question"));
    } else {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
        QCOMPARE(shown[0].text, message);
    }
}

void TestRunMode::rowFiresOnceThoughSeveralTicksSeeItsSecond() {
    RunFixture f;
    f.start();
    f.setCalendar(10,
                  f.writeDay("ten.24h", {{"12:00:00", "0", "", ""}, {"12:00:01", "0", "", ""}}));
    f.enterRun(f.at(QTime(11, 59)));

    // No events between the ticks: the worker's report cannot have come yet,
    // so only the tick's own memory keeps the row from starting again.
    f.tick(QTime(12, 0, 0, 0));
    f.tick(QTime(12, 0, 0, 490));
    f.tick(QTime(12, 0, 0, 980));
    QCOMPARE(RowWorker::liveCount(), 1);
    QTRY_COMPARE(f.dayMarks(), (QStringList{"+", ""}));
    f.tick(QTime(12, 0, 0, 999));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>{0});

    f.tick(QTime(12, 0, 1, 470));
    f.tick(QTime(12, 0, 1, 960));
    QTRY_COMPARE(f.dayMarks(), (QStringList{"+", "+"}));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, (QList<int>{0, 0}));
    QVERIFY(f.inRunMode());
}

void TestRunMode::rowsOfOneSecondStartInRowOrder() {
    RunFixture f;
    f.start();
    f.sleeps->openForGood();
    f.setCalendar(10, f.writeDay("ten.24h", {{"11:00:00", "1", "", ""},
                                             {"12:00:00", "1", "", ""},
                                             {"12:00:00", "2", "", ""},
                                             {"12:00:01", "3", "", ""}}));
    f.enterRun(f.at(QTime(11, 30)));
    QList<int> selected;
    connect(f.form->dayGrid, &StringGrid::selectCell, this, [&](int, int row) { selected << row; });

    f.tick(QTime(12, 0, 0, 300));
    QCOMPARE(selected, (QList<int>{2, 3}));
    QCOMPARE(f.form->dayGrid->row(), 3);
    QCOMPARE(f.form->dayEditGrid->cell(2, 0), QStringLiteral("2"));
    QTRY_COMPARE(f.dayMarks(), (QStringList{"", "+", "+", ""}));
    QVERIFY(f.workersDone());
    std::sort(f.pulses.begin(), f.pulses.end());
    QCOMPARE(f.pulses, (QList<int>{1, 2}));
}

void TestRunMode::noCatchUp() {
    RunFixture f;
    f.start();
    f.setCalendar(10,
                  f.writeDay("ten.24h", {{"12:00:00", "0", "", ""}, {"12:00:07", "0", "", ""}}));
    f.enterRun(f.at(QTime(12, 0, 5)));
    for (int ms = 5000; ms < 8000; ms += 490)
        f.tick(f.at(QTime(12, 0)).addMSecs(ms));
    QTRY_COMPARE(f.dayMarks(), (QStringList{"", "+"}));
    QVERIFY(f.workersDone());
    QCOMPARE(f.pulses, QList<int>{0});
}

void TestRunMode::runAdvanceOpensEarlyAndPulsesAfterTheWait() {
    RunFixture f;
    f.start();
    const QString clip = f.path("clip.mp3");
    f.write("clip.mp3", "media");
    f.setCalendar(10, f.writeDay("ten.24h", {{"12:00:00", "3", "", clip}}));
    f.form->runEngine()->setRunAdvance(10);
    f.enterRun(f.at(QTime(11, 59)));

    f.tick(QTime(11, 59, 49, 900));
    f.tick(QTime(11, 59, 50, 100));
    QTRY_COMPARE(f.dayMarks(), QStringList{">"});
    QCOMPARE(f.opener.takeOpened(), QStringList{clip});
    // The pulse is due at the row's own second, 10 s after the row fell due
    // at 11:59:50.000: 9.9 s after the tick that saw it.
    QTRY_COMPARE(f.sleeps->asked(), QList<qint64>{9900});
    QVERIFY(f.pulses.isEmpty());

    f.sleeps->release();
    QTRY_COMPARE(f.dayMarks(), QStringList{"+"});
    QCOMPARE(f.pulses, QList<int>{3});
    QVERIFY(f.workersDone());
}

void TestRunMode::newDayLoadsItsFile_data() {
    QTest::addColumn<int>("advance");
    QTest::addColumn<QTime>("enterAt");
    QTest::addColumn<QDateTime>("tickAt");
    QTest::addColumn<bool>("sameFile");
    QTest::addColumn<QStringList>("marks");

    const QDate tomorrow(2026, 12, 11);
    QTest::newRow("midnight") << 0 << QTime(23, 59, 59) << QDateTime(tomorrow, QTime(0, 0, 0, 100))
                              << false << QStringList{"+", "", ""};
    QTest::newRow("advance 30 from 23:59:50")
        << 30 << QTime(23, 59, 50) << QDateTime(QDate(2026, 12, 10), QTime(23, 59, 50, 490))
        << false << QStringList{"", "+", ""};
    // The same name on both days: the new day still starts from the file as
    // it now is, with no marks.
    QTest::newRow("same file on both days")
        << 0 << QTime(23, 59, 59) << QDateTime(tomorrow, QTime(0, 0, 0, 100)) << true
        << QStringList{"+", "", ""};
}

void TestRunMode::newDayLoadsItsFile() {
    QFETCH(int, advance);
    QFETCH(QTime, enterAt);
    QFETCH(QDateTime, tickAt);
    QFETCH(bool, sameFile);
    QFETCH(QStringList, marks);
    RunFixture f;
    f.start();
    const QList<QStringList> tenRows = {{"00:00:00", "0", "ten", ""}, {"23:59:59", "0", "ten", ""}};
    const QList<QStringList> elevenRows = {{"00:00:00", "0", "eleven", ""},
                                           {"00:00:20", "0", "eleven", ""},
                                           {"12:00:00", "0", "eleven", ""}};
    const QString ten = f.writeDay(sameFile ? "same.24h" : "ten.24h", tenRows);
    const QString eleven = sameFile ? ten : f.writeDay("eleven.24h", elevenRows);
    f.setCalendar(10, ten);
    f.setCalendar(11, eleven);
    f.form->runEngine()->setRunAdvance(advance);

    // Entering takes today's file by the date alone.
    f.enterRun(f.at(enterAt));
    QCOMPARE(f.form->dayScheduleName(), ten);
    QCOMPARE(f.form->dayGrid->cell(3, 1), QStringLiteral("ten"));
    if (advance == 0) {
        f.tick(f.at(QTime(23, 59, 59, 200)));
        QTRY_COMPARE(f.dayMarks(), (QStringList{"", "+"}));
    }
    if (sameFile)
        f.writeDay("same.24h", elevenRows);

    f.tick(tickAt);
    QVERIFY(f.inRunMode());
    QCOMPARE(f.form->dayScheduleName(), eleven);
    QCOMPARE(f.form->dayGrid->rowCount(), 4);
    QCOMPARE(f.form->dayGrid->cell(3, 1), QStringLiteral("eleven"));
    QCOMPARE(f.monthMarks(), plusOn({10, 11}));
    QCOMPARE(f.form->monthGrid->row(), 11);
    // The new day's rows of that second start in the same tick.
    QTRY_COMPARE(f.dayMarks(), marks);
    QVERIFY(f.workersDone());
}

void TestRunMode::newDayWithoutItsFileEndsRunMode_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty entry") << QString() << ".24h file don't specified";
    QTest::newRow("missing file") << "missing.24h"
                                  << "Can't load .24h file";
}

void TestRunMode::newDayWithoutItsFileEndsRunMode() {
    QFETCH(QString, entry);
    QFETCH(QString, message);
    RunFixture f;
    f.start();
    f.setCalendar(10, f.writeDay("ten.24h", {{"00:00:00", "0", "ten", ""}}));
    f.setCalendar(11, entry.isEmpty() ? QString() : f.path(entry));
    f.enterRun(f.at(QTime(23, 59, 59)));

    f.tick(QDateTime(QDate(2026, 12, 11), QTime(0, 0, 0, 100)));
    QVERIFY(f.inEditMode());
    QCOMPARE(f.prompter.takeTexts(), QStringList{message});
    // Run mode had ended before the box came up.
    QCOMPARE(f.probe.inRunModeAtBox, QList<bool>{false});
    QCOMPARE(f.form->dayGrid->cell(3, 1), QStringLiteral("ten"));
    QCOMPARE(f.monthMarks(), plusOn({10}));
}

void TestRunMode::unreadableTimeEndsRunModeSilently_data() {
    QTest::addColumn<QTime>("tickAt");
    QTest::addColumn<QStringList>("marks");
    QTest::newRow("no row due") << QTime(8, 0) << QStringList{"", "", ""};
    QTest::newRow("due row before it still starts") << QTime(12, 0) << QStringList{"+", "", ""};
}

void TestRunMode::unreadableTimeEndsRunModeSilently() {
    QFETCH(QTime, tickAt);
    QFETCH(QStringList, marks);
    RunFixture f;
    f.start();
    f.setCalendar(
        10, f.writeDay("ten.24h",
                       {{"12:00:00", "0", "", ""}, {"", "0", "", ""}, {"12:00:00", "0", "", ""}}));
    f.enterRun(f.at(QTime(7, 0)));
    QVERIFY(f.inRunMode());

    f.tick(tickAt);
    QVERIFY(f.inEditMode());
    QCOMPARE(f.form->windowTitle(), QStringLiteral("Cantrel 1.18 - Edit mode"));
    QVERIFY(f.workersDone());
    QCOMPARE(f.dayMarks(), marks);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

// Execute looks at neither the mark nor the time, and waits out the advance
// as the tick's workers do. Two starts of one row are two workers.
void TestRunMode::executeInEditMode() {
    RunFixture f;
    f.start();
    MainWindow& w = *f.form;
    const QString clip = f.path("clip.mp3");
    f.write("clip.mp3", "media");
    w.dayGrid->setRowCells(1, {"+", "not a time", "3", "", " " + clip + " \t"});
    w.runEngine()->setRunAdvance(5);

    w.executeButton->click();
    QTRY_COMPARE(f.dayMarks(), QStringList{">"});
    QCOMPARE(f.opener.takeOpened(), QStringList{clip});
    QTRY_COMPARE(f.sleeps->asked(), QList<qint64>{5000});
    QVERIFY(f.pulses.isEmpty());

    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect cell = w.dayGrid->visualRect(w.dayGrid->cells()->index(0, 1));
    // Through the window system, so the press that comes before the double click is real too.
    QTest::mouseDClick(w.windowHandle(), Qt::LeftButton, {},
                       w.dayGrid->viewport()->mapTo(&w, cell.center()));
    QTRY_COMPARE(f.sleeps->asked(), (QList<qint64>{5000, 5000}));
    QCOMPARE(f.opener.takeOpened(), QStringList{clip});

    f.sleeps->release(2);
    QTRY_COMPARE(f.pulses, (QList<int>{3, 3}));
    QTRY_COMPARE(f.dayMarks(), QStringList{"+"});
    QVERIFY(f.workersDone());
    QVERIFY(f.inEditMode());
}

void TestRunMode::workerOutcomes_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("media"); // "", "clip.mp3" (exists) or "gone.mp3"
    QTest::addColumn<int>("advance");
    QTest::addColumn<QString>("pulseFailure");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<QList<int>>("pulses");
    QTest::addColumn<QList<qint64>>("sleeps");
    QTest::addColumn<QString>("message");

    QTest::newRow("output 0, no media file")
        << "0"
        << "" << 30 << "" << QStringList{"+"} << QList<int>{0} << QList<qint64>{} << "";
    QTest::newRow("output that is not a number")
        << "abc"
        << "clip.mp3" << 30 << "" << QStringList{"+"} << QList<int>{0} << QList<qint64>{} << "";
    QTest::newRow("output typed with blanks around it")
        << " 7 "
        << "" << 0 << "" << QStringList{">", "+"} << QList<int>{7} << QList<qint64>{0} << "";
    QTest::newRow("low 8 bits of the output")
        << "261"
        << "" << 30 << "" << QStringList{">", "+"} << QList<int>{5} << QList<qint64>{30000} << "";
    QTest::newRow("no advance") << "5"
                                << "clip.mp3" << 0 << "" << QStringList{">", "+"} << QList<int>{5}
                                << QList<qint64>{0} << "";
    // A settings file may hold anything; the tick and the worker see 0..3599.
    QTest::newRow("advance beyond an hour") << "5"
                                            << "" << 5000 << "" << QStringList{">", "+"}
                                            << QList<int>{5} << QList<qint64>{3599000} << "";
    QTest::newRow("negative advance")
        << "5"
        << "" << -10 << "" << QStringList{">", "+"} << QList<int>{5} << QList<qint64>{0} << "";
    QTest::newRow("media file missing") << "5"
                                        << "gone.mp3" << 30 << "" << QStringList{"!"}
                                        << QList<int>{} << QList<qint64>{} << "Can't execute file";
    QTest::newRow("pulse fails") << "5"
                                 << "clip.mp3" << 30 << "Can't write to port"
                                 << QStringList{">", "!"} << QList<int>{5} << QList<qint64>{30000}
                                 << "Can't write to port";
}

// One row fired by the tick in Run mode; failures leave Run mode running.
void TestRunMode::workerOutcomes() {
    QFETCH(QString, output);
    QFETCH(QString, media);
    QFETCH(int, advance);
    QFETCH(QString, pulseFailure);
    QFETCH(QStringList, marks);
    QFETCH(QList<int>, pulses);
    QFETCH(QList<qint64>, sleeps);
    QFETCH(QString, message);
    RunFixture f;
    f.start();
    f.sleeps->openForGood();
    f.write("clip.mp3", "media");
    f.opener.succeed = media != QLatin1String("gone.mp3");
    f.pulseFailure = pulseFailure;
    const QString mediaPath = media.isEmpty() ? QString() : f.path(media);
    f.setCalendar(10, f.writeDay("ten.24h", {{"12:00:00", output, "", mediaPath}}));
    f.form->runEngine()->setRunAdvance(advance);
    f.enterRun(f.at(QTime(11, 0)));
    MarkHistory history(f.form->dayGrid, 1);

    f.tick(f.at(QTime(12, 0)).addSecs(-qBound(0, advance, 3599)));
    QVERIFY(f.workersDone());
    QCOMPARE(history.marks, marks);
    QCOMPARE(f.pulses, pulses);
    QCOMPARE(f.sleeps->asked(), sleeps);
    QCOMPARE(f.opener.takeOpened(), mediaPath.isEmpty() ? QStringList() : QStringList{mediaPath});
    const QList<ScriptedPrompter::Shown> shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(shown[0].kind, QStringLiteral("message"));
        QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
        QCOMPARE(shown[0].text, message);
        QCOMPARE(f.probe.inRunModeAtBox, QList<bool>{true});
    }
    QVERIFY(f.inRunMode());
}

void TestRunMode::lateMarkLandsNowhere_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("comments");
    QTest::addColumn<QStringList>("marks");
    QTest::newRow("row above removed") << "remove" << QStringList{"B", "C"} << QStringList{">", ""};
    QTest::newRow("rows reordered")
        << "reorder" << QStringList{"C", "A", "B"} << QStringList{"", "", ">"};
    QTest::newRow("file reloaded")
        << "reload" << QStringList{"A", "B", "C"} << QStringList{"", "", ""};
}

// A worker waiting out its advance while the rows change under it: its pulse
// is still given, but its "+" must not land on whatever row now has its number.
void TestRunMode::lateMarkLandsNowhere() {
    QFETCH(QString, change);
    QFETCH(QStringList, comments);
    QFETCH(QStringList, marks);
    RunFixture f;
    f.start();
    MainWindow& w = *f.form;
    const QString file = f.writeDay(
        "ten.24h",
        {{"10:00:00", "1", "A", ""}, {"11:00:00", "2", "B", ""}, {"12:00:00", "3", "C", ""}});
    w.loadDaySchedule(file);
    w.dayGrid->setRow(2);
    w.executeButton->click();
    QTRY_COMPARE(f.dayMarks(), (QStringList{"", ">", ""}));

    if (change == QLatin1String("remove"))
        w.dayGrid->removeRow(1);
    else if (change == QLatin1String("reorder"))
        w.dayGrid->permuteDataRows({2, 0, 1});
    else
        w.loadDaySchedule(file);
    f.sleeps->release();
    QTRY_COMPARE(f.pulses, QList<int>{2});
    QVERIFY(f.workersDone());
    QStringList nowComments;
    for (int r = 1; r < w.dayGrid->rowCount(); ++r)
        nowComments << w.dayGrid->cell(3, r);
    QCOMPARE(nowComments, comments);
    QCOMPARE(f.dayMarks(), marks);
}

// The window goes while one worker sleeps out a run advance of almost an
// hour and another's report is still on its way: neither reports, both end.
void TestRunMode::windowGoneWhileWorkersWait() {
    RunFixture f;
    f.start();
    MainWindow& w = *f.form;
    w.runEngine()->link()->setSleepHook({});
    w.runEngine()->setRunAdvance(3599);
    w.dayGrid->setRowCells(1, {"", "12:00:00", "1", "", ""});
    w.executeButton->click();
    QTRY_COMPARE(f.dayMarks(), QStringList{">"});
    w.dayGrid->setCell(2, 1, QStringLiteral("0"));
    w.executeButton->click();
    QCOMPARE(RowWorker::liveCount(), 2);

    f.form.reset();
    QVERIFY(QTest::qWaitFor([] { return RowWorker::liveCount() == 0; }, 5000));
    QVERIFY(f.pulses.isEmpty());
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestRunMode::exitDoesNotWaitForSleepingWorkers() {
    QProcess probe;
    // Workers are left to end with the process; a thread object still queued
    // for deletion when the application goes is no leak worth reporting here.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               (asan.isEmpty() ? QString() : asan + u':') + QStringLiteral("detect_leaks=0"));
    probe.setProcessEnvironment(env);
    probe.start(qEnvironmentVariable("CANTREL_TEST_BIN") + QStringLiteral("/run_exit_probe"));
    QVERIFY2(probe.waitForFinished(30000), "the program waited for its sleeping workers");
    const QByteArray out = probe.readAllStandardOutput();
    QVERIFY2(probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0,
             (out + probe.readAllStandardError()).constData());
    QVERIFY2(out.contains("sleeping workers: 2"), out.constData());
}

// The opener belongs to whoever made the window: once the window has gone
// its owner may delete it, so the window's close waits for an open that a
// worker has in progress.
void TestRunMode::closingWaitsForAnOpenInProgress() {
    class HeldOpener final : public MediaOpener {
      public:
        bool open(const QString&, QString* = nullptr) override {
            started = true;
            QThread::msleep(400);
            finished = true;
            return true;
        }
        std::atomic<bool> started{false};
        std::atomic<bool> finished{false};
    } held;
    RunFixture f;
    f.start(&held);
    f.write("clip.mp3", "media");
    f.form->dayGrid->setRowCells(1, {"", "12:00:00", "1", "", f.path("clip.mp3")});
    f.form->executeButton->click();
    QVERIFY(QTest::qWaitFor([&] { return held.started.load(); }, 5000));
    f.form.reset();
    QVERIFY(held.finished);
    QVERIFY(f.workersDone());
    QVERIFY(f.pulses.isEmpty());
}

// The open took longer than the run advance: the pulse is due at once,
// however little or much it is overdue (1 ms over must not read as "never").
void TestRunMode::pulseDueAlreadyPassed() {
    RunFixture f;
    f.start();
    const std::shared_ptr<RunLink> link = f.form->runEngine()->link();
    link->setSleepHook({});
    QThread* worker = QThread::create([&] {
        for (qint64 overdue : {1, 1, 1, 2, 3, 1000}) {
            // Planned as already past, and planned ahead but passed by now.
            link->sleepUntil(RunLink::deadlineIn(-overdue), -overdue, nullptr);
            const QDeadlineTimer soon = RunLink::deadlineIn(1);
            QThread::usleep(2500);
            link->sleepUntil(soon, 1, nullptr);
        }
    });
    worker->start();
    const bool done = worker->wait(QDeadlineTimer(3000));
    if (!done)
        f.form.reset(); // wakes the stuck sleep
    worker->wait();
    delete worker;
    QVERIFY2(done, "a wait whose end had passed went on");
}

void TestRunMode::summerTimeChanges_data() {
    QTest::addColumn<QDateTime>("enter");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QStringList>("marks");
    QTest::addColumn<int>("late");
    // Local time in a zone with summer time (entered as UTC: 01:58 winter
    // time in spring, the first 02:58 in autumn); the run advance is 30 s.
    // In spring 02:00:00 to 02:59:59 do not exist: the row at 02:30:00 fires
    // late, right after the jump. The row at 03:00:00 opens its media at
    // 01:59:30 winter time, 30 real seconds early.
    QTest::newRow("spring forward")
        << QDateTime(QDate(2027, 3, 28), QTime(0, 58, 0), Qt::UTC) << 5
        << QStringList{"01:59:50", "02:30:00", "03:00:00", "03:00:10"}
        << QStringList{"+", "+", "+", "+"} << 1;
    // In autumn 02:00:00 to 02:59:59 come twice; each row fires once.
    QTest::newRow("fall back") << QDateTime(QDate(2027, 10, 31), QTime(0, 58, 0), Qt::UTC)
                               << 70
                               << QStringList{"02:59:00", "02:30:00", "02:59:59", "03:00:10"}
                               << QStringList{"+", "+", "+", "+"} << 0;
}

// Ticks every 490 ms of real time, as the run timer does, across a change
// to and from summer time.
void TestRunMode::summerTimeChanges() {
    QFETCH(QDateTime, enter);
    QFETCH(int, minutes);
    QFETCH(QStringList, times);
    QFETCH(QStringList, marks);
    QFETCH(int, late);
    const QByteArray oldZone = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    {
        RunFixture f;
        f.start();
        f.sleeps->openForGood();
        QList<QStringList> rows;
        for (int i = 0; i < times.size(); ++i)
            rows.append({times[i], QString::number(i + 1), "", ""});
        const QString day = f.writeDay("day.24h", rows);
        for (int d = 1; d <= 31; ++d)
            f.setCalendar(d, day);
        f.form->runEngine()->setRunAdvance(30);
        const QDateTime local = enter.toLocalTime();
        f.enterRun(local);
        for (qint64 ms = 0; ms <= minutes * 60000; ms += 490) {
            f.clock.set(local.addMSecs(ms));
            f.form->runEngine()->tick();
        }
        QVERIFY(f.inRunMode());
        QTRY_COMPARE(f.dayMarks(), marks);
        QVERIFY(f.workersDone());
        QList<int> expected;
        for (int i = 0; i < marks.size(); ++i)
            if (marks[i] == "+")
                expected << i + 1;
        std::sort(f.pulses.begin(), f.pulses.end());
        QCOMPARE(f.pulses, expected);
        // Each pulse waits out the 30 s advance from the start of the second
        // its row fell due in, less what the 490 ms tick was late for it; a
        // late row's pulse is due already.
        QList<qint64> asked = f.sleeps->asked();
        QCOMPARE(asked.size(), expected.size());
        QCOMPARE(asked.removeAll(0), late);
        for (qint64 ms : asked)
            QVERIFY2(ms > 29500 && ms <= 30000, qPrintable(QString::number(ms)));
    }
    qputenv("TZ", oldZone);
    tzset();
}

// The real opener, handed a program that writes down its arguments.
void TestRunMode::desktopOpenerGetsThePath() {
    DesktopMediaOpener desktop;
    RunFixture f;
    const QString script = f.path("opener.sh");
    f.write("opener.sh", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"$0.args\"\n");
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("CANTREL_OPENER", script.toLocal8Bit());
    f.start(&desktop);
    MainWindow& w = *f.form;
    const QString clip = f.path("my clip, take 2.mp3");
    f.write("my clip, take 2.mp3", "media");
    w.dayGrid->setRowCells(1, {"", "12:00:00", "0", "", clip});

    w.executeButton->click();
    QTRY_COMPARE(f.dayMarks(), QStringList{"+"});
    QTRY_COMPARE(f.read("opener.sh.args"), "1\n" + clip.toUtf8() + "\n");

    w.dayGrid->setCell(4, 1, f.path("gone.mp3"));
    w.executeButton->click();
    QTRY_COMPARE(f.dayMarks(), QStringList{"!"});
    QVERIFY(f.workersDone());
    QCOMPARE(f.prompter.takeTexts(), QStringList{"Can't execute file"});
    qunsetenv("CANTREL_OPENER");
}

QTEST_MAIN(TestRunMode)
#include "test_run_mode.moc"
