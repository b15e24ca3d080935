// The month calendar document: its File menu commands and the question about
// unsaved changes. Rows 1 to 31 of MonthGrid are the document.
#include "app/TMainForm.h"
#include "platform/LockedFile.h"
#include "platform/ProgramError.h"
#include "schedule/DocumentText.h"
#include "schedule/MonthCalendarFile.h"
#include "schedule/StringGrid.h"

#include <QGroupBox>

namespace cantrel {

QString TMainForm::monthCalendarName() const {
    return MonthGroupBox->title();
}

void TMainForm::setMonthCalendarName(const QString& name) {
    MonthGroupBox->setTitle(name);
}

bool TMainForm::ConfirmMonthCalendarClose() {
    return confirmDocumentClose(MonthGroupBox, MonthModified, &TMainForm::Save31d1Click);
}

void TMainForm::NewMonthCalendar() {
    if (!ConfirmMonthCalendarClose())
        return;
    for (int day = 1; day <= monthDays; ++day)
        MonthGrid->setRowCells(day, {QString(), QString::number(day), QString()});
    setMonthCalendarName(QStringLiteral("Untitled.31d"));
    MonthModified = false;
    MonthHasFile = false;
}

void TMainForm::LoadMonthCalendar(const QString& name) {
    if (!ConfirmMonthCalendarClose())
        return;
    const std::optional<QByteArray> bytes = readExclusive(name);
    if (!bytes)
        throw ProgramError(QStringLiteral("Can't load .31d file!"));
    for (const MonthLine& line : readMonthLines(*bytes)) {
        const std::optional<int> day = parseWholeNumber(line.dayText);
        if (!day)
            throw PlatformError(
                QStringLiteral("'%1' is not a valid integer value").arg(line.dayText));
        // The calendar has no row for any other number: such a line changes nothing.
        if (*day >= 1 && *day <= monthDays)
            MonthGrid->setCell(2, *day, line.path);
    }
    MonthModified = false;
    MonthHasFile = true;
    setMonthCalendarName(name);
}

void TMainForm::WriteMonthCalendar(const QString& name) {
    if (!name.isEmpty())
        setMonthCalendarName(name);
    QStringList paths;
    for (int day = 1; day <= monthDays; ++day)
        paths.append(MonthGrid->cell(2, day));
    saveDocument(monthCalendarName(), writeMonthCalendar(paths));
    MonthModified = false;
    MonthHasFile = true;
}

void TMainForm::New31d1Click() {
    NewMonthCalendar();
}

void TMainForm::Load31d1Click() {
    OpenDialog.filter = QStringLiteral(".31d files|*.31d");
    const QString path = executeOpenDialog();
    if (!path.isEmpty())
        LoadMonthCalendar(path);
}

void TMainForm::Save31d1Click() {
    if (MonthHasFile)
        WriteMonthCalendar(QString());
    else
        SaveAs31d1Click();
}

void TMainForm::SaveAs31d1Click() {
    SaveDialog.defaultSuffix = QStringLiteral("31d");
    SaveDialog.filter = QStringLiteral(".31d files|*.31d");
    SaveDialog.fileName = monthCalendarName();
    const QString path = executeSaveDialog();
    if (!path.isEmpty())
        WriteMonthCalendar(path);
}

} // namespace cantrel
