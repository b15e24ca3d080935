#include "service/SystemdNotifier.h"

#include "run/HeadlessRun.h"
#include "run/NextRowText.h"
#include "run/RunEngine.h"

#include <systemd/sd-daemon.h>

namespace cantrel {

SystemdNotifier::SystemdNotifier(HeadlessRun& run, QObject* parent)
    : QObject(parent), run_(run) {
    uint64_t usec = 0;
    // An eighth of the interval: with ticks up to 490 ms apart, and some
    // late, a ping still comes well within half of it.
    if (sd_watchdog_enabled(0, &usec) > 0)
        pingEveryMs_ = std::max<qint64>(1, qint64(usec / 8000));
    // After the run's own slot, which has worked out the next row by then.
    connect(&run_.engine(), &RunEngine::ticked, this, &SystemdNotifier::ticked);
}

void SystemdNotifier::ready() {
    ready_ = true;
    send(QStringLiteral("READY=1"));
    sincePing_.start();
}

void SystemdNotifier::stopping() {
    send(QStringLiteral("STOPPING=1"));
}

QString SystemdNotifier::statusText(const QStringList& nextCells) {
    if (nextCells.isEmpty())
        return QStringLiteral("No more rows today");
    // One line: the protocol ends an assignment at a line end.
    QString text = nextRowLabel(nextCells);
    text.replace(u'\n', u' ').replace(u'\r', u' ');
    return text;
}

// Only a tick that really ran pings: a timer of its own would go on
// pinging for a run whose tick has died.
void SystemdNotifier::ticked() {
    if (!ready_)
        return;
    QString assignments;
    const QString status = statusText(run_.nextCells());
    if (status != status_) {
        status_ = status;
        assignments = QStringLiteral("STATUS=") + status;
    }
    if (pingEveryMs_ > 0 && sincePing_.elapsed() >= pingEveryMs_) {
        sincePing_.start();
        assignments += (assignments.isEmpty() ? QString() : QStringLiteral("\n")) +
                       QStringLiteral("WATCHDOG=1");
    }
    if (!assignments.isEmpty())
        send(assignments);
}

void SystemdNotifier::send(const QString& assignments) {
    sd_notify(0, assignments.toUtf8().constData());
}

} // namespace cantrel
