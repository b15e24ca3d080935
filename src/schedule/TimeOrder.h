#pragma once

#include <optional>
#include <vector>

namespace cantrel {

// The outcome of ordering day rows by time.
struct TimeOrderResult {
    std::vector<int> order;    // order[k]: the old index of the row now at k
    int selected = -1;         // where the selected row ended up, -1 for none
    std::optional<int> badRow; // first row whose time did not convert
};

// Orders rows by time of day (seconds; nullopt for a time that does not
// convert) with the schedule's selection procedure: position by position,
// the first row holding the smallest time of the rest is exchanged into
// place. That procedure is not stable (A 10:00, B 10:00, C 09:00 ends as
// C, B, A), and documents depend on the order it gives, so it is reproduced
// exactly. Its first pass reads every time before exchanging anything, so
// a bad time leaves the order untouched and names the first bad row.
// O(n log n).
TimeOrderResult orderByTime(const std::vector<std::optional<int>>& times, int selected);

// The same procedure done the plain O(n^2) way.
TimeOrderResult orderByTimeLiteral(const std::vector<std::optional<int>>& times, int selected);

} // namespace cantrel
