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
    notice_.clear();
    if (listed > 0) return;
    // The row may still hold the font an earlier fill listed: the notice says only what this
    // fill found, not what OK would do.
    notice_ = "No TrueType font is registered.";
    if (list.places.empty()) return;
    notice_ += " The list reads ";
    for (std::size_t i = 0; i < list.places.size(); ++i)
        notice_ += (i == 0 ? "" : i + 1 == list.places.size() ? " and " : ", ") + list.places[i];
    notice_ += ", and takes an entry whose name holds \"TrueType\" and whose file is a .ttf file.";
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
