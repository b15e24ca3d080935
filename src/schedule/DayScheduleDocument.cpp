// The day schedule document: its File menu commands and the question about
// unsaved changes. The rows of DayGrid are the document.
#include "app/TMainForm.h"
#include "platform/LockedFile.h"
#include "platform/ProgramError.h"
#include "schedule/DayScheduleFile.h"
#include "schedule/DocumentText.h"
#include "schedule/StringGrid.h"

#include <QGroupBox>

namespace cantrel {

QString TMainForm::dayScheduleName() const {
    return DayGroupBox->title();
}

void TMainForm::setDayScheduleName(const QString& name) {
    DayGroupBox->setTitle(name);
}

bool TMainForm::ConfirmDayScheduleClose() {
    return confirmDocumentClose(DayGroupBox, DayModified, &TMainForm::Save24h1Click);
}

void TMainForm::NewDaySchedule() {
    if (!ConfirmDayScheduleClose())
        return;
    setDayScheduleName(QStringLiteral("Untitled.24h"));
    DayGrid->setRowCount(2);
    DayGrid->setRowCells(1, QStringList(DayGrid->colCount()));
    DayModified = false;
    DayHasFile = false;
}

void TMainForm::LoadDaySchedule(const QString& name) {
    if (name.isEmpty())
        throw ProgramError(QStringLiteral(".24h file don't specified"));
    if (!ConfirmDayScheduleClose())
        return;
    const std::optional<QByteArray> bytes = readExclusive(name);
    if (!bytes)
        throw ProgramError(QStringLiteral("Can't load .24h file"));
    QList<QStringList> rows = readDayRows(*bytes);
    // A schedule always has at least one row, empty when the file has none.
    if (rows.isEmpty())
        rows.append(QStringList(DayGrid->colCount()));
    DayGrid->replaceDataRows(std::move(rows));
    DayModified = false;
    DayHasFile = true;
    setDayScheduleName(name);
    DayGrid->setRow(1, false);
    DayGridSelectCell(DayGrid, 1);
}

void TMainForm::WriteDaySchedule(const QString& name) {
    if (!name.isEmpty())
        setDayScheduleName(name);
    saveDocument(dayScheduleName(), writeDayRows(DayGrid->cells()->dataRows()));
    DayModified = false;
    DayHasFile = true;
}

void TMainForm::New24h1Click() {
    NewDaySchedule();
}

void TMainForm::Load24h1Click() {
    OpenDialog.filter = QStringLiteral(".24h files|*.24h");
    const QString path = executeOpenDialog();
    if (!path.isEmpty())
        LoadDaySchedule(path);
}

void TMainForm::Save24h1Click() {
    if (DayHasFile)
        WriteDaySchedule(QString());
    else
        SaveAs24h1Click();
}

void TMainForm::SaveAs24h1Click() {
    SaveDialog.filter = QStringLiteral(".24h files|*.24h");
    SaveDialog.defaultSuffix = QStringLiteral("24h");
    SaveDialog.fileName = dayScheduleName();
    const QString path = executeSaveDialog();
    if (path.isEmpty())
        return;
    WriteDaySchedule(path);
    DayHasFile = true;
}

} // namespace cantrel
