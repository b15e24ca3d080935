#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

namespace cantrel {

class HeadlessRun;

// systemd's notify protocol for `cantrel --run` under a Type=notify unit:
// READY once the run is in, STATUS with the next row to fire, and the
// watchdog fed from the run's tick alone, so that a hung event loop or a
// tick that died stops the pings and systemd restarts the run. Without
// NOTIFY_SOCKET nothing is sent.
class SystemdNotifier final : public QObject {
    Q_OBJECT
  public:
    explicit SystemdNotifier(HeadlessRun& run, QObject* parent = nullptr);

    // The run has entered Run mode and tried its device.
    void ready();
    // The run is on its way out.
    void stopping();

    // The status for the next row's cells (none: nothing left today).
    static QString statusText(const QStringList& nextCells);

  private:
    void ticked();
    void send(const QString& assignments);

    HeadlessRun& run_;
    // How often a tick pings at most; 0 when systemd watches nothing.
    qint64 pingEveryMs_ = 0;
    QElapsedTimer sincePing_;
    QString status_;
    bool ready_ = false;
};

} // namespace cantrel
