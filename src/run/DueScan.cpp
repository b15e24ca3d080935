#include "run/DueScan.h"

#include <QAbstractItemModel>

namespace cantrel {

void DueIndex::watch(const QAbstractItemModel* model, int timeColumn) {
    for (const QMetaObject::Connection& c : connections_)
        QObject::disconnect(c);
    connections_.clear();
    valid_ = false;
    const auto drop = [this] { valid_ = false; };
    // A mark written into column 0 must not cost a full parse.
    connections_.push_back(
        QObject::connect(model, &QAbstractItemModel::dataChanged, &watcher_,
                         [this, timeColumn](const QModelIndex& from, const QModelIndex& to) {
                             if (from.column() <= timeColumn && timeColumn <= to.column())
                                 valid_ = false;
                         }));
    connections_.push_back(
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &watcher_, drop));
    connections_.push_back(
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &watcher_, drop));
    connections_.push_back(
        QObject::connect(model, &QAbstractItemModel::rowsMoved, &watcher_, drop));
    connections_.push_back(
        QObject::connect(model, &QAbstractItemModel::modelReset, &watcher_, drop));
    connections_.push_back(
        QObject::connect(model, &QAbstractItemModel::layoutChanged, &watcher_, drop));
}

void DueIndex::build(const std::vector<int>& seconds, std::optional<int> badRow) {
    // A counting sort by second keeps each second's rows in row order.
    bucketStart_.assign(kSecondsPerDay + 1, 0);
    for (int s : seconds)
        ++bucketStart_[s + 1];
    for (int s = 0; s < kSecondsPerDay; ++s)
        bucketStart_[s + 1] += bucketStart_[s];
    rowsBySecond_.resize(seconds.size());
    std::vector<int> next(bucketStart_.begin(), bucketStart_.end() - 1);
    for (size_t i = 0; i < seconds.size(); ++i)
        rowsBySecond_[size_t(next[seconds[i]]++)] = kFirstDayRow + int(i);
    badRow_ = badRow;
    valid_ = true;
    ++rebuilds_;
}

} // namespace cantrel
