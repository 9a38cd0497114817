// The small borderless window that shows how far a transfer has got, and that doubles as the
// red countdown after a download-mode transfer. It takes no input, is never modal and never
// takes the activation: the main window stays usable, and keeps the keyboard, while it is up.
#pragma once

#include <cstdint>
#include <functional>

#include "protocol/GaugeModel.h"
#include "app/win32/WindowsUi.h"

namespace prax::app::win32 {

class TfrmProgress {
public:
    // Created hidden, centred on the screen, above `owner` and destroyed along with it at the
    // latest; the gauge paints `gauge`, which outlives the window.
    TfrmProgress(HWND owner, const protocol::GaugeModel& gauge);
    ~TfrmProgress();
    TfrmProgress(const TfrmProgress&) = delete;
    TfrmProgress& operator=(const TfrmProgress&) = delete;

    HWND Handle() const { return window_; }
    HWND Panel1() const { return panel_; }
    HWND ggProgress() const { return gauge_; }

    void Show();
    void Hide();
    bool Visible() const;

    // Paints the gauge's model afresh; the core asks only when what it shows changed.
    void RepaintGauge();
    const protocol::GaugeModel& Gauge() const { return model_; }

    // How often the gauge has been painted on screen.
    int Repaints() const { return repaints_; }

    // Told of Escape pressed while the window has the keyboard; the window itself stays up.
    std::function<void()> escapePressed;

    // The window procedures of the three windows.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK GaugeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    void PaintPanel(HDC dc);

    OwnedFont font_;
    const protocol::GaugeModel& model_;
    int repaints_ = 0;
    HWND window_ = nullptr;
    HWND panel_ = nullptr;
    HWND gauge_ = nullptr;
};

}  // namespace prax::app::win32
