#include "platform/MediaOpener.h"
#include "platform/SpawnChild.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Why not QProcess: it kills its child when it is destroyed, and an opener
// that is still running when we stop waiting (xdg-open stays with the player
// on some desktops) must be left alone; startDetached in turn tells us nothing
// about how the opener ended. So the opener is started with posix_spawnp (an
// argument vector, no shell, no event loop needed on the worker thread), its
// end is polled with waitpid up to the bound, and one that outlives the bound
// is handed to a reaper thread that collects it whenever it ends, so no
// zombie stays behind.

namespace cantrel {

namespace {

using namespace std::chrono_literals;

// "mailto:x@y" and "https://..." are links, not files; a Windows-looking
// drive letter never reaches us here, so two letters or more make a scheme.
bool isLink(const QString& target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    return scheme.match(target).hasMatch();
}

// Collects openers that outlived the wait. One thread for the whole program,
// started on first need; it sleeps while there is nothing to collect. It is
// never stopped and its state never freed, so a program that exits while it
// runs finds nothing destroyed under it.
class LateReaper {
public:
    static void adopt(pid_t pid)
    {
        static LateReaper* const reaper = new LateReaper;
        reaper->add(pid);
    }

private:
    LateReaper() { std::thread([this] { run(); }).detach(); }

    void add(pid_t pid)
    {
        {
            std::lock_guard lock(mutex_);
            pids_.push_back(pid);
        }
        added_.notify_one();
    }

    [[noreturn]] void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            if (pids_.empty())
                added_.wait(lock, [this] { return !pids_.empty(); });
            else
                added_.wait_for(lock, 200ms);
            std::erase_if(pids_, [](pid_t pid) {
                const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
                return r == pid || (r == -1 && errno != EINTR);
            });
        }
    }

    std::mutex mutex_;
    std::condition_variable added_;
    std::vector<pid_t> pids_;
};

// Starts the opener; the child's pid, or 0 when it could not be started
// (error then holds why).
pid_t spawnOpener(const QByteArray& program, const QByteArray& target, int* error)
{
    return spawnChild({program, target}, error);
}

bool isDesktopOpener()
{
    return qEnvironmentVariableIsEmpty("CANTREL_OPENER");
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

const QString noDisplayRemedy =
    QStringLiteral("set CANTREL_OPENER to a player that needs no display, such as /usr/bin/mpv");

// The opener's verdict within waitMs: empty when it opened, else why not.
// One still running by then, or when the waiting is called off, is taken
// as opened and left to the reaper.
QString awaitOpener(pid_t pid, int waitMs, const std::atomic<bool>& calledOff,
                    const QString& program)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    // Most openers answer within some tens of milliseconds: look often at
    // first, then less often.
    std::chrono::milliseconds pause = 1ms;
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
                return {};
            QString why = WIFEXITED(status)
                              ? QStringLiteral("%1 exited with status %2")
                                    .arg(program)
                                    .arg(WEXITSTATUS(status))
                              : QStringLiteral("%1 ended by signal %2")
                                    .arg(program)
                                    .arg(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
            if (isDesktopOpener() && !hasDisplay())
                why += QStringLiteral(" (no display; %1)").arg(noDisplayRemedy);
            return why;
        }
        // Someone else collected it: it did start, and that is all we know.
        if (r == -1 && errno != EINTR)
            return {};
        const Clock::time_point now = Clock::now();
        if (now >= deadline || calledOff) {
            LateReaper::adopt(pid);
            return {};
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
}

} // namespace

QString DesktopMediaOpener::openerProgram()
{
    const QString chosen = qEnvironmentVariable("CANTREL_OPENER");
    return chosen.isEmpty() ? QStringLiteral("xdg-open") : chosen;
}

QString DesktopMediaOpener::problem()
{
    const QString program = openerProgram();
    const QString found = program.contains(u'/') ? (QFileInfo(program).isExecutable() ? program
                                                                                     : QString())
                                                 : QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return QStringLiteral("the media opener %1 was not found, so no media file will open; %2")
            .arg(program, isDesktopOpener() ? QStringLiteral("install xdg-utils, or ") +
                                                  noDisplayRemedy
                                            : QStringLiteral("set CANTREL_OPENER to a program "
                                                             "that is installed"));
    if (isDesktopOpener() && !hasDisplay())
        return QStringLiteral("no display for the desktop's opener %1, so media files may not "
                              "open; %2")
            .arg(program, noDisplayRemedy);
    return {};
}

bool DesktopMediaOpener::open(const QString& target, QString* why)
{
    const auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (target.isEmpty())
        return fail(QStringLiteral("no file name"));
    if (!isLink(target) && !QFileInfo::exists(target))
        return fail(QStringLiteral("no such file"));
    const QString program = openerProgram();
    int error = 0;
    const pid_t pid = spawnOpener(QFile::encodeName(program), QFile::encodeName(target), &error);
    if (pid == 0)
        return fail(error == ENOENT ? QStringLiteral("the opener %1 was not found").arg(program)
                                    : QStringLiteral("the opener %1 could not start: %2")
                                          .arg(program, QString::fromLocal8Bit(strerror(error))));
    const QString verdict = awaitOpener(pid, waitMs_, calledOff_, program);
    return verdict.isEmpty() || fail(verdict);
}

} // namespace cantrel
