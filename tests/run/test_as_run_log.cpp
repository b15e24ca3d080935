// The as-run log: its line format, the day files the lines land in, the
// removal of old day files, and a log that cannot be written.
#include "run/AsRunLog.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeZone>

#include <memory>
#include <thread>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace cantrel;

namespace {

QDateTime at(int year, int month, int day, int hour, int minute, int second, int ms = 0,
             int offsetSeconds = 3600) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::OffsetFromUTC,
                     offsetSeconds);
}

AsRunEvent fired(const QString& comment) {
    return {"fired", "12:00:00", "3", comment, "/m/a.mp3", std::nullopt, QString()};
}

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

void writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Sets an environment variable for one test and puts it back after.
class EnvironmentSetting {
  public:
    EnvironmentSetting(const char* name, const std::optional<QByteArray>& value)
        : name_(name),
          old_(qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                               : std::nullopt) {
        set(value);
    }
    ~EnvironmentSetting() { set(old_); }

  private:
    void set(const std::optional<QByteArray>& value) {
        if (value)
            qputenv(name_, *value);
        else
            qunsetenv(name_);
    }
    const char* name_;
    std::optional<QByteArray> old_;
};

} // namespace

class TestAsRunLog : public QObject {
    Q_OBJECT
  private slots:
    void formatLine_data();
    void formatLine();
    void linesGoToTheFileOfTheirLocalDate();
    void oldDayFilesAreRemoved();
    void defaultFolder_data();
    void defaultFolder();
    void folderThatCannotBeCreated();
    void diskFullIsReportedAgainAfterARecovery();
    void fullDiskLeavesWholeLinesOnly();
    void writeDoesNotWaitForTheDisk();
    void manyLinesInOrder();
};

void TestAsRunLog::formatLine_data() {
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<AsRunEvent>("event");
    QTest::addColumn<QString>("line");

    QTest::newRow("fired, +01:00, late set")
        << at(2026, 12, 10, 12, 0, 0, 3)
        << AsRunEvent{"fired", "12:00:00", "3", "News jingle", "/m/a b.mp3", 3, QString()}
        << "2026-12-10 12:00:00.003 +01:00\tfired\t12:00:00\t3\tNews jingle\t/m/a b.mp3\t3\t";
    QTest::newRow("no row, UTC")
        << QDateTime(QDate(2026, 1, 2), QTime(0, 0), Qt::UTC)
        << AsRunEvent{"run entered", {}, {}, {}, {}, std::nullopt, "calendar /c/dec.cal"}
        << "2026-01-02 00:00:00.000 +00:00\trun entered\t\t\t\t\t\tcalendar /c/dec.cal";
    QTest::newRow("late 0 is written, -05:00 zone")
        << QDateTime(QDate(2026, 12, 10), QTime(6, 59, 59, 999), QTimeZone("America/New_York"))
        << AsRunEvent{"late", "06:59:58", "12", "Ad", "", 0, ""}
        << "2026-12-10 06:59:59.999 -05:00\tlate\t06:59:58\t12\tAd\t\t0\t";
    QTest::newRow("half hours west")
        << at(2026, 12, 10, 9, 5, 7, 40, -(3 * 3600 + 30 * 60))
        << AsRunEvent{"missed", "08:00:00", "1", "", "", 3907000, "more than a minute late"}
        << "2026-12-10 09:05:07.040 -03:30\tmissed\t08:00:00\t1\t\t\t3907000\t"
           "more than a minute late";
    QTest::newRow("controls in fields become spaces")
        << at(2026, 12, 10, 12, 0, 0, 0, 5 * 3600 + 45 * 60)
        << AsRunEvent{"failed",
                      "12:00:00",
                      "3",
                      "a\tb\r\nc",
                      "/m/x\ty.mp3",
                      std::nullopt,
                      "can't open:\nno such file\r"}
        << "2026-12-10 12:00:00.000 +05:45\tfailed\t12:00:00\t3\ta b  c\t/m/x y.mp3\t\t"
           "can't open: no such file ";
}

void TestAsRunLog::formatLine() {
    QFETCH(QDateTime, at);
    QFETCH(AsRunEvent, event);
    QFETCH(QString, line);
    QVERIFY(at.isValid());
    QCOMPARE(AsRunLog::formatLine(at, event), line);
}

void TestAsRunLog::linesGoToTheFileOfTheirLocalDate() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("state/deep/cantrel"); // made with its parents
    AsRunLog log(folder);
    QCOMPARE(log.fileFor(QDate(2026, 12, 10)),
             dir.filePath("state/deep/cantrel/as-run-2026-12-10.log"));

    QVERIFY(QDir().mkpath(folder));
    writeText(log.fileFor(QDate(2026, 12, 10)), "line from an earlier run\n");

    const QString a = log.write(at(2026, 12, 10, 23, 59, 59, 999), fired("Last of the day"));
    const QString b = log.write(at(2026, 12, 11, 0, 0, 0, 0), fired("Über den Tag ♪"));
    // 23:30 UTC on the 10th, but the 11th where the event happened.
    const QString c = log.write(at(2026, 12, 11, 0, 30, 0, 0), fired("Half past"));
    // A clock put back over midnight: the 10th's file again.
    const QString d = log.write(at(2026, 12, 10, 23, 59, 59, 500), fired("Again"));
    log.flush();

    QCOMPARE(readText(dir.filePath("state/deep/cantrel/as-run-2026-12-10.log")),
             "line from an earlier run\n"
             "2026-12-10 23:59:59.999 +01:00\tfired\t12:00:00\t3\tLast of the day\t/m/a.mp3\t\t\n"
             "2026-12-10 23:59:59.500 +01:00\tfired\t12:00:00\t3\tAgain\t/m/a.mp3\t\t\n");
    QCOMPARE(readText(dir.filePath("state/deep/cantrel/as-run-2026-12-11.log")),
             "2026-12-11 00:00:00.000 +01:00\tfired\t12:00:00\t3\tÜber den Tag ♪\t/m/a.mp3\t\t\n"
             "2026-12-11 00:30:00.000 +01:00\tfired\t12:00:00\t3\tHalf past\t/m/a.mp3\t\t\n");
    // write() hands back the line it queued.
    QCOMPARE(a,
             "2026-12-10 23:59:59.999 +01:00\tfired\t12:00:00\t3\tLast of the day\t/m/a.mp3\t\t");
    QVERIFY(b.contains("Über") && c.contains("Half past") && d.contains("Again"));
}

void TestAsRunLog::oldDayFilesAreRemoved() {
    QTemporaryDir dir;
    const QStringList kept = {"as-run-2026-09-11.log", // 90 days before the 10th of December
                              "as-run-2026-12-09.log",     "notes.txt",
                              "as-run-2026-01-01.log.bak", "as-run-old.log",
                              "my-as-run-2026-01-01.log"};
    for (const QString& name : kept)
        writeText(dir.filePath(name), "x\n");
    writeText(dir.filePath("as-run-2026-09-10.log"), "x\n"); // 91 days
    writeText(dir.filePath("as-run-2025-01-01.log"), "x\n");
    QVERIFY(QDir(dir.path()).mkdir("as-run-2020-01-01.log")); // not a file

    AsRunLog log(dir.path());
    log.write(at(2026, 12, 10, 8, 0, 0), fired("first"));
    log.flush();
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    QStringList expected = kept + QStringList{"as-run-2026-12-10.log", "as-run-2020-01-01.log"};
    left.sort();
    expected.sort();
    QCOMPARE(left, expected);

    // Checked again when the next day's file is opened: the 11th of September
    // is now 91 days back.
    log.write(at(2026, 12, 10, 23, 0, 0), fired("same day"));
    log.flush();
    QVERIFY(QFile::exists(dir.filePath("as-run-2026-09-11.log")));
    log.write(at(2026, 12, 11, 0, 0, 0), fired("next day"));
    log.flush();
    left = QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    expected.removeOne("as-run-2026-09-11.log");
    expected.append("as-run-2026-12-11.log");
    left.sort();
    expected.sort();
    QCOMPARE(left, expected);
}

void TestAsRunLog::defaultFolder_data() {
    QTest::addColumn<std::optional<QByteArray>>("stateHome");
    QTest::addColumn<QString>("folder");
    QTest::newRow("absolute") << std::optional<QByteArray>("/srv/state") << "/srv/state/cantrel";
    QTest::newRow("trailing slash")
        << std::optional<QByteArray>("/srv/state/") << "/srv/state/cantrel";
    QTest::newRow("relative, ignored")
        << std::optional<QByteArray>("state") << "/home/operator/.local/state/cantrel";
    QTest::newRow("empty") << std::optional<QByteArray>("")
                           << "/home/operator/.local/state/cantrel";
    QTest::newRow("unset") << std::optional<QByteArray>() << "/home/operator/.local/state/cantrel";
}

void TestAsRunLog::defaultFolder() {
    QFETCH(std::optional<QByteArray>, stateHome);
    QFETCH(QString, folder);
    const EnvironmentSetting home("HOME", QByteArray("/home/operator"));
    const EnvironmentSetting state("XDG_STATE_HOME", stateHome);
    QCOMPARE(AsRunLog::defaultFolder(), folder);
}

void TestAsRunLog::folderThatCannotBeCreated() {
    QTemporaryDir dir;
    writeText(dir.filePath("plain"), "a regular file\n");
    AsRunLog log(dir.filePath("plain/logs"));
    QStringList told;
    QList<QThread*> toldOn;
    connect(&log, &AsRunLog::writeFailed, this, [&](const QString& text) {
        told.append(text);
        toldOn.append(QThread::currentThread());
    });

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 5; ++i)
        QCOMPARE(log.write(at(2026, 12, 10, 12, 0, i), fired("x")).left(23),
                 QStringLiteral("2026-12-10 12:00:0%1.000").arg(i));
    QVERIFY2(timer.elapsed() < 500, qPrintable(QString::number(timer.elapsed())));
    log.flush();

    QTRY_COMPARE(told.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first(), "Can't write the as-run log " + dir.filePath("plain/logs") +
                               "/as-run-2026-12-10.log: Not a directory");
    QCOMPARE(toldOn.first(), QThread::currentThread()); // queued to the GUI thread
}

void TestAsRunLog::diskFullIsReportedAgainAfterARecovery() {
    if (!QFile::exists("/dev/full"))
        QSKIP("needs /dev/full");
    QTemporaryDir dir;
    QVERIFY(QFile::link("/dev/full", dir.filePath("as-run-2026-12-10.log")));
    AsRunLog log(dir.path());
    QSignalSpy failed(&log, &AsRunLog::writeFailed);
    const QString full =
        "Can't write the as-run log " + dir.filePath("as-run-2026-12-10.log") + ": ";

    for (int i = 0; i < 3; ++i)
        log.write(at(2026, 12, 10, 23, 59, 50 + i), fired("dropped"));
    log.flush();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), full + "No space left on device");

    log.write(at(2026, 12, 11, 0, 0, 0), fired("written"));
    log.flush();
    QCOMPARE(failed.size(), 1);
    QCOMPARE(readText(dir.filePath("as-run-2026-12-11.log")),
             "2026-12-11 00:00:00.000 +01:00\tfired\t12:00:00\t3\twritten\t/m/a.mp3\t\t\n");

    // Written once since, so the next failure is news again.
    log.write(at(2026, 12, 10, 23, 59, 59), fired("dropped"));
    log.write(at(2026, 12, 10, 23, 59, 59), fired("dropped"));
    log.flush();
    QCOMPARE(failed.size(), 2);
    QCOMPARE(failed.at(1).at(0).toString(), full + "No space left on device");
}

// Room for part of a line only: what was written of it goes again, and the
// file holds the whole lines it had.
void TestAsRunLog::fullDiskLeavesWholeLinesOnly() {
    QTemporaryDir dir;
    const QString file = dir.filePath("as-run-2026-12-10.log");
    writeText(file, "line from an earlier run\n");
    AsRunLog log(dir.path());
    QSignalSpy failed(&log, &AsRunLog::writeFailed);
    {
        const test::FileSizeLimit full(25 + 20);
        for (int i = 0; i < 3; ++i)
            log.write(at(2026, 12, 10, 12, 0, i), fired("dropped"));
        log.flush();
    }
    QCOMPARE(readText(file), "line from an earlier run\n");
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.at(0).at(0).toString(),
             "Can't write the as-run log " + file + ": File too large");

    log.write(at(2026, 12, 10, 12, 0, 5), fired("written"));
    log.flush();
    QCOMPARE(readText(file),
             "line from an earlier run\n"
             "2026-12-10 12:00:05.000 +01:00\tfired\t12:00:00\t3\twritten\t/m/a.mp3\t\t\n");
    QCOMPARE(failed.size(), 1);
}

void TestAsRunLog::writeDoesNotWaitForTheDisk() {
#ifndef Q_OS_UNIX
    QSKIP("needs a named pipe");
#else
    // The day file is a pipe nobody reads yet: opening it holds the writer
    // until a reader comes, a second and a half from now.
    QTemporaryDir dir;
    const QString pipe = dir.filePath("as-run-2026-12-10.log");
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        QThread::msleep(1500);
        const int fd = ::open(QFile::encodeName(pipe).constData(), O_RDONLY);
        char buffer[4096];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            received.append(buffer, n);
        if (fd >= 0)
            ::close(fd);
    });

    auto log = std::make_unique<AsRunLog>(dir.path());
    QElapsedTimer timer;
    timer.start();
    QStringList lines;
    for (int i = 0; i < 20; ++i)
        lines.append(log->write(at(2026, 12, 10, 12, 0, 0, i), fired(QString::number(i))));
    const qint64 took = timer.elapsed();
    log->flush();
    log.reset(); // closes the pipe, so the reader sees its end
    reader.join();

    QVERIFY2(took < 1000, qPrintable(QStringLiteral("write() took %1 ms").arg(took)));
    QCOMPARE(QString::fromUtf8(received), lines.join('\n') + '\n');
#endif
}

void TestAsRunLog::manyLinesInOrder() {
    QTemporaryDir dir;
    auto log = std::make_unique<AsRunLog>(dir.path());
    QString expected;
    const auto writeLines = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            AsRunEvent event = fired(QString::number(i));
            event.lateMs = i;
            expected +=
                log->write(at(2026, 12, 10, 12, i / 60000, i / 1000 % 60, i % 1000), event) + '\n';
        }
    };
    writeLines(0, 3000);
    log->flush();
    const QString file = dir.filePath("as-run-2026-12-10.log");
    QCOMPARE(readText(file), expected);

    // What is still queued when the log goes is written out first.
    writeLines(3000, 4000);
    log.reset();
    QCOMPARE(readText(file), expected);
    QCOMPARE(expected.count('\n'), 4000);
}

QTEST_GUILESS_MAIN(TestAsRunLog)
#include "test_as_run_log.moc"
