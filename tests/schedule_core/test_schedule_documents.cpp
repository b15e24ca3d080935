// The day schedule and the month calendar as documents by themselves, with
// no window: new, load and write on real files, their name and flags, and
// what a failure leaves behind.
#include "platform/ProgramError.h"
#include "schedule/ScheduleDocument.h"
#include "support/FileSizeLimit.h"
#include "support/Shown.h"
#include "support/TestDoubles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace cantrel;

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

template <class Operation> QString failureOf(Operation operation) {
    try {
        operation();
    } catch (const TextFailure& failure) {
        return failure.text();
    }
    return {};
}

// The 31 file entries of a calendar: the given days' and empty ones.
QStringList calendar(const QMap<int, QString>& entries) {
    QStringList out;
    for (int day = 1; day <= 31; ++day)
        out << entries.value(day);
    return out;
}

QStringList entries(const MonthCalendar& month) {
    QStringList out;
    for (int day = 1; day <= 31; ++day)
        out << month.rows().cell(2, day);
    return out;
}

} // namespace

class TestScheduleDocuments : public QObject {
    Q_OBJECT
  private slots:
    void daySchedule();
    void awkwardBytesSurviveLoadAndWrite_data();
    void awkwardBytesSurviveLoadAndWrite();
    void writeOnAFullDisk_data();
    void writeOnAFullDisk();
    void monthCalendar();
    void calendarLines_data();
    void calendarLines();
    void questionAboutUnsavedChanges_data();
    void questionAboutUnsavedChanges();
};

void TestScheduleDocuments::daySchedule() {
    QTemporaryDir dir;
    DaySchedule day;
    QSignalSpy renamed(&day, &ScheduleDocument::nameChanged);
    day.startNew();
    QCOMPARE(day.name(), QStringLiteral("Untitled.24h"));
    QCOMPARE(renamed.takeFirst().value(0).toString(), QStringLiteral("Untitled.24h"));
    QCOMPARE(day.rows().dataRows(), QList<QStringList>{QStringList(5)});
    QVERIFY(!day.isModified() && !day.hasFile());

    const QString path = dir.filePath("day.24h");
    writeAll(path, "07:30:00,3,\"first bell\",/media/bell.wav\r\n08:00:00,0,,\r\n");
    day.rows().setCell(0, 1, QStringLiteral("+"));
    day.setModified(true);
    day.load(path);
    QCOMPARE(day.name(), path);
    QVERIFY(!day.isModified() && day.hasFile());
    QCOMPARE(day.rows().dataRows(),
             (QList<QStringList>{{"", "07:30:00", "3", "first bell", "/media/bell.wav"},
                                 {"", "08:00:00", "0", "", ""}}));

    // Written to another name, which the document takes.
    day.rows().setCell(3, 2, QStringLiteral("second"));
    day.setModified(true);
    const QString copy = dir.filePath("copy.24h");
    day.write(copy);
    QCOMPARE(day.name(), copy);
    QVERIFY(!day.isModified() && day.hasFile());
    QCOMPARE(readAll(copy), QByteArray("07:30:00,3,\"first bell\",/media/bell.wav\r\n"
                                       "08:00:00,0,second,\r\n"));

    // A failed load leaves the document as it was.
    day.setModified(true);
    QCOMPARE(failureOf([&] { day.load(QString()); }), QStringLiteral(".24h file don't specified"));
    QCOMPARE(failureOf([&] { day.load(dir.filePath("gone.24h")); }),
             QStringLiteral("Can't load .24h file"));
    QCOMPARE(day.name(), copy);
    QVERIFY(day.isModified());
    QCOMPARE(day.rows().cell(3, 2), QStringLiteral("second"));

    // A file without rows still gives the one row a schedule always has.
    writeAll(path, "");
    day.load(path);
    QCOMPARE(day.rows().dataRows(), QList<QStringList>{QStringList(5)});
}

void TestScheduleDocuments::awkwardBytesSurviveLoadAndWrite_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("NUL inside a field")
        << QByteArray("10:00:00,1,a\0b,x\r\n", 18) << QByteArray("10:00:00,1,a\0b,x\r\n", 18);
    QTest::newRow("invalid UTF-8") << QByteArray("10:00:00,1,caf\xE9,\xFF\xFE\r\n")
                                   << QByteArray("10:00:00,1,caf\xE9,\xFF\xFE\r\n");
    QTest::newRow("no final line end")
        << QByteArray("10:00:00,1,a,b") << QByteArray("10:00:00,1,a,b\r\n");
    QTest::newRow("CR only") << QByteArray("1,2\r3,4\r") << QByteArray("1,2,,\r\n3,4,,\r\n");
}

void TestScheduleDocuments::awkwardBytesSurviveLoadAndWrite() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);
    QTemporaryDir dir;
    writeAll(dir.filePath("in.24h"), bytes);
    DaySchedule day;
    day.load(dir.filePath("in.24h"));
    day.write(dir.filePath("out.24h"));
    QCOMPARE(readAll(dir.filePath("out.24h")), saved);
    QCOMPARE(readAll(dir.filePath("in.24h")), bytes);
}

void TestScheduleDocuments::writeOnAFullDisk_data() {
    QTest::addColumn<bool>("isDay");
    QTest::addColumn<int>("rowCount");
    QTest::addColumn<int>("roomBytes");
    // A small file's bytes wait in a buffer until the very end of the save,
    // where a failure is easily missed.
    QTest::newRow("day schedule, one row") << true << 1 << 8;
    QTest::newRow("month calendar") << false << 0 << 8;
    QTest::newRow("day schedule, full part-way through") << true << 5000 << 4096;
}

// A save that runs out of room says so and leaves the old file whole, and the
// changes unsaved: the next close still asks.
void TestScheduleDocuments::writeOnAFullDisk() {
    QFETCH(bool, isDay);
    QFETCH(int, rowCount);
    QFETCH(int, roomBytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(isDay ? "old.24h" : "old.31d");
    const QByteArray old = isDay ? QByteArray("old,contents\r\n") : QByteArray("1 old.24h\r\n");
    writeAll(path, old);
    std::unique_ptr<ScheduleDocument> document;
    if (isDay)
        document = std::make_unique<DaySchedule>();
    else
        document = std::make_unique<MonthCalendar>();
    document->load(path);
    if (isDay) {
        QList<QStringList> rows;
        for (int i = 0; i < rowCount; ++i)
            rows.append({"", "10:00:00", "1", QStringLiteral("row %1").arg(i), "/m/file.wav"});
        document->rows().replaceDataRows(rows);
    } else {
        document->rows().setCell(2, 2, QStringLiteral("new.24h"));
    }
    document->setModified(true);

    QString shown, detail;
    {
        const test::FileSizeLimit full(roomBytes);
        try {
            document->write(QString());
        } catch (const ProgramError& failure) {
            shown = failure.text();
            detail = failure.detail();
        }
    }
    QCOMPARE(shown, QStringLiteral("Can't write file!"));
    QCOMPARE(detail, path + ": File too large");
    QCOMPARE(readAll(path), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QFileInfo(path).fileName()});

    test::ScriptedPrompter prompter;
    prompter.answers = {Answer::Cancel};
    QVERIFY(!document->confirmClose(prompter, [] {}));
    QCOMPARE(prompter.takeTexts(),
             QStringList{"The file " + path + " was changed, would you like to save the changes?"});
}

void TestScheduleDocuments::monthCalendar() {
    QTemporaryDir dir;
    MonthCalendar month;
    month.startNew();
    QCOMPARE(month.name(), QStringLiteral("Untitled.31d"));
    QCOMPARE(month.rows().gridRowCount(), 32);
    QCOMPARE(month.rows().rowCells(31), (QStringList{"", "31", ""}));

    const QString path = dir.filePath("month.31d");
    // Days outside the calendar change nothing.
    writeAll(path, "1 /s/mon.24h\r\n0 /s/zero.24h\r\n32 /s/late.24h\r\n31 /s/last day.24h\r\n");
    month.load(path);
    QCOMPARE(month.name(), path);
    QVERIFY(!month.isModified() && month.hasFile());
    QCOMPARE(month.rows().cell(2, 1), QStringLiteral("/s/mon.24h"));
    QCOMPARE(month.rows().cell(2, 31), QStringLiteral("/s/last day.24h"));
    QCOMPARE(month.rows().cell(2, 2), QString());

    month.rows().setCell(2, 1, QString());
    month.write(QString());
    QByteArray expected;
    for (int d = 1; d <= 31; ++d)
        expected += QByteArray::number(d) + ' ' + (d == 31 ? "/s/last day.24h" : "") + "\r\n";
    QCOMPARE(readAll(path), expected);

    writeAll(path, "x /s/mon.24h\r\n");
    QCOMPARE(failureOf([&] { month.load(path); }), QStringLiteral("'x' is not a valid integer value"));
    QCOMPARE(failureOf([&] { month.load(dir.filePath("gone.31d")); }),
             QStringLiteral("Can't load .31d file!"));
}

void TestScheduleDocuments::calendarLines_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("expected");
    // The calendar holds "kept.24h" on day 5, "emptied.24h" on day 3 and
    // "old nine" on day 9 before each load.
    const QMap<int, QString> before = {{3, "emptied.24h"}, {5, "kept.24h"}, {9, "old nine"}};
    // Reverse order, a path with spaces, blanks after the number, a line with
    // only its number, and a later line for the same day winning.
    QTest::newRow("named days only") << QByteArray("31 /srv/last day.24h\r\n"
                                                   "3\r\n"
                                                   "2     /srv/two.24h  \r\n"
                                                   "1 /srv/first.24h\n"
                                                   "1 /srv/second.24h\r")
                                     << ""
                                     << calendar({{1, "/srv/second.24h"},
                                                  {2, "/srv/two.24h"},
                                                  {5, "kept.24h"},
                                                  {9, "old nine"},
                                                  {31, "/srv/last day.24h"}});
    static const char odd[] = "0 zero\r\n-1 minus\r\n32 big\r\n2147483647 max\r\n4 four\0\r\n";
    QMap<int, QString> four = before;
    four[4] = "four";
    QTest::newRow("days outside the month")
        << QByteArray(odd, sizeof odd - 1) << "" << calendar(four);
    // A day that is not a number stops the load where it stands.
    QMap<int, QString> one = before;
    one[1] = "a.24h";
    QTest::newRow("a tab after the number")
        << QByteArray("1 a.24h\r\n2\tb.24h\r\n9 nine.24h\r\n")
        << "error: '2\tb.24h' is not a valid integer value" << calendar(one);
    QMap<int, QString> five = before;
    five[5] = "five";
    QTest::newRow("a number too large for an integer")
        << QByteArray("5 five\r\n99999999999 huge\r\n")
        << "error: '99999999999' is not a valid integer value" << calendar(five);
}

void TestScheduleDocuments::calendarLines() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath("cal.31d");
    writeAll(path, bytes);
    MonthCalendar month;
    month.startNew();
    month.rows().setCell(2, 3, QStringLiteral("emptied.24h"));
    month.rows().setCell(2, 5, QStringLiteral("kept.24h"));
    month.rows().setCell(2, 9, QStringLiteral("old nine"));
    month.rows().setCell(0, 2, QStringLiteral("+"));

    QCOMPARE(test::shownFor([&] { month.load(path); }), shown);
    QCOMPARE(entries(month), expected);
    QCOMPARE(month.rows().gridRowCount(), 32);
    QCOMPARE(month.rows().cell(0, 2), QStringLiteral("+"));
    QCOMPARE(month.rows().cell(1, 31), QStringLiteral("31"));
    QCOMPARE(month.hasFile(), shown.isEmpty());
    QCOMPARE(month.name(), shown.isEmpty() ? path : QStringLiteral("Untitled.31d"));

    // Written back: every day, its entry as loaded.
    QByteArray written;
    for (int day = 1; day <= 31; ++day)
        written += QByteArray::number(day) + ' ' + expected[day - 1].toUtf8() + "\r\n";
    month.write(dir.filePath("out.31d"));
    QCOMPARE(readAll(dir.filePath("out.31d")), written);
}

void TestScheduleDocuments::questionAboutUnsavedChanges_data() {
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QList<Answer>>("answers");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("saves");
    QTest::newRow("unmodified: no question") << false << QList<Answer>{} << true << 0;
    QTest::newRow("Yes saves") << true << QList<Answer>{Answer::Yes} << true << 1;
    QTest::newRow("No drops the changes") << true << QList<Answer>{Answer::No} << true << 0;
    QTest::newRow("Cancel keeps everything") << true << QList<Answer>{Answer::Cancel} << false << 0;
}

void TestScheduleDocuments::questionAboutUnsavedChanges() {
    QFETCH(bool, modified);
    QFETCH(QList<Answer>, answers);
    QFETCH(bool, closes);
    QFETCH(int, saves);
    test::ScriptedPrompter prompter;
    prompter.answers = answers;
    DaySchedule day;
    day.startNew();
    day.setName(QStringLiteral("/s/week <1>.24h"));
    day.setModified(modified);
    int saved = 0;
    QCOMPARE(day.confirmClose(prompter, [&] { ++saved; }), closes);
    QCOMPARE(saved, saves);
    const QList<test::ScriptedPrompter::Shown> shown = prompter.takeShown();
    if (modified) {
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].kind, QStringLiteral("question"));
        QCOMPARE(shown[0].caption, QStringLiteral("Warning"));
        QCOMPARE(shown[0].text, QStringLiteral("The file /s/week <1>.24h was changed, would you "
                                               "like to save the changes?"));
    } else {
        QVERIFY(shown.isEmpty());
    }
    // Answered without Cancel, the document is ready to be replaced: no name,
    // no changes. Cancel leaves it as it was.
    QCOMPARE(day.name(), closes ? QString() : QStringLiteral("/s/week <1>.24h"));
    QCOMPARE(day.isModified(), !closes);
}

QTEST_GUILESS_MAIN(TestScheduleDocuments)
#include "test_schedule_documents.moc"
