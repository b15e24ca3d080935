// The program's command line, through the real executable: --help and
// --version answer on standard output without a display, anything else is
// refused with exit status 2; Qt's own options pass through to Qt.
#include "app/CommandLine.h"

#include <QProcess>
#include <QTest>

using namespace cantrel;

class TestCommandLine : public QObject {
    Q_OBJECT
  private slots:
    void readsArguments_data();
    void readsArguments();
    void runReadsItsSettingsFile();
    void answersAsAProgram_data();
    void answersAsAProgram();
};

void TestCommandLine::readsArguments_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("textStart");
    const int window = int(CommandLine::Action::OpenWindow);
    const int show = int(CommandLine::Action::ShowText);
    const int refuse = int(CommandLine::Action::Refuse);
    QTest::newRow("nothing") << QStringList{"/usr/bin/cantrel"} << window << "";
    QTest::newRow("Qt's platform") << QStringList{"cantrel", "-platform", "offscreen"} << window
                                   << "";
    QTest::newRow("Qt's style") << QStringList{"cantrel", "-style=Fusion", "-reverse"} << window
                                << "";
    QTest::newRow("--help") << QStringList{"/usr/bin/cantrel", "--help"} << show
                            << "Usage: cantrel [options]\n";
    QTest::newRow("-h") << QStringList{"cantrel", "-h"} << show << "Usage: cantrel [options]\n";
    QTest::newRow("--version") << QStringList{"cantrel", "--version"} << show << "cantrel 1.18\n";
    QTest::newRow("-v") << QStringList{"cantrel", "-v"} << show << "cantrel 1.18\n";
    QTest::newRow("unknown option")
        << QStringList{"cantrel", "--bogus"} << refuse
        << "cantrel: Unknown option 'bogus'.\nTry 'cantrel --help' for more information.\n";
    QTest::newRow("--settings without --run")
        << QStringList{"cantrel", "--settings", "a.ini"} << refuse
        << "cantrel: --settings goes with --run or --plan; the window reads Cantrel.ini in the current "
           "folder\nTry 'cantrel --help' for more information.\n";
    QTest::newRow("--status") << QStringList{"cantrel", "--status"}
                              << int(CommandLine::Action::ShowStatus) << "";
    QTest::newRow("--status with --run")
        << QStringList{"cantrel", "--status", "--run"} << refuse
        << "cantrel: --status goes alone: it asks the cantrel --run that runs\n"
           "Try 'cantrel --help' for more information.\n";
    QTest::newRow("--status with --settings")
        << QStringList{"cantrel", "--status", "--settings", "a.ini"} << refuse
        << "cantrel: --status goes alone: it asks the cantrel --run that runs\n";
    const int plan = int(CommandLine::Action::ShowPlan);
    QTest::newRow("--plan") << QStringList{"cantrel", "--plan"} << plan << "";
    QTest::newRow("--plan, a month") << QStringList{"cantrel", "--plan", "2027-02"} << plan << "";
    QTest::newRow("--plan, a day, settings")
        << QStringList{"cantrel", "--settings", "a.ini", "--plan", "2028-02-29"} << plan << "";
    QTest::newRow("--plan, no such day")
        << QStringList{"cantrel", "--plan", "2027-02-29"} << refuse
        << "cantrel: --plan takes a month YYYY-MM or a day YYYY-MM-DD, not '2027-02-29'\n";
    QTest::newRow("--plan, a month's shape")
        << QStringList{"cantrel", "--plan", "2027-2"} << refuse
        << "cantrel: --plan takes a month YYYY-MM or a day YYYY-MM-DD, not '2027-2'\n";
    QTest::newRow("--plan with --run") << QStringList{"cantrel", "--plan", "--run"} << refuse
                                       << "cantrel: --plan goes alone, with --settings";
    QTest::newRow("--plan, two dates")
        << QStringList{"cantrel", "--plan", "2027-01", "2027-02"} << refuse
        << "cantrel: --plan goes alone, with --settings";
    QTest::newRow("--run with an argument")
        << QStringList{"cantrel", "--run", "x"} << refuse << "cantrel: unexpected argument 'x'\n";
    QTest::newRow("an argument")
        << QStringList{"cantrel", "day.24h"} << refuse
        << "cantrel: unexpected argument 'day.24h'\nTry 'cantrel --help' for more information.\n";
}

void TestCommandLine::runReadsItsSettingsFile() {
    const CommandLine plain = readCommandLine({"cantrel", "--run"});
    QCOMPARE(int(plain.action), int(CommandLine::Action::RunHeadless));
    QCOMPARE(plain.settingsFile, QString());
    const CommandLine named = readCommandLine({"cantrel", "--settings=/etc/x.ini", "--run"});
    QCOMPARE(int(named.action), int(CommandLine::Action::RunHeadless));
    QCOMPARE(named.settingsFile, QStringLiteral("/etc/x.ini"));
    QCOMPARE(named.text, QString());
}

void TestCommandLine::readsArguments() {
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QString, textStart);
    const CommandLine command = readCommandLine(arguments);
    QCOMPARE(int(command.action), action);
    if (textStart.isEmpty())
        QCOMPARE(command.text, QString());
    else
        QVERIFY2(command.text.startsWith(textStart), qPrintable(command.text));
}

void TestCommandLine::answersAsAProgram_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::newRow("--version") << "--version" << 0 << QByteArray("cantrel 1.18\n") << QByteArray();
    QTest::newRow("--bogus") << "--bogus" << 2 << QByteArray()
                             << QByteArray("cantrel: Unknown option 'bogus'.\n"
                                           "Try 'cantrel --help' for more information.\n");
}

void TestCommandLine::answersAsAProgram() {
    QFETCH(QString, argument);
    QFETCH(int, status);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, err);
    QProcess program;
    // No display and no platform chosen: these answers need neither.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    program.setProcessEnvironment(env);
    program.start(qEnvironmentVariable("CANTREL_TEST_BIN") + QStringLiteral("/cantrel"), {argument});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), status);
    QCOMPARE(program.readAllStandardOutput(), out);
    QCOMPARE(program.readAllStandardError(), err);

    program.start(qEnvironmentVariable("CANTREL_TEST_BIN") + QStringLiteral("/cantrel"),
                  {QStringLiteral("--help")});
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitCode(), 0);
    const QByteArray help = program.readAllStandardOutput();
    QVERIFY2(help.startsWith("Usage: cantrel [options]\n") && help.contains("-v, --version") &&
                 help.contains("--run") && help.contains("--settings <file>") &&
                 help.contains("--status") && help.contains("--plan") &&
                 help.contains("Exit status 0 when it runs, 3 when\n                     none "
                               "does, 1 on other errors."),
             help.constData());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
