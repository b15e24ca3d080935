// The window's side of the schedule: the members that settings, Run mode and
// start-up call on the two documents, and the wiring of the grids, their
// editors and the buttons to the File commands and the editing rules. What
// the keys, clicks and the editors' columns do stays here, with the widgets.
#include "app/MainWindow.h"
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

QString MainWindow::dayScheduleName() const {
    return daySchedule().name();
}

bool MainWindow::confirmDayScheduleClose() {
    return dayScheduleFiles().confirmClose();
}

void MainWindow::newDaySchedule() {
    dayScheduleFiles().newDocument();
}

void MainWindow::loadDaySchedule(const QString& name) {
    dayScheduleFiles().load(name);
}

void MainWindow::writeDaySchedule(const QString& name) {
    daySchedule().write(name);
}

QString MainWindow::monthCalendarName() const {
    return monthCalendar().name();
}

void MainWindow::newMonthCalendar() {
    monthCalendarFiles().newDocument();
}

void MainWindow::loadMonthCalendar(const QString& name) {
    monthCalendarFiles().load(name);
}

void MainWindow::insertRow() {
    scheduleEditing().insertRow();
}

void MainWindow::removeRow() {
    scheduleEditing().removeRow(dayGrid->row());
}

void MainWindow::copyColumnWidths(StringGrid* grid) {
    StringGrid* editor = grid->partner();
    if (!editor)
        return;
    for (int c = 0; c < grid->colCount(); ++c)
        editor->setColWidth(c, grid->colWidth(c));
}

void MainWindow::connectEditingGrids() {
    ScheduleEditing& editing = scheduleEditing();
    // The selected row is the editor's working copy. When a rule moves the
    // selection the editor already shows the row, so the grid follows quietly.
    connect(dayGrid, &StringGrid::selectCell, &editing,
            [&editing](int, int row) { editing.showDayRow(row); });
    connect(monthGrid, &StringGrid::selectCell, &editing,
            [&editing](int, int day) { editing.showCalendarDay(day); });
    connect(&editing, &ScheduleEditing::dayRowSelected, dayGrid,
            [this](int row) { dayGrid->setRow(row, false); });
    // A loaded day schedule starts at its first row.
    connect(&dayScheduleFiles(), &DocumentFiles::loaded, &editing,
            &ScheduleEditing::selectFirstDayRow);
    // What is typed into the month editor goes straight into the selected day.
    connect(&editing.monthEditor(), &StringGridModel::cellEdited, &editing,
            [this, &editing] { editing.writeCalendarDay(monthGrid->row()); });

    for (StringGrid* grid : {dayGrid, monthGrid})
        connect(grid, &StringGrid::mouseReleased, this, [this, grid] { copyColumnWidths(grid); });
    for (StringGrid* grid : {dayGrid, dayEditGrid, monthGrid, monthEditGrid})
        connect(grid, &StringGrid::topLeftChanged, this, [grid] {
            if (StringGrid* partner = grid->partner())
                partner->setLeftCol(grid->leftCol());
        });
    for (StringGrid* editor : {dayEditGrid, monthEditGrid})
        connect(editor, &StringGrid::keyPressed, this, [editor](QKeyEvent* e, bool* handled) {
            *handled = walkDocumentGrid(editor, e->key());
        });

    dayEditGrid->setMaskedColumn(DayCol::Time);
    dayEditGrid->setColumnGuard(dayEditorColumn);
    monthEditGrid->setColumnGuard(monthEditorColumn);
    connect(dayEditGrid, &StringGrid::focused, this, [this] {
        if (dayEditGrid->col() == 0)
            dayEditGrid->setCol(DayCol::Time);
    });

    connect(dayGrid, &StringGrid::keyPressed, this, [this](QKeyEvent* e, bool* handled) {
        const int key = e->key();
        *handled = isEnter(key) || key == Qt::Key_Delete;
        if (isEnter(key))
            handle([this] { executeSelectedRow(); });
        else if (key == Qt::Key_Delete)
            handle([this] { removeRow(); });
    });
    // Enter or a double-click on a day loads its day schedule.
    const auto loadSelectedDay = [this] {
        handle([this] { loadDaySchedule(monthGrid->cell(MonthCol::File, monthGrid->row())); });
    };
    connect(monthGrid, &StringGrid::keyPressed, this,
            [loadSelectedDay](QKeyEvent* e, bool* handled) {
                if (isEnter(e->key())) {
                    loadSelectedDay();
                    *handled = true;
                }
            });
    connect(monthGrid, &StringGrid::doubleClickedAnywhere, this, loadSelectedDay);

    const auto onClick = [this](QPushButton* button, std::function<void()> command) {
        connect(button, &QAbstractButton::clicked, this, [this, command] { handle(command); });
    };
    onClick(browseMediaButton, [&editing] { editing.browseMediaFile(); });
    onClick(browseDayFileButton, [this, &editing] { editing.browseDayScheduleFile(monthGrid->row()); });
    onClick(insertButton, [this] { insertRow(); });
    onClick(modifyButton, [this, &editing] { editing.modifyRow(dayGrid->row()); });
    onClick(removeButton, [this] { removeRow(); });
}

} // namespace cantrel
