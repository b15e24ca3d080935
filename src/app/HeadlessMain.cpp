#include "app/HeadlessMain.h"

#include "app/SettingsFile.h"
#include "app/SettingsPlace.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "run/HeadlessRun.h"
#include "service/RunService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace cantrel {

namespace {

// The write end of the pipe the signal handler wakes the event loop through.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void writeLine(const QString& line) {
    std::fputs((line + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

int runHeadless(int& argc, char** argv, const QString& settingsFile) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Cantrel"));

    // Without a file to read, the message names the one the window would read.
    const QString found = settingsPlace(QCoreApplication::applicationDirPath()).readFrom;
    const QString path = !settingsFile.isEmpty() ? settingsFile
                         : !found.isEmpty()      ? found
                                                 : kSettingsName;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        writeLine(QStringLiteral("cantrel: cannot read the settings file %1: %2")
                      .arg(path, file.errorString()));
        return 1;
    }
    const HeadlessSettings settings = readRunSettings(SettingsFile::parse(file.readAll()));
    file.close();

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        writeLine(QStringLiteral("cantrel: cannot set up signal handling"));
        return 1;
    }
    QSocketNotifier terminated(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&terminated, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
    struct sigaction action = {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    SystemClock clock;
    DesktopMediaOpener opener;
    // Said once at start, rather than by every media row that fails later.
    if (const QString problem = DesktopMediaOpener::problem(); !problem.isEmpty())
        writeLine(clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
                  QStringLiteral("cantrel: ") + problem);
    HeadlessRun run(settings, clock, opener, writeLine);
    // Before the start, so the run's first events are told too (a link
    // found down at once).
    RunService service(run, QFileInfo(path).absoluteFilePath(), clock.now());
    service.publish(QDBusConnection::sessionBus());
    QObject::connect(&run, &HeadlessRun::endedByItself, &app, [] { QCoreApplication::exit(1); });
    if (!run.start())
        return 1;
    const int status = app.exec();
    // An opener still deciding is left to itself: the end must not wait for it.
    opener.stopWaiting();
    run.stop();
    service.finish(status == 1);
    return status;
}

} // namespace cantrel
