#include "platform/MediaOpener.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <csignal>
#include <atomic>
#include <thread>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

using namespace cantrel;

// The real opener, with small shell scripts standing in for xdg-open.
class TestMediaOpener : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void handsOverTheTargetAlone_data();
    void handsOverTheTargetAlone();
    void openerInheritsNothingOfOurs();
    void openerFailureIsFailure_data();
    void openerFailureIsFailure();
    void missingFileStartsNothing_data();
    void missingFileStartsNothing();
    void openerThatCannotStart_data();
    void openerThatCannotStart();
    void problemSaidBeforeAnyRow_data();
    void problemSaidBeforeAnyRow();
    void slowOpenerCountsAsOpenedAndIsLeftRunning();
    void stopWaitingEndsTheWaitAtOnce();
    void concurrentOpensGetTheirOwnVerdicts();

  private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    QByteArray read(const QString& name) const;
    QString touch(const QString& name);
    // Writes an executable shell script and makes it the opener.
    QString useOpener(const QString& name, const QByteArray& body);

    std::unique_ptr<QTemporaryDir> dir_;
};

void TestMediaOpener::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestMediaOpener::cleanup() {
    qunsetenv("CANTREL_OPENER");
    dir_.reset();
}

namespace {
// Puts an environment variable back as it was when the scope ends.
struct KeptVariable {
    const char* name;
    QByteArray value = qgetenv(name);
    bool was = qEnvironmentVariableIsSet(name);
    ~KeptVariable() {
        if (was)
            qputenv(name, value);
        else
            qunsetenv(name);
    }
};
} // namespace

QByteArray TestMediaOpener::read(const QString& name) const {
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString TestMediaOpener::touch(const QString& name) {
    QFile file(path(name));
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(file.fileName()));
    file.write("media");
    return file.fileName();
}

QString TestMediaOpener::useOpener(const QString& name, const QByteArray& body) {
    QFile script(path(name));
    if (!script.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(script.fileName()));
    script.write("#!/bin/sh\ncd '" + QFile::encodeName(dir_->path()) + "'\n" + body);
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("CANTREL_OPENER", QFile::encodeName(script.fileName()));
    return script.fileName();
}

// Whatever the target holds, the opener gets it as one argument, byte for
// byte; no shell ever sees it. Links go over without an existence test.
void TestMediaOpener::handsOverTheTargetAlone_data() {
    QTest::addColumn<QString>("name"); // a file created in the test folder
    QTest::addColumn<QString>("link");
    QTest::newRow("plain file") << "clip.mp3" << QString();
    QTest::newRow("spaces and quotes") << R"(it's a "clip", take 2.mp3)" << QString();
    QTest::newRow("shell characters, non-ASCII")
        << QStringLiteral("Café ♪ $HOME;`id` *.mp3 &") << QString();
    QTest::newRow("https link") << QString() << "https://example.org/a b?x=1&y='2'#top";
    QTest::newRow("mailto link") << QString() << "mailto:cantrel@example.org?subject=Run log";
}

void TestMediaOpener::handsOverTheTargetAlone() {
    QFETCH(QString, name);
    QFETCH(QString, link);
    useOpener("opener.sh", "printf '%s\\n' \"$#\" \"$@\" > args\n");
    const QString target = link.isEmpty() ? touch(name) : link;

    QVERIFY(DesktopMediaOpener(5000).open(target));
    QCOMPARE(read("args"), "1\n" + target.toUtf8() + "\n");
}

// A player started from a worker thread runs as if started from a shell:
// stdin is /dev/null (it must not read the terminal's keys), no signal is
// blocked, SIGPIPE and SIGXFSZ (which the program ignores) are not ignored,
// and no descriptor of ours stays open in it.
void TestMediaOpener::openerInheritsNothingOfOurs() {
    useOpener("opener.sh", "readlink /proc/$$/fd/0 > stdin\n"
                           "grep -E '^Sig(Blk|Ign):' /proc/$$/status > signals\n"
                           "for fd in /proc/$$/fd/*; do readlink \"$fd\"; done > fds\nexit 0\n");
    const QString ours = touch("ours");
    const int fd = ::open(QFile::encodeName(ours).constData(), O_RDONLY); // no O_CLOEXEC
    QVERIFY(fd >= 0);
    // Our stdin a terminal's stand-in, whatever the test was started with.
    const int keys = ::open(QFile::encodeName(touch("keys")).constData(), O_RDONLY | O_CLOEXEC);
    const int oldStdin = ::dup(STDIN_FILENO);
    QVERIFY(keys >= 0 && oldStdin >= 0 && ::dup2(keys, STDIN_FILENO) == STDIN_FILENO);
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    const auto oldFileSize = std::signal(SIGXFSZ, SIG_IGN);
    sigset_t usr2, oldMask;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &usr2, &oldMask);
    const bool opened = DesktopMediaOpener(5000).open(touch("clip.mp3"));
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    std::signal(SIGPIPE, oldPipe);
    std::signal(SIGXFSZ, oldFileSize);
    ::dup2(oldStdin, STDIN_FILENO);
    for (int descriptor : {fd, keys, oldStdin})
        ::close(descriptor);
    QVERIFY(opened);
    QCOMPARE(read("stdin"), QByteArray("/dev/null\n"));
    const QList<QByteArray> masks = read("signals").trimmed().split('\n');
    QCOMPARE(masks.size(), 2);
    QCOMPARE(masks[0].simplified(), QByteArray("SigBlk: 0000000000000000"));
    const quint64 ignored = masks[1].mid(7).trimmed().toULongLong(nullptr, 16);
    QCOMPARE(ignored & (quint64(1) << (SIGPIPE - 1)), quint64(0));
    QCOMPARE(ignored & (quint64(1) << (SIGXFSZ - 1)), quint64(0));
    QVERIFY2(!read("fds").contains(QFile::encodeName(ours)), read("fds").constData());
}

// xdg-open exits 1 to 4 when it cannot open the file (no application for
// its type, a bad argument, a tool missing, the action failed).
void TestMediaOpener::openerFailureIsFailure_data() {
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<QString>("why"); // %1: the opener
    QTest::newRow("exit 1") << QByteArray("exit 1") << "%1 exited with status 1";
    QTest::newRow("exit 2") << QByteArray("exit 2") << "%1 exited with status 2";
    QTest::newRow("exit 3") << QByteArray("exit 3") << "%1 exited with status 3";
    QTest::newRow("exit 4") << QByteArray("exit 4") << "%1 exited with status 4";
    QTest::newRow("crash") << QByteArray("kill -SEGV $$") << "%1 ended by signal 11";
}

void TestMediaOpener::openerFailureIsFailure() {
    QFETCH(QByteArray, ending);
    QFETCH(QString, why);
    const QString opener = useOpener("opener.sh", "echo ran > ran\n" + ending + "\n");
    QString said;
    QVERIFY(!DesktopMediaOpener(5000).open(touch("clip.mp3"), &said));
    QCOMPARE(read("ran"), QByteArray("ran\n"));
    QCOMPARE(said, why.arg(opener));
}

// No file, no opener. Only a scheme of two letters or more makes a link: a
// name like x:clip.mp3 is a file, looked for as one.
void TestMediaOpener::missingFileStartsNothing_data() {
    QTest::addColumn<QString>("target"); // relative to the test folder
    QTest::addColumn<QString>("why");
    QTest::newRow("no such file") << "gone.mp3" << "no such file";
    QTest::newRow("a name with a colon") << "x:clip.mp3" << "no such file";
    QTest::newRow("no file name") << QString() << "no file name";
}

void TestMediaOpener::missingFileStartsNothing() {
    QFETCH(QString, target);
    QFETCH(QString, why);
    useOpener("opener.sh", "echo ran > ran\n");
    const QString started = QDir::currentPath();
    QDir::setCurrent(dir_->path());
    QString said;
    const bool opened = DesktopMediaOpener(5000).open(target, &said);
    QDir::setCurrent(started);
    QVERIFY(!opened);
    QCOMPARE(said, why);
    QTest::qWait(200);
    QVERIFY(!QFile::exists(path("ran")));
}

void TestMediaOpener::openerThatCannotStart_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("why"); // %1: the program
    QTest::newRow("no such path") << "/nonexistent/cantrel-opener"
                                  << "the opener %1 was not found";
    QTest::newRow("not on PATH") << "cantrel-no-such-opener" << "the opener %1 was not found";
    QTest::newRow("not executable") << "plain.sh"
                                    << "the opener %1 could not start: Permission denied";
}

void TestMediaOpener::openerThatCannotStart() {
    QFETCH(QString, program);
    QFile plain(path("plain.sh"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("#!/bin/sh\nexit 0\n");
    plain.close();
    QVERIFY(plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    if (program == QLatin1String("plain.sh"))
        program = plain.fileName();
    qputenv("CANTREL_OPENER", QFile::encodeName(program));
    QString said;
    QVERIFY(!DesktopMediaOpener(5000).open(touch("clip.mp3"), &said));
    QFETCH(QString, why);
    QCOMPARE(said, why.arg(program));
}

// cantrel --run says at start when no media file can open, and what to do,
// rather than failing every media row later; a failed open says it too.
void TestMediaOpener::problemSaidBeforeAnyRow_data() {
    QTest::addColumn<QString>("opener"); // CANTREL_OPENER; empty: unset
    QTest::addColumn<bool>("xdgOpenInstalled");
    QTest::addColumn<bool>("display");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("failedOpen"); // what an open that fails says
    const QString mpv = "set CANTREL_OPENER to a player that needs no display, such as "
                        "/usr/bin/mpv";
    QTest::newRow("the desktop's opener on a desktop")
        << QString() << true << true << QString() << "xdg-open exited with status 3";
    QTest::newRow("the desktop's opener without a display")
        << QString() << true << false
        << "no display for the desktop's opener xdg-open, so media files may not open; " + mpv
        << "xdg-open exited with status 3 (no display; " + mpv + ")";
    QTest::newRow("no xdg-open") << QString() << false << true
                                 << "the media opener xdg-open was not found, so no media file "
                                    "will open; install xdg-utils, or " + mpv
                                 << "the opener xdg-open was not found";
    QTest::newRow("a player of one's own, without a display")
        << "player" << false << false << QString() << "%1 exited with status 3";
    QTest::newRow("a player that is not there")
        << "/nonexistent/player" << false << false
        << "the media opener /nonexistent/player was not found, so no media file will open; "
           "set CANTREL_OPENER to a program that is installed"
        << "the opener /nonexistent/player was not found";
}

void TestMediaOpener::problemSaidBeforeAnyRow() {
    QFETCH(QString, opener);
    QFETCH(bool, xdgOpenInstalled);
    QFETCH(bool, display);
    QFETCH(QString, problem);
    QFETCH(QString, failedOpen);
    const KeptVariable path{"PATH"}, x11{"DISPLAY"}, wayland{"WAYLAND_DISPLAY"};
    QVERIFY(QDir(dir_->path()).mkdir("bin"));
    qputenv("PATH", QFile::encodeName(this->path("bin")));
    const QString script = useOpener("bin/xdg-open", "exit 3\n");
    if (!xdgOpenInstalled)
        QFile::rename(script, this->path("player"));
    const QString player = this->path("player");
    if (opener.isEmpty())
        qunsetenv("CANTREL_OPENER");
    else
        qputenv("CANTREL_OPENER",
                QFile::encodeName(opener == QLatin1String("player") ? player : opener));
    qunsetenv("WAYLAND_DISPLAY");
    if (display)
        qputenv("DISPLAY", ":99");
    else
        qunsetenv("DISPLAY");
    QCOMPARE(DesktopMediaOpener::problem(), problem);
    QString said;
    QVERIFY(!DesktopMediaOpener(5000).open(touch("clip.mp3"), &said));
    QCOMPARE(said, failedOpen.contains(QLatin1String("%1")) ? failedOpen.arg(player) : failedOpen);
}

namespace {
// A child of this process, running or not yet collected.
bool isOurChild(const QByteArray& pid) {
    QFile stat("/proc/" + pid.trimmed() + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (command) state ppid ..."; the command may hold spaces.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 1 && fields[1].toLongLong() == ::getpid();
}
} // namespace

// An opener that stays (some desktops' xdg-open waits for the player) counts
// as opened after the bound; it is not killed, and once it ends it is
// collected, not left behind as a zombie.
void TestMediaOpener::slowOpenerCountsAsOpenedAndIsLeftRunning() {
    // Twice: the second is handed over while the collector has nothing left to wait for.
    for (const QString n : {"1", "2"}) {
        useOpener("opener.sh", "echo $$ > pid.tmp && mv pid.tmp pid" + n.toUtf8() +
                                   "\nsleep 2\necho done > done" + n.toUtf8() + "\n");
        QVERIFY(DesktopMediaOpener(300).open(touch("clip.mp3")));
        QVERIFY2(!QFile::exists(path("done" + n)), "open waited for the opener to end");
        QTRY_VERIFY(QFile::exists(path("pid" + n)));
        const QByteArray pid = read("pid" + n);

        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("done" + n)), 15000);
        QTRY_VERIFY2(!isOurChild(pid), "the opener stays behind as a zombie");
    }
}

// A program that is ending (cantrel --run on SIGTERM) calls off the wait: an
// open in progress returns at once, taken as opened, and so does a later one;
// the openers are left running.
void TestMediaOpener::stopWaitingEndsTheWaitAtOnce() {
    useOpener("opener.sh", "n=$(basename \"$1\")\necho started > \"started-$n\"\nsleep 3\n"
                           "echo done > \"done-$n\"\n");
    DesktopMediaOpener opener(60000);
    const QString first = touch("first.mp3");
    std::atomic<int> verdict{-1};
    std::thread worker([&] { verdict = opener.open(first) ? 1 : 0; });
    QTRY_VERIFY(QFile::exists(path("started-first.mp3")));
    opener.stopWaiting();
    worker.join();
    QCOMPARE(verdict.load(), 1);
    QVERIFY2(!QFile::exists(path("done-first.mp3")), "the open waited for the opener after all");

    QVERIFY(opener.open(touch("second.mp3")));
    QVERIFY2(!QFile::exists(path("done-second.mp3")), "a later open waited for its opener");
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path("done-second.mp3")), 15000);
}

// Several workers open at once; each gets its own opener's verdict, also when
// the openers end in another order than they started.
void TestMediaOpener::concurrentOpensGetTheirOwnVerdicts() {
    useOpener("opener.sh", "n=$(basename \"$1\")\nsleep \"0.${n%%-*}\"\n"
                           "case \"$1\" in *bad*) exit 3;; esac\n");
    constexpr int count = 8;
    QStringList targets;
    for (int i = 0; i < count; ++i)
        targets << touch(QStringLiteral("%1-%2.mp3").arg(count - i).arg(i % 3 ? "good" : "bad"));

    DesktopMediaOpener opener(10000);
    std::array<bool, count> opened{};
    std::vector<std::thread> workers;
    for (int i = 0; i < count; ++i)
        workers.emplace_back([&, i] { opened[i] = opener.open(targets[i]); });
    for (std::thread& worker : workers)
        worker.join();

    for (int i = 0; i < count; ++i)
        QVERIFY2(opened[i] == !targets[i].contains("bad"), qPrintable(targets[i]));
}

QTEST_GUILESS_MAIN(TestMediaOpener)
#include "test_media_opener.moc"
