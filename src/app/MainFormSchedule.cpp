// The window's side of the schedule: the members that settings, Run mode and
// start-up call on the two documents, and the wiring of the grids, their
// editors and the buttons to the File commands and the editing rules. What
// the keys, clicks and the editors' columns do stays here, with the widgets.
#include "app/TMainForm.h"
#include "schedule/Cells.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/ScheduleEditing.h"
#include "schedule/StringGrid.h"

#include <QKeyEvent>
#include <QPushButton>

namespace cantrel {

namespace {

// The mark column of the day editor is never typed into: moving left from
// "Time" wraps to "Media file", moving on from "Media file" wraps to "Time".
int dayEditorColumn(int fromCol, int toCol) {
    if (toCol != 0)
        return toCol;
    return fromCol == DayCol::Time ? DayCol::Media : DayCol::Time;
}

// Only the file column of the month editor is typed into.
int monthEditorColumn(int, int) {
    return MonthCol::File;
}

// Up and Down in an editor walk its document grid; the editor then holds the
// newly selected row and whatever was typed and not inserted is dropped.
bool walkDocumentGrid(StringGrid* editor, int key) {
    StringGrid* grid = editor->partner();
    if (!grid || (key != Qt::Key_Up && key != Qt::Key_Down))
        return false;
    const int row = grid->row();
    if (key == Qt::Key_Up && row > 1)
        grid->setRow(row - 1);
    else if (key == Qt::Key_Down && row < grid->rowCount() - 1)
        grid->setRow(row + 1);
    return true;
}

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

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

void TMainForm::InsertButtonClick() {
    scheduleEditing().insertRow();
}

void TMainForm::RemoveButtonClick() {
    scheduleEditing().removeRow(DayGrid->row());
}

void TMainForm::copyColumnWidths(StringGrid* grid) {
    StringGrid* editor = grid->partner();
    if (!editor)
        return;
    for (int c = 0; c < grid->colCount(); ++c)
        editor->setColWidth(c, grid->colWidth(c));
}

void TMainForm::connectEditingGrids() {
    ScheduleEditing& editing = scheduleEditing();
    // The selected row is the editor's working copy. When a rule moves the
    // selection the editor already shows the row, so the grid follows quietly.
    connect(DayGrid, &StringGrid::selectCell, &editing,
            [&editing](int, int row) { editing.showDayRow(row); });
    connect(MonthGrid, &StringGrid::selectCell, &editing,
            [&editing](int, int day) { editing.showCalendarDay(day); });
    connect(&editing, &ScheduleEditing::dayRowSelected, DayGrid,
            [this](int row) { DayGrid->setRow(row, false); });
    // A loaded day schedule starts at its first row.
    connect(&dayScheduleFiles(), &DocumentFiles::loaded, &editing,
            &ScheduleEditing::selectFirstDayRow);
    // What is typed into the month editor goes straight into the selected day.
    connect(&editing.monthEditor(), &StringGridModel::cellEdited, &editing,
            [this, &editing] { editing.writeCalendarDay(MonthGrid->row()); });

    for (StringGrid* grid : {DayGrid, MonthGrid})
        connect(grid, &StringGrid::mouseReleased, this, [this, grid] { copyColumnWidths(grid); });
    for (StringGrid* grid : {DayGrid, EditDayGrid, MonthGrid, EditMonthGrid})
        connect(grid, &StringGrid::topLeftChanged, this, [grid] {
            if (StringGrid* partner = grid->partner())
                partner->setLeftCol(grid->leftCol());
        });
    for (StringGrid* editor : {EditDayGrid, EditMonthGrid})
        connect(editor, &StringGrid::keyPressed, this, [editor](QKeyEvent* e, bool* handled) {
            *handled = walkDocumentGrid(editor, e->key());
        });

    EditDayGrid->setMaskedColumn(DayCol::Time);
    EditDayGrid->setColumnGuard(dayEditorColumn);
    EditMonthGrid->setColumnGuard(monthEditorColumn);
    connect(EditDayGrid, &StringGrid::focused, this, [this] {
        if (EditDayGrid->col() == 0)
            EditDayGrid->setCol(DayCol::Time);
    });

    connect(DayGrid, &StringGrid::keyPressed, this, [this](QKeyEvent* e, bool* handled) {
        const int key = e->key();
        *handled = isEnter(key) || key == Qt::Key_Delete;
        if (isEnter(key))
            handle([this] { ExecuteButtonClick(); });
        else if (key == Qt::Key_Delete)
            handle([this] { RemoveButtonClick(); });
    });
    // Enter or a double-click on a day loads its day schedule.
    const auto loadSelectedDay = [this] {
        handle([this] { LoadDaySchedule(MonthGrid->cell(MonthCol::File, MonthGrid->row())); });
    };
    connect(MonthGrid, &StringGrid::keyPressed, this,
            [loadSelectedDay](QKeyEvent* e, bool* handled) {
                if (isEnter(e->key())) {
                    loadSelectedDay();
                    *handled = true;
                }
            });
    connect(MonthGrid, &StringGrid::doubleClickedAnywhere, this, loadSelectedDay);

    const auto onClick = [this](QPushButton* button, std::function<void()> command) {
        connect(button, &QAbstractButton::clicked, this, [this, command] { handle(command); });
    };
    onClick(Select24dButton, [&editing] { editing.browseMediaFile(); });
    onClick(Select31hButton, [this, &editing] { editing.browseDayScheduleFile(MonthGrid->row()); });
    onClick(InsertButton, [this] { InsertButtonClick(); });
    onClick(ModifyButton, [this, &editing] { editing.modifyRow(DayGrid->row()); });
    onClick(RemoveButton, [this] { RemoveButtonClick(); });
}

} // namespace cantrel
