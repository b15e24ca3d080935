#pragma once

#include <QAbstractTableModel>
#include <QStringList>

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
    // What the pointer resting on a column's header shows, by column.
    void setHeaderToolTips(QStringList tips) { headerTips_ = std::move(tips); }

    // Counts every change to which rows exist or where they stand (a load,
    // an insert, a removal, a reorder), so a row number taken earlier can be
    // checked before it is used again.
    quint64 structureVersion() const { return structureVersion_; }

  signals:
    // A cell changed through the view's cell editor (not through setCell).
    void cellEdited(int col, int row);
    // Around every change to which rows exist or where they stand: before
    // the model's own notifications and after them, so that a view can keep
    // its current cell through the change whoever makes it.
    void structureAboutToChange();
    void structureChanged();

  private:
    QStringList blankRow() const;
    template <class Change> void changeStructure(Change change);

    int colCount_;
    int fixedRows_;
    bool editable_ = false;
    quint64 structureVersion_ = 0;
    QList<QStringList> rows_;
    QStringList headerTips_;
};

} // namespace cantrel
