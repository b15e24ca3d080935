#include "app/HeadlessMain.h"

#include "app/SettingsFile.h"
#include "app/SettingsPlace.h"
#include "platform/Clock.h"
#include "platform/MediaOpener.h"
#include "run/HeadlessRun.h"
#include "service/RunService.h"
#include "service/SystemdNotifier.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace cantrel {

namespace {

// The write end of the pipe the signal handler wakes the event loop through,
// one byte per signal: its number.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void writeLine(const QString& line) {
    std::fputs((line + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

} // namespace

std::optional<HeadlessSettings> readRunSettingsFile(const QString& path, QString* why) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot read the settings file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return readRunSettings(SettingsFile::parse(file.readAll()));
}

QString runSettingsPath(const QString& settingsFile) {
    // Without a file to read, the message names the one the window would read.
    const QString found = settingsPlace(QCoreApplication::applicationDirPath()).readFrom;
    return !settingsFile.isEmpty() ? settingsFile : !found.isEmpty() ? found : kSettingsName;
}

int runHeadless(int& argc, char** argv, const QString& settingsFile) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Cantrel"));

    const QString path = runSettingsPath(settingsFile);
    QString why;
    const std::optional<HeadlessSettings> settings = readRunSettingsFile(path, &why);
    if (!settings) {
        writeLine(QStringLiteral("cantrel: ") + why);
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        writeLine(QStringLiteral("cantrel: cannot set up signal handling"));
        return 1;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // Read once the event loop runs, as are the other two.
    sigaction(SIGHUP, &action, nullptr);

    SystemClock clock;
    DesktopMediaOpener opener;
    // Said once at start, rather than by every media row that fails later.
    if (const QString problem = DesktopMediaOpener::problem(); !problem.isEmpty())
        writeLine(clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
                  QStringLiteral("cantrel: ") + problem);
    HeadlessRun run(*settings, clock, opener, writeLine);
    // Before the start, so the run's first events are told too (a link
    // found down at once).
    RunService service(run, QFileInfo(path).absoluteFilePath(), clock.now());
    service.publish(QDBusConnection::sessionBus());
    QObject::connect(&run, &HeadlessRun::endedByItself, &app, [] { QCoreApplication::exit(1); });
    SystemdNotifier notifier(run);
    QSocketNotifier signalled(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalled, &QSocketNotifier::activated, &app, [&run, path] {
        char received[16];
        const ssize_t count = ::read(signalPipe[0], received, sizeof received);
        for (ssize_t i = 0; i < count; ++i) {
            if (received[i] != SIGHUP) {
                QCoreApplication::exit(0);
                return;
            }
            QString unread;
            if (const std::optional<HeadlessSettings> again = readRunSettingsFile(path, &unread))
                run.takeSettings(*again);
            else
                run.keepSettings(unread);
        }
    });
    if (!run.start())
        return 1;
    notifier.ready();
    const int status = app.exec();
    notifier.stopping();
    // An opener still deciding is left to itself: the end must not wait for it.
    opener.stopWaiting();
    run.stop();
    service.finish(status == 1);
    return status;
}

} // namespace cantrel
