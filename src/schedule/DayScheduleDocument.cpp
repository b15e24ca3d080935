// The window's side of the day schedule: its File menu commands and the
// question about unsaved changes; the document itself is a DaySchedule.
#include "app/TMainForm.h"
#include "platform/FileDialogs.h"
#include "platform/ProgramError.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "schedule/StringGrid.h"


namespace cantrel {

QString TMainForm::dayScheduleName() const {
    return daySchedule().name();
}

void TMainForm::setDayScheduleName(const QString& name) {
    daySchedule().setName(name);
}

bool TMainForm::ConfirmDayScheduleClose() {
    return daySchedule().confirmClose(prompter(), [this] { Save24h1Click(); });
}

void TMainForm::NewDaySchedule() {
    if (!ConfirmDayScheduleClose())
        return;
    daySchedule().startNew();
}

void TMainForm::LoadDaySchedule(const QString& name) {
    if (name.isEmpty())
        throw ProgramError(QStringLiteral(".24h file don't specified"));
    if (!ConfirmDayScheduleClose())
        return;
    daySchedule().load(name);
    // The rows were replaced under the grid: row 1 is selected and copied
    // into the editor.
    DayGrid->setRow(1, false);
    DayGridSelectCell(DayGrid, 1);
}

void TMainForm::WriteDaySchedule(const QString& name) {
    daySchedule().write(name);
}

void TMainForm::New24h1Click() {
    NewDaySchedule();
}

void TMainForm::Load24h1Click() {
    const QString path = fileDialogs().chooseFileToOpen(QStringLiteral(".24h files|*.24h"));
    if (!path.isEmpty())
        LoadDaySchedule(path);
}

void TMainForm::Save24h1Click() {
    if (daySchedule().hasFile())
        WriteDaySchedule(QString());
    else
        SaveAs24h1Click();
}

void TMainForm::SaveAs24h1Click() {
    const QString path = fileDialogs().chooseFileToSave(
        QStringLiteral(".24h files|*.24h"), QStringLiteral("24h"), dayScheduleName());
    if (path.isEmpty())
        return;
    WriteDaySchedule(path);
}

} // namespace cantrel
