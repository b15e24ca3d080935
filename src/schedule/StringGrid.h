#pragma once

#include "schedule/StringGridModel.h"

#include <QTableView>

#include <functional>
#include <vector>

namespace cantrel {

// A grid of text cells over a StringGridModel, addressed (col, row) with the
// header row counted. Whole-row selection for the main grids; in-place
// editing for the one-row editors.
class StringGrid : public QTableView {
    Q_OBJECT
  public:
    enum class Kind { Document, Editor };

    StringGrid(Kind kind, int colCount, int rowCount, QWidget* parent = nullptr);
    // Shows rows that belong to someone else (a document).
    StringGrid(Kind kind, StringGridModel* rows, QWidget* parent = nullptr);

    StringGridModel* cells() const { return model_; }
    int colCount() const { return model_->colCount(); }
    int rowCount() const { return model_->gridRowCount(); }
    int fixedRows() const { return model_->fixedRows(); }

    // Changes of the rows, made here or by the rows' owner (a document),
    // keep a current cell, its row clamped to the last one, and do not
    // count as the operator selecting a cell.
    void setRowCount(int count) { model_->setGridRowCount(count); }
    void replaceDataRows(QList<QStringList> rows) { model_->replaceDataRows(std::move(rows)); }
    void appendRow(QStringList cells) { model_->appendRow(std::move(cells)); }
    void permuteDataRows(const std::vector<int>& order) { model_->permuteDataRows(order); }
    // Removes a row; the row that then stands under the selection is
    // reported as selected.
    void removeRow(int row);

    const QString& cell(int col, int row) const { return model_->cell(col, row); }
    void setCell(int col, int row, const QString& text) { model_->setCell(col, row, text); }
    const QStringList& rowCells(int row) const { return model_->rowCells(row); }
    void setRowCells(int row, QStringList cells) { model_->setRowCells(row, std::move(cells)); }

    // The current row and column, as the grid counts them.
    int row() const;
    int col() const;
    // Moves the current row; selectCell follows unless notify is false.
    void setRow(int row, bool notify = true);
    void setCol(int col);

    int colWidth(int col) const { return columnWidth(col); }
    void setColWidth(int col, int width) { setColumnWidth(col, width); }
    int defaultRowHeight() const;
    // The column width that shows text whole in this grid's font and style:
    // the cell's text margins and the grid line included, every digit taken
    // as the font's widest one.
    int widthShowing(QString text) const;

    // The first column scrolled into view.
    int leftCol() const;
    void setLeftCol(int col);

    // A partner grid (a document grid and its editor point at each other).
    StringGrid* partner() const { return partner_; }
    void setPartner(StringGrid* partner) { partner_ = partner; }

  signals:
    // The current cell moved (by mouse, keys or the program).
    void selectCell(int col, int row);
    void topLeftChanged();
    void mouseReleased();
    // A left double-click anywhere on the grid: a cell, the header or the
    // empty area below the rows.
    void doubleClickedAnywhere();
    void keyPressed(QKeyEvent* event, bool* handled);
    void focused();

  public:
    // Decides which column a move into toCol really lands on (an editor
    // refuses some columns and sends the cursor elsewhere).
    void setColumnGuard(std::function<int(int fromCol, int toCol)> guard) {
        columnGuard_ = std::move(guard);
    }
    // Column 1 of the day editor is typed through the time mask.
    void setMaskedColumn(int col) { maskedColumn_ = col; }
    int maskedColumn() const { return maskedColumn_; }
    // Lets the grid's key handlers see a key first; true when they took it.
    bool offerKey(QKeyEvent* event);
    using QTableView::edit;

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Typing never jumps to a row whose text matches.
    void keyboardSearch(const QString&) override {}
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

  private:
    void setCurrent(int row, int col);
    void holdCurrentCell();
    void restoreCurrentCell();

    StringGridModel* model_;
    bool quiet_ = false;
    // The current cell while the rows' structure changes.
    struct HeldCell {
        int row = 0;
        int col = 0;
        bool quiet = false;
    } held_;
    std::function<int(int, int)> columnGuard_;
    int maskedColumn_ = -1;
    StringGrid* partner_ = nullptr;
};

} // namespace cantrel
