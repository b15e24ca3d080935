#pragma once

#include "run/AsRunLog.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace cantrel {

class Clock;
class DeviceThread;
class RunDocuments;
class RunEngine;

// Writes what a run does to the as-run log as it happens: Run entered and
// left, each day file loaded, each row opened, fired, failed, late or
// missed, and the device link going down and coming back. Each line written
// is also handed to echo, when given (the run without a window prints them),
// and each event goes out as logged.
class RunLogger final : public QObject {
    Q_OBJECT
  public:
    RunLogger(RunEngine& engine, RunDocuments& documents, DeviceThread& device, Clock& clock,
              AsRunLog& log, std::function<void(const QString&)> echo = {},
              QObject* parent = nullptr);

    // An output fired by hand, outside any row (what: "executed" or
    // "failed"), with detail saying how or why.
    void writeOutput(const QString& what, int output, const QString& detail);
    // An event of the run without a row (the settings read again).
    void writeEvent(const QString& what, const QString& detail);

  signals:
    // An event as it went to the log, at the time its line carries.
    void logged(const QDateTime& at, const AsRunEvent& event);

  private:
    void write(AsRunEvent event);
    void writeRow(const QString& what, const QStringList& cells, std::optional<qint64> lateMs,
                  const QString& detail = {});
    void linkText(const QString& text);
    void linkState(bool down, const QString& detail);

    RunEngine& engine_;
    RunDocuments& documents_;
    Clock& clock_;
    AsRunLog& log_;
    std::function<void(const QString&)> echo_;
    // Why Run mode is about to end by itself, for the line that says it left.
    QString endingWhy_;
    bool linkDown_ = false;
};

} // namespace cantrel
