// The window's side of the month calendar: its File menu commands and the
// question about unsaved changes; the document itself is a MonthCalendar.
#include "app/TMainForm.h"
#include "platform/FileDialogs.h"
#include "schedule/ScheduleDocument.h"

namespace cantrel {

QString TMainForm::monthCalendarName() const {
    return monthCalendar().name();
}

void TMainForm::setMonthCalendarName(const QString& name) {
    monthCalendar().setName(name);
}

bool TMainForm::ConfirmMonthCalendarClose() {
    return monthCalendar().confirmClose(prompter(), [this] { Save31d1Click(); });
}

void TMainForm::NewMonthCalendar() {
    if (!ConfirmMonthCalendarClose())
        return;
    monthCalendar().startNew();
}

void TMainForm::LoadMonthCalendar(const QString& name) {
    if (!ConfirmMonthCalendarClose())
        return;
    monthCalendar().load(name);
}

void TMainForm::WriteMonthCalendar(const QString& name) {
    monthCalendar().write(name);
}

void TMainForm::New31d1Click() {
    NewMonthCalendar();
}

void TMainForm::Load31d1Click() {
    const QString path = fileDialogs().chooseFileToOpen(QStringLiteral(".31d files|*.31d"));
    if (!path.isEmpty())
        LoadMonthCalendar(path);
}

void TMainForm::Save31d1Click() {
    if (monthCalendar().hasFile())
        WriteMonthCalendar(QString());
    else
        SaveAs31d1Click();
}

void TMainForm::SaveAs31d1Click() {
    const QString path = fileDialogs().chooseFileToSave(
        QStringLiteral(".31d files|*.31d"), QStringLiteral("31d"), monthCalendarName());
    if (!path.isEmpty())
        WriteMonthCalendar(path);
}

} // namespace cantrel
