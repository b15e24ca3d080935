#pragma once

#include <QStyledItemDelegate>

namespace cantrel {

class StringGrid;

// The cell editor of the one-row editor grids. Every keystroke goes straight
// into the cell, the masked column starts from "00:00:00", and the arrow keys
// belong to the grid's own key handler rather than to the line edit.
class CellEditor final : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit CellEditor(StringGrid* grid);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    StringGrid* grid_;
};

} // namespace cantrel
