// The main window's side of the device link: start-up with the port library,
// the radio bank on both roads, and the link test against the simulated device.
#include "device/DeviceTestSupport.h"
#include "schedule/StringGrid.h"
#include "support/MainFormFixture.h"

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

QRadioButton* radio(const TMainForm& w, int n) {
    return w.BottomPanel->findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n));
}

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
    void serialLinkTestAndReportedSelection();
    void deviceGoingAwayAndComingBack();
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
    MainFormFixture f;
    f.write("Cantrel.ini", "Port=1\r\n");
    QVERIFY(!f.start());
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, text);
    QVERIFY(!QFile::exists(f.path("program/Cantrel.ini")));
}

void TestWindowDevice::parallelRadioClicksPulse() {
    MainFormFixture f;
    EnvScope trace("CANTREL_PORT_TRACE", f.path("ports.trace"));
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    QCOMPARE(traceWrites(f.path("ports.trace")), QStringList{"0378 FF"});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    QTest::mouseClick(radio(w, 3), Qt::LeftButton);
    QVERIFY(radio(w, 3)->isChecked());
    // Clicking the selected button again sends nothing.
    QTest::mouseClick(radio(w, 3), Qt::LeftButton);
    QCOMPARE(traceWrites(f.path("ports.trace")), (QStringList{"0378 FF", "0378 FB", "0378 FF"}));

    w.device().SetConnection(1);
    QCOMPARE(w.ConnectionPanel->text(), QStringLiteral("Connection: LPT278"));
    QVERIFY(radio(w, 4)->isEnabled());
    QVERIFY(!radio(w, 5)->isEnabled());
    QTest::mouseClick(radio(w, 1), Qt::LeftButton);
    QCOMPARE(traceWrites(f.path("ports.trace")).mid(3), (QStringList{"0278 FE", "0278 FF"}));
    // The link test sends nothing on a parallel connection.
    w.TestLinkTimerTimer();
    QCOMPARE(w.LinkPanel->text(), QStringLiteral("Wait"));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestWindowDevice::serialLinkTestAndReportedSelection() {
    MainFormFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    QVERIFY(sim.start({"--selected", "7"}));
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.device().DeviceID = 5;
    w.device().SetConnection(2);
    QCOMPARE(w.ConnectionPanel->text(), QStringLiteral("Connection: COM1   Device ID: 5"));
    QCOMPARE(w.LinkPanel->text(), QStringLiteral("Wait"));
    for (int n = 1; n <= 16; ++n)
        QVERIFY(radio(w, n)->isEnabled());

    // The link test's answer selects the device's output 7, which fires it.
    QTimer::singleShot(0, &w, [&w] { w.TestLinkTimer->timeout({}); });
    QTRY_COMPARE(w.LinkPanel->text(), QStringLiteral("Link OK"));
    QVERIFY(radio(w, 7)->isChecked());
    QVERIFY(sim.requests().value(0).startsWith("FD 05 00 79"));
    QVERIFY(sim.requests().value(1).startsWith("FD 05 07 72"));

    // Once selected, the same report fires nothing more.
    w.TestLinkTimerTimer();
    QCOMPARE(sim.requests().size(), 3);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestWindowDevice::deviceGoingAwayAndComingBack() {
    MainFormFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    QVERIFY(sim.start());
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.device().SetConnection(2);

    sim.setMode("silent");
    QElapsedTimer timer;
    timer.start();
    w.TestLinkTimerTimer();
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(w.LinkPanel->text(), QStringLiteral("No link"));

    // The line hangs up: the link test fails with a message, and never hangs.
    sim.setMode("hangup");
    QTRY_VERIFY([&] {
        timer.restart();
        w.TestLinkTimer->timeout({});
        return timer.elapsed() < 1000 && !f.prompter.takeShown().isEmpty();
    }());
    QVERIFY(sim.waitForTerminal());
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            w.handle([&] { w.TestLinkTimerTimer(); });
            return w.LinkPanel->text() == QStringLiteral("Link OK");
        }(),
        5000);
}

void TestWindowDevice::deviceGoingAwayInRunMode() {
    MainFormFixture f;
    DevSim sim(bin() + "/cantrel-devsim", f.dir.path());
    QVERIFY(sim.start());
    EnvScope com1("CANTREL_COM1", sim.linkPath());
    f.write("day.24h", "12:00:00,3\r\n12:00:05,4\r\n");
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(11, 59, 59)));
    QVERIFY(f.start());
    TMainForm& w = *f.form;
    w.device().SetConnection(2);
    w.MonthGrid->setCell(2, 10, f.path("day.24h"));
    w.RunButton->click();
    QVERIFY(w.Timer->isActive());

    // The line hangs up just as a row falls due: the row may fail, Run mode
    // goes on, nothing hangs.
    sim.setMode("hangup");
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 0)));
    w.TimerTimer();
    QTRY_VERIFY(!w.DayGrid->cell(0, 1).isEmpty() && w.DayGrid->cell(0, 1) != ">");
    if (w.DayGrid->cell(0, 1) == "!")
        QVERIFY(QStringList({"Can't read from port", "Can't write to port"})
                    .contains(f.prompter.takeTexts().value(0)));
    QVERIFY(w.Timer->isActive());

    // Once the device is back, the next row fires on it.
    QVERIFY(sim.waitForTerminal());
    QTRY_VERIFY([&] {
        w.handle([&] { w.TestLinkTimerTimer(); });
        return w.LinkPanel->text() == QStringLiteral("Link OK");
    }());
    f.clock.set(QDateTime(QDate(2026, 12, 10), QTime(12, 0, 5)));
    w.TimerTimer();
    QTRY_COMPARE(w.DayGrid->cell(0, 2), QStringLiteral("+"));
    QVERIFY(sim.requests().filter("FD 00 04 ").size() == 1);
    w.RunButton->click();
    QVERIFY(!w.Timer->isActive());
}

QTEST_MAIN(TestWindowDevice)
#include "test_window_device.moc"
