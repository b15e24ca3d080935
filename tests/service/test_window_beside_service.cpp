// The window started beside a running service, both on the test's private
// session bus with the simulated device, the window on a desktop of its own: the window leaves the port to the
// service, shows its state and marks, sends it outputs and rows, saves a
// calendar the service takes, and follows the service as it stops and starts.
#include "ServiceStation.h"
#include "app/MainWindow.h"
#include "device/RadioBank.h"
#include "platform/Clock.h"
#include "schedule/Cells.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/TestDoubles.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// A window as the operator starts it, in the station's folder, reading the
// same settings file as the service.
struct Window {
    SystemClock clock;
    ScriptedPrompter prompter;
    RecordingOpener opener;
    std::unique_ptr<MainWindow> form;

    bool start(const Station& s, ServiceClient& client) {
        QDir::setCurrent(s.dir.path());
        QDir(s.dir.path()).mkpath(QStringLiteral("program"));
        form = std::make_unique<MainWindow>(
            MainWindow::Services{&clock, &prompter, &opener, s.path("program"), &client});
        if (!form->start())
            return false;
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    QString connection() const { return form->connectionPanel->text(); }
    QString link() const { return form->linkPanel->text(); }
    QString mark(int row) const { return form->daySchedule().rows().cell(DayCol::Mark, row); }
};

// The device, and the service on it with its link up. The window started
// after it is given the same COM1.
bool startService(Station& s, const ServiceClient& client, QProcess& run) {
    if (!s.device.start())
        return false;
    qputenv("CANTREL_COM1", s.device.linkPath().toLocal8Bit());
    s.start(run);
    return stateWithLink(client).linkText == QLatin1String("Link OK");
}

} // namespace

class TestWindowBesideService : public QObject {
    Q_OBJECT
  private slots:
    void init() { oldCurrent_ = QDir::currentPath(); }
    void cleanup() { QDir::setCurrent(oldCurrent_); }
    void worksBesideTheService();
    void followsTheServiceStoppingAndStarting();

  private:
    QString oldCurrent_;
};

// Started beside the service: no second opener of the port, the service's
// connection, link, next row and marks on show; a radio click and Execute
// go out once through the service; a calendar saved here is taken by the
// service without a row fired twice; the window closes and the settings
// still hold the service's connection.
void TestWindowBesideService::worksBesideTheService() {
    Station s;
    const QString day = s.setUp({s.at(5) + ",3,first,", s.at(3600) + ",4,second,"});
    s.write("other.24h", (s.at(5) + ",3,first,\r\n" + s.at(12) + ",6,added,\r\n").toUtf8());
    ServiceClient client;
    QProcess run;
    QVERIFY(startService(s, client, run));

    Window w;
    QVERIFY(w.start(s, client));
    QVERIFY(w.form->besideService());
    QVERIFY(!w.form->device().serialOpen());
    QCOMPARE(w.prompter.takeTexts(), QStringList());
    QTRY_COMPARE(w.connection(), QStringLiteral("Connection: COM1 (service)   Device ID: 0"));
    QTRY_COMPARE(w.link(), QStringLiteral("Link OK"));
    QTRY_VERIFY(w.form->nextRowPanel->text().startsWith("Next: " + s.at(5) + "  P3  first  in 0:00:0"));
    QVERIFY(!w.form->runButton->isEnabled());
    QVERIFY(w.form->runButton->toolTip().contains(QLatin1String("cantrel --run")));

    // Today's file, as the service runs it: its marks follow the service's.
    w.form->loadDaySchedule(day);
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tfired\t" + s.at(5).toUtf8()), 10000);
    QTRY_COMPARE(w.mark(1), QStringLiteral("+"));
    QCOMPARE(w.mark(2), QString());
    QVERIFY(!w.form->daySchedule().isModified());

    // A radio click and Execute, through the service, once each.
    QTest::mouseClick(w.form->radioBank()->button(5), Qt::LeftButton);
    w.form->dayGrid->setRow(2);
    QTest::mouseClick(w.form->executeButton, Qt::LeftButton);
    QTRY_COMPARE(s.requestsFor(5), 1);
    QTRY_COMPARE(s.requestsFor(4), 1);
    QTRY_COMPARE(s.log().count("\texecuted\t\t5\t\t\t\tby hand over the bus\n"), 1);
    QTRY_COMPARE(s.log().count("\texecuted\t" + s.at(3600).toUtf8() + "\t4\tsecond\t\t\tby hand\n"),
                 1);
    QTRY_COMPARE(w.mark(2), QStringLiteral("+"));

    // A calendar saved here naming another file for today: the service takes
    // it; the row that fired already does not fire again.
    w.form->loadMonthCalendar(s.path("month.31d"));
    w.form->monthCalendar().rows().setCell(MonthCol::File, s.now.date().day(), s.path("other.24h"));
    w.form->monthCalendar().setModified(true);
    w.form->monthCalendarFiles().save();
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tfired\t" + s.at(12).toUtf8() + "\t6\tadded\t"),
                             15000);
    QVERIFY(s.log().contains("\tday loaded\t\t\t\t\t\t" + s.path("other.24h").toUtf8() + "\n"));
    QCOMPARE(s.requestsFor(3), 1);
    QCOMPARE(s.requestsFor(6), 1);

    // Closing keeps the connection the service holds in the settings.
    QVERIFY(w.form->close());
    QVERIFY(s.read("program/Cantrel.ini").contains("Port=2\r\n"));
    QCOMPARE(w.prompter.takeTexts(), QStringList());
    QCOMPARE(endWith(run, SIGTERM), 0);
}

// The service stops: the window takes the device within a few seconds, and
// Run is there again. It starts again: the window gives the port up, and the
// service's link comes up.
void TestWindowBesideService::followsTheServiceStoppingAndStarting() {
    Station s;
    s.setUp({s.at(3600) + ",4,later,"});
    ServiceClient client;
    QProcess run;
    QVERIFY(startService(s, client, run));
    Window w;
    QVERIFY(w.start(s, client));
    QTRY_COMPARE(w.connection(), QStringLiteral("Connection: COM1 (service)   Device ID: 0"));

    QCOMPARE(endWith(run, SIGTERM), 0);
    QTRY_VERIFY_WITH_TIMEOUT(w.form->device().serialOpen(), 10000);
    QVERIFY(!w.form->besideService());
    QCOMPARE(w.connection(), QStringLiteral("Connection: COM1   Device ID: 0"));
    QVERIFY(w.form->runButton->isEnabled());
    QCOMPARE(w.form->runButton->toolTip(),
             QStringLiteral("Run mode: each row of today's day schedule fires at its time"));
    QTRY_COMPARE_WITH_TIMEOUT(w.link(), QStringLiteral("Link OK"), 10000);
    // The window's own click goes out through its own port.
    QTest::mouseClick(w.form->radioBank()->button(7), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.form->device().idle(), 10000);
    QCOMPARE(s.requestsFor(7), 1);

    QProcess again;
    s.start(again);
    QTRY_VERIFY_WITH_TIMEOUT(w.form->besideService(), 10000);
    QVERIFY(!w.form->device().serialOpen());
    QCOMPARE(stateWithLink(client).linkText, QStringLiteral("Link OK"));
    QTRY_COMPARE(w.connection(), QStringLiteral("Connection: COM1 (service)   Device ID: 0"));
    QVERIFY(!w.form->runButton->isEnabled());
    QCOMPARE(w.prompter.takeTexts(), QStringList());
    QCOMPARE(endWith(again, SIGTERM), 0);
}

QTEST_MAIN(TestWindowBesideService)
#include "test_window_beside_service.moc"
