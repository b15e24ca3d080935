#include "schedule/ScheduleDocument.h"

#include "platform/LockedFile.h"
#include "platform/ProgramError.h"
#include "platform/Prompter.h"
#include "schedule/Cells.h"
#include "schedule/DayScheduleFile.h"
#include "schedule/DocumentText.h"
#include "schedule/MonthCalendarFile.h"

namespace cantrel {

ScheduleDocument::ScheduleDocument(int colCount, int rowCount, QObject* parent)
    : QObject(parent), rows_(new StringGridModel(colCount, rowCount, 1, this)) {}

void ScheduleDocument::setName(const QString& name) {
    if (name_ == name)
        return;
    name_ = name;
    emit nameChanged(name_);
}

bool ScheduleDocument::confirmClose(Prompter& prompter, const std::function<void()>& save) {
    if (modified_) {
        switch (prompter.question(QStringLiteral("Warning"), changedQuestion(name_))) {
        case Answer::Cancel:
            return false;
        case Answer::Yes:
            save();
            break;
        default:
            break;
        }
    }
    setName(QString());
    modified_ = false;
    return true;
}

void ScheduleDocument::checkFileName(const QString&) const {}

QByteArray ScheduleDocument::readForLoad(const QString& name, const QString& text) const {
    QString why;
    std::optional<QByteArray> bytes = readExclusive(
        name, &why, readOnlyLoads_ ? ReadAccess::ReadOnlyAllowed : ReadAccess::ReadWrite);
    if (!bytes)
        throw ProgramError(text, QStringLiteral("%1: %2").arg(name, why));
    return std::move(*bytes);
}

DaySchedule::DaySchedule(QObject* parent) : ScheduleDocument(5, 2, parent) {}

DocumentFileType DaySchedule::fileType() const {
    return {QStringLiteral(".24h files|*.24h"), QStringLiteral("24h")};
}

void DaySchedule::startNew() {
    setName(QStringLiteral("Untitled.24h"));
    rows().setGridRowCount(2);
    rows().setRowCells(1, QStringList(rows().colCount()));
    setModified(false);
    setHasFile(false);
}

void DaySchedule::checkFileName(const QString& name) const {
    if (name.isEmpty())
        throw ProgramError(QStringLiteral(".24h file don't specified"));
}

void DaySchedule::load(const QString& name) {
    checkFileName(name);
    QList<QStringList> dayRows =
        readDayRows(readForLoad(name, QStringLiteral("Can't load .24h file")));
    // A schedule always has at least one row, empty when the file has none.
    if (dayRows.isEmpty())
        dayRows.append(QStringList(rows().colCount()));
    rows().replaceDataRows(std::move(dayRows));
    setModified(false);
    setHasFile(true);
    setName(name);
}

void DaySchedule::write(const QString& name) {
    if (!name.isEmpty())
        setName(name);
    saveDocument(this->name(), writeDayRows(rows().dataRows()));
    setModified(false);
    setHasFile(true);
}

MonthCalendar::MonthCalendar(QObject* parent) : ScheduleDocument(3, 1 + monthDays, parent) {}

DocumentFileType MonthCalendar::fileType() const {
    return {QStringLiteral(".31d files|*.31d"), QStringLiteral("31d")};
}

void MonthCalendar::startNew() {
    for (int day = 1; day <= monthDays; ++day)
        rows().setRowCells(day, {QString(), QString::number(day), QString()});
    setName(QStringLiteral("Untitled.31d"));
    setModified(false);
    setHasFile(false);
}

void MonthCalendar::load(const QString& name) {
    for (const MonthLine& line :
         readMonthLines(readForLoad(name, QStringLiteral("Can't load .31d file!")))) {
        const std::optional<int> day = parseWholeNumber(line.dayText);
        if (!day)
            throw PlatformError(
                QStringLiteral("'%1' is not a valid integer value").arg(line.dayText));
        // The calendar has no row for any other number: such a line changes nothing.
        if (*day >= 1 && *day <= monthDays)
            rows().setCell(MonthCol::File, *day, line.path);
    }
    setModified(false);
    setHasFile(true);
    setName(name);
}

void MonthCalendar::reload() {
    // Read into a calendar of its own, so a file that does not read leaves
    // this one whole.
    MonthCalendar fresh;
    fresh.startNew();
    fresh.setReadOnlyLoads(readOnlyLoads());
    fresh.load(name());
    for (int day = 1; day <= monthDays; ++day)
        rows().setCell(MonthCol::File, day, fresh.rows().cell(MonthCol::File, day));
}

void MonthCalendar::write(const QString& name) {
    if (!name.isEmpty())
        setName(name);
    QStringList paths;
    for (int day = 1; day <= monthDays; ++day)
        paths.append(rows().cell(MonthCol::File, day));
    saveDocument(this->name(), writeMonthCalendar(paths));
    setModified(false);
    setHasFile(true);
}

} // namespace cantrel
