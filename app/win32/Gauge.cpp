#include "app/win32/Gauge.h"

#include <algorithm>
#include <string>

namespace prax::app::win32 {

namespace {

// A memory DC with a bitmap selected, both released on the way out.
class Canvas {
public:
    Canvas(HDC like, HBITMAP bitmap) : dc_(::CreateCompatibleDC(like)), bitmap_(bitmap) {
        old_ = ::SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    HDC dc() const { return dc_; }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

void Fill(HDC dc, const RECT& area, protocol::Rgb colour) {
    HBRUSH brush = ::CreateSolidBrush(ToColorRef(colour));
    ::FillRect(dc, &area, brush);
    ::DeleteObject(brush);
}

}  // namespace

void PaintGauge(HDC target, const RECT& bar, const protocol::GaugeModel& model, HFONT font) {
    const int width = bar.right - bar.left;
    const int height = bar.bottom - bar.top;
    if (width <= 0 || height <= 0) return;
    const RECT whole{0, 0, width, height};
    const int percent = model.Percent();

    Canvas picture(target, ::CreateCompatibleBitmap(target, width, height));
    Fill(picture.dc(), whole, model.BackColor());
    const int filled =
        static_cast<int>(std::clamp(static_cast<long long>(width) * percent / 100, 0LL,
                                    static_cast<long long>(width)));
    if (filled > 0) Fill(picture.dc(), RECT{0, 0, filled, height}, model.ForeColor());

    // The text goes into a one-bit mask first, so each pixel is either text or not (no smoothed
    // edges to be xor-ed into a smear), and is then inverted into the bar wherever it is set:
    // white xor-ed in reads over the filled and the unfilled part alike.
    Canvas mask(picture.dc(), ::CreateBitmap(width, height, 1, 1, nullptr));
    ::PatBlt(mask.dc(), 0, 0, width, height, BLACKNESS);
    const HGDIOBJ oldFont = ::SelectObject(mask.dc(), font);
    ::SetTextColor(mask.dc(), RGB(255, 255, 255));
    ::SetBkMode(mask.dc(), TRANSPARENT);
    std::string text = std::to_string(percent) + "%";
    RECT textArea = whole;
    ::DrawTextA(mask.dc(), text.data(), static_cast<int>(text.size()), &textArea,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(mask.dc(), oldFont);
    // A one-bit source becomes the target's text colour where it is 0 and its background colour
    // where it is 1: black and white, so the text pixels are the ones inverted.
    ::SetTextColor(picture.dc(), RGB(0, 0, 0));
    ::SetBkColor(picture.dc(), RGB(255, 255, 255));
    ::BitBlt(picture.dc(), 0, 0, width, height, mask.dc(), 0, 0, SRCINVERT);

    ::BitBlt(target, bar.left, bar.top, width, height, picture.dc(), 0, 0, SRCCOPY);
}

}  // namespace prax::app::win32
