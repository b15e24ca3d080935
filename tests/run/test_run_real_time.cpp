// Run mode on the real clock, with the real run timer, the real sleep of the
// run advance and a real message box: what the fake clock and the scripted
// answers elsewhere cannot show.
#include "run/RunEngine.h"
#include "platform/QtPrompter.h"
#include "run/RunFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>

#include <atomic>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// The rows of these tests lie a few seconds ahead of now; a run that crosses
// midnight would load the next day's file on the way, so start after it.
QDateTime nowAwayFromMidnight() {
    const QTime now = QTime::currentTime();
    if (now > QTime(23, 59, 45))
        QTest::qWait(now.msecsTo(QTime(23, 59, 59, 999)) + 200);
    return QDateTime::currentDateTime();
}

QString timeText(const QDateTime& t) {
    return t.time().toString(QStringLiteral("HH:mm:ss"));
}

// An opener that takes its time, as a player starting up does.
class SlowOpener final : public MediaOpener {
  public:
    explicit SlowOpener(int ms) : ms_(ms) {}
    bool open(const QString&, QString* = nullptr) override {
        QThread::msleep(ulong(ms_));
        return true;
    }

  private:
    int ms_;
};

} // namespace

class TestRunRealTime : public QObject {
    Q_OBJECT
  private slots:
    void runTimerDrivesTheTick();
    void runAdvanceIsARealWaitFromTheDueInstant();
    void messageBoxLeftOpenWhileRowsFire();
};

void TestRunRealTime::runTimerDrivesTheTick() {
    RunFixture f;
    SystemClock clock;
    f.start(nullptr, &clock);
    f.sleeps->openForGood();
    const QDateTime now = nowAwayFromMidnight();
    const QString day = f.writeDay("day.24h", {{timeText(now.addSecs(2)), "3", "", ""},
                                               {timeText(now.addSecs(3)), "4", "", ""}});
    for (int d = 1; d <= 31; ++d)
        f.setCalendar(d, day);

    f.form->runButton->click();
    QVERIFY(f.inRunMode());
    // Nobody calls the tick here: the run timer does, on the real clock.
    QTRY_COMPARE_WITH_TIMEOUT(f.pulses, (QList<int>{3, 4}), 8000);
    QTRY_COMPARE(f.dayMarks(), (QStringList{"+", "+"}));
    QTest::qWait(1200);
    QCOMPARE(f.pulses, (QList<int>{3, 4}));
    QVERIFY(f.inRunMode());
}

void TestRunRealTime::runAdvanceIsARealWaitFromTheDueInstant() {
    const int openerMs = 1500;
    SlowOpener slow(openerMs);
    RunFixture f;
    f.start(&slow);
    f.form->runEngine()->link()->setSleepHook({});
    QElapsedTimer sinceClick;
    QList<qint64> pulseAt;
    f.form->runEngine()->setPulseHook([&](int) { pulseAt.append(sinceClick.elapsed()); });
    f.write("clip.mp3", "media");
    MainWindow& w = *f.form;

    // A quick open: the pulse comes a whole second after the row was started.
    w.runEngine()->setRunAdvance(1);
    w.dayGrid->setRowCells(1, {"", "12:00:00", "2", "", ""});
    sinceClick.start();
    w.executeButton->click();
    QTRY_COMPARE(f.dayMarks(), QStringList{"+"});
    QCOMPARE(pulseAt.size(), 1);
    QVERIFY2(pulseAt[0] >= 995, qPrintable(QString::number(pulseAt[0])));
    QVERIFY2(pulseAt[0] < 1000 + openerMs, qPrintable(QString::number(pulseAt[0])));

    // A slow opener: the wait counts from the row's start, so the pulse is
    // not pushed back by the time the open took.
    w.runEngine()->setRunAdvance(2);
    w.dayGrid->setRowCells(1, {"", "12:00:00", "2", "", f.path("clip.mp3")});
    sinceClick.start();
    w.executeButton->click();
    QTRY_COMPARE_WITH_TIMEOUT(pulseAt.size(), 2, 6000);
    QVERIFY2(pulseAt[1] >= 1995, qPrintable(QString::number(pulseAt[1])));
    QVERIFY2(pulseAt[1] < 2000 + openerMs - 500, qPrintable(QString::number(pulseAt[1])));
}

// A failure box stays open for seconds while Run mode goes on: the run timer
// keeps ticking under it, and every later row fires once, on its second.
void TestRunRealTime::messageBoxLeftOpenWhileRowsFire() {
    RunFixture f;
    SystemClock clock;
    QtPrompter boxes;
    f.start(nullptr, &clock, &boxes);
    f.sleeps->openForGood();
    f.opener.succeed = false;
    QList<bool> boxOpenAtPulse;
    f.form->runEngine()->setPulseHook([&](int output) {
        f.pulses.append(output);
        boxOpenAtPulse.append(QApplication::activeModalWidget() != nullptr);
    });
    const QDateTime now = nowAwayFromMidnight();
    const QString day =
        f.writeDay("day.24h", {{timeText(now.addSecs(1)), "1", "", f.path("missing.mp3")},
                               {timeText(now.addSecs(2)), "5", "", ""},
                               {timeText(now.addSecs(3)), "6", "", ""}});
    for (int d = 1; d <= 31; ++d)
        f.setCalendar(d, day);

    std::atomic<int> boxesSeen{0};
    QStringList boxTexts;
    QTimer watcher;
    watcher.setInterval(100);
    QElapsedTimer open;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!open.isValid()) {
            ++boxesSeen;
            boxTexts << box->text();
            open.start();
        }
        // Left open well past the rows that follow.
        if (open.elapsed() > 3500) {
            open.invalidate();
            box->accept();
        }
    });
    watcher.start();

    f.form->runButton->click();
    QVERIFY(f.inRunMode());
    QTRY_COMPARE_WITH_TIMEOUT(f.pulses, (QList<int>{5, 6}), 10000);
    QCOMPARE(boxOpenAtPulse, (QList<bool>{true, true}));
    QCOMPARE(f.dayMarks(), (QStringList{"!", "+", "+"}));
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 8000);
    QTest::qWait(1000);
    QCOMPARE(f.pulses, (QList<int>{5, 6}));
    QCOMPARE(boxesSeen.load(), 1);
    QCOMPARE(boxTexts, QStringList{"Can't execute file"});
    QVERIFY(f.inRunMode());
}

QTEST_MAIN(TestRunRealTime)
#include "test_run_real_time.moc"
