#include "platform/linux/atspi/visible_children.h"

#include <algorithm>
#include <set>

#include <atspi/atspi-constants.h>

#include "platform/linux/atspi/requests.h"
#include "platform/linux/limits.h"

namespace nuvra::atspi {

namespace {

struct Span {
    int32_t first = 0;
    int32_t last = 0;
};

// The row and column of the cell of `table` at a screen point.
std::optional<TableCell> cellAt(BusLink& link, const ObjectRef& table, int32_t x, int32_t y) {
    auto found = accessibleAtPoint(link, table, x, y);
    if (!found || sameObject(*found, table)) return std::nullopt;
    auto index = getIndexInParent(link, *found);
    if (!index) return std::nullopt;
    return cellAtIndex(link, table, *index);
}

std::optional<TableCell> cornerCell(BusLink& link, const ObjectRef& table, int32_t x, int32_t y,
                                    int32_t step) {
    for (int probe = 0; probe < kCornerProbes; ++probe, y += step)
        if (auto cell = cellAt(link, table, x, y)) return cell;
    return std::nullopt;
}

std::vector<ObjectRef> refsOf(const std::vector<Reply>& replies, size_t max) {
    std::vector<ObjectRef> refs;
    std::set<std::string> seen;  // a merged cell answers for every place it covers
    for (const auto& reply : replies) {
        auto ref = refFrom(reply);
        if (ref && refs.size() < max && seen.insert(ref->path).second) refs.push_back(std::move(*ref));
    }
    return refs;
}

}  // namespace

std::optional<std::vector<ObjectRef>> childrenWithin(BusLink& link, const ObjectRef& parent,
                                                     size_t bound) {
    auto replies = link.callAll({childCountRequest(parent), stateRequest(parent)});
    auto count = childCountFrom(replies[0]);
    auto states = statesFrom(replies[1]);
    if (!count || !states || static_cast<size_t>(*count) > bound ||
        states->has(ATSPI_STATE_MANAGES_DESCENDANTS))
        return std::nullopt;
    return getChildren(link, parent);
}

std::vector<ObjectRef> visibleChildren(BusLink& link, const ObjectRef& parent, int32_t count,
                                       size_t max, bool placed) {
    std::vector<Request> requests;
    if (max == 0 || count <= 0) return {};
    if (const TableSize size = getTableSize(link, parent); size.rows > 0 && size.columns > 0) {
        Span rows{0, size.rows - 1};
        Span columns{0, size.columns - 1};
        auto extents = placed ? getExtents(link, parent) : std::nullopt;
        if (extents && extents->width > 2 && extents->height > 2) {
            const int32_t right = extents->x + extents->width - 2;
            const int32_t bottom = extents->y + extents->height - 2;
            auto first = cornerCell(link, parent, extents->x + 1, extents->y + 1, kProbeStep);
            auto last = cornerCell(link, parent, right, bottom, -kProbeStep);
            if (first) rows.first = first->row, columns.first = first->column;
            if (last && last->row >= rows.first && last->column >= columns.first)
                rows.last = std::min(last->row, rows.last), columns.last = std::min(last->column, columns.last);
        }
        for (int64_t row = rows.first; row <= rows.last && requests.size() < max; ++row)
            for (int64_t column = columns.first; column <= columns.last && requests.size() < max; ++column)
                requests.push_back(tableCellRequest(parent, static_cast<int32_t>(row),
                                                    static_cast<int32_t>(column)));
        return refsOf(link.callAll(requests), max);
    }
    for (int32_t index = 0; index < count && requests.size() < max; ++index)
        requests.push_back(childAtIndexRequest(parent, index));
    return refsOf(link.callAll(requests), max);
}

}  // namespace nuvra::atspi
