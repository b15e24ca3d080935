// The document grids and their one-row editors.
#include "app/TMainForm.h"
#include "schedule/StringGrid.h"

namespace cantrel {

void TMainForm::connectEditingGrids() {
    for (StringGrid* grid : {DayGrid, MonthGrid}) {
        connect(grid, &StringGrid::selectCell, this,
                [this, grid](int, int row) { DayGridSelectCell(grid, row); });
        connect(grid, &StringGrid::mouseReleased, this, [this, grid] { CopyColumnWidths(grid); });
    }
}

// A row selected in a document grid becomes the editor's working copy,
// without its mark.
void TMainForm::DayGridSelectCell(StringGrid* grid, int row) {
    StringGrid* editor = grid->partner();
    if (!editor)
        return;
    editor->setRowCells(0, grid->rowCells(row));
    editor->setCell(0, 0, QString());
}

void TMainForm::CopyColumnWidths(StringGrid* grid) {
    StringGrid* editor = grid->partner();
    if (!editor)
        return;
    for (int c = 0; c < grid->colCount(); ++c)
        editor->setColWidth(c, grid->colWidth(c));
}

} // namespace cantrel
