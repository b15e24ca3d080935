// The day schedule document through the window's File menu: the bytes on
// disk, the question about unsaved changes and the state after each failure.
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/MainFormFixture.h"

#include <QGroupBox>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace cantrel;
using namespace cantrel::test;

namespace {

QList<QStringList> dataRows(const TMainForm& w)
{
    return w.DayGrid->cells()->dataRows();
}

// Holds an exclusive lock on a file, as another program that has it open would.
struct HeldLock {
    int fd;
    explicit HeldLock(const QString& path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR))
    {
        if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
            qFatal("cannot lock %s", qPrintable(path));
    }
    ~HeldLock() { ::close(fd); }
};

} // namespace

class TestDayDocument : public QObject {
    Q_OBJECT
private slots:
    void newDocumentSavesAsThreeCommas();
    void loadFillsRowsAndEditor();
    void loadFailures_data();
    void loadFailures();
    void emptyNameChangesNothingAndAsksNothing();
    void cancelAtQuestionChangesNothing();
    void yesWithCancelledSaveAsStillReplaces();
    void yesWithFailingSaveReplacesNothing();
    void saveOnUntitledOpensSaveAs();
    void saveToLockedOrMissingFolderFails();
    void failedWriteKeepsOldFile();
    void awkwardFilesSurviveLoadAndSave_data();
    void awkwardFilesSurviveLoadAndSave();
    void hugeFilesLoad();
};

void TestDayDocument::newDocumentSavesAsThreeCommas()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.prompter.saveAnswers = {f.path("new.24h")};
    f.trigger("SaveAs24h1");
    QCOMPARE(f.read("new.24h"), QByteArray(",,,\r\n"));
    QCOMPARE(f.form->DayGroupBox->title(), f.path("new.24h"));
    QVERIFY(f.form->daySchedule().hasFile());
    QVERIFY(!f.form->daySchedule().isModified());

    f.trigger("Load24h1");
    QCOMPARE(f.prompter.openRequests.last().filter, QStringLiteral(".24h files|*.24h"));
    f.prompter.openAnswers = {f.path("new.24h")};
    f.trigger("Load24h1");
    QCOMPARE(dataRows(*f.form), QList<QStringList>{QStringList(5)});
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestDayDocument::loadFillsRowsAndEditor()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("day.24h", "08:00:00,3,\"Morning bell\",\"/media/bell one.wav\"\r\n"
                       "09:30:00,,Break\r\n");
    f.form->DayGrid->setCell(0, 1, QStringLiteral("+"));
    f.prompter.openAnswers = {f.path("day.24h")};
    f.trigger("Load24h1");
    QCOMPARE(dataRows(*f.form),
             (QList<QStringList>{{"", "08:00:00", "3", "Morning bell", "/media/bell one.wav"},
                                 {"", "09:30:00", "", "Break", ""}}));
    QCOMPARE(f.form->DayGroupBox->title(), f.path("day.24h"));
    QVERIFY(f.form->daySchedule().hasFile() && !f.form->daySchedule().isModified());
    QCOMPARE(f.form->DayGrid->row(), 1);
    QCOMPARE(f.form->EditDayGrid->rowCells(0),
             (QStringList{"", "08:00:00", "3", "Morning bell", "/media/bell one.wav"}));
    // Choosing a file makes its folder current for the next dialog.
    QCOMPARE(QDir::currentPath(), QFileInfo(f.path("day.24h")).absolutePath());

    f.prompter.saveAnswers = {f.path("copy.24h")};
    f.trigger("SaveAs24h1");
    QCOMPARE(f.read("copy.24h"), QByteArray("08:00:00,3,\"Morning bell\",\"/media/bell one.wav\"\r\n"
                                            "09:30:00,,Break,\r\n"));
}

void TestDayDocument::loadFailures_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("held by another program") << "locked";
}

void TestDayDocument::loadFailures()
{
    QFETCH(QString, kind);
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("old.24h", "07:00:00,1,old\r\n");
    f.form->LoadDaySchedule(f.path("old.24h"));
    f.form->daySchedule().setModified(true);
    f.write("target.24h", "10:00:00,2,new\r\n");
    QDir(f.dir.path()).mkdir("folder.24h");
    std::optional<HeldLock> lock;
    QString target = f.path("absent.24h");
    if (kind == "folder")
        target = f.path("folder.24h");
    if (kind == "locked") {
        target = f.path("target.24h");
        lock.emplace(target);
    }
    const auto before = dataRows(*f.form);
    f.prompter.answers = {Answer::No};
    f.prompter.openAnswers = {target};
    f.trigger("Load24h1");
    QCOMPARE(f.prompter.takeTexts(),
             (QStringList{"The file " + f.path("old.24h") +
                              " was changed, would you like to save the changes?",
                          "Can't load .24h file"}));
    QCOMPARE(dataRows(*f.form), before);
    QCOMPARE(f.form->DayGroupBox->title(), QString());
    QVERIFY(!f.form->daySchedule().isModified());
    QVERIFY(f.form->daySchedule().hasFile());
    QCOMPARE(f.read("target.24h"), QByteArray("10:00:00,2,new\r\n"));
}

void TestDayDocument::emptyNameChangesNothingAndAsksNothing()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.form->daySchedule().setModified(true);
    f.form->handle([&] { f.form->LoadDaySchedule(QString()); });
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, QStringLiteral(".24h file don't specified"));
    QCOMPARE(f.form->DayGroupBox->title(), QStringLiteral("Untitled.24h"));
    QVERIFY(f.form->daySchedule().isModified());
}

void TestDayDocument::cancelAtQuestionChangesNothing()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("day.24h", "10:00:00,1,x\r\n");
    f.form->DayGrid->setCell(3, 1, QStringLiteral("edited"));
    f.form->daySchedule().setModified(true);
    for (const char* command : {"Load24h1", "New24h1"}) {
        f.prompter.answers = {Answer::Cancel};
        f.prompter.openAnswers = {f.path("day.24h")};
        f.trigger(command);
        QCOMPARE(f.prompter.takeShown().size(), 1);
        QCOMPARE(f.form->DayGrid->cell(3, 1), QStringLiteral("edited"));
        QCOMPARE(f.form->DayGroupBox->title(), QStringLiteral("Untitled.24h"));
        QVERIFY(f.form->daySchedule().isModified());
    }
}

void TestDayDocument::yesWithCancelledSaveAsStillReplaces()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("day.24h", "10:00:00,1,x\r\n");
    f.form->daySchedule().setModified(true);
    f.prompter.answers = {Answer::Yes};
    f.prompter.openAnswers = {f.path("day.24h")};
    f.trigger("Load24h1");
    QCOMPARE(f.prompter.saveRequests.size(), 1);
    QCOMPARE(f.form->DayGroupBox->title(), f.path("day.24h"));
    QCOMPARE(f.form->DayGrid->cell(3, 1), QStringLiteral("x"));
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList{"day.24h"});
}

void TestDayDocument::yesWithFailingSaveReplacesNothing()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("day.24h", "10:00:00,1,x\r\n");
    f.form->DayGrid->setCell(3, 1, QStringLiteral("mine"));
    f.form->daySchedule().setModified(true);
    f.prompter.answers = {Answer::Yes};
    const QString nowhere = f.path("no-such-folder/a.24h");
    f.prompter.saveAnswers = {nowhere};
    f.form->handle([&] { f.form->NewDaySchedule(); });
    QCOMPARE(f.prompter.takeTexts().last(), QStringLiteral("Can't create file!"));
    QCOMPARE(f.form->DayGrid->cell(3, 1), QStringLiteral("mine"));
    QVERIFY(f.form->daySchedule().isModified());
    QCOMPARE(f.form->DayGroupBox->title(), nowhere);
}

void TestDayDocument::saveOnUntitledOpensSaveAs()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.trigger("Save24h1");
    QCOMPARE(f.prompter.saveRequests.size(), 1);
    const FileDialogRequest& r = f.prompter.saveRequests[0];
    QCOMPARE(r.fileName, QStringLiteral("Untitled.24h"));
    QCOMPARE(r.filter, QStringLiteral(".24h files|*.24h"));
    QCOMPARE(r.defaultSuffix, QStringLiteral("24h"));
    QVERIFY(r.confirmOverwrite);
    QCOMPARE(r.directory, QDir::currentPath());
    QVERIFY(!f.form->daySchedule().hasFile());

    // Once it has a file, Save writes there without asking.
    f.prompter.saveAnswers = {f.path("a.24h")};
    f.trigger("Save24h1");
    f.form->DayGrid->setCell(1, 1, QStringLiteral("11:00:00"));
    f.trigger("Save24h1");
    QCOMPARE(f.prompter.saveRequests.size(), 2);
    QCOMPARE(f.read("a.24h"), QByteArray("11:00:00,,,\r\n"));
}

void TestDayDocument::saveToLockedOrMissingFolderFails()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("held.24h", "old\r\n");
    HeldLock lock(f.path("held.24h"));
    f.prompter.saveAnswers = {f.path("held.24h")};
    f.trigger("SaveAs24h1");
    QCOMPARE(f.prompter.takeTexts(), QStringList{"Can't create file!"});
    QCOMPARE(f.read("held.24h"), QByteArray("old\r\n"));
    QCOMPARE(f.form->DayGroupBox->title(), f.path("held.24h"));
    QVERIFY(!f.form->daySchedule().hasFile());
}

void TestDayDocument::failedWriteKeepsOldFile()
{
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("big.24h", "old,contents\r\n");
    QList<QStringList> rows;
    for (int i = 0; i < 5000; ++i)
        rows.append({"", "10:00:00", "1", QStringLiteral("row %1").arg(i), "/some/media/file.wav"});
    f.form->DayGrid->replaceDataRows(rows);
    f.form->daySchedule().setModified(true);

    // The disk "fills up" part-way through the write.
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    f.form->handle([&] { f.form->WriteDaySchedule(f.path("big.24h")); });
    ::setrlimit(RLIMIT_FSIZE, &old);

    QCOMPARE(f.prompter.takeTexts(), QStringList{"Can't write file!"});
    QCOMPARE(f.read("big.24h"), QByteArray("old,contents\r\n"));
    QVERIFY(f.form->daySchedule().isModified());
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList{"big.24h"});
}

void TestDayDocument::awkwardFilesSurviveLoadAndSave_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("NUL inside a field") << QByteArray("10:00:00,1,a\0b,x\r\n", 18)
                                        << QByteArray("10:00:00,1,a\0b,x\r\n", 18);
    QTest::newRow("invalid UTF-8") << QByteArray("10:00:00,1,caf\xE9,\xFF\xFE\r\n")
                                   << QByteArray("10:00:00,1,caf\xE9,\xFF\xFE\r\n");
    QTest::newRow("no final line end") << QByteArray("10:00:00,1,a,b") << QByteArray("10:00:00,1,a,b\r\n");
    QTest::newRow("CR only") << QByteArray("1,2\r3,4\r") << QByteArray("1,2,,\r\n3,4,,\r\n");
}

void TestDayDocument::awkwardFilesSurviveLoadAndSave()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, saved);
    MainFormFixture f;
    QVERIFY(f.start());
    f.write("in.24h", bytes);
    f.form->LoadDaySchedule(f.path("in.24h"));
    f.form->WriteDaySchedule(f.path("out.24h"));
    QCOMPARE(f.read("out.24h"), saved);
    QCOMPARE(f.read("in.24h"), bytes);
}

void TestDayDocument::hugeFilesLoad()
{
    MainFormFixture f;
    QVERIFY(f.start());
    QByteArray longLine = "10:00:00,1," + QByteArray(4 * 1024 * 1024, 'x') + ",end\r\n";
    f.write("long.24h", longLine);
    f.form->LoadDaySchedule(f.path("long.24h"));
    QCOMPARE(f.form->DayGrid->cell(3, 1).size(), 4 * 1024 * 1024);
    QCOMPARE(f.form->DayGrid->cell(4, 1), QStringLiteral("end"));

    QByteArray million;
    million.reserve(12 * 1000 * 1000);
    for (int i = 0; i < 1000 * 1000; ++i)
        million += "1,2,3,4\r\n";
    f.write("million.24h", million);
    f.form->LoadDaySchedule(f.path("million.24h"));
    QCOMPARE(f.form->DayGrid->rowCount(), 1000 * 1000 + 1);
    f.form->WriteDaySchedule(QString());
    QCOMPARE(f.read("million.24h"), million);
}

QTEST_MAIN(TestDayDocument)
#include "test_day_document.moc"
