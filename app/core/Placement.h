// Where the program's windows go, with no toolkit: every one of them, the main window at its start
// size, the progress dialog and the font window, is centred in an area of the screen (the whole
// desktop, or the primary screen), frame included. Each view asks its toolkit for the area and
// the frame and moves its window; the arithmetic is here, once.
#pragma once

#include "app/core/ControlTable.h"

namespace prax::app {

// A window of `width` by `height` centred in `area`.
constexpr Rect CentredIn(const Rect& area, int width, int height) {
    return {area.left + (area.width - width) / 2, area.top + (area.height - height) / 2, width, height};
}

}  // namespace prax::app
