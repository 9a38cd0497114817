#include "app/core/GridSizing.h"

#include <algorithm>
#include <cstdlib>

namespace prax::app {

namespace {

const GridSizing::Line* Near(const std::vector<GridSizing::Line>& lines, int at) {
    const GridSizing::Line* found = nullptr;
    int best = GridSizing::kGrip;
    for (const GridSizing::Line& line : lines) {
        const int distance = std::abs(line.at - at);
        if (distance <= best) {
            best = distance;
            found = &line;
        }
    }
    return found;
}

}  // namespace

GridSizing::Target GridSizing::HitTest(const std::vector<Line>& columns, const std::vector<Line>& rows, int x,
                                       int y) {
    if (const Line* line = Near(columns, x)) return {Axis::Column, line->index};
    if (const Line* line = Near(rows, y)) return {Axis::Row, line->index};
    return {};
}

bool GridSizing::Press(const std::vector<Line>& columns, const std::vector<Line>& rows, int x, int y) {
    target_ = HitTest(columns, rows, x, y);
    if (!Dragging()) return false;
    const bool column = target_.axis == Axis::Column;
    from_ = column ? x : y;
    for (const Line& line : column ? columns : rows)
        if (line.index == target_.index) startSize_ = line.size;
    return true;
}

int GridSizing::SizeAt(int x, int y) const {
    const int at = target_.axis == Axis::Column ? x : y;
    return std::max(kMinSize, startSize_ + at - from_);
}

}  // namespace prax::app
