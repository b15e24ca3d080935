// The main window's side of the device link: start-up with the port library,
// the radio bank on both roads, and the link test against the simulated device.
#include "run/RunEngine.h"
#include "device/DeviceTestSupport.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <algorithm>
#include <functional>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace cantrel;
using namespace cantrel::test;

namespace {

QString bin() {
    return qEnvironmentVariable("CANTREL_TEST_BIN");
}

// "2026-12-10 06:55:01.123 0378 FB" -> "0378 FB"
QStringList traceWrites(const QString& path) {
    QFile file(path);
    QStringList out;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& line : file.readAll().split('\n'))
            if (!line.isEmpty())
                out << QString::fromLatin1(line).section(' ', 2);
    return out;
}

QRadioButton* radio(const MainWindow& w, int n) {
    return w.bottomPanel->findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n));
}

// Shown boxes as "kind|caption|text", the form the checks below compare.
QStringList boxes(ScriptedPrompter& prompter) {
    QStringList out;
    for (const ScriptedPrompter::Shown& s : prompter.takeShown())
        out << s.kind + '|' + s.caption + '|' + s.text;
    return out;
}

// Runs link tests, as the timer would, until one reads "Link OK".
bool linkComesBack(MainWindow& w) {
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        w.linkTestTimer->timeout({});
        if (w.linkPanel->text() == QStringLiteral("Link OK"))
            return true;
        QTest::qWait(50);
    }
    return false;
}

// Keeps each error box open for holdMs, running the event loop meanwhile as a
// real box does, so the window's timers go on firing under it.
class HoldingPrompter final : public Prompter {
  public:
    struct Box {
        QString kind, caption, text;
        int openBoxes = 0;  // boxes open while this one was, itself included
        int ticksUnder = 0; // link test ticks while it was open
        QString seenAtClose; // what look() gave just before it closed
    };
    QList<Box> shown;
    int holdMs = 0;
    int ticks = 0;
    std::function<QString()> look;

    void message(const QString& caption, const QString& text, const QString& = {}) override {
        shown.append({QStringLiteral("message"), caption, text, open_ + 1, 0, {}});
    }
    void error(const QString& caption, const QString& text, const QString& = {}) override {
        const qsizetype index = shown.size();
        shown.append({QStringLiteral("error"), caption, text, ++open_, 0, {}});
        const int ticksBefore = ticks;
        if (holdMs > 0) {
            QEventLoop box;
            QTimer::singleShot(holdMs, &box, &QEventLoop::quit);
            box.exec();
        }
        shown[index].ticksUnder = ticks - ticksBefore;
        if (look)
            shown[index].seenAtClose = look();
        --open_;
    }
    Answer question(const QString&, const QString&) override { return Answer::Cancel; }
    QString openFile(const FileDialogRequest&) override { return {}; }
    QString saveFile(const FileDialogRequest&) override { return {}; }

  private:
    int open_ = 0;
};

// The device answers on its own thread: waits until what was asked of it
// has been done and its results have reached the window.
#define SETTLE(w) QTRY_VERIFY_WITH_TIMEOUT((w).device().idle(), 10000)

struct EnvScope {
    QByteArray name;
    EnvScope(const char* n, const QString& value) : name(n) {
        qputenv(n, value.toLocal8Bit());
    }
    ~EnvScope() { qunsetenv(name.constData()); }
};

} // namespace

class TestWindowDevice : public QObject {
    Q_OBJECT
private slots:
    void startupEndsWithoutPortLibrary_data();
    void startupEndsWithoutPortLibrary();
    void parallelRadioClicksPulse();
    void reportedSelection_data();
    void reportedSelection();
    void deviceGoingAwayAndComingBack();
    void linkTestGoesOnUnderItsFailureBox();
    void deviceGoingAwayInRunMode();
};

void TestWindowDevice::startupEndsWithoutPortLibrary_data() {
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing") << "/nonexistent/inpout32"
                             << "Load inpout32 Library Failed. Reinstall application\n";
    QTest::newRow("no Out32") << bin() + "/testlibs/no_out32/libinpout32.so"
                              << "GetProcAddress for Oup32 Failed. Reinstall application\n";
}

void TestWindowDevice::startupEndsWithoutPortLibrary() {
    QFETCH(QString, library);
    QFETCH(QString, text);
    EnvScope lib("CANTREL_PORT_LIBRARY", library);
    MainWindowFixture f;
    f.write("Cantrel.ini", "Port=1\r\n");
    QVERIFY(!f.start());
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, text);
    QVERIFY(!QFile::exists(f.path("program/Cantrel.ini")));
}

void TestWindowDevice::parallelRadioClicksPulse() {
    MainWindowFixture f;
    EnvScope trace("CANTREL_PORT_TRACE", f.path("ports.trace"));
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    QCOMPARE(traceWrites(f.path("ports.trace")), QStringList{"0378 FF"});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QTest::mouseClick(radio(w, 3), Qt::LeftButton);
    QVERIFY(radio(w, 3)->isChecked());
    // Clicking the selected button again sends nothing.
    QTest::mouseClick(radio(w, 3), Qt::LeftButton);
    SETTLE(w);
    QCOMPARE(traceWrites(f.path("ports.trace")), (QStringList{"0378 FF", "0378 FB", "0378 FF"}));

    w.device().setConnection(1);
    QCOMPARE(w.connectionPanel->text(), QStringLiteral("Connection: LPT278"));
    QVERIFY(radio(w, 4)->isEnabled());
    QVERIFY(!radio(w, 5)->isEnabled());
    QTest::mouseClick(radio(w, 1), Qt::LeftButton);
    SETTLE(w);
    QCOMPARE(traceWrites(f.path("ports.trace")).mid(3), (QStringList{"0278 FE", "0278 FF"}));
    // The link test sends nothing on a parallel connection.
    w.device().testLink();
    SETTLE(w);
    QCOMPARE(w.linkPanel->text(), QStringLiteral("Wait"));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

// The device's selected output, reported in the link test's answer, selects
// that radio button of the bank and fires its output.
void TestWindowDevice::reportedSelection_data() {
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("fired");
    QTest::newRow("1") << "1" << "FD 05 01 78";
    QTest::newRow("7") << "7" << "FD 05 07 72";
    QTest::newRow("16") << "16" << "FD 05 10 69";
}

void TestWindowDevice::reportedSelection() {
    QFETCH(QString, selected);
    QFETCH(QString, fired);
    MainWindowFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    QVERIFY(sim.start({"--selected", selected}));
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.linkTestTimer->stop(); // the test counts the requests itself
    w.device().deviceId = 5;
    w.device().setConnection(2);
    QCOMPARE(w.connectionPanel->text(), QStringLiteral("Connection: COM1   Device ID: 5"));
    QCOMPARE(w.linkPanel->text(), QStringLiteral("Wait"));
    for (int n = 1; n <= 16; ++n)
        QVERIFY(radio(w, n)->isEnabled());

    w.linkTestTimer->timeout({});
    SETTLE(w);
    QCOMPARE(w.linkPanel->text(), QStringLiteral("Link OK"));
    for (int n = 1; n <= 16; ++n)
        QCOMPARE(radio(w, n)->isChecked(), QString::number(n) == selected);
    QCOMPARE(sim.requests().size(), 2);
    QVERIFY(sim.requests().value(0).startsWith("FD 05 00 79 "));
    QVERIFY(sim.requests().value(1).startsWith(fired + ' '));

    // Once selected, the same report fires nothing more.
    w.linkTestTimer->timeout({});
    SETTLE(w);
    QCOMPARE(sim.requests().size(), 3);
    QVERIFY(sim.requests().value(2).startsWith("FD 05 00 79 "));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

// The link test and the radio buttons leave a failing line to the general
// error display; the link recovers by itself once the device is back.
void TestWindowDevice::deviceGoingAwayAndComingBack() {
    MainWindowFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    // Down long enough that the exchanges below surely find it gone.
    QVERIFY(sim.start({"--selected", "5", "--down-ms", "1000"}));
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.linkTestTimer->stop(); // each tick below is the test's own
    w.device().setConnection(2);

    sim.setMode("silent");
    w.linkTestTimer->timeout({});
    SETTLE(w);
    QCOMPARE(w.linkPanel->text(), QStringLiteral("No link"));

    // The answer reports output 5; selecting it fires 5, and the device hangs
    // up on that request. The failure ends the link test too: its own text is
    // not shown.
    sim.setMode("normal hangup");
    w.linkTestTimer->timeout({});
    SETTLE(w);
    QCOMPARE(boxes(f.prompter), QStringList{"error|Cantrel|Can't read from port"});
    QVERIFY(radio(w, 5)->isChecked());
    QCOMPARE(w.linkPanel->text(), QStringLiteral("No link"));
    const QStringList requests = sim.requests();
    QCOMPARE(requests.size(), 3);
    QVERIFY(requests[1].startsWith("FD 00 00 06 normal "));
    QVERIFY(requests[2].startsWith("FD 00 05 79 hangup "));

    // While it is down, both the link test and a click fail on the write.
    w.linkTestTimer->timeout({});
    SETTLE(w);
    QCOMPARE(boxes(f.prompter), QStringList{"error|Cantrel|Can't write to port"});
    radio(w, 3)->click();
    SETTLE(w);
    QCOMPARE(boxes(f.prompter), QStringList{"error|Cantrel|Can't write to port"});

    QVERIFY(sim.waitForTerminal());
    QVERIFY(linkComesBack(w));
    f.prompter.takeShown(); // a tick may have come before the device was quite back

    // A click on a line that hangs up while it waits for the answer.
    sim.setMode("hangup");
    radio(w, 9)->click();
    SETTLE(w);
    QCOMPARE(boxes(f.prompter), QStringList{"error|Cantrel|Can't read from port"});
    QVERIFY(sim.requests().constLast().startsWith("FD 00 09 7D hangup"));
}

// While one link test's failure box is open, the link test goes on at each
// tick: the failures meanwhile stack no box on top of it, the port is taken
// up again once the device is back and the panel says so, all before the
// operator closes the box. Once it is closed, the next failure shows.
void TestWindowDevice::linkTestGoesOnUnderItsFailureBox() {
    HoldingPrompter prompter;
    MainWindowFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    // Gone for some ticks under the box, back for some more.
    QVERIFY(sim.start({"--down-ms", "1000"}));
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    f.form = std::make_unique<MainWindow>(
        MainWindow::Services{&f.clock, &prompter, &f.opener, f.programFolder()});
    QVERIFY(f.form->start());
    MainWindow& w = *f.form;
    w.linkTestTimer->stop(); // no tick before the first box below
    QObject::connect(w.linkTestTimer, &QTimer::timeout, [&prompter] { ++prompter.ticks; });
    prompter.look = [&w] { return w.linkPanel->text(); };
    w.device().setConnection(2);

    // Ticks ten times as often as the window's 3000 ms, to keep the test short.
    w.linkTestTimer->setInterval(300);
    prompter.holdMs = 3000;
    sim.setMode("hangup");
    w.linkTestTimer->start();
    w.linkTestTimer->timeout({});
    // The box opens when the failure comes back, and stays for holdMs.
    QTRY_COMPARE_WITH_TIMEOUT(prompter.shown.size(), 1, 10000);
    QCOMPARE(prompter.shown[0].kind, QStringLiteral("error"));
    QCOMPARE(prompter.shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(prompter.shown[0].text, QStringLiteral("Can't read from port"));
    QCOMPARE(prompter.shown[0].openBoxes, 1);
    QVERIFY2(prompter.shown[0].ticksUnder >= 5,
             qPrintable(QString::number(prompter.shown[0].ticksUnder)));
    QCOMPARE(prompter.shown[0].seenAtClose, QStringLiteral("Link OK"));

    prompter.holdMs = 0;
    sim.stop();
    QTRY_COMPARE_WITH_TIMEOUT(prompter.shown.size(), 2, 5000);
    QCOMPARE(prompter.shown[1].kind, QStringLiteral("error"));
    QVERIFY2(QStringList({"Can't read from port", "Can't write to port"})
                 .contains(prompter.shown[1].text),
             qPrintable(prompter.shown[1].text));
}

void TestWindowDevice::deviceGoingAwayInRunMode() {
    MainWindowFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    QVERIFY(sim.start());
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    f.write("day.24h", "12:00:00,3\r\n12:00:05,4\r\n");
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59)));
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.device().setConnection(2);
    w.monthGrid->setCell(2, 10, f.path("day.24h"));
    w.runButton->click();
    QVERIFY(w.runEngine()->running());

    // The link test goes on in Run mode: the timer's own tick sends the
    // status request.
    const auto statusRequests = [&sim] { return sim.requests().filter("FD 00 00 06 ").size(); };
    const qsizetype before = statusRequests();
    QTRY_VERIFY_WITH_TIMEOUT(statusRequests() > before, 5000);
    QTRY_COMPARE(w.linkPanel->text(), QStringLiteral("Link OK"));

    // The line hangs up just as a row falls due: the row may fail, Run mode
    // goes on, nothing hangs.
    sim.setMode("hangup");
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0)));
    w.runEngine()->tick();
    QTRY_VERIFY(w.dayGrid->cell(0, 1) == "+" || w.dayGrid->cell(0, 1) == "!");
    if (w.dayGrid->cell(0, 1) == "!") {
        // The row is marked before its box is shown; wait for the box. A link
        // test that took the hang-up first shows its own failure beside it.
        QList<ScriptedPrompter::Shown> shown;
        // Only gathers what was shown, so it may be evaluated again once it holds.
        QTRY_VERIFY([&] {
            shown += f.prompter.takeShown();
            return std::any_of(shown.cbegin(), shown.cend(),
                               [](const auto& s) { return s.kind == "message"; });
        }());
        for (const ScriptedPrompter::Shown& s : shown)
            QVERIFY2(QStringList({"Can't read from port", "Can't write to port"}).contains(s.text),
                     qPrintable(s.text));
    }
    QVERIFY(w.runEngine()->running());

    // Once the device is back, the next row fires on it.
    QVERIFY(sim.waitForTerminal());
    QVERIFY(linkComesBack(w));
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 5)));
    w.runEngine()->tick();
    QTRY_COMPARE(w.dayGrid->cell(0, 2), QStringLiteral("+"));
    QCOMPARE(sim.requests().filter("FD 00 04 ").size(), 1);

    // The device has output 4 selected now, and the bank shows it: the link
    // tests that report it do not fire it a second time.
    QVERIFY(radio(w, 4)->isChecked());
    const qsizetype afterRow = statusRequests();
    QTRY_VERIFY_WITH_TIMEOUT(statusRequests() > afterRow, 5000);
    QCOMPARE(sim.requests().filter("FD 00 04 ").size(), 1);
    w.runButton->click();
    QVERIFY(!w.runEngine()->running());
}

QTEST_MAIN(TestWindowDevice)
#include "test_window_device.moc"
