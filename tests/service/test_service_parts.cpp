// The parts of the service that tell a person: desktop notifications against
// a stand-in server on the test's private bus, the alert command against
// scripts, and the status text.
#include "NotificationServer.h"
#include "service/AlertCommand.h"
#include "service/DesktopNotifier.h"
#include "service/StatusText.h"

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>

using namespace cantrel;
using namespace cantrel::test;

namespace {

AsRunEvent rowEvent(const QString& what, const QString& detail, std::optional<qint64> late = {}) {
    return {what, "12:00:00", "3", "News jingle", "/srv/news.mp3", late, detail};
}

AsRunEvent plainEvent(const QString& what, const QString& detail) {
    return {what, {}, {}, {}, {}, std::nullopt, detail};
}

ServiceEvent at(const AsRunEvent& event) {
    return {"2026-12-10 12:00:00.003 +01:00", event};
}

} // namespace

class TestServiceParts : public QObject {
    Q_OBJECT
  private:
    QTemporaryDir dir_;
    QStringList said_;
    // A script in the test's folder.
    QString script(const QString& name, const QByteArray& body) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n" + body) < 0)
            qFatal("cannot write %s", qPrintable(path));
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        return path;
    }
    QByteArray read(const QString& name) {
        QFile file(dir_.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    AlertCommand::LineWriter collect() {
        return [this](const QString& line) { said_ << line; };
    }

  private slots:
    void init() { said_.clear(); }

    void notificationsSayWhatHappened();
    void rowsMissedTogetherMakeOne();
    void linkBackWaitsForLinkDownsAnswer();
    void noNotificationServer();
    void alertCommandGetsTheFields();
    void alertCommandFailures_data();
    void alertCommandFailures();
    void alertCommandIsNotWaitedFor();
    void statusForAPerson();
};

// Failures stay until dismissed, link back goes by itself and takes link
// down's place; every one is the program's, with its icon.
void TestServiceParts::notificationsSayWhatHappened() {
    NotificationServer server;
    QVERIFY(server.start());
    DesktopNotifier notifier(QDBusConnection::sessionBus());
    notifier.post(rowEvent("failed", "Can't execute file: /srv/news.mp3: no such file"));
    notifier.post(rowEvent("missed", "the ticks were 0.9 s apart while the clock moved on 3600.9 s",
                           3600000));
    notifier.post(plainEvent("link down", "No link"));
    QTRY_VERIFY(notifier.idle());
    notifier.post(plainEvent("link back", "Link OK"));
    notifier.post(plainEvent("link down", "Link error"));
    notifier.post({"failed", {}, "5", {}, {}, std::nullopt, "Can't write to port"});
    notifier.post(plainEvent("run left", "'xx' in row 2 of /srv/day.24h is not a valid time"));
    QTRY_VERIFY(notifier.idle());
    QCOMPARE(server.seen(),
             QStringList({
                 "Failed: 12:00:00  P3  News jingle  Can't execute file: /srv/news.mp3: no such "
                 "file  replaces 0  stays",
                 "Missed: 12:00:00  P3  News jingle  the ticks were 0.9 s apart while the clock "
                 "moved on 3600.9 s  replaces 0  stays",
                 "Link down  No link  replaces 0  stays",
                 "Link back  Link OK  replaces 3  goes",
                 "Link down  Link error  replaces 0  stays",
                 "Failed: P5  Can't write to port  replaces 0  stays",
                 "Run ended  'xx' in row 2 of /srv/day.24h is not a valid time  replaces 0  stays",
             }));
    for (const NotificationServer::Notification& n : server.received) {
        QCOMPARE(n.appName, QStringLiteral("Cantrel"));
        QCOMPARE(n.icon, QStringLiteral("cantrel"));
    }
}

// A suspend passes over many rows in one tick: one notification lists
// them (ten, then how many more), not one each; a row missed alone, later,
// is its own.
void TestServiceParts::rowsMissedTogetherMakeOne() {
    NotificationServer server;
    QVERIFY(server.start());
    DesktopNotifier notifier(QDBusConnection::sessionBus());
    const QString why = QStringLiteral("the ticks were 95.0 s apart, more than 60 s");
    for (int second = 0; second < 12; ++second)
        notifier.post({"missed", QStringLiteral("12:00:%1").arg(second, 2, 10, QLatin1Char('0')),
                       "3", "Bell", {}, std::nullopt, why});
    QVERIFY(!notifier.idle());
    QTRY_VERIFY(notifier.idle());
    notifier.post(rowEvent("missed", why));
    notifier.post(plainEvent("link down", "No link"));
    QTRY_VERIFY(notifier.idle());
    QCOMPARE(server.seen(),
             QStringList({"Missed: 12 rows, 12:00:00 to 12:00:11  " + why +
                              "\n12:00:00  P3  Bell\n12:00:01  P3  Bell\n12:00:02  P3  Bell"
                              "\n12:00:03  P3  Bell\n12:00:04  P3  Bell\n12:00:05  P3  Bell"
                              "\n12:00:06  P3  Bell\n12:00:07  P3  Bell\n12:00:08  P3  Bell"
                              "\n12:00:09  P3  Bell\nand 2 more  replaces 0  stays",
                          "Missed: 12:00:00  P3  News jingle  " + why + "  replaces 0  stays",
                          "Link down  No link  replaces 0  stays"}));
}

// A server slow to answer link down: link back is held until it knows
// which notification to replace.
void TestServiceParts::linkBackWaitsForLinkDownsAnswer() {
    NotificationServer server;
    QVERIFY(server.start());
    server.holdAnswers = true;
    DesktopNotifier notifier(QDBusConnection::sessionBus());
    notifier.post(plainEvent("link down", "No link"));
    QTRY_COMPARE(server.received.size(), 1);
    notifier.post(plainEvent("link back", "Link OK"));
    QTest::qWait(200);
    QCOMPARE(server.received.size(), 1);
    QVERIFY(!notifier.idle());
    server.holdAnswers = false;
    server.answerHeld();
    QTRY_VERIFY(notifier.idle());
    QCOMPARE(server.seen(), QStringList({"Link down  No link  replaces 0  stays",
                                         "Link back  Link OK  replaces 1  goes"}));
}

// A machine without a desktop: nothing answers, nothing is started for it,
// and nothing waits.
void TestServiceParts::noNotificationServer() {
    DesktopNotifier notifier(QDBusConnection::sessionBus());
    QElapsedTimer timer;
    timer.start();
    notifier.post(plainEvent("link down", "No link"));
    notifier.post(plainEvent("link back", "Link OK"));
    QTRY_VERIFY_WITH_TIMEOUT(notifier.idle(), 2000);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
}

// The eight fields of the log line, as they are: empty ones, blanks and a
// line break included, with no shell in between.
void TestServiceParts::alertCommandGetsTheFields() {
    const QString recorder =
        script("record.sh", "for a in \"$@\"; do printf '[%s]' \"$a\"; done > \"$0.$2\"\n");
    AlertCommand alert(recorder, collect());
    alert.run(at(rowEvent("failed", "Can't execute file: /srv/$HOME `x`.mp3\nno such file")));
    alert.run(at(plainEvent("link down", "No link")));
    QTRY_COMPARE(alert.running(), 0);
    QCOMPARE(read("record.sh.failed"),
             QByteArray("[2026-12-10 12:00:00.003 +01:00][failed][12:00:00][3][News jingle]"
                        "[/srv/news.mp3][][Can't execute file: /srv/$HOME `x`.mp3\nno such file]"));
    QCOMPARE(read("record.sh.link down"),
             QByteArray("[2026-12-10 12:00:00.003 +01:00][link down][][][][][][No link]"));
    QCOMPARE(said_, QStringList());
}

void TestServiceParts::alertCommandFailures_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("said");
    QTest::newRow("exit status") << QByteArray("exit 3\n")
                                 << "The alert command failed: %1 exited with status 3 (for %2)";
    QTest::newRow("signal") << QByteArray("kill -KILL $$\n")
                            << "The alert command failed: %1 ended by signal 9 (for %2)";
    QTest::newRow("not there") << QByteArray()
                               << "Can't run the alert command: %1: no such file (for %2)";
    QTest::newRow("not a program")
        << QByteArray("-") << "Can't run the alert command: %1: no permission (for %2)";
}

// Said once per event, with the event it was for.
void TestServiceParts::alertCommandFailures() {
    QFETCH(QByteArray, body);
    QFETCH(QString, said);
    QString program = script(QTest::currentDataTag(), body);
    if (body.isEmpty())
        program = dir_.filePath("missing");
    else if (body == "-")
        QFile::setPermissions(program, QFileDevice::ReadOwner);
    AlertCommand alert(program, collect());
    alert.run(at(rowEvent("failed", "Can't execute file")));
    alert.run(at(plainEvent("link down", "No link")));
    QTRY_COMPARE(alert.running(), 0);
    QTest::qWait(300);
    // The two may end in either order.
    said_.sort();
    QCOMPARE(said_, QStringList({said.arg(program, "failed 12:00:00  P3  News jingle"),
                                 said.arg(program, "link down")}));
}

// A command that hangs holds up nothing and does not pile up; one still
// running when the service goes is left to finish (the alert of a run that
// ended by itself is started just before the end).
void TestServiceParts::alertCommandIsNotWaitedFor() {
    const QString hang = script("hang.sh", "echo $$ >> \"$0.pids\"\nsleep 1\ntouch \"$0.done\"\n"
                                           "exec sleep 30\n");
    std::vector<pid_t> pids;
    {
        AlertCommand alert(hang, collect());
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < AlertCommand::kMostRunning + 1; ++i)
            alert.run(at(plainEvent("link down", "No link")));
        QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(alert.running(), AlertCommand::kMostRunning);
        QCOMPARE(said_, QStringList({"Can't run the alert command: " + hang +
                                     ": 8 alert commands are still running (for link down)"}));
        QTRY_COMPARE(read("hang.sh.pids").count('\n'), AlertCommand::kMostRunning);
    }
    for (const QByteArray& pid : read("hang.sh.pids").split('\n'))
        if (!pid.isEmpty())
            pids.push_back(pid_t(pid.toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(hang + ".done"), 5000);
    for (pid_t pid : pids) {
        QCOMPARE(::kill(pid, 0), 0);
        ::kill(pid, SIGKILL);
    }
}

void TestServiceParts::statusForAPerson() {
    ServiceState state;
    state.runningSince = QDateTime::fromString("2026-12-10T06:00:00-03:30", Qt::ISODate);
    state.processId = 4242;
    state.settingsFile = "/home/op/.config/cantrel/Cantrel.ini";
    state.monthCalendar = "/srv/month.31d";
    state.dayFile = "/srv/mon\x1b[31mday.24h";
    state.connectionText = "Connection: COM1   Device ID: 0";
    state.linkText = "Link OK";
    state.runAdvance = 2;
    state.nextRow = {"12:00:00", "3", "News jingle", "/srv/news.mp3"};
    state.msToNext = 252001;
    state.recentEvents = {
        {"2026-12-10 11:59:58.001 -03:30", rowEvent("opened", {})},
        {"2026-12-10 12:00:00.002 -03:30", rowEvent("fired", {}, 2)},
        {"2026-12-10 12:00:00.003 -03:30", {"fired", "12:00:00", "0", "", "", -1500, ""}},
        {"2026-12-10 12:00:01.000 -03:30", plainEvent("link down", "No link")}};
    QCOMPARE(
        statusText(state),
        QStringLiteral("cantrel --run is running since 2026-12-10 06:00:00 -03:30 (process 4242)\n"
                       "Settings: /home/op/.config/cantrel/Cantrel.ini\n"
                       "Calendar: /srv/month.31d\n"
                       "Day file: /srv/mon [31mday.24h, run advance 2 s\n"
                       "Connection: COM1   Device ID: 0   Link OK\n"
                       "Next: 12:00:00  P3  News jingle  in 0:04:13\n"
                       "Last events:\n"
                       "  2026-12-10 11:59:58.001 -03:30  opened  12:00:00  P3  News jingle  "
                       "/srv/news.mp3\n"
                       "  2026-12-10 12:00:00.002 -03:30  fired  12:00:00  P3  News jingle  "
                       "/srv/news.mp3  2 ms late\n"
                       "  2026-12-10 12:00:00.003 -03:30  fired  12:00:00  P0  1500 ms early\n"
                       "  2026-12-10 12:00:01.000 -03:30  link down  No link\n"));
    state.nextRow.clear();
    state.recentEvents.clear();
    QVERIFY(statusText(state).endsWith("Next: no more rows today\nLast events:\n"));
}

QTEST_GUILESS_MAIN(TestServiceParts)
#include "test_service_parts.moc"
