#include "run/RunLogger.h"

#include "device/DeviceThread.h"
#include "platform/Clock.h"
#include "run/AsRunLog.h"
#include "run/RunDocuments.h"
#include "run/RunEngine.h"
#include "schedule/Cells.h"

namespace cantrel {

RunLogger::RunLogger(RunEngine& engine, RunDocuments& documents, DeviceThread& device,
                     Clock& clock, AsRunLog& log, std::function<void(const QString&)> echo,
                     QObject* parent)
    : QObject(parent), engine_(engine), documents_(documents), clock_(clock), log_(log),
      echo_(std::move(echo)) {
    connect(&engine, &RunEngine::modeChanged, this, [this](bool running) {
        if (running) {
            write({QStringLiteral("run entered"), {}, {}, {}, {}, std::nullopt,
                   QStringLiteral("calendar %1, day file %2, run advance %3 s")
                       .arg(documents_.monthCalendarName(), engine_.dayText())
                       .arg(engine_.runAdvance())});
        } else {
            write({QStringLiteral("run left"), {}, {}, {}, {}, std::nullopt,
                   std::exchange(endingWhy_, QString())});
        }
    });
    connect(&engine, &RunEngine::ending, this, [this](const QString& why) { endingWhy_ = why; });
    connect(&engine, &RunEngine::dayStarted, this, [this](int) {
        write({QStringLiteral("day loaded"), {}, {}, {}, {}, std::nullopt, engine_.dayText()});
    });
    connect(&engine, &RunEngine::calendarTaken, this, [this](const QString& name) {
        write({QStringLiteral("calendar loaded"), {}, {}, {}, {}, std::nullopt,
               QStringLiteral("saved anew: %1").arg(name)});
    });
    connect(&engine, &RunEngine::planTaken, this, [this](const QString& name) {
        write({QStringLiteral("plan loaded"), {}, {}, {}, {}, std::nullopt,
               QStringLiteral("saved anew: %1").arg(name)});
    });
    connect(&engine, &RunEngine::dayFileTaken, this, [this](const QString& name) {
        write({QStringLiteral("day loaded"), {}, {}, {}, {}, std::nullopt,
               QStringLiteral("saved anew: %1").arg(name)});
    });
    connect(&engine, &RunEngine::rowOpened, this,
            [this](const QStringList& cells) { writeRow(QStringLiteral("opened"), cells, {}); });
    connect(&engine, &RunEngine::rowFired, this, [this](const QStringList& cells, qint64 lateMs) {
        writeRow(QStringLiteral("fired"), cells, lateMs);
    });
    connect(&engine, &RunEngine::rowFailed, this,
            [this](const QStringList& cells, const QString& text) {
                writeRow(QStringLiteral("failed"), cells, {}, text);
            });
    connect(&engine, &RunEngine::rowExecuted, this, [this](const QStringList& cells) {
        writeRow(QStringLiteral("executed"), cells, {}, QStringLiteral("by hand"));
    });
    connect(&engine, &RunEngine::rowLate, this,
            [this](const QStringList& cells, qint64 lateMs, const QString& why) {
                writeRow(QStringLiteral("late"), cells, lateMs, why);
            });
    connect(&engine, &RunEngine::rowMissed, this,
            [this](const QStringList& cells, qint64 lateMs, const QString& why) {
                writeRow(QStringLiteral("missed"), cells, lateMs, why);
            });
    connect(&device, &DeviceThread::linkTextChanged, this, &RunLogger::linkText);
    connect(&device, &DeviceThread::linkLost, this,
            [this](const QString& why) { linkState(true, why); });
}

void RunLogger::write(AsRunEvent event) {
    const QDateTime at = clock_.now();
    const QString line = log_.write(at, event);
    if (echo_)
        echo_(line);
    emit logged(at, event);
}

void RunLogger::writeEvent(const QString& what, const QString& detail) {
    write({what, {}, {}, {}, {}, std::nullopt, detail});
}

void RunLogger::writeOutput(const QString& what, int output, const QString& detail) {
    write({what, {}, QString::number(output), {}, {}, std::nullopt, detail});
}

void RunLogger::writeRow(const QString& what, const QStringList& cells,
                         std::optional<qint64> lateMs, const QString& detail) {
    write({what, cells.value(DayCol::Time), cells.value(DayCol::Output),
           cells.value(DayCol::Comment), cells.value(DayCol::Media), lateMs, detail});
}

// "Link OK" is the link up; "No link" and "Link error" are it down. "Wait"
// (a parallel port, or none yet) says nothing either way.
void RunLogger::linkText(const QString& text) {
    if (text == QLatin1String("Link OK"))
        linkState(false, text);
    else if (text == QLatin1String("No link") || text == QLatin1String("Link error"))
        linkState(true, text);
}

// Each change is logged once. The link test goes on in Edit mode, where the
// state is followed but only a run is logged.
void RunLogger::linkState(bool down, const QString& detail) {
    if (down == linkDown_)
        return;
    linkDown_ = down;
    if (engine_.running())
        write({down ? QStringLiteral("link down") : QStringLiteral("link back"), {}, {}, {}, {},
               std::nullopt, detail});
}

} // namespace cantrel
