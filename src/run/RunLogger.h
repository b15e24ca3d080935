#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace cantrel {

class AsRunLog;
class Clock;
class DeviceLink;
class RunDocuments;
class RunEngine;
struct AsRunEvent;

// Writes what a run does to the as-run log as it happens: Run entered and
// left, each day file loaded, each row opened, fired, failed, late or
// missed, and the device link going down and coming back. Each line written
// is also handed to echo, when given (the run without a window prints them).
class RunLogger final : public QObject {
    Q_OBJECT
  public:
    RunLogger(RunEngine& engine, RunDocuments& documents, DeviceLink& device, Clock& clock,
              AsRunLog& log, std::function<void(const QString&)> echo = {},
              QObject* parent = nullptr);

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
