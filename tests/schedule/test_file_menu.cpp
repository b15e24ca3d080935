// The File menu in the window: each command reaches its document, the
// panels' titles follow the documents' names, a loaded day schedule starts
// at its first row, and failures reach the operator.
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainWindowFixture.h"

#include <QGroupBox>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

class TestFileMenu : public QObject {
    Q_OBJECT
  private slots:
    void commandsReachTheirDocument_data();
    void commandsReachTheirDocument();
    void loadSelectsTheFirstRowAndShowsIt();
    void failuresAreShown_data();
    void failuresAreShown();
    void emptyDayScheduleNameIsShownAndNothingAsked();
    void hugeFilesLoad();
};

void TestFileMenu::commandsReachTheirDocument_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("col");
    QTest::addColumn<QByteArray>("newBytes");
    QTest::addColumn<QByteArray>("editedStart");
    QByteArray emptyCalendar;
    for (int day = 1; day <= 31; ++day)
        emptyCalendar += QByteArray::number(day) + " \r\n";
    QTest::newRow("day schedule") << "24h" << 3 << QByteArray(",,,\r\n") << QByteArray(",,x,\r\n");
    QTest::newRow("month calendar") << "31d" << 2 << emptyCalendar << QByteArray("1 x\r\n2 \r\n");
}

void TestFileMenu::commandsReachTheirDocument() {
    QFETCH(QString, kind);
    QFETCH(int, col);
    QFETCH(QByteArray, newBytes);
    QFETCH(QByteArray, editedStart);
    MainWindowFixture f;
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    const bool day = kind == "24h";
    ScheduleDocument& document =
        day ? static_cast<ScheduleDocument&>(w.daySchedule()) : w.monthCalendar();
    QGroupBox* panel = day ? w.dayGroupBox : w.monthGroupBox;
    const QString filter = "." + kind + " files|*." + kind;
    const auto trigger = [&](const QString& command) {
        f.trigger(qPrintable(command + kind + "1"));
    };

    // Save on the new document goes through Save As.
    f.prompter.saveAnswers = {f.path("new." + kind)};
    trigger("Save");
    QCOMPARE(f.prompter.saveRequests.last().filter, filter);
    QCOMPARE(f.read("new." + kind), newBytes);
    QCOMPARE(panel->title(), f.path("new." + kind));

    document.rows().setCell(col, 1, QStringLiteral("x"));
    trigger("Save");
    QCOMPARE(f.prompter.saveRequests.size(), 1);
    QVERIFY(f.read("new." + kind).startsWith(editedStart));

    f.prompter.saveAnswers = {f.path("copy." + kind)};
    trigger("SaveAs");
    QCOMPARE(f.prompter.saveRequests.last().fileName, f.path("new." + kind));
    QVERIFY(f.read("copy." + kind).startsWith(editedStart));
    QCOMPARE(panel->title(), f.path("copy." + kind));

    document.setModified(true);
    f.prompter.answers = {Answer::No};
    trigger("New");
    QCOMPARE(f.prompter.takeShown().size(), 1);
    QCOMPARE(panel->title(), "Untitled." + kind);
    QCOMPARE(document.rows().cell(col, 1), QString());

    f.prompter.openAnswers = {f.path("copy." + kind)};
    trigger("Load");
    QCOMPARE(f.prompter.openRequests.last().filter, filter);
    QCOMPARE(panel->title(), f.path("copy." + kind));
    QCOMPARE(document.rows().cell(col, 1), QStringLiteral("x"));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestFileMenu::loadSelectsTheFirstRowAndShowsIt() {
    MainWindowFixture f;
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    f.write("three.24h", "07:00:00,1,a\r\n07:30:00,1,b\r\n08:00:00,1,c\r\n");
    f.write("day.24h", "08:00:00,3,\"Morning bell\",\"/media/bell one.wav\"\r\n"
                       "09:30:00,,Break\r\n");
    w.loadDaySchedule(f.path("three.24h"));
    w.dayGrid->setRow(3);
    w.dayGrid->setCell(0, 3, QStringLiteral("+"));

    f.prompter.openAnswers = {f.path("day.24h")};
    f.trigger("Load24h1");
    QCOMPARE(w.dayGrid->cells()->dataRows(),
             (QList<QStringList>{{"", "08:00:00", "3", "Morning bell", "/media/bell one.wav"},
                                 {"", "09:30:00", "", "Break", ""}}));
    QCOMPARE(w.dayGroupBox->title(), f.path("day.24h"));
    QVERIFY(w.daySchedule().hasFile() && !w.daySchedule().isModified());
    QCOMPARE(w.dayGrid->row(), 1);
    QCOMPARE(w.dayEditGrid->rowCells(0),
             (QStringList{"", "08:00:00", "3", "Morning bell", "/media/bell one.wav"}));

    f.prompter.saveAnswers = {f.path("copy.24h")};
    f.trigger("SaveAs24h1");
    QCOMPARE(f.read("copy.24h"),
             QByteArray("08:00:00,3,\"Morning bell\",\"/media/bell one.wav\"\r\n"
                        "09:30:00,,Break,\r\n"));
}

void TestFileMenu::failuresAreShown_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("the program's text in a plain box") << "Load24h1" << QByteArray() << "message"
                                                       << "Can't load .24h file";
    QTest::newRow("a conversion in the error display")
        << "Load31d1" << QByteArray("x a.24h\r\n") << "error"
        << "'x' is not a valid integer value";
}

void TestFileMenu::failuresAreShown() {
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    MainWindowFixture f;
    QVERIFY(f.start());
    if (!bytes.isEmpty())
        f.write("file", bytes);
    f.prompter.openAnswers = {f.path("file")};
    f.trigger(qPrintable(command));
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, kind);
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, text);
}

void TestFileMenu::emptyDayScheduleNameIsShownAndNothingAsked() {
    MainWindowFixture f;
    QVERIFY(f.start());
    f.form->daySchedule().setModified(true);
    f.form->handle([&] { f.form->loadDaySchedule(QString()); });
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, QStringLiteral("message"));
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, QStringLiteral(".24h file don't specified"));
    QCOMPARE(f.form->dayGroupBox->title(), QStringLiteral("Untitled.24h"));
    QVERIFY(f.form->daySchedule().isModified());
}

void TestFileMenu::hugeFilesLoad() {
    MainWindowFixture f;
    QVERIFY(f.start());
    QByteArray longLine = "10:00:00,1," + QByteArray(4 * 1024 * 1024, 'x') + ",end\r\n";
    f.write("long.24h", longLine);
    f.form->loadDaySchedule(f.path("long.24h"));
    QCOMPARE(f.form->dayGrid->cell(3, 1).size(), 4 * 1024 * 1024);
    QCOMPARE(f.form->dayGrid->cell(4, 1), QStringLiteral("end"));

    QByteArray million;
    million.reserve(12 * 1000 * 1000);
    for (int i = 0; i < 1000 * 1000; ++i)
        million += "1,2,3,4\r\n";
    f.write("million.24h", million);
    f.form->loadDaySchedule(f.path("million.24h"));
    QCOMPARE(f.form->dayGrid->rowCount(), 1000 * 1000 + 1);
    f.form->writeDaySchedule(QString());
    QCOMPARE(f.read("million.24h"), million);
}

QTEST_MAIN(TestFileMenu)
#include "test_file_menu.moc"
