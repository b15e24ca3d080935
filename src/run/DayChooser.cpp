#include "run/DayChooser.h"

#include <QFileInfo>

namespace cantrel {

void DayChooser::start(const QString& calendarName) {
    planFile_ = planFileFor(calendarName);
    followed_.start(planFile_);
    plan_ = readPlanFile(planFile_);
}

DayChoice DayChooser::choose(const QString& calendarEntry, QDate date) const {
    return chooseDayFile(calendarEntry, plan_ ? &*plan_ : nullptr,
                         QFileInfo(planFile_).path(), date);
}

QString DayChooser::describe(const DayChoice& choice, QDate date) const {
    if (choice.source == DayChoice::Source::Calendar)
        return choice.file;
    const PlanRule* rule = plan_ ? plan_->ruleFor(date) : nullptr;
    const QString why = rule ? rule->text
                             : QStringLiteral("no rule for %1").arg(date.toString(Qt::ISODate));
    return QStringLiteral("%1 (plan: %2)")
        .arg(choice.file.isEmpty() ? QStringLiteral("none") : choice.file, why);
}

bool DayChooser::followPlan() {
    if (!followed_.savedAnew())
        return false;
    plan_ = readPlanFile(planFile_);
    return true;
}

} // namespace cantrel
