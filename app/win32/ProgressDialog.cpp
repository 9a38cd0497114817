#include "app/win32/ProgressDialog.h"

#include "app/core/DialogGeometry.h"
#include "app/core/Placement.h"
#include "app/win32/Gauge.h"

namespace prax::app::win32 {

namespace {

namespace layout = app::progress;

const char* const kWindowClass = "PraxProgress";
const char* const kPanelClass = "PraxProgressPanel";
const char* const kGaugeClass = "PraxGauge";

TfrmProgress* Self(HWND hwnd) {
    return reinterpret_cast<TfrmProgress*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
}

// Keeps the object with its window from the first message on.
TfrmProgress* Attach(HWND hwnd, UINT msg, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TfrmProgress*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        return self;
    }
    return Self(hwnd);
}

void Register(HINSTANCE instance, const char* name, WNDPROC proc, HBRUSH background) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExA(instance, name, &existing)) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    ::RegisterClassExA(&wc);
}

HBRUSH ButtonFace() { return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)); }

// The system's own face for window text, at the given height, drawn without smoothing: the
// percentage is xor-ed into the bar, where a smoothed edge would smear.
HFONT SystemFont(int pixels) {
    LOGFONTA system{};
    ::GetObjectA(::GetStockObject(DEFAULT_GUI_FONT), sizeof system, &system);
    return MakeFont(system.lfFaceName, pixels, NONANTIALIASED_QUALITY);
}

HWND Child(const char* windowClass, HWND parent, const app::Rect& r, TfrmProgress* self) {
    return ::CreateWindowExA(0, windowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, r.left, r.top,
                             r.width, r.height, parent, nullptr, detail::ProgramInstance(), self);
}

}  // namespace

namespace detail {
void RegisterProgressClasses(HINSTANCE instance) {
    Register(instance, kWindowClass, &TfrmProgress::WindowProc, ButtonFace());
    Register(instance, kPanelClass, &TfrmProgress::PanelProc, ButtonFace());
    // The gauge paints every pixel itself.
    Register(instance, kGaugeClass, &TfrmProgress::GaugeProc, nullptr);
}
}  // namespace detail

TfrmProgress::TfrmProgress(HWND owner, const protocol::GaugeModel& gauge)
    : font_(SystemFont(layout::kFontPixels)), model_(gauge) {
    RegisterClasses(detail::ProgramInstance());
    // No caption, no frame: the window is its client area, in fixed pixels whatever the
    // screen's density. It never takes the activation, not even when clicked.
    const DWORD style = WS_POPUP | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_NOACTIVATE;
    RECT outer{0, 0, layout::kClientWidth, layout::kClientHeight};
    ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);
    const Rect place = CentredIn(PrimaryScreen(), outer.right - outer.left, outer.bottom - outer.top);
    window_ = ::CreateWindowExA(exStyle, kWindowClass, layout::kCaption, style, place.left, place.top, place.width,
                                place.height, owner, nullptr, detail::ProgramInstance(), this);
    panel_ = Child(kPanelClass, window_, layout::kPanel1, this);
    gauge_ = Child(kGaugeClass, panel_, layout::kGauge, this);
}

TfrmProgress::~TfrmProgress() {
    // The owner may have taken the window with it already.
    if (window_ != nullptr) ::DestroyWindow(window_);
}

void TfrmProgress::Show() {
    if (window_ != nullptr) ::ShowWindow(window_, SW_SHOWNOACTIVATE);
}

void TfrmProgress::Hide() {
    if (window_ != nullptr) ::ShowWindow(window_, SW_HIDE);
}

bool TfrmProgress::Visible() const { return window_ != nullptr && ::IsWindowVisible(window_); }

void TfrmProgress::RepaintGauge() {
    if (gauge_ != nullptr) ::InvalidateRect(gauge_, nullptr, FALSE);
}

void TfrmProgress::PaintPanel(HDC dc) {
    // A one-pixel line round the edge and a one-pixel lowered bevel inside it: the two pixels
    // on every side where the gauge begins.
    RECT edge;
    ::GetClientRect(panel_, &edge);
    ::FrameRect(dc, &edge, ::GetSysColorBrush(COLOR_WINDOWFRAME));
    ::InflateRect(&edge, -1, -1);
    ::DrawEdge(dc, &edge, BDR_SUNKENOUTER, BF_RECT);
}

LRESULT CALLBACK TfrmProgress::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TfrmProgress* self = Attach(hwnd, msg, lp);
    switch (msg) {
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_KEYDOWN:
        // Whoever owns the transfer decides what Escape does.
        if (wp == VK_ESCAPE && self != nullptr) {
            if (self->escapePressed) self->escapePressed();
            return 0;
        }
        break;
    case WM_CLOSE:
        // Only its owner ends it; anything else asking merely hides it.
        ::ShowWindow(hwnd, SW_HIDE);
        return 0;
    case WM_NCDESTROY:
        if (self != nullptr) self->window_ = self->panel_ = self->gauge_ = nullptr;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        break;
    default:
        break;
    }
    return ::DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TfrmProgress::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TfrmProgress* self = Attach(hwnd, msg, lp);
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        if (self != nullptr) self->PaintPanel(dc);
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        if (self != nullptr) self->PaintPanel(reinterpret_cast<HDC>(wp));
        return 0;
    default:
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK TfrmProgress::GaugeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TfrmProgress* self = Attach(hwnd, msg, lp);
    switch (msg) {
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        if (self != nullptr) {
            RECT bar;
            ::GetClientRect(hwnd, &bar);
            PaintGauge(dc, bar, self->model_, self->font_.get());
            ++self->repaints_;
        }
        ::EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT:
        if (self != nullptr) {
            RECT bar;
            ::GetClientRect(hwnd, &bar);
            PaintGauge(reinterpret_cast<HDC>(wp), bar, self->model_, self->font_.get());
        }
        return 0;
    default:
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    }
}

}  // namespace prax::app::win32
