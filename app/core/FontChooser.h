// The "Select Font" window's rules, with no toolkit: its rows, what OK and Cancel do with the
// choice, the choice taken once, and the preview of a row. Both views draw these rows and forward
// OK and Cancel with the row their grid has current; the download waits on the choice here.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "protocol/FontList.h"
#include "protocol/Operator.h"

namespace prax::app {

class FontChooser {
public:
    static constexpr int kColumns = 3;
    struct Row {
        std::array<std::string, kColumns> cells;  // the entry's name, its file, its size
        std::string problem;                      // why the font can't be sent; empty when it can
    };

    // The grid always has a row, empty until a list fills it.
    FontChooser() : rows_(1) {}

    // Empties the choice, as every listing of the fonts does first.
    void ClearChoice() { choice_ = {}; }
    // Lists the fonts over the rows: written over, not cleared, so with nothing listed the first
    // row keeps what it held; the rows are then cut to those listed, one at least.
    void Fill(const protocol::FontList& list);

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // A row's cell as its bytes were listed; empty for a row or column there is not.
    std::string Cell(int row, int column) const;
    // Why a row's font can't be sent; empty when it can (or there is no such row).
    std::string Problem(int row) const;
    // Why the list is empty, for the operator: set by a fill that listed no font (the grid then
    // shows its one empty row and OK hands over no choice), empty otherwise.
    const std::string& EmptyListNotice() const { return notice_; }
    // What the preview shows for `row`.
    protocol::FontPreview Preview(int row) const { return protocol::PreviewOf(Cell(row, 0)); }

    // OK with `row` current: its name and file become the choice (both empty for a row never
    // filled, which is no choice).
    void Choose(int row) { choice_ = {Cell(row, 0), Cell(row, 1)}; }
    // Cancel: no choice.
    void Cancel() { choice_ = {}; }
    // OK handed over a name and a file.
    bool Chosen() const { return !choice_.empty(); }
    // The choice, taken once: a later take, with no new OK, hands over nothing.
    protocol::FontChoice Take();

private:
    std::vector<Row> rows_;
    protocol::FontChoice choice_;
    std::string notice_;
};

}  // namespace prax::app
