// The progress gauge's picture: paints a GaugeModel and decides nothing, so the clamping and
// percentage rules stay in the one plain class every front end shares.
#pragma once

#include "protocol/GaugeModel.h"
#include "app/win32/WindowsUi.h"

namespace prax::app::win32 {

// The whole bar in the back colour, its left part as wide as the percentage in the fore colour,
// and the percentage centred over both, white combined by exclusive-or, in `font`. Drawn off
// screen and copied in one go, so the bar never flickers between the steps.
void PaintGauge(HDC target, const RECT& bar, const protocol::GaugeModel& model, HFONT font);

inline COLORREF ToColorRef(protocol::Rgb c) { return RGB(c.r, c.g, c.b); }

}  // namespace prax::app::win32
