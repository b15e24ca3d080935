// The day schedule and the month calendar as documents by themselves, with
// no window: new, load and write on real files, their name and flags, and
// what a failure leaves behind.
#include "platform/ProgramError.h"
#include "schedule/ScheduleDocument.h"
#include "support/TestDoubles.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

class TestScheduleDocuments : public QObject {
    Q_OBJECT
  private slots:
    void daySchedule();
    void monthCalendar();
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
