#include "app/PlanMain.h"

#include "app/HeadlessMain.h"
#include "platform/ProgramError.h"
#include "schedule/Cells.h"
#include "schedule/DayPlan.h"
#include "schedule/MonthCalendarFile.h"
#include "schedule/PlanMonth.h"
#include "schedule/ScheduleDocument.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimeZone>

#include <cstdio>

namespace cantrel {

namespace {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

int showPlan(int& argc, char** argv, const QString& settingsFile, const QString& when) {
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Cantrel"));
    QString why;
    const std::optional<HeadlessSettings> settings =
        readRunSettingsFile(runSettingsPath(settingsFile), &why);
    if (!settings) {
        print(stderr, QStringLiteral("cantrel: %1\n").arg(why));
        return 1;
    }
    QDate first = QDate::currentDate();
    QDate last;
    if (when.size() == 10) {
        first = last = QDate::fromString(when, Qt::ISODate);
    } else {
        if (!when.isEmpty())
            first = QDate::fromString(when + QStringLiteral("-01"), Qt::ISODate);
        first = QDate(first.year(), first.month(), 1);
        last = first.addMonths(1).addDays(-1);
    }
    try {
        if (settings->monthCalendar.isEmpty())
            throw ProgramError(QStringLiteral("No month calendar: the settings name no file31d"));
        MonthCalendar month;
        month.startNew();
        month.setReadOnlyLoads(true);
        month.load(settings->monthCalendar);
        QStringList entries;
        for (int day = 1; day <= monthDays; ++day)
            entries << month.rows().cell(MonthCol::File, day);
        const QString planFile = planFileFor(settings->monthCalendar);
        const std::optional<DayPlan> plan = readPlanFile(planFile);
        print(stdout, QStringLiteral("calendar %1, %2\n")
                          .arg(settings->monthCalendar,
                               plan ? QStringLiteral("plan ") + planFile
                                    : QStringLiteral("no plan (%1)").arg(planFile)));
        print(stdout, planLookAhead(entries, plan, QFileInfo(planFile).path(), first, last,
                                    QTimeZone::systemTimeZone()));
    } catch (const TextFailure& failure) {
        print(stderr, QStringLiteral("cantrel: %1\n").arg(failure.oneLine()));
        return 1;
    }
    return 0;
}

} // namespace cantrel
