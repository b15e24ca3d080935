// `cantrel --run` as a process: real settings, calendar and day files in a
// temporary folder, the simulated device on a pseudo-terminal, a real opener
// script, and libfaketime where the day has to change.
#include "support/NotifySocket.h"
#include "support/StationFolder.h"

#include <QDateTime>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace cantrel::test;

namespace {

// The station's folder, with an opener that notes each file it was given
// in "opened", and the schedule's files as the window writes them.
struct Station : StationFolder {
    Station() {
        opener = script("opener.sh", "printf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/opened\"\n");
    }
    // A day file of "time,output,comment,media" lines.
    QString writeDay(const QString& name, const QStringList& lines) const {
        write(name, lines.join(QStringLiteral("\r\n")).toUtf8() + "\r\n");
        return path(name);
    }
    void writeCalendar(const QList<std::pair<int, QString>>& days) const {
        QByteArray bytes;
        for (const auto& [day, file] : days)
            bytes += QByteArray::number(day) + ' ' + file.toUtf8() + "\r\n";
        write("month.31d", bytes);
    }
    // The settings as the window writes them, the window's own lines included.
    void writeSettings(int port) const {
        write("Cantrel.ini", "formLeft=10\r\nformTop=20\r\nfile24h=" + path("x.24h").toUtf8() +
                                 "\r\nfile31d=" + path("month.31d").toUtf8() +
                                 "\r\nLPTAddr=888\r\nPort=" + QByteArray::number(port) +
                                 "\r\nDeviceID=0\r\nRunAdvance=0\r\n");
    }
    // The requests for outputs, in order, without the link test's probes
    // (outputs 0 and 1 with nothing selected): "FD 00 03" and so on.
    QStringList outputRequests() const {
        QStringList outputs;
        for (const QString& request : device.requests())
            if (!request.startsWith("FD 00 00 ") && !request.startsWith("FD 00 01 "))
                outputs << request.left(8);
        return outputs;
    }
};

const QString kFaketime = QStringLiteral("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1");

// The variables that start the program on a clock moved by libfaketime, as
// FAKETIME gives it ("@2026-12-10 23:59:56", or "+N" seconds from now).
QStringList movedClock(const QString& faketime) {
    return {"LD_PRELOAD=" + kFaketime, "FAKETIME=" + faketime, "FAKETIME_DONT_FAKE_MONOTONIC=1",
            "FAKETIME_NO_CACHE=1",
            // A sanitizer build would refuse a preloaded library ahead of its runtime.
            "ASAN_OPTIONS=" + qEnvironmentVariable("ASAN_OPTIONS") + ":verify_asan_link_order=0"};
}

// Waits for the wall clock to reach at.
void waitUntil(const QDateTime& at) {
    QTest::qWait(int(std::max<qint64>(0, QDateTime::currentDateTime().msecsTo(at))));
}

} // namespace

class TestHeadlessRun : public QObject {
    Q_OBJECT
  private slots:
    void runsTheDayUntilSignalled_data();
    void runsTheDayUntilSignalled();
    void cannotStart_data();
    void cannotStart();
    void serialDeviceComesLate();
    void secondRunOnOnePort();
    void parallelPortNotThere();
    void readsSchedulesItMayNotWrite();
    void newDayAndDayFileSavedAnew();
    void logItCannotWriteIsSaidOnce();
    void signalWhileAnOpenerDecides();
    void springForwardUnderAMovedClock();
    void fallBackUnderAMovedClock();
    void notifiesSystemd_data();
    void notifiesSystemd();
    void hangUpReadsTheSettingsAgain();
    void planCarriesTheRunOverAWeekend();
    void planLooksAhead();
    void planLooksAheadFails_data();
    void planLooksAheadFails();
};

void TestHeadlessRun::runsTheDayUntilSignalled_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestHeadlessRun::runsTheDayUntilSignalled() {
    QFETCH(int, signal);
    Station s;
    QVERIFY(s.device.start());
    // Rows a few seconds ahead; output 1 is left alone, as the device reports
    // it selected at the first link test and that report fires it.
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int seconds) { return now.addSecs(seconds).toString("HH:mm:ss"); };
    const QString day = s.writeDay(
        "today.24h", {at(3) + ",3,first,\"" + s.path("a b.mp3") + "\"", at(4) + ",4,second,"});
    s.write("a b.mp3", "sound");
    s.writeCalendar({{now.date().day(), day}});
    s.writeSettings(2);
    const QByteArray settings = s.read("Cantrel.ini");
    const QDateTime settingsTime = QFileInfo(s.path("Cantrel.ini")).lastModified();

    QProcess run;
    s.start(run);
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(4) > 0, 15000);

    // A second run on the same port is refused it, as any other program
    // would be, and goes on without it.
    QProcess second;
    s.start(second, {"--run"}, {"XDG_STATE_HOME=" + s.path("second-state")});
    QVERIFY(second.waitForStarted());
    QByteArray secondSaid;
    // Only gathers what was said, so it may be evaluated again once it holds.
    QTRY_VERIFY_WITH_TIMEOUT((secondSaid += second.readAllStandardError()).contains("Can't open port"),
                             10000);
    QCOMPARE(endWith(second, SIGTERM), 0);

    QCOMPARE(endWith(run, signal), 0);
    QCOMPARE(s.requestsFor(3), 1);
    QCOMPARE(s.requestsFor(4), 1);
    QCOMPARE(s.read("opened"), s.path("a b.mp3").toUtf8() + "\n");
    // The settings file is read, never written.
    QCOMPARE(s.read("Cantrel.ini"), settings);
    QCOMPARE(QFileInfo(s.path("Cantrel.ini")).lastModified(), settingsTime);
    // The port is free again.
    const int fd = ::open(QFile::encodeName(s.device.linkPath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);

    const QStringList lines = linesOf(run.readAllStandardError());
    // Its own lines with the local time; the as-run log's with ms and the offset.
    const QRegularExpression stamped(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d( |\\.\\d{3} [+-]\\d\\d:\\d\\d\\t)");
    for (const QString& line : lines)
        QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
    const QString all = lines.join('\n');
    // Once each: a second start of the run or load of the day would be a fault.
    QCOMPARE(all.count(QStringLiteral("\trun entered\t\t\t\t\t\tcalendar %1, day file %2, "
                                      "run advance 0 s\n")
                           .arg(s.path("month.31d"), day)),
             1);
    QCOMPARE(all.count("\tday loaded\t\t\t\t\t\t" + day + "\n"), 1);
    // The link test runs every 3 s; its panel is said when it changes only.
    QCOMPARE(lines.filter(QRegularExpression("^\\S+ \\S+ Link OK$")).size(), 1);
    QVERIFY2(lines.last().endsWith("\trun left\t\t\t\t\t\tterminated"), qPrintable(all));
    // What fires next is said when it changes, not at every tick: once for
    // each row, and nothing once the last has gone.
    const QStringList next = lines.filter(QRegularExpression("^\\S+ \\S+ Next: "));
    QCOMPARE(next.size(), 2);
    QVERIFY2(next[0].section(' ', 2).startsWith("Next: " + at(3) + "  P3  first  in 0:00:0"),
             qPrintable(next[0]));
    QVERIFY2(next[1].section(' ', 2).startsWith("Next: " + at(4) + "  P4  second  in 0:00:0"),
             qPrintable(next[1]));

    // The as-run log agrees with the device, and says the same on standard error.
    const QByteArray log =
        s.read("state/cantrel/as-run-" + now.toString("yyyy-MM-dd").toUtf8() + ".log");
    QCOMPARE(log.count("\topened\t" + at(3).toUtf8() + "\t3\tfirst\t" +
                       s.path("a b.mp3").toUtf8() + "\t\t\n"),
             1);
    QCOMPARE(log.count("\topened\t"), 1);
    for (const QByteArray& fired : {"\tfired\t" + at(3).toUtf8() + "\t3\tfirst\t",
                                    "\tfired\t" + at(4).toUtf8() + "\t4\tsecond\t"})
        QCOMPARE(log.count(fired), 1);
    QVERIFY2(log.contains("\trun entered\t\t\t\t\t\tcalendar " + s.path("month.31d").toUtf8()),
             log.constData());
    QVERIFY2(log.endsWith("\trun left\t\t\t\t\t\tterminated\n"), log.constData());
    for (const QByteArray& line : log.split('\n'))
        if (!line.isEmpty())
            QVERIFY2(all.contains(QString::fromUtf8(line)), line.constData());
}

void TestHeadlessRun::cannotStart_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    QTest::addColumn<bool>("started"); // told systemd it was ready before it ended
    QTest::newRow("no settings file")
        << QString() << QStringList{"--run"} << "cantrel: cannot read the settings file Cantrel.ini"
        << false;
    QTest::newRow("named settings file missing")
        << QString() << QStringList{"--run", "--settings", "/nonexistent/c.ini"}
        << "cantrel: cannot read the settings file /nonexistent/c.ini" << false;
    QTest::newRow("no calendar named")
        << "Port=0\r\n" << QStringList{"--run"} << "No month calendar: the settings name no file31d"
        << false;
    QTest::newRow("calendar missing") << "file31d=gone.31d\r\n" << QStringList{"--run"}
                                      << "Can't load .31d file!: gone.31d: no such file" << false;
    QTest::newRow("today's file missing")
        << "file31d=month.31d\r\n" << QStringList{"--run"}
        << "Can't load .24h file: %1/gone.24h: no such file" << false;
    QTest::newRow("a plan that does not read")
        << "file31d=planned.31d\r\n" << QStringList{"--run"}
        << "Can't read the plan: ./planned.plan, line 2: expected a day (mon ... sun, a list or "
           "range of them such as mon-fri or sat,sun, a date YYYY-MM-DD or dates "
           "YYYY-MM-DD..YYYY-MM-DD), then a day schedule file or -"
        << false;
    QTest::newRow("no file for today")
        << "file31d=empty.31d\r\n" << QStringList{"--run"}
        << ".24h file don't specified: empty.31d names no day schedule for day %2 (%3)" << false;
    // Started, then ended by itself at the first tick: status 1 as well, so
    // that the unit's Restart=on-failure starts it again.
    QTest::newRow("a time that does not read")
        << "file31d=bad.31d\r\n" << QStringList{"--run"}
        << "\trun left\t\t\t\t\t\t'noon' in row 1 of %1/bad.24h is not a valid time" << true;
}

void TestHeadlessRun::cannotStart() {
    QFETCH(QString, settings);
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    QFETCH(bool, started);
    Station s;
    s.writeCalendar({{QDate::currentDate().day(), s.path("gone.24h")}});
    s.write("empty.31d", "");
    s.write("planned.31d", "");
    s.write("planned.plan", "mon-fri school.24h\nweekend -\n");
    s.write("bad.31d", QByteArray::number(QDate::currentDate().day()) + ' ' +
                           s.writeDay("bad.24h", {"noon,3,,"}).toUtf8() + "\r\n");
    if (!settings.isNull())
        s.write("Cantrel.ini", settings.toUtf8());
    NotifySocket notify(s.path("notify"));
    QProcess run;
    s.start(run, arguments, {notify.variable()});
    QVERIFY(run.waitForFinished(10000));
    notify.take();
    if (started) {
        // It started, then stopped by itself: status 1 all the same.
        QCOMPARE(notify.assignments().value(0), QStringLiteral("READY=1"));
        QCOMPARE(notify.assignments().last(), QStringLiteral("STOPPING=1"));
    } else {
        // Never ready: systemd sees the start fail.
        QCOMPARE(notify.assignments(), QStringList());
    }
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.exitCode(), 1);
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    const QDate today = QDate::currentDate();
    if (said.contains(QLatin1String("%1")))
        said = said.arg(s.dir.path());
    else if (said.contains(QLatin1String("%2")))
        said = said.arg(today.day()).arg(today.toString(Qt::ISODate));
    QVERIFY2(err.contains(said), qPrintable(err));
}

// A log that cannot be written (its folder is a file) is said once, and the
// run goes on: its rows still fire.
void TestHeadlessRun::logItCannotWriteIsSaidOnce() {
    Station s;
    const QDateTime now = QDateTime::currentDateTime();
    const QString at = now.addSecs(2).toString("HH:mm:ss");
    s.writeCalendar({{now.date().day(), s.writeDay("today.24h", {at + ",3,first,"})}});
    s.writeSettings(0);
    s.write("state", "a file, not a folder");
    QProcess run;
    s.start(run, {"--run"},
            {"XDG_STATE_HOME=" + s.path("state/under"), "CANTREL_PORT_TRACE=" + s.path("trace")});
    QVERIFY(run.waitForStarted());
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT(
        (said += run.readAllStandardError()).contains("\tfired\t" + at.toUtf8()), 10000);
    QCOMPARE(endWith(run, SIGTERM), 0);
    said += run.readAllStandardError();
    QCOMPARE(saidLines(said, "Can't write the as-run log " + s.path("state/under") +
                                 "/cantrel/as-run-" + now.toString("yyyy-MM-dd") +
                                 ".log: Not a directory"),
             1);
    QVERIFY2(s.read("trace").contains(" 0378 FB\n"), said.constData());
}

// SIGTERM while a row's opener is still deciding: the run ends at once and
// leaves the opener to itself, rather than waiting for its verdict.
void TestHeadlessRun::signalWhileAnOpenerDecides() {
    Station s;
    s.write("slow.sh", "#!/bin/sh\necho started > \"$(dirname \"$0\")/started\"\nsleep 1.5\n"
                       "echo done > \"$(dirname \"$0\")/done\"\n");
    QFile::setPermissions(s.path("slow.sh"), QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                                 QFileDevice::WriteOwner);
    s.write("clip.mp3", "sound");
    const QDateTime now = QDateTime::currentDateTime();
    const QString row = now.addSecs(2).toString("HH:mm:ss") + ",3,first," + s.path("clip.mp3");
    s.writeCalendar({{now.date().day(), s.writeDay("today.24h", {row})}});
    s.writeSettings(0);
    QProcess run;
    s.start(run, {"--run"}, {"CANTREL_OPENER=" + s.path("slow.sh")});
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.path("started")), 10000);
    QCOMPARE(endWith(run, SIGTERM), 0);
    QVERIFY2(!QFile::exists(s.path("done")), "the run waited for the opener's verdict");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(s.path("done")), 10000);
}

// The serial device is not there at the start (a USB adapter at boot) and
// comes some 5 s later: the rows before fail with why and none fires; the run
// keeps its port, opens it once it is there, and the rows after fire on it.
void TestHeadlessRun::serialDeviceComesLate() {
    Station s;
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int seconds) { return now.addSecs(seconds).toString("HH:mm:ss"); };
    s.writeCalendar(
        {{now.date().day(), s.writeDay("today.24h", {at(3) + ",3,early,", at(4) + ",4,early,",
                                                     at(10) + ",5,late,", at(11) + ",6,late,"})}});
    s.writeSettings(2);
    QProcess run;
    s.start(run);
    QVERIFY(run.waitForStarted());
    waitUntil(now.addMSecs(5500));
    QVERIFY(s.device.start());
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(6) > 0, 15000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    QCOMPARE(s.requestsFor(3), 0);
    QCOMPARE(s.requestsFor(4), 0);
    QCOMPARE(s.requestsFor(5), 1);
    QCOMPARE(s.requestsFor(6), 1);
    const QByteArray log =
        s.read("state/cantrel/as-run-" + now.toString("yyyy-MM-dd").toUtf8() + ".log");
    const QByteArray absent = "COM1 (" + s.device.linkPath().toUtf8() + "): no such device";
    QCOMPARE(log.count("\tfired\t"), 2);
    QCOMPARE(log.count("\tfired\t" + at(10).toUtf8() + "\t5\tlate\t"), 1);
    QCOMPARE(log.count("\tfired\t" + at(11).toUtf8() + "\t6\tlate\t"), 1);
    QCOMPARE(log.count("\tfailed\t"), 2);
    for (const QString& row : {at(3) + "\t3", at(4) + "\t4"})
        QVERIFY2(log.contains("\tfailed\t" + row.toUtf8() +
                              "\tearly\t\t\tCan't write to port: " + absent + "\n"),
                 log.constData());
    QCOMPARE(log.count("\tlink down\t"), 1);
    QCOMPARE(log.count("\tlink back\t"), 1);
    const qsizetype down = log.indexOf("\tlink down\t\t\t\t\t\tCan't open port: " + absent + "\n");
    QVERIFY2(down >= 0, log.constData());
    QVERIFY2(down < log.indexOf("\tlink back\t\t\t\t\t\tLink OK\n"), log.constData());

    // Said once, not at each attempt; the connection once it opened.
    const QByteArray err = run.readAllStandardError();
    QCOMPARE(saidLines(err, "Can't open port: " + absent), 1);
    QCOMPARE(saidLines(err, "Connection: COM1   Device ID: 0"), 1);
}

// Two runs on one port: the second is refused it, says why, and keeps trying;
// its rows fail and never count as fired, and each output reaches the device
// once. Once the first is gone the second takes the port up.
void TestHeadlessRun::secondRunOnOnePort() {
    Station s;
    QVERIFY(s.device.start());
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int seconds) { return now.addSecs(seconds).toString("HH:mm:ss"); };
    s.writeCalendar(
        {{now.date().day(), s.writeDay("today.24h", {at(3) + ",3,first,", at(4) + ",4,second,"})}});
    s.writeSettings(2);
    QProcess first, second;
    s.start(first);
    QVERIFY(first.waitForStarted());
    QByteArray firstSaid;
    QTRY_VERIFY_WITH_TIMEOUT(
        (firstSaid += first.readAllStandardError()).contains("Connection: COM1"), 5000);
    s.start(second, {"--run"}, {"XDG_STATE_HOME=" + s.path("second-state")});
    QVERIFY(second.waitForStarted());
    const QString secondLog = "second-state/cantrel/as-run-" + now.toString("yyyy-MM-dd") + ".log";
    QTRY_COMPARE_WITH_TIMEOUT(s.read(secondLog).count("\tfailed\t"), 2, 10000);
    QTRY_COMPARE(s.requestsFor(4), 1);
    QCOMPARE(s.requestsFor(3), 1);

    QCOMPARE(endWith(first, SIGTERM), 0);
    QByteArray secondSaid;
    // The port opens, then the link test on it says the link is back.
    QTRY_VERIFY_WITH_TIMEOUT(
        (secondSaid += second.readAllStandardError()).contains("Connection: COM1   Device ID: 0"),
        5000);
    QTRY_VERIFY_WITH_TIMEOUT((secondSaid += second.readAllStandardError()).contains(" Link OK\n"),
                             5000);
    QCOMPARE(endWith(second, SIGTERM), 0);
    secondSaid += second.readAllStandardError();

    const QByteArray inUse =
        "COM1 (" + s.device.linkPath().toUtf8() + "): in use by another program";
    QCOMPARE(saidLines(secondSaid, "Can't open port: " + inUse), 1);
    const QByteArray log = s.read(secondLog);
    QCOMPARE(log.count("\tfired\t"), 0);
    for (const QString& row : {at(3) + "\t3\tfirst", at(4) + "\t4\tsecond"})
        QCOMPARE(
            log.count("\tfailed\t" + row.toUtf8() + "\t\t\tCan't write to port: " + inUse + "\n"),
            1);
    QCOMPARE(log.count("\tlink down\t\t\t\t\t\tCan't open port: " + inUse + "\n"), 1);
    QCOMPARE(log.count("\tlink back\t"), 1);
}

// A parallel connection with no port and no trace: the connection line says
// so, and each row fails with the port and why; none counts as fired.
void TestHeadlessRun::parallelPortNotThere() {
    Station s;
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int seconds) { return now.addSecs(seconds).toString("HH:mm:ss"); };
    s.writeCalendar(
        {{now.date().day(), s.writeDay("today.24h", {at(3) + ",3,first,", at(4) + ",4,second,"})}});
    s.writeSettings(0);
    QProcess run;
    s.start(run, {"--run"}, {"CANTREL_PARPORT_378=" + s.path("no-parport")});
    QVERIFY(run.waitForStarted());
    const QString logName = "state/cantrel/as-run-" + now.toString("yyyy-MM-dd") + ".log";
    QTRY_COMPARE_WITH_TIMEOUT(s.read(logName).count("\tfailed\t"), 2, 10000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    const QByteArray absent =
        "LPT378 (" + s.path("no-parport").toUtf8() + "): No such file or directory";
    const QByteArray log = s.read(logName);
    QCOMPARE(log.count("\tfired\t"), 0);
    for (const QString& row : {at(3) + "\t3\tfirst", at(4) + "\t4\tsecond"})
        QCOMPARE(
            log.count("\tfailed\t" + row.toUtf8() + "\t\t\tCan't write to port: " + absent + "\n"),
            1);
    QCOMPARE(log.count("\tlink down\t\t\t\t\t\t" + absent + "\n"), 1);
    const QByteArray err = run.readAllStandardError();
    QCOMPARE(saidLines(err, "Connection: LPT378 (no port)"), 1);
    QVERIFY2(!err.contains("Connection: LPT378\n") && !err.contains("inpout32"), err.constData());
}

// An administrator's schedules, which the user running the service may read
// but not write: the run takes them all the same, and its rows fire.
void TestHeadlessRun::readsSchedulesItMayNotWrite() {
    if (::geteuid() != 0 || QStandardPaths::findExecutable("setpriv").isEmpty())
        QSKIP("needs root and setpriv to run the program as another user");
    Station s;
    const QDateTime now = QDateTime::currentDateTime();
    const QString at = now.addSecs(3).toString("HH:mm:ss");
    s.writeCalendar({{now.date().day(), s.writeDay("today.24h", {at + ",3,first,"})}});
    s.writeSettings(0);
    // The folder and files are root's, readable by all; only the state
    // folder and the trace are the user's to write.
    QVERIFY(QDir(s.dir.path()).mkpath("state"));
    const auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                          QFileDevice::ReadGroup | QFileDevice::ReadOther;
    QVERIFY(QFile::setPermissions(s.dir.path(), readable | QFileDevice::ExeOwner |
                                                    QFileDevice::ExeGroup | QFileDevice::ExeOther));
    for (const char* name : {"month.31d", "today.24h", "Cantrel.ini"})
        QVERIFY(QFile::setPermissions(s.path(name), readable));
    QVERIFY(::chmod(QFile::encodeName(s.path("state")).constData(), 01777) == 0);
    QProcess run;
    s.start(run, {"--run"}, {"CANTREL_PORT_TRACE=" + s.path("state/trace")},
            {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(s.read("state/trace").contains(" 0378 FB\n"), 10000);
    QCOMPARE(endWith(run, SIGTERM), 0);
    const QByteArray err = run.readAllStandardError();
    QVERIFY2(!err.contains("Can't load"), err.constData());
    const QByteArray log =
        s.read("state/cantrel/as-run-" + now.toString("yyyy-MM-dd") + ".log");
    QCOMPARE(log.count("\tfired\t" + at.toUtf8() + "\t3\tfirst\t"), 1);
}

// On a clock moved to just before midnight: the next day's file is loaded at
// midnight, and a day file saved anew while it runs is taken, its fired row
// not fired again.
void TestHeadlessRun::newDayAndDayFileSavedAnew() {
    if (!QFileInfo::exists(kFaketime))
        QSKIP("libfaketime is not installed");
    Station s;
    QVERIFY(s.device.start());
    const QString ten = s.writeDay("ten.24h", {"23:59:58,3,\"last of the day\","});
    const QString eleven = s.writeDay("eleven.24h", {"00:00:01,5,\"first of the day\","});
    s.writeCalendar({{10, ten}, {11, eleven}});
    s.writeSettings(2);

    QProcess run;
    s.start(run, {"--run"}, movedClock("@2026-12-10 23:59:56"));
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(5) > 0, 15000);
    // Saved anew with its fired row and a new one a few seconds on.
    s.writeDay("eleven.24h", {"00:00:01,5,\"first of the day\",", "00:00:09,6,added,"});
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(6) > 0, 20000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    QCOMPARE(s.requestsFor(3), 1);
    QCOMPARE(s.requestsFor(5), 1);
    QCOMPARE(s.requestsFor(6), 1);
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    QVERIFY2(err.contains("2026-12-10 23:59:5"), qPrintable(err));
    QCOMPARE(err.count("\tday loaded\t\t\t\t\t\t" + eleven + "\n"), 1);
    QCOMPARE(err.count("\tday loaded\t\t\t\t\t\tsaved anew: " + eleven + "\n"), 1);
}

// In a zone with summer time, on a clock moved to just before the spring
// change: the row of the skipped hour fires right after the jump, late, and
// every row reaches the device once, in order, as the as-run log says.
void TestHeadlessRun::springForwardUnderAMovedClock() {
    if (!QFileInfo::exists(kFaketime))
        QSKIP("libfaketime is not installed");
    Station s;
    QVERIFY(s.device.start());
    s.writeCalendar({{28, s.writeDay("spring.24h", {"01:59:58,3,before,", "02:30:00,4,skipped,",
                                                    "03:00:01,5,after,"})}});
    s.writeSettings(2);
    QProcess run;
    s.start(run, {"--run"}, movedClock("@2027-03-28 01:59:57") << "TZ=Europe/Berlin");
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(5) > 0, 20000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    QCOMPARE(s.outputRequests(), (QStringList{"FD 00 03", "FD 00 04", "FD 00 05"}));
    const QByteArray log = s.read("state/cantrel/as-run-2027-03-28.log");
    QCOMPARE(log.count("\tfired\t"), 3);
    QCOMPARE(log.count("\tlate\t"), 1);
    QVERIFY2(log.contains("+02:00\tlate\t02:30:00\t4\tskipped\t\t"), log.constData());
    QVERIFY2(log.indexOf("\tfired\t01:59:58\t3\t") < log.indexOf("\tfired\t02:30:00\t4\t") &&
                 log.indexOf("\tfired\t02:30:00\t4\t") < log.indexOf("\tfired\t03:00:01\t5\t"),
             log.constData());
}

// The autumn change on a moved clock: 02:59:58 summer time fires, the clock
// falls back to 02:00 winter time, and the rows of the repeated hour that had
// not fired (they lay before the start) fire once, in the second pass, with
// the winter offset in the log. The start is given in UTC, as 02:59:55 local
// is ambiguous.
void TestHeadlessRun::fallBackUnderAMovedClock() {
    if (!QFileInfo::exists(kFaketime))
        QSKIP("libfaketime is not installed");
    Station s;
    QVERIFY(s.device.start());
    s.writeCalendar({{31, s.writeDay("autumn.24h", {"02:00:02,4,repeated,", "02:59:58,3,before,",
                                                    "02:00:05,5,after,"})}});
    s.writeSettings(2);
    const qint64 startUtc =
        QDateTime(QDate(2027, 10, 31), QTime(0, 59, 55), Qt::UTC).toSecsSinceEpoch();
    const qint64 offset = startUtc - QDateTime::currentSecsSinceEpoch();
    QProcess run;
    s.start(run, {"--run"},
            movedClock(QStringLiteral("%1%2").arg(offset >= 0 ? "+" : "").arg(offset))
                << "TZ=Europe/Berlin");
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(5) > 0, 25000);
    // Long enough for a second firing of row 3 or 4 to show, were there one.
    QTest::qWait(1500);
    QCOMPARE(endWith(run, SIGTERM), 0);

    QCOMPARE(s.outputRequests(), (QStringList{"FD 00 03", "FD 00 04", "FD 00 05"}));
    const QByteArray log = s.read("state/cantrel/as-run-2027-10-31.log");
    QCOMPARE(log.count("\tfired\t"), 3);
    QVERIFY2(log.contains("+02:00\tfired\t02:59:58\t3\tbefore\t"), log.constData());
    QVERIFY2(log.contains("+01:00\tfired\t02:00:02\t4\trepeated\t"), log.constData());
    QVERIFY2(log.contains("+01:00\tfired\t02:00:05\t5\tafter\t"), log.constData());
}

void TestHeadlessRun::notifiesSystemd_data() {
    QTest::addColumn<bool>("socket");
    QTest::addColumn<bool>("watchdog");
    QTest::newRow("ready, status and watchdog") << true << true;
    QTest::newRow("no watchdog asked") << true << false;
    QTest::newRow("no NOTIFY_SOCKET") << false << true;
}

// Under a Type=notify unit: READY once the run is in, STATUS each time the
// next row changes, and with a watchdog of 2 s a ping within every second
// while the tick runs.
void TestHeadlessRun::notifiesSystemd() {
    QFETCH(bool, socket);
    QFETCH(bool, watchdog);
    Station s;
    QVERIFY(s.device.start());
    const QDateTime now = QDateTime::currentDateTime();
    const auto at = [&now](int seconds) { return now.addSecs(seconds).toString("HH:mm:ss"); };
    s.writeCalendar(
        {{now.date().day(), s.writeDay("today.24h", {at(3) + ",3,first,", at(4) + ",4,\"the second\","})}});
    s.writeSettings(2);
    NotifySocket notify(s.path("notify"));
    QStringList extra;
    if (socket)
        extra << notify.variable();
    if (watchdog)
        extra << "WATCHDOG_USEC=6000000";
    QProcess run;
    s.start(run, {"--run"}, extra);
    QVERIFY(run.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(4) > 0, 15000);
    // Past the last row, and a few pings more.
    QTest::qWait(4000);
    notify.take();
    const QList<qint64> ready = notify.times("READY=1");
    const QList<qint64> pings = notify.times("WATCHDOG=1");
    const qint64 seen = notify.now();
    QCOMPARE(endWith(run, SIGTERM), 0);
    QCOMPARE(s.requestsFor(3), 1);
    notify.take();

    if (!socket) {
        QCOMPARE(notify.received.size(), 0);
        return;
    }
    QCOMPARE(notify.received.first().assignment, QStringLiteral("READY=1"));
    QCOMPARE(notify.assignments(),
             (QStringList{"READY=1", "STATUS=Next: " + at(3) + "  P3  first",
                          "STATUS=Next: " + at(4) + "  P4  the second",
                          "STATUS=No more rows today", "STOPPING=1"}));
    if (!watchdog) {
        QCOMPARE(pings.size(), 0);
        return;
    }
    // From READY to the last look, no gap longer than half the interval.
    const QList<qint64> beats = ready + pings + QList<qint64>{seen};
    for (qsizetype i = 1; i < beats.size(); ++i)
        QVERIFY2(beats[i] - beats[i - 1] <= 3000,
                 qPrintable(QStringLiteral("%1 ms between pings").arg(beats[i] - beats[i - 1])));
}

// SIGHUP reads the settings file again: the same file changes nothing; a
// file gone is said and the run goes on as it was; a new connection,
// device ID and run advance are taken for the rows after; another calendar
// waits for a restart. Each is a line of the as-run log.
void TestHeadlessRun::hangUpReadsTheSettingsAgain() {
    Station s;
    QVERIFY(s.device.start());
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime rowTime = now.addSecs(16);
    const QString at = rowTime.toString("HH:mm:ss");
    s.write("a.mp3", "sound");
    s.writeCalendar(
        {{now.date().day(), s.writeDay("today.24h", {at + ",4,after,\"" + s.path("a.mp3") + "\""})}});
    // On the parallel port, which is not there.
    s.writeSettings(0);
    QProcess run;
    s.start(run, {"--run", "--settings", s.path("Cantrel.ini")});
    QVERIFY(run.waitForStarted());
    const QString logName = "state/cantrel/as-run-" + now.toString("yyyy-MM-dd") + ".log";
    QTRY_VERIFY_WITH_TIMEOUT(s.read(logName).contains("\trun entered\t"), 10000);
    const auto hangUp = [&](const QString& event, const QString& detail) {
        ::kill(pid_t(run.processId()), SIGHUP);
        const QByteArray line = ("\t" + event + "\t\t\t\t\t\t" + detail + "\n").toUtf8();
        QTRY_VERIFY2_WITH_TIMEOUT(s.read(logName).contains(line), s.read(logName).constData(), 5000);
    };
    hangUp("settings loaded", "nothing changed");
    QVERIFY(QFile::remove(s.path("Cantrel.ini")));
    hangUp("settings kept", "cannot read the settings file " + s.path("Cantrel.ini") +
                                ": No such file or directory");
    // The port alone, then the rest: each change is taken by itself.
    s.write("Cantrel.ini", "file31d=" + s.path("month.31d").toUtf8() +
                               "\r\nPort=2\r\nDeviceID=0\r\nRunAdvance=0\r\n");
    hangUp("settings loaded", "Port 0 -> 2");
    QTRY_VERIFY_WITH_TIMEOUT(!s.device.requests().filter("FD 00 ").isEmpty(), 8000);
    s.write("Cantrel.ini", "file31d=" + s.path("other.31d").toUtf8() +
                               "\r\nPort=2\r\nDeviceID=5\r\nRunAdvance=2\r\n");
    hangUp("settings loaded", "device ID 0 -> 5, run advance 0 s -> 2 s, file31d " +
                                  s.path("month.31d") + " -> " + s.path("other.31d") +
                                  " not taken until restart");
    QTRY_VERIFY_WITH_TIMEOUT(s.device.requests().filter("FD 05 04 ").size() > 0, 20000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    // The row of the calendar it started with, on the new port with the new
    // ID, its file opened the run advance before its time.
    QCOMPARE(s.device.requests().filter("FD 05 04 ").size(), 1);
    QCOMPARE(s.requestsFor(4), 0);
    const QByteArray log = s.read(logName);
    QCOMPARE(log.count("\tfired\t" + at.toUtf8() + "\t4\tafter\t"), 1);
    const qsizetype opened = log.indexOf("\topened\t" + at.toUtf8() + "\t4\tafter\t");
    QVERIFY2(opened >= 19, log.constData());
    const QDateTime openedAt = QDateTime::fromString(
        QString::fromUtf8(log.mid(log.lastIndexOf('\n', opened) + 1, 19)), "yyyy-MM-dd HH:mm:ss");
    QVERIFY2(openedAt.secsTo(QDateTime(rowTime.date(), QTime::fromString(at, "HH:mm:ss"))) >= 1,
             log.constData());
    const QByteArray err = run.readAllStandardError();
    QCOMPARE(saidLines(err, "Connection: COM1   Device ID: 0"), 1);
    QCOMPARE(saidLines(err, "Connection: COM1   Device ID: 5"), 1);
}


// cantrel --plan for a month: the settings' calendar, the plan beside it,
// one line a day, the change to summer time said on its day.
void TestHeadlessRun::planLooksAhead() {
    Station s;
    s.writeCalendar({{1, s.path("assembly.24h")}});
    s.write("month.plan", "# school\nmon-fri school.24h\nsat,sun -\n"
                          "2027-03-22..2027-03-26 -  # spring break\n2027-03-24 staff.24h\n");
    s.writeSettings(0);
    QProcess plan;
    s.start(plan, {"--plan", "2027-03"}, {"TZ=Europe/Berlin"});
    QVERIFY(plan.waitForFinished(10000));
    QCOMPARE(plan.readAllStandardError(), QByteArray());
    QCOMPARE(plan.exitCode(), 0);
    QString expected =
        "calendar %1/month.31d, plan %1/month.plan\n"
        "2027-03-01 Mon  calendar               %1/assembly.24h\n";
    const QStringList week{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    for (int day = 2; day <= 31; ++day) {
        const QDate date(2027, 3, day);
        QString line = date.toString(Qt::ISODate) + ' ' + week[date.dayOfWeek() - 1] + "  ";
        if (day == 24)
            line += "plan line 5            %1/staff.24h";
        else if (day >= 22 && day <= 26)
            line += "nothing (plan line 4)  -";
        else if (date.dayOfWeek() >= 6)
            line += "nothing (plan line 3)  -";
        else
            line += "plan line 2            %1/school.24h";
        if (day == 28)
            line += "  (summer time: the clock goes from 02:00 to 03:00)";
        expected += line + '\n';
    }
    QCOMPARE(QString::fromLocal8Bit(plan.readAllStandardOutput()),
             expected.arg(s.dir.path()));

    s.start(plan, {"--plan", "2027-03-24"}, {"TZ=Europe/Berlin"});
    QVERIFY(plan.waitForFinished(10000));
    QCOMPARE(QString::fromLocal8Bit(plan.readAllStandardOutput()),
             QStringLiteral("calendar %1/month.31d, plan %1/month.plan\n"
                            "2027-03-24 Wed  plan line 5  %1/staff.24h\n")
                 .arg(s.dir.path()));
}

void TestHeadlessRun::planLooksAheadFails_data() {
    QTest::addColumn<QByteArray>("planFile");
    QTest::addColumn<QString>("calendar");
    QTest::addColumn<QString>("said");
    QTest::newRow("a plan that does not read")
        << QByteArray("mon-fri school.24h\n\nsat+sun -\n") << "month.31d"
        << "cantrel: Can't read the plan: ./month.plan, line 3: expected a day (mon ... sun, a "
           "list or range of them such as mon-fri or sat,sun, a date YYYY-MM-DD or dates "
           "YYYY-MM-DD..YYYY-MM-DD), then a day schedule file or -\n";
    QTest::newRow("a calendar that does not read")
        << QByteArray() << "gone.31d" << "cantrel: Can't load .31d file!: gone.31d: no such file\n";
}

void TestHeadlessRun::planLooksAheadFails() {
    QFETCH(QByteArray, planFile);
    QFETCH(QString, calendar);
    QFETCH(QString, said);
    Station s;
    s.writeCalendar({});
    if (!planFile.isEmpty())
        s.write("month.plan", planFile);
    s.write("Cantrel.ini", "file31d=" + calendar.toUtf8() + "\r\n");
    QProcess plan;
    s.start(plan, {"--plan"});
    QVERIFY(plan.waitForFinished(10000));
    QCOMPARE(plan.exitCode(), 1);
    QCOMPARE(plan.readAllStandardOutput(), QByteArray());
    QCOMPARE(QString::fromLocal8Bit(plan.readAllStandardError()), said);
}

// A school's plan and an empty calendar, from Friday night to Monday
// morning on a clock moved by libfaketime: Friday's last row fires,
// Saturday starts with nothing to run and Run mode goes on, the clock is
// then set forward to Sunday night, and Monday's first row fires.
void TestHeadlessRun::planCarriesTheRunOverAWeekend() {
    if (!QFileInfo::exists(kFaketime))
        QSKIP("libfaketime is not installed");
    Station s;
    QVERIFY(s.device.start());
    const QString school =
        s.writeDay("school.24h", {"23:59:58,3,\"friday last\",", "00:00:01,4,\"first bell\","});
    s.writeCalendar({});
    s.write("month.plan", "mon-fri school.24h\nsat,sun -\n");
    s.writeSettings(2);
    // The moved clock is read from a file the test rewrites to set it forward.
    const auto moveClockTo = [&s](const QDateTime& at) {
        const qint64 offset = at.toSecsSinceEpoch() - QDateTime::currentSecsSinceEpoch();
        s.write("faketime.rc", QStringLiteral("%1%2\n").arg(offset >= 0 ? "+" : "").arg(offset).toUtf8());
    };
    moveClockTo(QDateTime(QDate(2026, 12, 11), QTime(23, 59, 56), Qt::UTC));
    QStringList clock = movedClock(QString()).filter(QRegularExpression("^(?!FAKETIME=)"));
    clock << "FAKETIME_TIMESTAMP_FILE=" + s.path("faketime.rc") << "TZ=UTC";
    QProcess run;
    s.start(run, {"--run"}, clock);
    QVERIFY(run.waitForStarted());
    QByteArray err;
    const auto said = [&run, &err](const QByteArray& text) {
        err += run.readAllStandardError();
        return err.contains(text);
    };
    QTRY_VERIFY2_WITH_TIMEOUT(said("\tday loaded\t\t\t\t\t\tnone (plan: sat,sun -)\n"),
                              err.constData(), 15000);
    // Past Saturday's 00:00:01, at which the school's first bell would ring.
    QTest::qWait(2500);
    moveClockTo(QDateTime(QDate(2026, 12, 13), QTime(23, 59, 58), Qt::UTC));
    QTRY_VERIFY_WITH_TIMEOUT(s.requestsFor(4) > 0, 15000);
    QCOMPARE(endWith(run, SIGTERM), 0);

    QCOMPARE(s.outputRequests(), (QStringList{"FD 00 03", "FD 00 04"}));
    const QByteArray friday = s.read("state/cantrel/as-run-2026-12-11.log");
    const QByteArray saturday = s.read("state/cantrel/as-run-2026-12-12.log");
    const QByteArray sunday = s.read("state/cantrel/as-run-2026-12-13.log");
    const QByteArray monday = s.read("state/cantrel/as-run-2026-12-14.log");
    QVERIFY2(friday.contains("\tday loaded\t\t\t\t\t\t" + school.toUtf8() +
                             " (plan: mon-fri school.24h)\n") &&
                 friday.contains("\tfired\t23:59:58\t3\tfriday last\t"),
             friday.constData());
    QVERIFY2(saturday.startsWith("2026-12-12 00:00:00.") &&
                 saturday.contains("\tday loaded\t\t\t\t\t\tnone (plan: sat,sun -)\n") &&
                 !saturday.contains("\tfired\t") && !saturday.contains("\trun left\t"),
             saturday.constData());
    QVERIFY2(sunday.contains("\tday loaded\t\t\t\t\t\tnone (plan: sat,sun -)\n"), sunday.constData());
    QVERIFY2(monday.contains("\tday loaded\t\t\t\t\t\t" + school.toUtf8() +
                             " (plan: mon-fri school.24h)\n") &&
                 monday.contains("\tfired\t00:00:01\t4\tfirst bell\t") &&
                 monday.contains("\trun left\t\t\t\t\t\tterminated\n"),
             monday.constData());
    // Every as-run line of the three days, for the record.
    qInfo().noquote() << "\n" + QString::fromUtf8(friday + saturday + sunday + monday);
}

QTEST_GUILESS_MAIN(TestHeadlessRun)
#include "test_headless_run.moc"
