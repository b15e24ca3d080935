// What the window says of its controls when the pointer rests on them: the
// grid headers, the command buttons, the radio buttons and the status
// panels, whose tip speaks of the text they show at that moment.
#include "device/RadioBank.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "run/RunEngine.h"
#include "support/MainWindowFixture.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

class TestControlTips : public QObject {
    Q_OBJECT
private slots:
    void controls_data();
    void controls();
    void headers_data();
    void headers();
    void radiosOnParallelNameTheirPins();
    void panelsExplainWhatTheyShow_data();
    void panelsExplainWhatTheyShow();
    void runButtonFollowsTheMode();
};

void TestControlTips::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("tip");
    QTest::newRow("Insert") << "InsertButton"
                            << "Add the editing row to the day schedule, in time order (Alt+I)";
    QTest::newRow("Modify") << "ModifyButton"
                            << "Put the editing row in place of the selected row (Alt+M)";
    QTest::newRow("Remove") << "RemoveButton" << "Remove the selected row, without asking (Alt+R)";
    QTest::newRow("Execute")
        << "ExecuteButton"
        << "Fire the selected row now: its media file opens and its output switches after the "
           "run advance (Alt+E; a double-click or Enter on the row does the same)";
    QTest::newRow("Run") << "RunButton"
                         << "Run mode: each row of today's day schedule fires at its time";
    QTest::newRow("media file ...") << "Select24dButton"
                                    << "Choose the media file for the editing row";
    QTest::newRow("day file ...") << "Select31hButton"
                                  << "Choose the day schedule for the selected day";
    // Before a parallel connection every output is a serial one.
    QTest::newRow("Radio1") << "Radio1"
                            << "Output 1: a click switches it; selected when the device reports it";
    QTest::newRow("Radio16")
        << "Radio16" << "Output 16: a click switches it; selected when the device reports it";
}

void TestControlTips::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, tip);
    MainWindowFixture f;
    QVERIFY(f.start());
    auto* control = f.form->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->toolTip(), tip);
}

void TestControlTips::headers_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("tip");
    QTest::newRow("E") << "DayGrid" << 0
                       << "The row's mark: empty waits, \">\" media file opened, waiting out the "
                          "run advance, \"+\" fired, \"!\" failed";
    QTest::newRow("Time") << "DayGrid" << 1 << "The time of day the row fires, HH:MM:SS";
    QTest::newRow("P") << "DayGrid" << 2
                       << "The output the row switches on the device, 1 to 16; 0 or empty "
                          "switches none";
    QTest::newRow("Comments") << "DayGrid" << 3
                              << "Your note for the row; Run mode shows it in the status bar";
    QTest::newRow("Media file")
        << "DayGrid" << 4 << "The file opened when the row falls due; \"...\" below chooses it";
    QTest::newRow("calendar E") << "MonthGrid" << 0
                                << "\"+\": the day whose schedule Run mode has loaded";
    QTest::newRow("D") << "MonthGrid" << 1 << "The day of the month, 1 to 31";
    QTest::newRow(".24h file")
        << "MonthGrid" << 2 << "The day schedule for that day; a double-click or Enter loads it";
}

void TestControlTips::headers()
{
    QFETCH(QString, grid);
    QFETCH(int, col);
    QFETCH(QString, tip);
    MainWindowFixture f;
    QVERIFY(f.start());
    auto* view = f.form->findChild<StringGrid*>(grid);
    QVERIFY(view);
    // What the header view asks for when the pointer rests on a section.
    QCOMPARE(view->model()->headerData(col, Qt::Horizontal, Qt::ToolTipRole).toString(), tip);
}

void TestControlTips::radiosOnParallelNameTheirPins()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    f.form->device().setConnection(0);
    const auto tip = [&](int n) { return f.form->radioBank()->button(n)->toolTip(); };
    QCOMPARE(tip(1), QStringLiteral("Output 1: a click switches it (data line D0, pin 2)"));
    QCOMPARE(tip(4), QStringLiteral("Output 4: a click switches it (data line D3, pin 5)"));
    QCOMPARE(tip(8), QStringLiteral("Output 8: a click switches it (data line D7, pin 9)"));
    // No data line is left for outputs 9 to 16.
    QCOMPARE(tip(9),
             QStringLiteral("Output 9: a click switches it; selected when the device reports it"));
}

void TestControlTips::panelsExplainWhatTheyShow_data()
{
    QTest::addColumn<QString>("panel");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::newRow("none") << "ConnectionPanel" << "Connection: None"
                          << "No connection yet: Setup > Port chooses one";
    QTest::newRow("LPT378") << "ConnectionPanel" << "Connection: LPT378"
                            << "The parallel port: a row's output is a 100 ms pulse on one data line";
    QTest::newRow("no port")
        << "ConnectionPanel" << "Connection: LPT278 (no port)"
        << "This parallel port is not there or may not be used: pulses reach no device";
    QTest::newRow("COM") << "ConnectionPanel" << "Connection: COM2   Device ID: 5"
                         << "The serial port and the ID of the device it talks to";
    QTest::newRow("service")
        << "ConnectionPanel" << "Connection: COM1 (service)   Device ID: 0"
        << "The service (cantrel --run) holds the device: this window edits and watches, and a "
           "radio button goes through the service";
    QTest::newRow("Wait") << "LinkPanel" << "Wait"
                          << "No answer yet: a serial device is asked every 3 seconds; a parallel "
                             "port has no link test";
    QTest::newRow("Link OK") << "LinkPanel" << "Link OK" << "The device answered the last link test";
    QTest::newRow("No link") << "LinkPanel" << "No link"
                             << "The device did not answer: check its power, the cable and the port";
    QTest::newRow("Link error")
        << "LinkPanel" << "Link error"
        << "Something answered, but not as the device does: check the device ID and that nothing "
           "else uses the line";
    QTest::newRow("edit mode") << "NextRowPanel" << ""
                               << "In Run mode: the next row to fire and the time left";
    QTest::newRow("next row") << "NextRowPanel" << "Next: 12:00:00  P3  News  in 0:04:12"
                              << "The next row to fire: its time, output and comment, and the "
                                 "time left until it fires";
}

void TestControlTips::panelsExplainWhatTheyShow()
{
    QFETCH(QString, panel);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    MainWindowFixture f;
    QVERIFY(f.start());
    auto* label = f.form->findChild<QLabel*>(panel);
    QVERIFY(label);
    label->setText(text);
    QHelpEvent ask(QEvent::ToolTip, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(label, &ask);
    QCOMPARE(label->toolTip(), tip);
}

void TestControlTips::runButtonFollowsTheMode()
{
    MainWindowFixture f;
    QVERIFY(f.start());
    f.write("today.24h", "12:00:00,1,,\r\n");
    const int today = f.clock.now().date().day();
    f.form->monthGrid->setCell(2, today, f.path("today.24h"));
    f.form->runButton->click();
    QVERIFY(f.form->runEngine()->running());
    QCOMPARE(f.form->runButton->toolTip(),
             QStringLiteral("Back to Edit mode: no row fires until Run is pressed again"));
    f.form->runButton->click();
    QVERIFY(!f.form->runEngine()->running());
    QCOMPARE(f.form->runButton->toolTip(),
             QStringLiteral("Run mode: each row of today's day schedule fires at its time"));
}

QTEST_MAIN(TestControlTips)
#include "test_control_tips.moc"
