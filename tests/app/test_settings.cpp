// "Cantrel.ini": its format, what start-up takes from it, and what a close
// writes, checked by a second start of the window reading the first's file.
#include "app/SettingsFile.h"
#include "device/SerialPort.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "support/FakeComPort.h"
#include "support/FileSizeLimit.h"
#include "run/RunEngine.h"
#include "support/MainWindowFixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSplitter>
#include <QTest>

#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace cantrel;
using namespace cantrel::test;

namespace {

QList<bool> radiosEnabled(const MainWindow& w) {
    QList<bool> out;
    for (int n = 1; n <= 16; ++n)
        out << w.bottomPanel->findChild<QRadioButton*>(QStringLiteral("Radio%1").arg(n))->isEnabled();
    return out;
}

QList<bool> firstEnabled(int count) {
    QList<bool> out;
    for (int n = 1; n <= 16; ++n)
        out << (n <= count);
    return out;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void fileFormat_data();
    void fileFormat();
    void writtenFileHasTheKeysInOrder();
    void secondStartFindsEverythingAsLeft();
    void portValues_data();
    void portValues();
    void emptyFileSelectsLpt378();
    void askedPortIsWrittenBack_data();
    void askedPortIsWrittenBack();
    void valuesThatCannotBeUsed();
    void rememberedDocumentMissing_data();
    void rememberedDocumentMissing();
    void rememberedDocumentUnreadable_data();
    void rememberedDocumentUnreadable();
    void emptyNameWritesNoLine();
    void writtenToProgramFolderAndStaysThere();
    void untitledIsRememberedWhenSavedAtTheQuestion();
    void writeFailureKeepsWindowOpen_data();
    void writeFailureKeepsWindowOpen();
    void installedCopyKeepsSettingsPerUser_data();
    void installedCopyKeepsSettingsPerUser();
};

void TestSettings::fileFormat_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected"); // "<absent>" for none
    QTest::newRow("capitals") << QByteArray("FORMLEFT=12\r\n") << "formLeft" << "12";
    QTest::newRow("empty value") << QByteArray("formLeft=\r\nformLeft=9\r\n") << "formLeft"
                                 << "<absent>";
    QTest::newRow("first wins") << QByteArray("D1=10\r\nD1=20\r\n") << "D1" << "10";
    QTest::newRow("no equals ignored") << QByteArray("D1\nD1=7\n") << "D1" << "7";
    QTest::newRow("CR only") << QByteArray("a=1\rb=2\r") << "b" << "2";
    QTest::newRow("value keeps =") << QByteArray("file24h=a=b.24h") << "file24h" << "a=b.24h";
    QTest::newRow("name is all before =") << QByteArray("D 1=3\r\n") << "D1" << "<absent>";
    QTest::newRow("missing") << QByteArray("M0=1\r\n") << "M1" << "<absent>";
}

void TestSettings::fileFormat() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    QCOMPARE(SettingsFile::parse(bytes).value(key).value_or("<absent>"), expected);
}

void TestSettings::writtenFileHasTheKeysInOrder() {
    MainWindowFixture f;
    QVERIFY(f.start());
    // Widths as the operator left them.
    const int dayWidths[] = {16, 60, 24, 128, 140};
    for (int c = 0; c < 5; ++c)
        f.form->dayGrid->setColWidth(c, dayWidths[c]);
    const int monthWidths[] = {16, 22, 128};
    for (int c = 0; c < 3; ++c)
        f.form->monthGrid->setColWidth(c, monthWidths[c]);
    QVERIFY(f.form->close());
    const QByteArray bytes = f.read("program/Cantrel.ini");
    QVERIFY(bytes.endsWith("\r\n"));
    QStringList keys;
    for (const QByteArray& line : bytes.split('\n'))
        if (!line.isEmpty())
            keys << QString::fromLatin1(line.left(line.indexOf('=')));
    QCOMPARE(keys, (QStringList{"formLeft", "formTop", "formWidth", "formHeight", "monthLeft",
                                "monthTop", "monthWidth", "monthHeight", "D0", "D1", "D2", "D3",
                                "D4", "M0", "M1", "M2", "file24h", "file31d", "LPTAddr", "Port",
                                "DeviceID", "RunAdvance"}));
    QCOMPARE(bytes.count("\r\n"), 22);
    QVERIFY(bytes.contains("\r\nD0=16\r\nD1=60\r\nD2=24\r\nD3=128\r\nD4=140\r\nM0=16\r\nM1=22\r\n"
                           "M2=128\r\nfile24h=Untitled.24h\r\nfile31d=Untitled.31d\r\n"
                           "LPTAddr=888\r\nPort=0\r\nDeviceID=0\r\nRunAdvance=0\r\n"));
    QVERIFY(bytes.startsWith("formLeft=203\r\nformTop=116\r\n"));
}

void TestSettings::secondStartFindsEverythingAsLeft() {
    MainWindowFixture f;
    FakeComPort com2(2);
    QSize outer;
    f.write("day.24h", "08:00:00,1,bell\r\n");
    f.write("month.31d", "1 day.24h\r\n");
    {
        QVERIFY(f.start());
        MainWindow& w = *f.form;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(150, 90);
        w.resize(800, 500);
        QTRY_COMPARE(w.width(), 800);
        w.splitter->setSizes({500, 260});
        QTRY_COMPARE(w.monthGroupBox->width(), 260);
        w.dayGrid->setColWidth(3, 200);
        // Narrower than a start would make it: the file still wins.
        w.dayGrid->setColWidth(1, 40);
        w.monthGrid->setColWidth(2, 150);
        w.loadDaySchedule(f.path("day.24h"));
        w.loadMonthCalendar(f.path("month.31d"));
        w.device().deviceId = 42;
        w.device().setConnection(3);
        QCOMPARE(w.connectionPanel->text(), QStringLiteral("Connection: COM2   Device ID: 42"));
        w.runEngine()->setRunAdvance(77);
        outer = w.frameGeometry().size();
        QVERIFY(w.close());
    }
    QCOMPARE(QDir::currentPath(), f.programFolder());
    f.form.reset();
    QVERIFY(f.start());
    MainWindow& w = *f.form;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.pos(), QPoint(150, 90));
    QTRY_COMPARE(w.frameGeometry().size(), outer);
    QTRY_COMPARE(w.monthGroupBox->width(), 260);
    QCOMPARE(w.dayGrid->colWidth(3), 200);
    QCOMPARE(w.dayGrid->colWidth(1), 40);
    QCOMPARE(w.dayEditGrid->colWidth(3), 200);
    QCOMPARE(w.monthGrid->colWidth(2), 150);
    QCOMPARE(w.dayGroupBox->title(), f.path("day.24h"));
    QCOMPARE(w.dayGrid->cell(3, 1), QStringLiteral("bell"));
    QCOMPARE(w.monthGroupBox->title(), f.path("month.31d"));
    QCOMPARE(w.monthGrid->cell(2, 1), QStringLiteral("day.24h"));
    QCOMPARE(w.device().deviceId, 42);
    QCOMPARE(w.device().connectionIndex(), 3);
    QCOMPARE(w.connectionPanel->text(), QStringLiteral("Connection: COM2   Device ID: 42"));
    QCOMPARE(w.runEngine()->runAdvance(), 77);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestSettings::portValues_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("panel");
    QTest::addColumn<int>("radios");
    QTest::addColumn<QStringList>("shown");
    // The tests have no parallel port.
    QTest::newRow("1: LPT278") << QByteArray("Port=1\r\n") << "Connection: LPT278 (no port)" << 4
                               << QStringList();
    QTest::newRow("LPTAddr is not read") << QByteArray("LPTAddr=632\r\nPort=0\r\n")
                                         << "Connection: LPT378 (no port)" << 4 << QStringList();
    QTest::newRow("3: COM2") << QByteArray("Port=3\r\nDeviceID=5\r\n")
                             << "Connection: COM2   Device ID: 5" << 16 << QStringList();
    QTest::newRow("6: COM5") << QByteArray("Port=6\r\n") << "Connection: COM5   Device ID: 0"
                             << 16 << QStringList();
    QTest::newRow("-1: no such port") << QByteArray("Port=-1\r\n") << "Connection: None" << 16
                                      << QStringList{"Can't open port"};
}

void TestSettings::portValues() {
    QFETCH(QByteArray, ini);
    QFETCH(QString, panel);
    QFETCH(int, radios);
    QFETCH(QStringList, shown);
    FakeComPort com2(2), com5(5);
    MainWindowFixture f;
    f.write("Cantrel.ini", ini);
    QVERIFY(f.start());
    QCOMPARE(f.form->connectionPanel->text(), panel);
    QCOMPARE(radiosEnabled(*f.form), firstEnabled(radios));
    QCOMPARE(f.prompter.takeTexts(), shown);
}

void TestSettings::emptyFileSelectsLpt378() {
    MainWindowFixture f;
    f.write("Cantrel.ini", "");
    QVERIFY(f.start());
    QCOMPARE(f.form->connectionPanel->text(), QStringLiteral("Connection: LPT378 (no port)"));
    QCOMPARE(f.form->linkPanel->text(), QStringLiteral("Wait"));
    QCOMPARE(radiosEnabled(*f.form), firstEnabled(4));
    QCOMPARE(f.form->dayGroupBox->title(), QStringLiteral("Untitled.24h"));
}

// The port asked for is written back though it did not open this time (held
// by cantrel --run, say): the next start, the window's or the run's, asks for
// it again rather than for the parallel port the window fell back on.
void TestSettings::askedPortIsWrittenBack_data() {
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no such device") << false << "no such device";
    QTest::newRow("in use") << true << "in use by another program";
}

void TestSettings::askedPortIsWrittenBack() {
    QFETCH(bool, held);
    QFETCH(QString, reason);
    MainWindowFixture f;
    FakeComPort com1(1);
    const QString path = held ? qEnvironmentVariable("CANTREL_COM1") : f.path("no-such-port");
    qputenv("CANTREL_COM1", path.toLocal8Bit());
    const std::unique_ptr<ComPort> holder = held ? openSerialComPort("COM1") : nullptr;
    f.write("Cantrel.ini", "Port=2\r\n");
    QVERIFY(f.start());
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].text, QStringLiteral("Can't open port"));
    QCOMPARE(shown[0].detail, "COM1 (" + path + "): " + reason);
    QCOMPARE(f.form->device().connectionIndex(), 0);
    QVERIFY(f.form->close());
    QVERIFY2(f.read("program/Cantrel.ini").contains("\r\nPort=2\r\n"),
             f.read("program/Cantrel.ini").constData());
}

void TestSettings::valuesThatCannotBeUsed() {
    const struct {
        QByteArray ini;
        int runAdvance;
        int deviceId;
    } cases[] = {{"RunAdvance=5000\r\n", 3599, 0},
                 {"RunAdvance=-3\r\n", 0, 0},
                 {"RunAdvance=12a\r\nDeviceID=x\r\n", 0, 0},
                 {"RunAdvance=3599\r\nDeviceID=200\r\n", 3599, 200}};
    for (const auto& c : cases) {
        MainWindowFixture f;
        f.write("Cantrel.ini", c.ini + "formLeft=\r\nformWidth=wide\r\nformHeight=10\r\n");
        QVERIFY(f.start());
        QCOMPARE(f.form->runEngine()->runAdvance(), c.runAdvance);
        QCOMPARE(f.form->device().deviceId, c.deviceId);
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        // The layout's place stays; the minimum size holds.
        QCOMPARE(f.form->pos(), QPoint(203, 116));
        QCOMPARE(f.form->frameGeometry().height(), 250);
        QVERIFY(f.prompter.takeShown().isEmpty());
    }

    // A place wholly off every screen comes back onto the screen.
    MainWindowFixture f;
    f.write("Cantrel.ini", "formLeft=-5000\r\nformTop=9000\r\n");
    QVERIFY(f.start());
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().intersects(
        f.form->frameGeometry()));
}

void TestSettings::rememberedDocumentMissing_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("folders");
    QTest::newRow("deleted since") << QByteArray("file24h=gone.24h\r\nfile31d=gone.31d\r\n")
                                   << QStringList();
    QTest::newRow("now a folder") << QByteArray("file24h=week.24h\r\nfile31d=year.31d\r\n")
                                  << QStringList{"week.24h", "year.31d"};
}

// A remembered document that is not there as a file: the new document stays
// and start-up goes on without a word.
void TestSettings::rememberedDocumentMissing() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, folders);
    MainWindowFixture f;
    for (const QString& folder : folders)
        QVERIFY(QDir(f.dir.path()).mkdir(folder));
    f.write("Cantrel.ini", ini + "DeviceID=3\r\n");
    QVERIFY(f.start());
    QCOMPARE(f.form->dayGroupBox->title(), QStringLiteral("Untitled.24h"));
    QCOMPARE(f.form->monthGroupBox->title(), QStringLiteral("Untitled.31d"));
    QCOMPARE(f.form->device().deviceId, 3);
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestSettings::rememberedDocumentUnreadable_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("held");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::newRow("day schedule held") << "file24h" << "held.24h" << QByteArray("10:00:00,1\r\n")
                                       << true << "message" << "Can't load .24h file";
    QTest::newRow("calendar held") << "file31d" << "held.31d" << QByteArray("1 day.24h\r\n")
                                   << true << "message" << "Can't load .31d file!";
    QTest::newRow("calendar day not a number")
        << "file31d" << "bad.31d" << QByteArray("x day.24h\r\n") << false << "error"
        << "'x' is not a valid integer value";
}

// A remembered document that is there but cannot be loaded (held open by
// another program, or not what it should be) ends start-up with its message,
// and nothing is written.
void TestSettings::rememberedDocumentUnreadable() {
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, held);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    MainWindowFixture f;
    f.write(name, bytes);
    f.write("Cantrel.ini", (key + "=" + name + "\r\n").toLatin1());
    const int fd = ::open(QFile::encodeName(f.path(name)).constData(), O_RDWR);
    QVERIFY(fd >= 0);
    if (held)
        QVERIFY(::flock(fd, LOCK_EX) == 0);
    const bool started = f.start();
    ::close(fd);
    QVERIFY(!started);
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, kind);
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, text);
    QVERIFY(!QFile::exists(f.path("program/Cantrel.ini")));
}

// A document whose name was emptied by its question (answered No, then the
// close cancelled at the other question) has no line in the next file
// written, and the start after reads it as a new document.
void TestSettings::emptyNameWritesNoLine() {
    MainWindowFixture f;
    QVERIFY(f.start());
    f.form->daySchedule().setModified(true);
    f.form->monthCalendar().setModified(true);
    f.prompter.answers = {Answer::No, Answer::Cancel};
    QVERIFY(!f.form->close());
    QCOMPARE(f.form->dayGroupBox->title(), QString());
    f.prompter.answers = {Answer::No};
    QVERIFY(f.form->close());
    const QByteArray bytes = f.read("program/Cantrel.ini");
    QVERIFY2(bytes.contains("\r\nM2=128\r\nfile31d=Untitled.31d\r\nLPTAddr=888\r\n"), bytes);
    QVERIFY(!bytes.contains("file24h"));
    QCOMPARE(bytes.count("\r\n"), 21);

    f.prompter.takeShown();
    f.form.reset();
    QVERIFY(f.start());
    QCOMPARE(f.form->dayGroupBox->title(), QStringLiteral("Untitled.24h"));
    QVERIFY(f.prompter.takeShown().isEmpty());
}

void TestSettings::writtenToProgramFolderAndStaysThere() {
    MainWindowFixture f;
    f.write("Cantrel.ini", "DeviceID=9\r\nPort=1\r\n");
    QVERIFY(f.start());
    f.form->monthCalendar().setModified(true);
    f.prompter.answers = {Answer::Cancel};
    QVERIFY(!f.form->close());
    // Read from where it was started, written to the program's folder.
    QCOMPARE(f.read("Cantrel.ini"), QByteArray("DeviceID=9\r\nPort=1\r\n"));
    QVERIFY(f.read("program/Cantrel.ini").contains("\r\nLPTAddr=632\r\nPort=1\r\nDeviceID=9\r\n"));
    // The cancelled close leaves the rewritten file, and dialogs now open
    // in the program's folder.
    f.trigger("Load24h1");
    QCOMPARE(f.prompter.openRequests.last().directory, f.programFolder());
}

void TestSettings::untitledIsRememberedWhenSavedAtTheQuestion() {
    // A new day schedule saved under a name at the close question is still
    // remembered as untitled: the settings were written before the question.
    MainWindowFixture f;
    QVERIFY(f.start());
    f.form->daySchedule().setModified(true);
    f.prompter.answers = {Answer::Yes};
    f.prompter.saveAnswers = {f.path("saved.24h")};
    QVERIFY(f.form->close());
    QVERIFY(f.read("program/Cantrel.ini").contains("\r\nfile24h=Untitled.24h\r\n"));
    QCOMPARE(f.read("saved.24h"), QByteArray(",,,\r\n"));
}

void TestSettings::writeFailureKeepsWindowOpen_data() {
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("detail");
    QTest::newRow("a folder in its place") << false << "Cannot create file \"%1/Cantrel.ini\""
                                           << "a folder, not a file";
    QTest::newRow("disk full") << true << "Cannot write file \"%1/Cantrel.ini\""
                               << "File too large";
}

// The close is refused and says why in the general error display; the old
// file stays as it was.
void TestSettings::writeFailureKeepsWindowOpen() {
    QFETCH(bool, diskFull);
    QFETCH(QString, text);
    QFETCH(QString, detail);
    MainWindowFixture f;
    QVERIFY(f.start());
    if (diskFull)
        f.write("program/Cantrel.ini", "DeviceID=4\r\n");
    else
        QDir(f.programFolder()).mkdir("Cantrel.ini");
    std::optional<FileSizeLimit> full;
    if (diskFull)
        full.emplace(8);
    const bool closed = f.form->close();
    full.reset();
    QVERIFY(!closed);
    const auto shown = f.prompter.takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].kind, QStringLiteral("error"));
    QCOMPARE(shown[0].caption, QStringLiteral("Cantrel"));
    QCOMPARE(shown[0].text, text.arg(f.programFolder()));
    QCOMPARE(shown[0].detail, detail);
    if (diskFull)
        QCOMPARE(f.read("program/Cantrel.ini"), QByteArray("DeviceID=4\r\n"));
}

// An installed copy (a marker file beside the program) reads the current
// folder's file first, else the user's configuration folder's, and writes
// there; a copy without the marker never looks at the configuration folder.
void TestSettings::installedCopyKeepsSettingsPerUser_data() {
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("xdgSet");
    QTest::addColumn<QByteArray>("inCurrent");
    QTest::addColumn<QByteArray>("inConfig");
    QTest::addColumn<int>("deviceIdRead");
    QTest::newRow("first start") << true << true << QByteArray() << QByteArray() << 0;
    QTest::newRow("the user's file") << true << true << QByteArray() << QByteArray("DeviceID=5") << 5;
    QTest::newRow("current folder first")
        << true << true << QByteArray("DeviceID=7") << QByteArray("DeviceID=5") << 7;
    QTest::newRow("~/.config without XDG_CONFIG_HOME")
        << true << false << QByteArray() << QByteArray("DeviceID=5") << 5;
    QTest::newRow("not installed") << false << true << QByteArray() << QByteArray("DeviceID=5") << 0;
}

void TestSettings::installedCopyKeepsSettingsPerUser() {
    QFETCH(bool, installed);
    QFETCH(bool, xdgSet);
    QFETCH(QByteArray, inCurrent);
    QFETCH(QByteArray, inConfig);
    QFETCH(int, deviceIdRead);

    MainWindowFixture f;
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", f.path("home").toLocal8Bit());
    if (xdgSet)
        qputenv("XDG_CONFIG_HOME", f.path("xdg").toLocal8Bit());
    else
        qunsetenv("XDG_CONFIG_HOME");
    const QString configFolder = f.path(xdgSet ? "xdg/cantrel" : "home/.config/cantrel");
    QVERIFY(QDir().mkpath(configFolder));
    if (installed)
        f.write("program/Cantrel.ini.location", "settings: $XDG_CONFIG_HOME/cantrel\n");
    if (!inCurrent.isEmpty())
        f.write("Cantrel.ini", inCurrent);
    if (!inConfig.isEmpty())
        f.write(configFolder.mid(f.dir.path().size() + 1) + "/Cantrel.ini", inConfig);

    QVERIFY(f.start());
    QCOMPARE(f.form->device().deviceId, deviceIdRead);
    f.form->device().deviceId = 11;
    QVERIFY(f.form->close());

    const QString written = installed ? configFolder : f.programFolder();
    QFile file(written + "/Cantrel.ini");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\r\nDeviceID=11\r\n"));
    QCOMPARE(QFile::exists(f.path("program/Cantrel.ini")), !installed);
    QCOMPARE(QDir::currentPath(), written);
    // The current folder's file is only ever read.
    QCOMPARE(f.read("Cantrel.ini"), inCurrent.isEmpty() ? QByteArray("<missing>") : inCurrent);

    qputenv("HOME", oldHome);
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);
}

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
