#pragma once

// Which day rows fall due in a second of the shifted clock. Rows are counted
// as the day grid counts them: row 0 is the header, data rows are
// 1..rowCount()-1. A Rows type offers rowCount(), time(r) and mark(r), the
// last two as const QString&; a Taken type is callable as taken(r) -> bool.
#include "schedule/TimeOfDay.h"

#include <QMetaObject>
#include <QObject>
#include <QString>

#include <algorithm>
#include <optional>
#include <vector>

class QAbstractItemModel;

namespace cantrel {

inline constexpr int kSecondsPerDay = 86400;
inline constexpr int kFirstDayRow = 1;

struct DueScan {
    // Rows to start, in row order.
    std::vector<int> due;
    // The first row whose time does not read as a time of day. The scan
    // stopped there: rows from it on were not looked at.
    std::optional<int> badRow;

    bool operator==(const DueScan&) const = default;
};

// The rule as the operator reads it: every time cell parsed anew, in row
// order, up to the first one that does not parse. A row is due when its time
// is the second, its mark is empty and no started worker holds it.
template <class Rows, class Taken>
DueScan literalDueScan(const Rows& rows, int second, const Taken& taken) {
    DueScan out;
    for (int r = kFirstDayRow; r < rows.rowCount(); ++r) {
        const std::optional<int> at = parseTimeOfDay(rows.time(r));
        if (!at) {
            out.badRow = r;
            break;
        }
        if (*at == second && rows.mark(r).isEmpty() && !taken(r))
            out.due.push_back(r);
    }
    return out;
}

// The same answer as literalDueScan from parsed times kept between ticks: a
// day of one row per second would otherwise cost 86,400 parses every 490 ms.
// The index is thrown away on any change of the time column or of the rows'
// structure; the marks change all the time and are read afresh on each scan.
class DueIndex {
  public:
    DueIndex() = default;
    DueIndex(const DueIndex&) = delete;
    DueIndex& operator=(const DueIndex&) = delete;

    // Drops the index whenever the model changes the time column, adds,
    // removes or moves rows, or resets. Row 0 of the grid is the model's
    // header, so model row i is grid row i + 1.
    void watch(const QAbstractItemModel* model, int timeColumn);
    void invalidate() { valid_ = false; }

    // The scan for one second. version is the grid's structure count: an
    // index built under another one is rebuilt first, whatever the signals said.
    template <class Rows, class Taken>
    DueScan scan(const Rows& rows, int second, const Taken& taken, quint64 version) {
        if (!valid_ || version != version_ || rows.rowCount() != rowCount_)
            rebuild(rows, version);
        DueScan out;
        if (second >= 0 && second < kSecondsPerDay) {
            for (int k = bucketStart_[second]; k < bucketStart_[second + 1]; ++k) {
                const int r = rowsBySecond_[k];
                if (rows.mark(r).isEmpty() && !taken(r))
                    out.due.push_back(r);
            }
        }
        out.badRow = badRow_;
        return out;
    }

    // Whether any row's time is this second, fired or not, as of the last
    // scan; false before the first one.
    bool anyRowAt(int second) const {
        return valid_ && second >= 0 && second < kSecondsPerDay &&
               bucketStart_[size_t(second)] < bucketStart_[size_t(second) + 1];
    }

    // How many times the time cells have been parsed in full.
    int rebuilds() const { return rebuilds_; }

  private:
    template <class Rows> void rebuild(const Rows& rows, quint64 version) {
        std::vector<int> seconds;
        seconds.reserve(size_t(std::max(0, rows.rowCount() - kFirstDayRow)));
        std::optional<int> bad;
        for (int r = kFirstDayRow; r < rows.rowCount(); ++r) {
            const std::optional<int> at = parseTimeOfDay(rows.time(r));
            if (!at) {
                bad = r;
                break;
            }
            seconds.push_back(*at);
        }
        build(seconds, bad);
        version_ = version;
        rowCount_ = rows.rowCount();
    }
    // seconds[i] is the time of row kFirstDayRow + i, up to the first bad row.
    void build(const std::vector<int>& seconds, std::optional<int> badRow);

    bool valid_ = false;
    quint64 version_ = 0;
    int rowCount_ = -1;
    int rebuilds_ = 0;
    std::optional<int> badRow_;
    // Rows grouped by second in row order: those of second s are
    // rowsBySecond_[bucketStart_[s] .. bucketStart_[s + 1]).
    std::vector<int> bucketStart_;
    std::vector<int> rowsBySecond_;
    // Context of the model connections: they end with the index.
    QObject watcher_;
    std::vector<QMetaObject::Connection> connections_;
};

} // namespace cantrel
