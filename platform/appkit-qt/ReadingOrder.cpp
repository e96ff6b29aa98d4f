#include "appkit-qt/ReadingOrder.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace qv::qt {

namespace {

using Items = std::vector<std::size_t>;
using Interval = std::pair<double, double>;  // from, to, read in increasing order

// Columns are apart only across a gutter this wide: the few points between the cells of one row
// do not make columns of them.
constexpr double kColumnGutter = 10;

// Splits the items into bands wherever a gap of at least `gap` in their intervals runs across all
// of them, in the intervals' order.
std::vector<Items> bands(Items items, double gap, const std::function<Interval(std::size_t)>& span) {
    std::stable_sort(items.begin(), items.end(),
                     [&span](std::size_t a, std::size_t b) { return span(a).first < span(b).first; });
    std::vector<Items> found;
    double reach = 0;
    for (std::size_t item : items) {
        const Interval s = span(item);
        if (found.empty() || s.first - reach >= gap) {
            found.emplace_back();
            reach = s.second;
        }
        found.back().push_back(item);
        reach = std::max(reach, s.second);
    }
    return found;
}

void read(const std::vector<Rect>& frames, const Items& items, Items& order) {
    if (items.size() <= 1) {
        order.insert(order.end(), items.begin(), items.end());
        return;
    }
    auto columns = bands(items, kColumnGutter, [&frames](std::size_t i) { return Interval{frames[i].minX(), frames[i].maxX()}; });
    if (columns.size() > 1) {
        for (const Items& column : columns) read(frames, column, order);
        return;
    }
    // Rows from the top (y counts upwards); frames that only touch are apart.
    auto rows = bands(items, 0, [&frames](std::size_t i) { return Interval{-frames[i].maxY(), -frames[i].minY()}; });
    if (rows.size() > 1) {
        for (const Items& row : rows) read(frames, row, order);
        return;
    }
    // One row: from the left.
    Items overlapping = items;
    std::stable_sort(overlapping.begin(), overlapping.end(), [&frames](std::size_t a, std::size_t b) {
        if (frames[a].minX() != frames[b].minX()) return frames[a].minX() < frames[b].minX();
        return frames[a].maxY() > frames[b].maxY();
    });
    order.insert(order.end(), overlapping.begin(), overlapping.end());
}

}  // namespace

std::vector<std::size_t> readingOrder(const std::vector<Rect>& frames) {
    Items all(frames.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    Items order;
    order.reserve(frames.size());
    read(frames, all, order);
    return order;
}

}  // namespace qv::qt
