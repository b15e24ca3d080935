#include "schedule/StringGridModel.h"

#include <algorithm>

namespace cantrel {

StringGridModel::StringGridModel(int colCount, int rowCount, int fixedRows, QObject* parent)
    : QAbstractTableModel(parent), colCount_(colCount), fixedRows_(fixedRows) {
    rows_.reserve(rowCount);
    for (int r = 0; r < rowCount; ++r)
        rows_.append(blankRow());
}

QStringList StringGridModel::blankRow() const {
    QStringList row;
    row.reserve(colCount_);
    for (int c = 0; c < colCount_; ++c)
        row.append(QString());
    return row;
}

template <class Change> void StringGridModel::changeStructure(Change change) {
    ++structureVersion_;
    emit structureAboutToChange();
    change();
    emit structureChanged();
}

void StringGridModel::setGridRowCount(int count) {
    changeStructure([&] {
        count = std::max(count, fixedRows_);
        const int now = gridRowCount();
        if (count > now) {
            beginInsertRows({}, now - fixedRows_, count - fixedRows_ - 1);
            for (int r = now; r < count; ++r)
                rows_.append(blankRow());
            endInsertRows();
        } else if (count < now) {
            beginRemoveRows({}, count - fixedRows_, now - fixedRows_ - 1);
            rows_.resize(count);
            endRemoveRows();
        }
    });
}

void StringGridModel::setCell(int col, int row, const QString& text) {
    if (rows_[row][col] == text)
        return;
    rows_[row][col] = text;
    if (row < fixedRows_) {
        emit headerDataChanged(Qt::Horizontal, col, col);
    } else {
        const QModelIndex at = index(row - fixedRows_, col);
        emit dataChanged(at, at, {Qt::DisplayRole, Qt::EditRole});
    }
}

void StringGridModel::setRowCells(int row, QStringList cells) {
    cells.resize(colCount_);
    rows_[row] = std::move(cells);
    if (row < fixedRows_)
        emit headerDataChanged(Qt::Horizontal, 0, colCount_ - 1);
    else
        emit dataChanged(index(row - fixedRows_, 0), index(row - fixedRows_, colCount_ - 1));
}

void StringGridModel::replaceDataRows(QList<QStringList> rows) {
    changeStructure([&] {
        beginResetModel();
        rows_.resize(fixedRows_);
        rows_.reserve(fixedRows_ + rows.size());
        for (QStringList& r : rows) {
            if (r.size() != colCount_)
                r.resize(colCount_);
            rows_.append(std::move(r));
        }
        endResetModel();
    });
}

void StringGridModel::appendRow(QStringList cells) {
    changeStructure([&] {
        cells.resize(colCount_);
        const int at = gridRowCount() - fixedRows_;
        beginInsertRows({}, at, at);
        rows_.append(std::move(cells));
        endInsertRows();
    });
}

void StringGridModel::removeGridRow(int row) {
    changeStructure([&] {
        beginRemoveRows({}, row - fixedRows_, row - fixedRows_);
        rows_.removeAt(row);
        endRemoveRows();
    });
}

void StringGridModel::permuteDataRows(const std::vector<int>& order) {
    changeStructure([&] {
        QList<QStringList> moved;
        moved.reserve(qsizetype(order.size()));
        for (int from : order)
            moved.append(std::move(rows_[fixedRows_ + from]));
        for (qsizetype k = 0; k < moved.size(); ++k)
            rows_[fixedRows_ + k] = std::move(moved[k]);
        if (!order.empty())
            emit dataChanged(index(0, 0), index(int(order.size()) - 1, colCount_ - 1));
    });
}

int StringGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : gridRowCount() - fixedRows_;
}

int StringGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : colCount_;
}

QVariant StringGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return rows_[fixedRows_ + index.row()][index.column()];
}

bool StringGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    const int row = fixedRows_ + index.row();
    const QString text = value.toString();
    if (rows_[row][index.column()] == text)
        return true;
    rows_[row][index.column()] = text;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    emit cellEdited(index.column(), row);
    return true;
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && fixedRows_ > 0 &&
        section < colCount_)
        return rows_[0][section];
    if (orientation == Qt::Horizontal && role == Qt::ToolTipRole && section < headerTips_.size())
        return headerTips_[section];
    return {};
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (editable_)
        f |= Qt::ItemIsEditable;
    return f;
}

} // namespace cantrel
