// `cantrel --run` as a service, as a process on the test's private session
// bus: its state and events through the client, its two calls reaching the
// simulated device, `cantrel --status`, a run that cannot be watched, and the
// notifications and alert command of what matters.
#include "NotificationServer.h"
#include "ServiceStation.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// An alert command that records its arguments as one line, written at once:
// alerts run side by side, and a line written piece by piece would mix with
// another's.
const QByteArray kOneLinePerAlert = QByteArrayLiteral(
    "line=; for a in \"$@\"; do line=\"$line[$a]\"; done\nprintf '%s\\n' \"$line\" >> \"$0.args\"\n");

struct StatusRun {
    int status;
    QString out;
    QString err;
};

StatusRun status(const Station& s, const QStringList& extra = {}) {
    QProcess run;
    s.start(run, {"--status"}, extra);
    if (!run.waitForFinished(10000))
        return {-1, {}, {}};
    return {run.exitCode(), QString::fromUtf8(run.readAllStandardOutput()),
            QString::fromUtf8(run.readAllStandardError())};
}

} // namespace

class TestRunService : public QObject {
    Q_OBJECT
  private slots:
    void stateEventsAndCalls();
    void statusCommand();
    void cannotBeWatched();
    void toldWhenItMatters();
    void toldOfRowsMissedInASuspend();
};

// The state against what the run was given; one event signal per line of
// the as-run log, in order, with the line's fields; an output fired by hand
// reaches the device once and is logged executed; a row executed fires.
void TestRunService::stateEventsAndCalls() {
    Station s;
    QVERIFY(s.device.start());
    const QString media = s.path("a b.mp3");
    s.write("a b.mp3", "sound");
    const QString day = s.setUp({s.at(6) + ",3,first,\"" + media + "\"", s.at(600) + ",4,second,"});
    ServiceClient client;
    QList<ServiceEvent> events;
    connect(&client, &ServiceClient::eventLogged, this,
            [&events](const ServiceEvent& event) { events << event; });
    int started = 0, stopped = 0, changed = 0;
    connect(&client, &ServiceClient::serviceStarted, this, [&started] { ++started; });
    connect(&client, &ServiceClient::serviceStopped, this, [&stopped] { ++stopped; });
    connect(&client, &ServiceClient::stateChanged, this, [&changed] { ++changed; });
    QVERIFY(!client.serviceRunning());

    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    QProcess run;
    s.start(run);
    QTRY_VERIFY_WITH_TIMEOUT(client.serviceRunning(), 10000);
    QTRY_COMPARE(started, 1);
    // Read before the link is up (the first link test is 3 s away), while
    // the first row is still ahead.
    const ServiceState state = client.readState().value_or(ServiceState());
    QVERIFY(state.runningSince >= before && state.runningSince <= QDateTime::currentDateTime());
    QCOMPARE(state.processId, quint32(run.processId()));
    QCOMPARE(state.settingsFile, s.path("Cantrel.ini"));
    QCOMPARE(state.monthCalendar, s.path("month.31d"));
    QCOMPARE(state.dayFile, day);
    QCOMPARE(state.connectionText, QStringLiteral("Connection: COM1   Device ID: 0"));
    QCOMPARE(stateWithLink(client).linkText, QStringLiteral("Link OK"));
    QCOMPARE(state.runAdvance, 0);
    QCOMPARE(state.nextRow, QStringList({s.at(6), "3", "first", media}));
    QVERIFY2(state.msToNext > 0 && state.msToNext <= 6000,
             qPrintable(QString::number(state.msToNext)));
    QCOMPARE(state.marks, QStringList({"", ""}));
    QCOMPARE(state.recentEvents.size(), 2);
    QCOMPARE(state.recentEvents[0].fields().mid(1),
             QStringList({"day loaded", "", "", "", "", "", day}));
    QCOMPARE(state.recentEvents[1].fields().mid(1),
             QStringList(
                 {"run entered", "", "", "", "", "",
                  "calendar " + s.path("month.31d") + ", day file " + day + ", run advance 0 s"}));

    // Outputs by hand, as radio-button clicks; the ones not there refused.
    changed = 0;
    for (int output = 5; output <= 10; ++output)
        QCOMPARE(answerOf([&](auto done) { client.fireOutput(output, done); }), QString());
    QCOMPARE(answerOf([&](auto done) { client.fireOutput(17, done); }),
             QStringLiteral("No output 17: the connection has outputs 1 to 16"));
    QCOMPARE(answerOf([&](auto done) { client.fireOutput(0, done); }),
             QStringLiteral("No output 0: the connection has outputs 1 to 16"));
    QCOMPARE(answerOf([&](auto done) { client.executeRow(3, done); }),
             "No row 3: today's day file " + day + " has rows 1 to 2");
    QCOMPARE(answerOf([&](auto done) { client.executeRow(2, done); }), QString());
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tfired\t" + s.at(6).toUtf8()), 10000);
    QTRY_COMPARE(client.readState().value_or(ServiceState()).marks, QStringList({"+", "+"}));
    QVERIFY(changed > 0);
    for (int output = 4; output <= 10; ++output)
        QCOMPARE(s.requestsFor(output), 1);
    QCOMPARE(s.requestsFor(3), 1);
    const QByteArray log = s.log();
    for (int output = 5; output <= 10; ++output)
        QCOMPARE(log.count("\texecuted\t\t" + QByteArray::number(output) +
                           "\t\t\t\tby hand over the bus\n"),
                 1);
    QCOMPARE(log.count("\texecuted\t" + s.at(600).toUtf8() + "\t4\tsecond\t\t\tby hand\n"), 1);

    // The last ten events, as the signals gave them.
    QTRY_COMPARE(events.size(), int(linesOf(s.log()).size()));
    QList<QStringList> lastTen;
    for (const ServiceEvent& event : events.mid(events.size() - 10))
        lastTen << event.fields();
    QList<QStringList> kept;
    const ServiceState later = client.readState().value_or(ServiceState());
    for (const ServiceEvent& event : later.recentEvents)
        kept << event.fields();
    QCOMPARE(kept, lastTen);

    QCOMPARE(endWith(run, SIGTERM), 0);
    QTRY_COMPARE(stopped, 1);
    QVERIFY(!client.serviceRunning());
    // The last, run left, too: it went out before the program ended.
    QTRY_COMPARE(events.size(), int(linesOf(s.log()).size()));
    QStringList signalled;
    for (const ServiceEvent& event : events)
        signalled << event.fields().join(u'\t');
    QCOMPARE(signalled, linesOf(s.log()));
}

// For a person at a terminal: what runs, its files, connection and link,
// the next row and the last events; 3 when nothing runs, 1 without a bus.
void TestRunService::statusCommand() {
    Station s;
    QVERIFY(s.device.start());
    const QString day = s.setUp({s.at(3) + ",3,first,", s.at(3600) + ",4,second,"});
    ServiceClient client;
    QProcess run;
    s.start(run);
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tfired\t"), 10000);
    const ServiceState state = stateWithLink(client);

    const StatusRun running = status(s);
    QCOMPARE(running.status, 0);
    QCOMPARE(running.err, QString());
    // Each line of the log as a person reads it.
    QStringList events;
    for (const QString& line : linesOf(s.log())) {
        const QStringList f = line.split(u'\t');
        if (f[1] == "day loaded" || f[1] == "run entered")
            events << QStringLiteral("  %1  %2  %3").arg(f[0], f[1], f[7]);
        else if (f[1] == "opened")
            events << QStringLiteral("  %1  opened  %2  P3  first").arg(f[0], s.at(3));
        else if (f[1] == "fired")
            events << QStringLiteral("  %1  fired  %2  P3  first  %3 ms late")
                          .arg(f[0], s.at(3), f[6]);
        else
            events << line;
    }
    const QStringList lines = running.out.split(u'\n');
    QCOMPARE(lines.mid(0, 5),
             QStringList({"cantrel --run is running since " +
                              state.runningSince.toString("yyyy-MM-dd HH:mm:ss") +
                              " +00:00 (process " + QString::number(run.processId()) + ")",
                          "Settings: " + s.path("Cantrel.ini"), "Calendar: " + s.path("month.31d"),
                          "Day file: " + day + ", run advance 0 s",
                          "Connection: COM1   Device ID: 0   Link OK"}));
    QVERIFY2(QRegularExpression("^Next: " + s.at(3600) + "  P4  second  in 0:59:[45]\\d$")
                 .match(lines[5])
                 .hasMatch(),
             qPrintable(lines[5]));
    QCOMPARE(lines.mid(6), QStringList({"Last events:"}) + events + QStringList({""}));

    QCOMPARE(endWith(run, SIGTERM), 0);
    const StatusRun none = status(s);
    QCOMPARE(none.status, 3);
    QCOMPARE(none.out, QStringLiteral("cantrel --run is not running: no service on this user's "
                                      "session bus\n"));
    QCOMPARE(none.err, QString());

    const StatusRun noBus = status(s, {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + s.path("no-bus")});
    QCOMPARE(noBus.status, 1);
    QCOMPARE(noBus.out, QString());
    QCOMPARE(noBus.err, "cantrel: no session bus to ask (Failed to connect to socket " +
                            s.path("no-bus") + ": No such file or directory)\n");
}

// A second run finds the name taken, and a run without a bus has nowhere to
// be: each says so once and runs as it would have.
void TestRunService::cannotBeWatched() {
    Station s;
    QVERIFY(s.device.start());
    s.setUp({s.at(3) + ",3,first,"});
    ServiceClient client;
    QProcess first, second, alone;
    s.start(first);
    QTRY_VERIFY_WITH_TIMEOUT(client.serviceRunning(), 10000);
    // On the parallel port, with a trace to see its pulse.
    const QStringList parallel = {"CANTREL_PORT_TRACE=" + s.path("trace"),
                                  "XDG_STATE_HOME=" + s.path("second")};
    s.write("second.ini", "file31d=" + s.path("month.31d").toUtf8() + "\r\nPort=0\r\n");
    s.start(second, {"--run", "--settings", "second.ini"}, parallel);
    s.start(alone, {"--run", "--settings", "second.ini"},
            {"DBUS_SESSION_BUS_ADDRESS=unix:path=" + s.path("no-bus"),
             "CANTREL_PORT_TRACE=" + s.path("trace-alone"), "XDG_STATE_HOME=" + s.path("alone")});
    QTRY_VERIFY_WITH_TIMEOUT(s.read("trace").contains(" 0378 FB") &&
                                 s.read("trace-alone").contains(" 0378 FB") &&
                                 s.requestsFor(3) == 1,
                             10000);
    QCOMPARE(client.readState().value_or(ServiceState()).processId, quint32(first.processId()));
    QCOMPARE(endWith(second, SIGTERM), 0);
    QCOMPARE(endWith(alone, SIGTERM), 0);
    QCOMPARE(endWith(first, SIGTERM), 0);
    QCOMPARE(saidLines(second.readAllStandardError(),
                       "Cannot be watched: another cantrel --run has org.cantrel.Cantrel.Service "
                       "on the session bus; cantrel --status sees that one"),
             1);
    QCOMPARE(saidLines(alone.readAllStandardError(),
                       "Cannot be watched: no session bus (Failed to connect to socket " +
                           s.path("no-bus") +
                           ": No such file or directory); cantrel --status cannot see this run "
                           "and no desktop notification is posted"),
             1);
    QVERIFY(!first.readAllStandardError().contains("Cannot be watched"));
}

// A row that fails, the link down and back, and the run ending by itself:
// each a notification and a start of the alert command with its log fields;
// a row that fires is neither. The last are out before the program ends.
void TestRunService::toldWhenItMatters() {
    NotificationServer server;
    QVERIFY(server.start());
    Station s;
    QVERIFY(s.device.start());
    // A second to tell, as a mail would take.
    const QString recorder =
        s.script("alert.sh", "sleep 1\n" + kOneLinePerAlert);
    const QString media = s.path("gone.mp3");
    const QString day = s.setUp({s.at(3) + ",3,first," + media, s.at(4) + ",4,second,"});
    QProcess run;
    s.start(run, {"--run"}, {"CANTREL_ALERT=" + recorder});
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tfired\t"), 10000);
    s.device.setMode("silent");
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tlink down\t"), 10000);
    s.device.setMode("normal");
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tlink back\t"), 10000);
    s.write("today.24h.new", s.at(3).toUtf8() + ",3,first,\r\nxx:yy,4,second,\r\n");
    QVERIFY(QFile::rename(s.path("today.24h.new"), day) ||
            (QFile::remove(day) && QFile::rename(s.path("today.24h.new"), day)));
    // Not waitForFinished: the stand-in server answers from this event loop.
    QTRY_COMPARE_WITH_TIMEOUT(run.state(), QProcess::NotRunning, 15000);
    QCOMPARE(run.exitCode(), 1);

    const QStringList alerted = linesOf(s.read("alert.sh.args"));
    // Sent before the program ended, or lost with it.
    QTRY_COMPARE(
        server.seen(),
        QStringList(
            {"Failed: " + s.at(3) + "  P3  first  Can't execute file: " + media +
                 ": no such file  replaces 0  stays",
             "Link down  No link  replaces 0  stays", "Link back  Link OK  replaces 2  goes",
             "Run ended  'xx:yy' in row 2 of " + day + " is not a valid time  replaces 0  stays"}));
    QStringList told;
    for (const QString& line : linesOf(s.log()))
        for (const char* event : {"\tfailed\t", "\tlink down\t", "\tlink back\t", "\trun left\t"})
            if (line.contains(QLatin1String(event)))
                told << "[" + line.split(u'\t').join("][") + "]";
    QCOMPARE(told.size(), 4);
    // The last alert had its second before the program ended: under
    // systemd the unit's leftover processes go with it.
    QCOMPARE(alerted, told);
}

// The machine asleep over three rows (the clock, real and steady, moved on
// 90 s at once by libfaketime): each row is logged missed and given to the
// alert command, the desktop gets one notification for the three, and the
// row after the wake fires.
void TestRunService::toldOfRowsMissedInASuspend() {
    const QString faketime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");
    if (!QFileInfo::exists(faketime))
        QSKIP("libfaketime is not installed");
    NotificationServer server;
    QVERIFY(server.start());
    Station s;
    QVERIFY(s.device.start());
    const QString recorder =
        s.script("alert.sh", kOneLinePerAlert);
    s.setUp({s.at(20) + ",3,first,", s.at(25) + ",4,second,", s.at(30) + ",5,third,",
             s.at(100) + ",6,\"after the wake\","});
    s.write("offset", "+0\n");
    QProcess run;
    s.start(run, {"--run"},
            {"CANTREL_ALERT=" + recorder, "LD_PRELOAD=" + faketime,
             "FAKETIME_TIMESTAMP_FILE=" + s.path("offset"), "FAKETIME_NO_CACHE=1",
             "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") + ":verify_asan_link_order=0"});
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\trun entered\t"), 10000);
    s.write("offset", "+90\n");
    QTRY_VERIFY_WITH_TIMEOUT(s.log().contains("\tfired\t" + s.at(100).toUtf8()), 30000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    QStringList missed;
    for (const QString& line : linesOf(s.log()))
        if (line.contains(QLatin1String("\tmissed\t")))
            missed << "[" + line.split(u'\t').join("][") + "]";
    QCOMPARE(missed.size(), 3);
    const QString why = missed[0].section(u'[', 8, 8).chopped(1);
    QVERIFY2(QRegularExpression("^the ticks were 9\\d\\.\\d s apart, more than 60 s$")
                 .match(why)
                 .hasMatch(),
             qPrintable(why));
    // The alert commands are not waited for and run side by side: on a loaded
    // machine the last may still be writing after the run has ended, and
    // they may write in any order.
    const auto sorted = [](QStringList lines) {
        lines.sort();
        return lines;
    };
    QTRY_COMPARE(sorted(linesOf(s.read("alert.sh.args"))), sorted(missed));
    QTRY_COMPARE(server.seen(),
                 QStringList({"Missed: 3 rows, " + s.at(20) + " to " + s.at(30) + "  " + why +
                              "\n" + s.at(20) + "  P3  first\n" + s.at(25) + "  P4  second\n" +
                              s.at(30) + "  P5  third  replaces 0  stays"}));
    QCOMPARE(s.requestsFor(6), 1);
    for (int output = 3; output <= 5; ++output)
        QCOMPARE(s.requestsFor(output), 0);
}

QTEST_GUILESS_MAIN(TestRunService)
#include "test_run_service.moc"
