#pragma once

#include "service/ServiceBus.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace cantrel {

class AlertCommand;
class DesktopNotifier;
class HeadlessRun;

// `cantrel --run` as a service: on the session bus it gives its state and
// every as-run event as it happens, and takes an output fired by hand and a
// row executed; the events that matter (a row failed or missed, the link
// down and back, the run ended by itself) become desktop notifications and
// start the alert command. The bus lets only the user who runs it reach it.
class RunService final : public QObject {
    Q_OBJECT
  public:
    // settingsFile: the file the run read; since: when it started.
    RunService(HeadlessRun& run, const QString& settingsFile, const QDateTime& since,
               QObject* parent = nullptr);
    ~RunService() override;

    // Puts the service on the bus, and posts notifications there. Says once
    // when it cannot be watched: no bus, or its name taken by another run
    // (which does not stop this one).
    void publish(const QDBusConnection& bus);

    // Before the program ends: after a run that ended by itself, its
    // notifications and alert commands are waited for, up to kSettleMs; a
    // slow alert command is left running.
    void finish(bool endedByItself);
    static constexpr int kSettleMs = 5000;

    // The last events the state keeps.
    static constexpr int kRecentEvents = 10;
    const QDateTime& since() const { return since_; }
    const QString& settingsFile() const { return settingsFile_; }
    const std::deque<ServiceEvent>& recentEvents() const { return recent_; }
    // The mark of each of today's rows; the next row's cells (time to media
    // file) and the ms to its pulse.
    QStringList marks() const;
    std::pair<QStringList, qint64> nextRow() const;

    // The two calls. Each raises, with its text, what keeps it from going
    // out: an output or a row that is not there. An output goes out once
    // the line is free; done then gets why it failed, or an empty text.
    void fireOutput(int output, std::function<void(const QString&)> done);
    void executeRow(int row);

    HeadlessRun& run() const { return run_; }

  signals:
    void eventLogged(const ServiceEvent& event);
    // The connection, the link, today's rows or their marks changed; said
    // once for changes that come together.
    void stateChanged();

  private:
    void logged(const ServiceEvent& event);
    void alert(const ServiceEvent& event);

    HeadlessRun& run_;
    const QString settingsFile_;
    const QDateTime since_;
    std::deque<ServiceEvent> recent_;
    // The last "run left", told once the run is known to have ended by itself.
    std::optional<ServiceEvent> runLeft_;
    std::unique_ptr<DesktopNotifier> notifier_;
    std::unique_ptr<AlertCommand> alertCommand_;
    QTimer changed_;
    QString connectionText_;
    QString linkText_;
};

} // namespace cantrel
