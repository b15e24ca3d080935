// The window's side of the schedule: the members that settings, Run mode and
// start-up call on the two documents, forwarded to their File commands.
#include "app/TMainForm.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"

namespace cantrel {

QString TMainForm::dayScheduleName() const {
    return daySchedule().name();
}

bool TMainForm::ConfirmDayScheduleClose() {
    return dayScheduleFiles().confirmClose();
}

void TMainForm::NewDaySchedule() {
    dayScheduleFiles().newDocument();
}

void TMainForm::LoadDaySchedule(const QString& name) {
    dayScheduleFiles().load(name);
}

void TMainForm::WriteDaySchedule(const QString& name) {
    daySchedule().write(name);
}

QString TMainForm::monthCalendarName() const {
    return monthCalendar().name();
}

void TMainForm::NewMonthCalendar() {
    monthCalendarFiles().newDocument();
}

void TMainForm::LoadMonthCalendar(const QString& name) {
    monthCalendarFiles().load(name);
}

} // namespace cantrel
