// Sizing the columns and rows of a grid without headings, with the mouse: the grid lines
// themselves are the handles. A press on a column's right line or a row's bottom line takes
// that line, and dragging it sets the column's width or the row's height; anywhere else the
// press is the grid's own (it selects a row). Both views forward their mouse to this and apply
// the size it gives, so a drag behaves the same in either.
#pragma once

#include <vector>

namespace prax::app {

class GridSizing {
public:
    // How near a line, in pixels either side, the mouse takes it.
    static constexpr int kGrip = 3;
    // The smallest size a drag leaves, so a column or row can always be taken again.
    static constexpr int kMinSize = 6;

    enum class Axis { None, Column, Row };
    // A line on screen: where it lies (x for a column's, y for a row's, in the grid's client
    // coordinates), whose section it ends and that section's size.
    struct Line {
        int at = 0;
        int index = 0;
        int size = 0;
    };
    struct Target {
        Axis axis = Axis::None;
        int index = -1;
        bool operator==(const Target&) const = default;
    };

    // The line under (x, y); columns before rows where both meet. Of lines that lie together
    // (a section dragged to its smallest), the last one listed: it can be dragged open again.
    static Target HitTest(const std::vector<Line>& columns, const std::vector<Line>& rows, int x, int y);

    // A press of the button: true when it took a line (the grid must then not see it).
    bool Press(const std::vector<Line>& columns, const std::vector<Line>& rows, int x, int y);
    bool Dragging() const { return target_.axis != Axis::None; }
    const Target& Dragged() const { return target_; }
    // The dragged section's size with the mouse at (x, y).
    int SizeAt(int x, int y) const;
    // The button let go: the drag is over.
    void Release() { target_ = {}; }

private:
    Target target_;
    int from_ = 0;       // where the press was, along the dragged axis
    int startSize_ = 0;  // the section's size then
};

}  // namespace prax::app
