#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QTableView>

#include <functional>
#include <vector>

namespace cantrel {

// The cells of a grid: rows of text, row 0 the header when the grid has a
// fixed row. Rows are counted as the grid counts them (header included).
class StringGridModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    StringGridModel(int colCount, int rowCount, int fixedRows, QObject* parent = nullptr);

    int fixedRows() const { return fixedRows_; }
    int colCount() const { return colCount_; }
    int gridRowCount() const { return int(rows_.size()); }
    void setGridRowCount(int count);

    const QString& cell(int col, int row) const { return rows_[row][col]; }
    void setCell(int col, int row, const QString& text);
    const QStringList& rowCells(int row) const { return rows_[row]; }
    void setRowCells(int row, QStringList cells);
    // Replaces every row below the fixed ones in one step.
    void replaceDataRows(QList<QStringList> rows);
    QList<QStringList> dataRows() const { return rows_.mid(fixedRows_); }
    void appendRow(QStringList cells);
    void removeGridRow(int row);
    // Reorders the data rows: position k (from the first data row) receives
    // the row that stood at data position order[k].
    void permuteDataRows(const std::vector<int>& order);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setEditable(bool editable) { editable_ = editable; }

    // Counts every change to which rows exist or where they stand (a load,
    // an insert, a removal, a reorder), so a row number taken earlier can be
    // checked before it is used again.
    quint64 structureVersion() const { return structureVersion_; }

  signals:
    // A cell changed through the view's cell editor (not through setCell).
    void cellEdited(int col, int row);

  private:
    QStringList blankRow() const;

    int colCount_;
    int fixedRows_;
    bool editable_ = false;
    quint64 structureVersion_ = 0;
    QList<QStringList> rows_;
};

// A grid of text cells over the model above, addressed (col, row) with the
// header row counted. Whole-row selection for the main grids; in-place
// editing for the one-row editors.
class StringGrid : public QTableView {
    Q_OBJECT
  public:
    enum class Kind { Document, Editor };

    StringGrid(Kind kind, int colCount, int rowCount, QWidget* parent = nullptr);

    StringGridModel* cells() const { return model_; }
    int colCount() const { return model_->colCount(); }
    int rowCount() const { return model_->gridRowCount(); }
    int fixedRows() const { return model_->fixedRows(); }

    // Changes of the rows keep a current row (clamped to the last one) and
    // do not count as the operator selecting a cell.
    void setRowCount(int count);
    void replaceDataRows(QList<QStringList> rows);
    void appendRow(QStringList cells);
    void removeRow(int row);
    void permuteDataRows(const std::vector<int>& order);

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
    template <class Change> void changeRows(Change change);
    void setCurrent(int row, int col);

    StringGridModel* model_;
    bool quiet_ = false;
    std::function<int(int, int)> columnGuard_;
    int maskedColumn_ = -1;
    StringGrid* partner_ = nullptr;
};

} // namespace cantrel
