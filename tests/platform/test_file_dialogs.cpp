// The shared open and save dialogs: what each use asks the operator, what
// carries over to the next use, and the current folder they leave behind.
#include "platform/FileDialogs.h"
#include "support/TestDoubles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace cantrel;
using namespace cantrel::test;

class TestFileDialogs : public QObject {
    Q_OBJECT
  private slots:
    void openDialogCarriesTheChosenFile();
    void saveDialogProposesTheName();
};

void TestFileDialogs::openDialogCarriesTheChosenFile() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("a/b"));
    const QString started = QDir::currentPath();
    ScriptedPrompter prompter;
    FileDialogs dialogs(prompter);

    prompter.openAnswers = {dir.filePath("a/b/day.24h")};
    QCOMPARE(dialogs.chooseFileToOpen(".24h files|*.24h"), dir.filePath("a/b/day.24h"));
    QCOMPARE(QDir::currentPath(), dir.filePath("a/b"));

    // Cancelled: nothing chosen, the folder and the name stay.
    QCOMPARE(dialogs.chooseFileToOpen("any file|*.*"), QString());
    QCOMPARE(QDir::currentPath(), dir.filePath("a/b"));
    prompter.openAnswers = {dir.filePath("a/clip.wav")};
    dialogs.chooseFileToOpen(".31d files|*.31d");
    QCOMPARE(QDir::currentPath(), dir.filePath("a"));

    QCOMPARE(prompter.openRequests.size(), 3);
    const FileDialogRequest& first = prompter.openRequests[0];
    QCOMPARE(first.filter, QStringLiteral(".24h files|*.24h"));
    QCOMPARE(first.directory, started);
    QVERIFY(!first.confirmOverwrite);
    const FileDialogRequest& cancelled = prompter.openRequests[1];
    QCOMPARE(cancelled.filter, QStringLiteral("any file|*.*"));
    QCOMPARE(cancelled.fileName, dir.filePath("a/b/day.24h"));
    QCOMPARE(cancelled.directory, dir.filePath("a/b"));
    QCOMPARE(prompter.openRequests[2].fileName, dir.filePath("a/b/day.24h"));
    QCOMPARE(prompter.openRequests[2].filter, QStringLiteral(".31d files|*.31d"));
    QVERIFY(prompter.saveRequests.isEmpty());
    QDir::setCurrent(started);
}

void TestFileDialogs::saveDialogProposesTheName() {
    QTemporaryDir dir;
    const QString started = QDir::currentPath();
    ScriptedPrompter prompter;
    FileDialogs dialogs(prompter);
    prompter.openAnswers = {dir.filePath("opened.24h")};
    dialogs.chooseFileToOpen(".24h files|*.24h");

    prompter.saveAnswers = {dir.filePath("saved.31d")};
    QCOMPARE(dialogs.chooseFileToSave(".31d files|*.31d", "31d", "Untitled.31d"),
             dir.filePath("saved.31d"));
    const FileDialogRequest& r = prompter.saveRequests.last();
    QCOMPARE(r.filter, QStringLiteral(".31d files|*.31d"));
    QCOMPARE(r.defaultSuffix, QStringLiteral("31d"));
    QCOMPARE(r.fileName, QStringLiteral("Untitled.31d"));
    QCOMPARE(r.directory, dir.path());
    QVERIFY(r.confirmOverwrite);

    QCOMPARE(dialogs.chooseFileToSave(".24h files|*.24h", "24h", "/s/week.24h"), QString());
    QCOMPARE(prompter.saveRequests.last().fileName, QStringLiteral("/s/week.24h"));
    QCOMPARE(prompter.saveRequests.last().defaultSuffix, QStringLiteral("24h"));
    QDir::setCurrent(started);
}

QTEST_GUILESS_MAIN(TestFileDialogs)
#include "test_file_dialogs.moc"
