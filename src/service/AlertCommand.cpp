#include "service/AlertCommand.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// Why not QProcess: it kills its child when it is destroyed, and the alert
// for a run that ended by itself is started just before the program ends;
// startDetached in turn would tell nothing of how the command ended.

namespace cantrel {

namespace {

QString reason(int error) {
    switch (error) {
    case ENOENT:
        return QStringLiteral("no such file");
    case EACCES:
        return QStringLiteral("no permission");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// The command's pid, or 0 and error set.
pid_t spawn(const QString& program, const QStringList& arguments, int* error) {
    QList<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        bytes << argument.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // A command that hangs must not keep the serial line or a lock of ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGTERM, SIGINT, SIGXFSZ})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    *error = ::posix_spawnp(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return *error ? 0 : pid;
}

} // namespace

AlertCommand::AlertCommand(QString program, LineWriter say, QObject* parent)
    : QObject(parent), program_(std::move(program)), say_(std::move(say)) {
    collector_.setInterval(200);
    connect(&collector_, &QTimer::timeout, this, &AlertCommand::collect);
}

AlertCommand::~AlertCommand() = default;

QString AlertCommand::fromEnvironment() {
    return qEnvironmentVariable("CANTREL_ALERT");
}

void AlertCommand::run(const ServiceEvent& event) {
    const QString label = eventLabel(event.event);
    if (running() >= kMostRunning) {
        say_(QStringLiteral("Can't run the alert command: %1: %2 alert commands are still "
                            "running (for %3)")
                 .arg(program_, QString::number(kMostRunning), label));
        return;
    }
    int error = 0;
    const pid_t pid = spawn(program_, event.fields(), &error);
    if (!pid) {
        say_(QStringLiteral("Can't run the alert command: %1: %2 (for %3)")
                 .arg(program_, reason(error), label));
        return;
    }
    running_.push_back({pid, label});
    collector_.start();
}

void AlertCommand::collect() {
    std::erase_if(running_, [this](const Running& command) {
        int status = 0;
        const pid_t r = ::waitpid(command.pid, &status, WNOHANG);
        if (r == 0 || (r == -1 && errno == EINTR))
            return false;
        if (r == command.pid && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
            say_(QStringLiteral("The alert command failed: %1 %2 (for %3)")
                     .arg(program_,
                          WIFEXITED(status)
                              ? QStringLiteral("exited with status %1").arg(WEXITSTATUS(status))
                              : QStringLiteral("ended by signal %1").arg(WTERMSIG(status)),
                          command.label));
        return true;
    });
    if (running_.empty())
        collector_.stop();
}

} // namespace cantrel
