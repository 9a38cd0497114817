#include "app/core/FontChooser.h"

#include <algorithm>
#include <utility>

namespace prax::app {

void FontChooser::Fill(const protocol::FontList& list) {
    const std::size_t listed = list.rows.size();
    if (rows_.size() < listed) rows_.resize(listed);
    for (std::size_t r = 0; r < listed; ++r) {
        const protocol::FontRow& font = list.rows[r];
        rows_[r] = {{font.name, font.file, protocol::SizeText(font.size)}, font.problem};
    }
    rows_.resize(std::max<std::size_t>(listed, 1));
}

std::string FontChooser::Cell(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= kColumns) return {};
    return rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

std::string FontChooser::Problem(int row) const {
    if (row < 0 || row >= RowCount()) return {};
    return rows_[static_cast<std::size_t>(row)].problem;
}

protocol::FontChoice FontChooser::Take() { return std::exchange(choice_, {}); }

}  // namespace prax::app
