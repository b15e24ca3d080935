#pragma once

#include "device/DeviceThread.h"
#include "run/RunDocuments.h"
#include "run/RunReport.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace cantrel {

class AsRunLog;
class Clock;
class DaySchedule;
class MediaOpener;
class MonthCalendar;
class RunEngine;
class RunLogger;
struct AsRunEvent;

// What a run without a window takes from the settings file.
struct HeadlessSettings {
    QString monthCalendar;
    // 0 LPT378, 1 LPT278, k COM(k-1), as the settings file counts them.
    int connection = 0;
    qint32 deviceId = 0;
    qint32 runAdvance = 0;
};

// The month calendar's schedule run as Run mode runs it from the moment Run
// is pressed, with no window: what the window would show in a box, and the
// status bar's connection and link texts as they change, become lines for writeLine,
// each with the local time. A day file saved anew while it runs is taken at
// the next tick, and the rows that already fired today keep their marks.
class HeadlessRun final : public QObject, private RunReport {
    Q_OBJECT
  public:
    using LineWriter = std::function<void(const QString& line)>;

    HeadlessRun(const HeadlessSettings& settings, Clock& clock, MediaOpener& opener,
                LineWriter writeLine,
                QStringList portLibraryFiles = PortLibrary::defaultFileNames(),
                QObject* parent = nullptr);
    ~HeadlessRun() override;

    // Loads the calendar and the port library, enters Run mode and opens the
    // connection, which stays the configured one even when its port does not
    // open. False, after saying why, when the run cannot start.
    bool start();
    // Leaves Run mode and lets go of the port and the port library.
    void stop();

    RunEngine& engine() const { return *engine_; }
    RunDocuments& documents() { return documents_; }
    DeviceThread& device() { return device_; }
    // The status bar's panels, as last said.
    const QString& connectionText() const { return connectionText_; }
    const QString& linkText() const { return linkText_; }

    // Outputs 1 to this can be fired by hand, as the window's radio bank
    // allows: 4 on a parallel port, 16 on a serial line.
    int outputCount() const;
    // Output n fired by hand from outside the program (a radio-button click
    // on a watching window): selected and fired through the run's
    // connection once the line is free, logged executed with how, or failed
    // with why; done then gets the failure's line, or an empty text.
    void fireOutput(int n, const QString& how, std::function<void(const QString&)> done = {});

    // A line with the local time, on standard error.
    void say(const QString& text) const;

    // The cells of the next row to fire as of the last tick; empty when none.
    const QStringList& nextCells() const { return nextCells_; }

    // The settings file read again (SIGHUP): the connection, the device ID
    // and the run advance apply from the next tick, the calendar only at the
    // next start; the as-run log says what changed. Settings that name no
    // calendar are taken as a file that no longer reads.
    void takeSettings(const HeadlessSettings& settings);
    // The settings file no longer reads, and why: said, and the run keeps
    // what it has.
    void keepSettings(const QString& why);

  signals:
    // Run mode ended by itself, where the window's would have; said why.
    void endedByItself();
    // Each as-run event as it was logged.
    void logged(const QDateTime& at, const AsRunEvent& event);

  private:
    // A line of the as-run log without a row.
    void logEvent(const QString& event, const QString& detail);
    // Runs the event loop until no pulse is on its way to the device.
    void finishPulsesUnderWay();

    // The status bar's panels, said when they change.
    void sayPanel(QString& shown, const QString& text);

    // RunReport
    void failure(const QString& text, bool programText, const QString& detail) override;
    void ended(const QString& text, bool shown, const QString& detail) override;

    HeadlessSettings settings_;
    Clock& clock_;
    LineWriter writeLine_;
    std::unique_ptr<DaySchedule> day_;
    std::unique_ptr<MonthCalendar> month_;
    PlainRunDocuments documents_;
    DeviceThread device_;
    // After the device: gone first, so no worker pulses a closed device.
    std::unique_ptr<RunEngine> engine_;
    std::unique_ptr<AsRunLog> log_;
    RunLogger* logger_ = nullptr;
    QTimer linkTest_;
    QString connectionText_;
    QString linkText_;
    QStringList nextCells_;
};

} // namespace cantrel
