// What the screenshot tools of both views do to the window core to bring a scene about, so the
// Linux and the Windows pictures show the same states.
#pragma once

#include "app/core/Unit1.h"
#include "platform/Platform.h"
#include "protocol/FontList.h"
#include "protocol/GaugeModel.h"
#include "protocol/Operator.h"

namespace prax::screenshots {

// A firmware transfer as the download drives it, stopped at 40 % of a 100000-byte image.
inline void TransferPartWay(app::TForm1& core) {
    protocol::Operator& ui = core.Screen();
    ui.SetProgressMax(100000);
    ui.SetProgressPosition(0);
    ui.SetProgressColor(protocol::kBlue);
    ui.ShowProgress();
    ui.SetProgressPosition(40960);
    ui.SetStatusText("40960 Bytes");
}

// The red countdown after a download-mode image, two ticks in; the caller holds the timer still.
inline void CountdownTwoTicksIn(app::TForm1& core) {
    core.Screen().SetStatusText("1000 Bytes");
    core.Screen().StartCountdown();
    core.Timer1Timer();
    core.Timer1Timer();
}

// The font list as a host with no TrueType font registered fills it: the one empty row, and why,
// naming the places this host reads. The caller draws the rows.
inline void EmptyFontList(app::TForm1& core, platform::Platform& host) {
    protocol::FontList list = protocol::ReadInstalledFonts(host);
    list.rows.clear();
    core.Fonts().ClearChoice();
    core.Fonts().Fill(list);
}

}  // namespace prax::screenshots
