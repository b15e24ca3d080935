#pragma once

#include "service/ServiceBus.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

#include <sys/types.h>

namespace cantrel {

// The alert command (CANTREL_ALERT): a program of the user's, started for
// each event that matters with the event's log fields as its eight
// arguments, never through a shell, so it can send an e-mail or a chat
// message. It is not waited for: its end is collected as the event loop
// goes on, and a failure to start or an end other than status 0 is said once
// through say. It never stops the run.
class AlertCommand final : public QObject {
    Q_OBJECT
  public:
    using LineWriter = std::function<void(const QString& line)>;

    AlertCommand(QString program, LineWriter say, QObject* parent = nullptr);
    // Collects nothing more; commands still running are left to run.
    ~AlertCommand() override;

    // The program CANTREL_ALERT names, or empty.
    static QString fromEnvironment();

    void run(const ServiceEvent& event);
    // Commands started and not yet ended.
    int running() const { return int(running_.size()); }

    // No more run at once: a command that hangs must not pile up processes
    // with every event after it.
    static constexpr int kMostRunning = 8;

  private:
    void collect();

    struct Running {
        pid_t pid;
        QString label;
    };
    const QString program_;
    LineWriter say_;
    std::vector<Running> running_;
    QTimer collector_;
};

} // namespace cantrel
