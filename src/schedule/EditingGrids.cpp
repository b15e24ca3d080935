// The document grids and their one-row editors: selection, the editors'
// columns and keys, Insert / Modify / Remove and the time order.
#include "app/TMainForm.h"
#include "platform/FileDialogs.h"
#include "platform/ProgramError.h"
#include "schedule/Cells.h"
#include "schedule/DocumentFiles.h"
#include "schedule/ScheduleDocument.h"
#include "schedule/StringGrid.h"
#include "schedule/TimeOfDay.h"
#include "schedule/TimeOrder.h"

#include <QKeyEvent>
#include <QPushButton>

namespace cantrel {

namespace {

// The one check on the output number: above 16 is refused; text that is not
// a number counts as 0.
void checkOutputNumber(const QString& text) {
    if (outputNumber(text) > 16)
        throw ProgramError(QStringLiteral("Wrong profile number"));
}

[[noreturn]] void notAValidTime(const QString& text) {
    throw PlatformError(QStringLiteral("'%1' is not a valid time").arg(text));
}

} // namespace

void TMainForm::connectEditingGrids() {
    // A loaded day schedule starts at its first row, shown in the editor.
    connect(dayScheduleFiles_, &DocumentFiles::loaded, this, [this] {
        DayGrid->setRow(1, false);
        DayGridSelectCell(DayGrid, 1);
    });
    for (StringGrid* grid : {DayGrid, MonthGrid}) {
        connect(grid, &StringGrid::selectCell, this,
                [this, grid](int, int row) { DayGridSelectCell(grid, row); });
        connect(grid, &StringGrid::mouseReleased, this, [this, grid] { CopyColumnWidths(grid); });
    }
    for (StringGrid* grid : {DayGrid, EditDayGrid, MonthGrid, EditMonthGrid})
        connect(grid, &StringGrid::topLeftChanged, this,
                [this, grid] { EditDayGridTopLeftChanged(grid); });
    for (StringGrid* editor : {EditDayGrid, EditMonthGrid})
        connect(editor, &StringGrid::keyPressed, this, [this, editor](QKeyEvent* e, bool* handled) {
            *handled = EditDayGridKeyDown(editor, e->key());
        });

    EditDayGrid->setMaskedColumn(DayCol::Time);
    EditDayGrid->setColumnGuard([this](int from, int to) { return EditDayGridSelectCell(from, to); });
    EditMonthGrid->setColumnGuard(
        [this](int from, int to) { return EditMonthGridSelectCell(from, to); });
    connect(EditDayGrid, &StringGrid::focused, this, [this] { EditDayGridEnter(); });
    connect(EditMonthGrid->cells(), &StringGridModel::cellEdited, this,
            [this] { EditMonthGridSetEditText(); });

    connect(DayGrid, &StringGrid::keyPressed, this,
            [this](QKeyEvent* e, bool* handled) { *handled = DayGridKeyDown(e->key()); });
    connect(MonthGrid, &StringGrid::keyPressed, this,
            [this](QKeyEvent* e, bool* handled) { *handled = MonthGridKeyDown(e->key()); });
    connect(MonthGrid, &StringGrid::doubleClickedAnywhere, this, [this] { MonthGridDblClick(); });

    connect(Select24dButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { Select24dButtonClick(); }); });
    connect(Select31hButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { Select31hButtonClick(); }); });
    connect(InsertButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { InsertButtonClick(); }); });
    connect(ModifyButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { ModifyButtonClick(); }); });
    connect(RemoveButton, &QAbstractButton::clicked, this,
            [this] { handle([this] { RemoveButtonClick(); }); });
}

// A row selected in a document grid becomes the editor's working copy,
// without its mark.
void TMainForm::DayGridSelectCell(StringGrid* grid, int row) {
    StringGrid* editor = grid->partner();
    if (!editor)
        return;
    QStringList cells = grid->rowCells(row);
    cells[0].clear();
    editor->setRowCells(0, std::move(cells));
}

void TMainForm::CopyColumnWidths(StringGrid* grid) {
    StringGrid* editor = grid->partner();
    if (!editor)
        return;
    for (int c = 0; c < grid->colCount(); ++c)
        editor->setColWidth(c, grid->colWidth(c));
}

// The mark column is never typed into: moving left from "Time" wraps to
// "Media file", moving on from "Media file" wraps to "Time".
int TMainForm::EditDayGridSelectCell(int fromCol, int toCol) const {
    if (toCol != 0)
        return toCol;
    return fromCol == DayCol::Time ? DayCol::Media : DayCol::Time;
}

// Only the file column of the month editor is typed into.
int TMainForm::EditMonthGridSelectCell(int, int) const {
    return MonthCol::File;
}

void TMainForm::EditDayGridEnter() {
    if (EditDayGrid->col() == 0)
        EditDayGrid->setCol(DayCol::Time);
}

// The month editor writes through: every change lands in the selected day.
void TMainForm::EditMonthGridSetEditText() {
    MonthGrid->setRowCells(MonthGrid->row(), EditMonthGrid->rowCells(0));
    monthCalendar().setModified(true);
}

// Up and Down in an editor walk its document grid; the editor then holds the
// newly selected row and whatever was typed and not inserted is dropped.
bool TMainForm::EditDayGridKeyDown(StringGrid* editor, int key) {
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

bool TMainForm::DayGridKeyDown(int key) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        handle([this] { ExecuteButtonClick(); });
        return true;
    }
    if (key == Qt::Key_Delete) {
        handle([this] { RemoveButtonClick(); });
        return true;
    }
    return false;
}

bool TMainForm::MonthGridKeyDown(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return false;
    MonthGridDblClick();
    return true;
}

void TMainForm::MonthGridDblClick() {
    handle([this] { LoadDaySchedule(MonthGrid->cell(MonthCol::File, MonthGrid->row())); });
}

void TMainForm::EditDayGridTopLeftChanged(StringGrid* grid) {
    if (StringGrid* partner = grid->partner())
        partner->setLeftCol(grid->leftCol());
}

void TMainForm::Select24dButtonClick() {
    const QString path = fileDialogs().chooseFileToOpen(QStringLiteral("any file|*.*"));
    if (!path.isEmpty())
        EditDayGrid->setCell(DayCol::Media, 0, path);
}

void TMainForm::Select31hButtonClick() {
    const QString path = fileDialogs().chooseFileToOpen(QStringLiteral(".24h files|*.24h"));
    if (path.isEmpty())
        return;
    EditMonthGrid->setCell(MonthCol::File, 0, path);
    MonthGrid->setRowCells(MonthGrid->row(), EditMonthGrid->rowCells(0));
    monthCalendar().setModified(true);
}

void TMainForm::InsertButtonClick() {
    checkOutputNumber(EditDayGrid->cell(DayCol::Output, 0));
    // The placeholder row of an empty schedule is filled, not added to.
    if (DayGrid->rowCount() == 2 && DayGrid->cell(DayCol::Time, 1).isEmpty()) {
        ModifyButtonClick();
        return;
    }
    DayGrid->appendRow(EditDayGrid->rowCells(0));
    DayGrid->setRow(DayGrid->rowCount() - 1);
    daySchedule().setModified(true);
    SortDaySchedule();
}

void TMainForm::ModifyButtonClick() {
    const QString time = EditDayGrid->cell(DayCol::Time, 0);
    if (!parseTimeOfDay(time))
        notAValidTime(time);
    checkOutputNumber(EditDayGrid->cell(DayCol::Output, 0));
    QStringList cells = EditDayGrid->rowCells(0);
    for (QString& cell : cells)
        cell = trimmedControls(cell);
    EditDayGrid->setRowCells(0, cells);
    DayGrid->setRowCells(DayGrid->row(), std::move(cells));
    daySchedule().setModified(true);
    SortDaySchedule();
}

void TMainForm::RemoveButtonClick() {
    // The last row is never removed: a schedule always has one.
    if (DayGrid->rowCount() <= 2)
        return;
    DayGrid->removeRow(DayGrid->row());
    daySchedule().setModified(true);
}

void TMainForm::SortDaySchedule() {
    const int rows = DayGrid->rowCount() - 1;
    std::vector<std::optional<int>> times;
    times.reserve(size_t(rows));
    for (int r = 1; r <= rows; ++r)
        times.push_back(parseTimeOfDay(DayGrid->cell(DayCol::Time, r)));
    const TimeOrderResult result = orderByTime(times, DayGrid->row() - 1);
    if (result.badRow)
        notAValidTime(DayGrid->cell(DayCol::Time, *result.badRow + 1));
    DayGrid->permuteDataRows(result.order);
    // The selection followed its row; the editor shows it at its new place.
    if (result.selected >= 0 && result.selected + 1 != DayGrid->row())
        DayGrid->setRow(result.selected + 1);
}

} // namespace cantrel
