#include "service/AlertCommand.h"
#include "platform/SpawnChild.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

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
    QList<QByteArray> argv{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        argv << argument.toLocal8Bit();
    return spawnChild(argv, error);
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
