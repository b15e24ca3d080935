// The File commands of both documents, with no window: what each command
// asks, what it writes, and what the document is after a cancel or a failure.
#include "platform/FileDialogs.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "support/Shown.h"
#include "support/TestDoubles.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <unistd.h>

using namespace cantrel;
using namespace cantrel::test;

namespace {

// Holds a lock on a file, as another program that has it open would: an
// exclusive one, or a shared one (a reader's).
struct HeldLock {
    int fd;
    explicit HeldLock(const QString& path, int kind = LOCK_EX)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR)) {
        if (fd < 0 || ::flock(fd, kind | LOCK_NB) != 0)
            qFatal("cannot lock %s", qPrintable(path));
    }
    ~HeldLock() { ::close(fd); }
};

// Both documents, new, with their File commands in a folder of their own,
// which is the current one.
struct Files {
    QTemporaryDir dir;
    QString started = QDir::currentPath();
    ScriptedPrompter prompter;
    FileDialogs dialogs{prompter};
    DaySchedule day;
    MonthCalendar month;
    DocumentFiles dayFiles{day, prompter, dialogs};
    DocumentFiles monthFiles{month, prompter, dialogs};

    Files() {
        QDir::setCurrent(dir.path());
        day.startNew();
        month.startNew();
    }
    ~Files() { QDir::setCurrent(started); }

    DocumentFiles& files(const QString& kind) { return kind == "day" ? dayFiles : monthFiles; }
    QString path(const QString& name) const { return dir.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files); }
};

// A calendar file with the given entries on its days and none on the others.
QByteArray calendarBytes(const QMap<int, QByteArray>& entries) {
    QByteArray bytes;
    for (int day = 1; day <= 31; ++day)
        bytes += QByteArray::number(day) + ' ' + entries.value(day) + "\r\n";
    return bytes;
}

const QString dayQuestion =
    QStringLiteral("The file Untitled.24h was changed, would you like to save the changes?");

} // namespace

class TestDocumentFiles : public QObject {
    Q_OBJECT
  private slots:
    void saveAsksForAFileOnlyOnce_data();
    void saveAsksForAFileOnlyOnce();
    void loadFailures_data();
    void loadFailures();
    void emptyName_data();
    void emptyName();
    void questionBeforeReplacing_data();
    void questionBeforeReplacing();
    void saveAsToAHeldFileFails();
};

void TestDocumentFiles::saveAsksForAFileOnlyOnce_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("untitled");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QByteArray>("newBytes");
    QTest::addColumn<int>("col");
    QTest::addColumn<QByteArray>("editedBytes");
    QTest::newRow("day schedule") << "day"
                                  << "Untitled.24h"
                                  << ".24h files|*.24h"
                                  << "24h" << QByteArray(",,,\r\n") << 1
                                  << QByteArray("11:00:00,,,\r\n");
    QTest::newRow("month calendar")
        << "month"
        << "Untitled.31d"
        << ".31d files|*.31d"
        << "31d" << calendarBytes({}) << 2 << calendarBytes({{1, "11:00:00"}});
}

void TestDocumentFiles::saveAsksForAFileOnlyOnce() {
    QFETCH(QString, kind);
    QFETCH(QString, untitled);
    QFETCH(QString, filter);
    QFETCH(QString, suffix);
    QFETCH(QByteArray, newBytes);
    QFETCH(int, col);
    QFETCH(QByteArray, editedBytes);
    Files f;
    DocumentFiles& files = f.files(kind);
    ScheduleDocument& document = files.document();
    QSignalSpy loaded(&files, &DocumentFiles::loaded);

    // A new document has no file: Save asks for one, proposing its name.
    files.save();
    QCOMPARE(f.prompter.saveRequests.size(), 1);
    const FileDialogRequest r = f.prompter.saveRequests[0];
    QCOMPARE(r.fileName, untitled);
    QCOMPARE(r.filter, filter);
    QCOMPARE(r.defaultSuffix, suffix);
    QVERIFY(r.confirmOverwrite);
    QCOMPARE(r.directory, f.dir.path());
    QVERIFY(f.files().isEmpty());
    QVERIFY(!document.hasFile());

    const QString saved = f.path("saved." + suffix);
    f.prompter.saveAnswers = {saved};
    files.save();
    QCOMPARE(f.read("saved." + suffix), newBytes);
    QCOMPARE(document.name(), saved);
    QVERIFY(document.hasFile() && !document.isModified());

    // Once it has a file, Save writes there without asking.
    document.rows().setCell(col, 1, QStringLiteral("11:00:00"));
    document.setModified(true);
    files.save();
    QCOMPARE(f.prompter.saveRequests.size(), 2);
    QCOMPARE(f.read("saved." + suffix), editedBytes);
    QVERIFY(!document.isModified());

    // Loaded back through the open dialog, for the document's own files.
    document.rows().setCell(col, 1, QString());
    f.prompter.openAnswers = {saved};
    files.openChosen();
    QCOMPARE(f.prompter.openRequests.last().filter, filter);
    QCOMPARE(document.rows().cell(col, 1), QStringLiteral("11:00:00"));
    QCOMPARE(loaded.size(), 1);
    // A cancelled open dialog loads nothing.
    files.openChosen();
    QCOMPARE(loaded.size(), 1);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestDocumentFiles::loadFailures_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("why"); // below the text, after the file's name
    QTest::newRow("missing") << "day"
                             << "absent.24h"
                             << "message: Can't load .24h file" << "no such file";
    QTest::newRow("folder") << "day"
                            << "folder.24h"
                            << "message: Can't load .24h file" << "a folder, not a file";
    QTest::newRow("held by another program") << "day"
                                             << "target.24h"
                                             << "message: Can't load .24h file"
                                             << "in use by another program";
    QTest::newRow("held under a shared lock") << "day"
                                              << "shared.24h"
                                              << "message: Can't load .24h file"
                                              << "in use by another program";
    QTest::newRow("missing calendar") << "month"
                                      << "absent.31d"
                                      << "message: Can't load .31d file!" << "no such file";
}

// The question is answered No, so the document lets go of its name and its
// changes; the failed load then leaves its rows as they were.
void TestDocumentFiles::loadFailures() {
    QFETCH(QString, kind);
    QFETCH(QString, target);
    QFETCH(QString, shown);
    Files f;
    DocumentFiles& files = f.files(kind);
    ScheduleDocument& document = files.document();
    f.write("old.file", "1 old\r\n");
    f.write("target.24h", "10:00:00,2,new\r\n");
    f.write("shared.24h", "10:00:00,2,new\r\n");
    QDir(f.dir.path()).mkdir("folder.24h");
    std::optional<HeldLock> lock;
    if (target == "target.24h")
        lock.emplace(f.path(target));
    else if (target == "shared.24h")
        lock.emplace(f.path(target), LOCK_SH);
    document.rows().setCell(2, 1, QStringLiteral("mine"));
    document.setName(f.path("old.file"));
    document.setHasFile(true);
    document.setModified(true);
    const QList<QStringList> before = document.rows().dataRows();
    QSignalSpy loaded(&files, &DocumentFiles::loaded);

    f.prompter.answers = {Answer::No};
    QCOMPARE(shownFor([&] { files.load(f.path(target)); }), shown);
    QCOMPARE(f.prompter.takeTexts(),
             QStringList{"The file " + f.path("old.file") +
                         " was changed, would you like to save the changes?"});
    QCOMPARE(document.rows().dataRows(), before);
    QCOMPARE(document.name(), QString());
    QVERIFY(!document.isModified());
    QVERIFY(document.hasFile());
    QVERIFY(loaded.isEmpty());
    QCOMPARE(f.read("target.24h"), QByteArray("10:00:00,2,new\r\n"));
    QFETCH(QString, why);
    QCOMPARE(detailFor([&] { document.load(f.path(target)); }), f.path(target) + ": " + why);
}

void TestDocumentFiles::emptyName_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QString>("shown");
    QTest::newRow("day schedule: refused before the question")
        << "day" << QStringList{} << "message: .24h file don't specified";
    QTest::newRow("month calendar: asked, then not loaded")
        << "month"
        << QStringList{"The file Untitled.31d was changed, would you like to save the changes?"}
        << "message: Can't load .31d file!";
}

void TestDocumentFiles::emptyName() {
    QFETCH(QString, kind);
    QFETCH(QStringList, asked);
    QFETCH(QString, shown);
    Files f;
    DocumentFiles& files = f.files(kind);
    files.document().setModified(true);
    f.prompter.answers = {Answer::No};
    QCOMPARE(shownFor([&] { files.load(QString()); }), shown);
    QCOMPARE(f.prompter.takeTexts(), asked);
    if (asked.isEmpty()) {
        QVERIFY(files.document().isModified());
        QCOMPARE(files.document().name(), QStringLiteral("Untitled.24h"));
    }
}

void TestDocumentFiles::questionBeforeReplacing_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("saveAnswer");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<QString>("name");
    QTest::newRow("Cancel at Load") << "day"
                                    << "load" << Answer::Cancel << ""
                                    << "" << false << "Untitled.24h";
    QTest::newRow("Cancel at New") << "day"
                                   << "new" << Answer::Cancel << ""
                                   << "" << false << "Untitled.24h";
    // Yes with a cancelled Save As writes nothing and still replaces.
    QTest::newRow("Yes, Save As cancelled, Load") << "day"
                                                  << "load" << Answer::Yes << ""
                                                  << "" << true << "day.24h";
    // Yes with a save that fails: nothing is replaced; the document has
    // taken the name it could not be saved under.
    QTest::newRow("Yes, save fails, New") << "day"
                                          << "new" << Answer::Yes << "none/a.24h"
                                          << "message: Can't create file!" << false << "none/a.24h";
    QTest::newRow("calendar: Yes, save fails, New")
        << "month"
        << "new" << Answer::Yes << "none/a.31d"
        << "message: Can't create file!" << false << "none/a.31d";
    QTest::newRow("calendar: No, New") << "month"
                                       << "new" << Answer::No << ""
                                       << "" << true << "Untitled.31d";
}

void TestDocumentFiles::questionBeforeReplacing() {
    QFETCH(QString, kind);
    QFETCH(QString, command);
    QFETCH(Answer, answer);
    QFETCH(QString, saveAnswer);
    QFETCH(QString, shown);
    QFETCH(bool, replaced);
    QFETCH(QString, name);
    Files f;
    DocumentFiles& files = f.files(kind);
    ScheduleDocument& document = files.document();
    f.write("day.24h", "10:00:00,1,x\r\n");
    document.rows().setCell(2, 1, QStringLiteral("mine"));
    document.setModified(true);
    const QString untitled = document.name();

    f.prompter.answers = {answer};
    if (!saveAnswer.isEmpty())
        f.prompter.saveAnswers = {f.path(saveAnswer)};
    QCOMPARE(shownFor([&] {
                 if (command == "load")
                     files.load(f.path("day.24h"));
                 else
                     files.newDocument();
             }),
             shown);
    QCOMPARE(
        f.prompter.takeTexts(),
        QStringList{"The file " + untitled + " was changed, would you like to save the changes?"});
    QCOMPARE(f.prompter.saveRequests.size(), answer == Answer::Yes ? 1 : 0);
    QCOMPARE(document.name(), name.startsWith("Untitled") ? name : f.path(name));
    QCOMPARE(document.rows().cell(2, 1) == QStringLiteral("mine"), !replaced);
    QCOMPARE(document.isModified(), !replaced);
    QCOMPARE(f.files(), QStringList{"day.24h"});
}

void TestDocumentFiles::saveAsToAHeldFileFails() {
    Files f;
    f.write("held.24h", "old\r\n");
    HeldLock lock(f.path("held.24h"));
    f.prompter.saveAnswers = {f.path("held.24h")};
    QCOMPARE(shownFor([&] { f.dayFiles.saveAs(); }), QStringLiteral("message: Can't create file!"));
    QCOMPARE(f.read("held.24h"), QByteArray("old\r\n"));
    QCOMPARE(f.day.name(), f.path("held.24h"));
    QVERIFY(!f.day.hasFile());
}

QTEST_GUILESS_MAIN(TestDocumentFiles)
#include "test_document_files.moc"
