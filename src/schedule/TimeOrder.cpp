#include "schedule/TimeOrder.h"

#include <limits>
#include <numeric>
#include <utility>

namespace cantrel {

namespace {

int followSelection(int selected, int i, int m) {
    if (selected == m)
        return i;
    if (selected == i)
        return m;
    return selected;
}

// A tournament tree over positions: every inner node holds the position of
// the first (leftmost) smallest value below it, so the root answers "where
// is the first minimum" and a changed leaf costs one walk up.
class FirstMinimumTree {
  public:
    explicit FirstMinimumTree(const std::vector<int>& values)
        : values_(values.begin(), values.end()) {
        leaves_ = 1;
        while (leaves_ < values_.size())
            leaves_ *= 2;
        values_.resize(leaves_, done);
        node_.resize(2 * leaves_);
        for (std::size_t k = 0; k < leaves_; ++k)
            node_[leaves_ + k] = static_cast<int>(k);
        for (std::size_t k = leaves_ - 1; k >= 1; --k)
            node_[k] = better(node_[2 * k], node_[2 * k + 1]);
    }

    int firstMinimum() const { return node_[1]; }
    long long value(int position) const { return values_[position]; }

    void set(int position, long long value) {
        values_[position] = value;
        for (std::size_t k = (leaves_ + position) / 2; k >= 1; k /= 2)
            node_[k] = better(node_[2 * k], node_[2 * k + 1]);
    }

    // Positions already placed are retired with a value above every time.
    static constexpr long long done = std::numeric_limits<long long>::max();

  private:
    // Ties go left, which is what makes this the first minimum.
    int better(int left, int right) const { return values_[right] < values_[left] ? right : left; }

    std::vector<long long> values_;
    std::vector<int> node_;
    std::size_t leaves_ = 1;
};

} // namespace

TimeOrderResult orderByTime(const std::vector<std::optional<int>>& times, int selected) {
    const int n = static_cast<int>(times.size());
    TimeOrderResult result;
    result.order.resize(n);
    std::iota(result.order.begin(), result.order.end(), 0);
    result.selected = selected;

    std::vector<int> values(n);
    for (int k = 0; k < n; ++k) {
        if (!times[k]) {
            result.badRow = k;
            return result;
        }
        values[k] = *times[k];
    }
    if (n == 0)
        return result;

    // Every position left of i is retired, so the root is the first minimum
    // of the suffix [i, n).
    FirstMinimumTree tree(values);
    for (int i = 0; i < n; ++i) {
        const int m = tree.firstMinimum();
        if (m != i) {
            tree.set(m, tree.value(i));
            std::swap(result.order[i], result.order[m]);
            result.selected = followSelection(result.selected, i, m);
        }
        tree.set(i, FirstMinimumTree::done);
    }
    return result;
}

TimeOrderResult orderByTimeLiteral(const std::vector<std::optional<int>>& times, int selected) {
    const int n = static_cast<int>(times.size());
    TimeOrderResult result;
    result.order.resize(n);
    std::iota(result.order.begin(), result.order.end(), 0);
    result.selected = selected;

    std::vector<std::optional<int>> rows = times;
    for (int i = 0; i < n; ++i) {
        if (!rows[i]) {
            result.badRow = i;
            return result;
        }
        int m = i;
        int t = *rows[i];
        for (int j = i + 1; j < n; ++j) {
            if (!rows[j]) {
                result.badRow = j;
                return result;
            }
            if (*rows[j] < t) {
                m = j;
                t = *rows[j];
            }
        }
        if (m != i) {
            std::swap(rows[i], rows[m]);
            std::swap(result.order[i], result.order[m]);
            result.selected = followSelection(result.selected, i, m);
        }
    }
    return result;
}

} // namespace cantrel
