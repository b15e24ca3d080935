#include "run/RunDocuments.h"

#include "schedule/ScheduleDocument.h"

namespace cantrel {

StringGridModel& PlainRunDocuments::dayRows() {
    return day_.rows();
}

StringGridModel& PlainRunDocuments::monthRows() {
    return month_.rows();
}

QString PlainRunDocuments::dayScheduleName() const {
    return day_.name();
}

QString PlainRunDocuments::monthCalendarName() const {
    return month_.name();
}

void PlainRunDocuments::loadDaySchedule(const QString& name) {
    day_.load(name);
}

void PlainRunDocuments::clearDaySchedule() {
    day_.startNew();
}

void PlainRunDocuments::reloadMonthCalendar() {
    month_.reload();
}

} // namespace cantrel
