#include "app/win32/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "app/win32/FontDialog.h"
#include "app/win32/ProgressDialog.h"
#include "app/core/Placement.h"
#include "app/win32/WindowsUi.h"

namespace prax::app::win32 {

namespace {

constexpr const char* kClassName = "PraxDownloadMain";
// A drop-down list is made this much taller than its text field, for the entries it opens.
constexpr int kListDropHeight = 200;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// GetDpiForWindow is there from Windows 10 1607 on; older systems draw at the system DPI.
UINT WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr) {
        if (const UINT dpi = getDpi(hwnd); dpi != 0) return dpi;
    }
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void RegisterWindowClass() {
    static bool registered = false;
    if (registered) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = Instance();
    // The program's icon is resource 1; a test program has none and gets the system's.
    wc.hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(1));
    if (wc.hIcon == nullptr) wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExA(&wc);
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    registered = true;
}

// A typed character as the window system gave it: a byte of the ANSI code page.
char32_t TypedCharacter(WPARAM wParam) {
    const char byte = static_cast<char>(wParam & 0xFF);
    if (static_cast<unsigned char>(byte) < 0x80) return static_cast<unsigned char>(byte);
    wchar_t wide = 0;
    return MultiByteToWideChar(CP_ACP, 0, &byte, 1, &wide, 1) == 1 ? char32_t(wide) : char32_t(0xFFFD);
}

// The modifier keys as they were when the message being handled was posted.
KeyModifiers HeldModifiers() {
    return {GetKeyState(VK_SHIFT) < 0, GetKeyState(VK_CONTROL) < 0, GetKeyState(VK_MENU) < 0};
}

int CALLBACK FaceFound(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

// The first of the layout's faces that is installed; the first one when none is, so the font
// mapper picks the nearest.
std::string LayoutFace() {
    HDC dc = GetDC(nullptr);
    std::string face = LayoutFaces().front();
    for (const char* candidate : LayoutFaces()) {
        LOGFONTA lf{};
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpynA(lf.lfFaceName, candidate, LF_FACESIZE);
        bool found = false;
        EnumFontFamiliesExA(dc, &lf, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
        if (found) {
            face = candidate;
            break;
        }
    }
    ReleaseDC(nullptr, dc);
    return face;
}

}  // namespace

MainWindow::MainWindow(platform::Platform& host, std::vector<std::string> arguments,
                       WindowHooks hooks)
    : host_(host), hooks_(std::move(hooks)), core_(host, *this, std::move(arguments)) {
    RegisterWindowClass();
    faceName_ = LayoutFace();
    hwnd_ = CreateWindowExA(0, kClassName, kLayoutCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            0, 0, kLayoutClientWidth, kLayoutClientHeight, nullptr, nullptr,
                            Instance(), nullptr);
    if (hwnd_ == nullptr) throw std::runtime_error("The main window could not be created");
    SetWindowLongPtrA(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::WindowProc));
    dpi_ = WindowDpi(hwnd_);
    CreateControls();
    PlaceControls(dpi_);
    ApplyStartSize();

    // The progress dialog keeps its pixels whatever the DPI; the font window is laid out in its own.
    progress_ = std::make_unique<TfrmProgress>(hwnd_, core_.Gauge());
    progress_->escapePressed = [this] { core_.EscapePressed(); };
    form2_ = std::make_unique<TForm2>(core_.Fonts(), hwnd_);
    core_.FormCreate();
}

MainWindow::~MainWindow() {
    form2_.reset();
    progress_.reset();
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    for (const FontKey& key : fonts_) DeleteObject(key.font);
}

void MainWindow::CreateControls() {
    for (const ControlEntry& entry : Controls()) {
        const char* windowClass = "BUTTON";
        DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (entry.visible ? WS_VISIBLE : 0) |
                      (entry.tab >= 0 ? WS_TABSTOP : 0);
        DWORD exStyle = 0;
        switch (entry.kind) {
            case ControlKind::Button:
                // Push buttons draw their text in the system's colour; a red one draws itself.
                style |= entry.font.colour == TextColour::Red ? BS_OWNERDRAW : BS_PUSHBUTTON;
                break;
            case ControlKind::Label:
                windowClass = "STATIC";
                style |= SS_LEFT | SS_NOPREFIX;
                break;
            case ControlKind::ComboBox:
                windowClass = "COMBOBOX";
                style |= CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL;
                break;
            case ControlKind::Memo:
                windowClass = "EDIT";
                exStyle = WS_EX_CLIENTEDGE;
                style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
                break;
            case ControlKind::StatusBar:
                windowClass = STATUSCLASSNAMEA;
                // Placed by the window, so it is exactly as high as the layout says.
                style |= CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER | SBARS_SIZEGRIP;
                break;
        }
        HWND control = CreateWindowExA(
            exStyle, windowClass, entry.caption, style, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlIdOf(entry.id))), Instance(), nullptr);
        if (control == nullptr) throw std::runtime_error(std::string("Could not create ") + entry.name);
        controls_[Index(entry.id)] = control;
        if (entry.kind == ControlKind::ComboBox) {
            for (const char* item : entry.items)
                SendMessageA(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
            SendMessageA(control, CB_SETCURSEL, static_cast<WPARAM>(entry.selected), 0);
        } else if (entry.kind == ControlKind::StatusBar) {
            SendMessageA(control, SB_SIMPLE, TRUE, 0);
        }
    }
    // The tab order is the order of the siblings: the focusable controls first, in tab order,
    // then the rest, so a button also lies over a label it shares its place with (Label8).
    HWND after = HWND_TOP;
    auto stack = [&after](HWND control) {
        SetWindowPos(control, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = control;
    };
    for (ControlId id : TabOrder()) stack(Control(id));
    for (const ControlEntry& entry : Controls())
        if (entry.tab < 0) stack(Control(entry.id));

    // Every character typed into "Download Firmware" is seen by the core before the button.
    HWND button1 = Control(ControlId::Button1);
    SetWindowLongPtrA(button1, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    button1Proc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        button1, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MainWindow::Button1Proc)));
}

int MainWindow::Scale(int pixels) const { return MulDiv(pixels, static_cast<int>(dpi_), 96); }

HFONT MainWindow::FontFor(const FontStyle& font) {
    for (const FontKey& key : fonts_)
        if (key.pixels == font.pixels && key.bold == font.bold) return key.font;
    HFONT created = CreateFontA(-Scale(font.pixels), 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE,
                                FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                faceName_.c_str());
    fonts_.push_back({font.pixels, font.bold, created});
    return created;
}

void MainWindow::PlaceControls(UINT dpi) {
    dpi_ = dpi;
    std::vector<FontKey> old = std::exchange(fonts_, {});
    for (const ControlEntry& entry : Controls()) {
        HWND control = Control(entry.id);
        HFONT font = FontFor(entry.font);
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        if (entry.kind == ControlKind::StatusBar) continue;
        const Rect& r = entry.geometry;
        int width = Scale(r.width);
        int height = Scale(r.height);
        if (entry.kind == ControlKind::Label) {
            // A label grows to its text; the layout's box is the least it takes.
            HDC dc = GetDC(control);
            HGDIOBJ before = SelectObject(dc, font);
            SIZE extent{};
            GetTextExtentPoint32A(dc, entry.caption, lstrlenA(entry.caption), &extent);
            SelectObject(dc, before);
            ReleaseDC(control, dc);
            width = std::max(width, static_cast<int>(extent.cx));
            height = std::max(height, static_cast<int>(extent.cy));
        }
        const int dropped = entry.kind == ControlKind::ComboBox ? Scale(kListDropHeight) : 0;
        SetWindowPos(control, nullptr, Scale(r.left), Scale(r.top), width, height + dropped,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (entry.kind == ControlKind::ComboBox) {
            // The text field is as high as the layout's box. The item height sets it, with a
            // frame (and an offset between what is set and what is read back) that differs
            // between versions of the control, so the field is measured and put right.
            LRESULT item = SendMessageA(control, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
            for (int attempt = 0; attempt < 3 && item > 0; ++attempt) {
                RECT field{};
                GetWindowRect(control, &field);
                const int off = height - (field.bottom - field.top);
                if (off == 0 || item + off <= 0) break;
                item += off;
                SendMessageA(control, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
            }
        }
    }
    PlaceStatusBar();
    for (const FontKey& key : old) DeleteObject(key.font);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void MainWindow::PlaceStatusBar() {
    HWND bar = Control(ControlId::StatusBar1);
    if (bar == nullptr) return;
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int height = Scale(kStatusBarHeight);
    SetWindowPos(bar, nullptr, 0, client.bottom - height, client.right, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::ApplyStartSize() {
    // Only the left part of the layout, the operator panel, is meant to be on screen.
    SetClientHeight(kStartClientHeight);
    const int width = Scale(kStartOuterWidth);
    const int height = Scale(kStartOuterHeight);
    // Centred on the whole desktop, frame included.
    const Rect place = CentredIn(VirtualDesktop(), width, height);
    SetWindowPos(hwnd_, nullptr, place.left, place.top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
}

int MainWindow::Run() {
    MSG msg{};
    int got = 0;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) Deliver(msg);
    return got < 0 ? 1 : static_cast<int>(msg.wParam);
}

void MainWindow::Deliver(MSG& msg) {
    if (PreTranslate(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

bool MainWindow::PreTranslate(MSG& msg) {
    if (form2_ && form2_->PreTranslate(msg)) return true;
    if (hwnd_ == nullptr || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && !ListDroppedDown(msg.hwnd)) {
        // Escape, whatever has the focus, goes to the core, which asks whether to stop a running
        // operation. Taken here, it is never a typed character for "Download Firmware", nor the
        // dialog manager's Cancel, nor a multi-line edit's request to close the window; a list's
        // open drop-down keeps it, to close.
        core_.EscapePressed();
        return true;
    }
    // The dialog manager presses the focused button on Enter whatever else is held; the core
    // decides, and a chord it turns down goes nowhere.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && !EnterPressesButton(HeldModifiers())) {
        const std::optional<ControlId> id = IdOf(msg.hwnd);
        if (id && EntryOf(*id).kind == ControlKind::Button) return true;
    }
    return IsDialogMessageA(hwnd_, &msg) != FALSE;
}

bool MainWindow::ListDroppedDown(HWND control) const {
    const std::optional<ControlId> id = IdOf(control);
    return id && EntryOf(*id).kind == ControlKind::ComboBox &&
           SendMessageA(Control(*id), CB_GETDROPPEDSTATE, 0, 0) != FALSE;
}

std::optional<ControlId> MainWindow::IdOf(HWND control) const {
    // A list's text field is a child of the list.
    while (control != nullptr && GetParent(control) != hwnd_) control = GetParent(control);
    if (control == nullptr) return std::nullopt;
    const int index = GetDlgCtrlID(control) - kFirstControlId;
    if (index < 0 || index >= static_cast<int>(kControlCount)) return std::nullopt;
    return Controls()[static_cast<std::size_t>(index)].id;
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcA(hwnd, message, wParam, lParam);
    return self->OnMessage(message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::Button1Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    // The core leaves navigation keys and Alt chords (WM_SYSCHAR) alone; the button then
    // handles the key as ever.
    if (message == WM_CHAR || message == WM_SYSCHAR) {
        KeyModifiers held = HeldModifiers();
        held.alt = held.alt || message == WM_SYSCHAR;
        self->core_.Button1KeyPress(TypedCharacter(wParam), held);
    }
    return CallWindowProcA(self->button1Proc_, hwnd, message, wParam, lParam);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            if (HIWORD(wParam) == BN_CLICKED && id >= kFirstControlId &&
                id < kFirstControlId + static_cast<int>(kControlCount)) {
                const ControlEntry& entry = Controls()[static_cast<std::size_t>(id - kFirstControlId)];
                if (entry.kind == ControlKind::Button) core_.Click(entry.id);
            }
            // IDOK and IDCANCEL, which the dialog keys send, press nothing.
            return 0;
        }
        case DM_GETDEFID: {
            // Enter presses the button with the focus, and nothing when the focus is elsewhere.
            const std::optional<ControlId> focus = Focused();
            if (focus && EntryOf(*focus).kind == ControlKind::Button)
                return MAKELRESULT(ControlIdOf(*focus), DC_HASDEFID);
            return 0;
        }
        case WM_ACTIVATE:
            // The focus comes back to the control that had it when the window was left.
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus != nullptr && IsChild(hwnd_, focus)) SetPropA(hwnd_, "PraxFocus", focus);
            } else {
                auto* focus = static_cast<HWND>(GetPropA(hwnd_, "PraxFocus"));
                if (focus == nullptr || !IsWindowVisible(focus) || !IsWindowEnabled(focus))
                    focus = Control(ControlId::Button1);
                if (HIWORD(wParam) == 0) ::SetFocus(focus);
            }
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1Id) core_.Timer1Timer();
            return 0;
        case WM_SIZE:
            PlaceStatusBar();
            return 0;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                         suggested->right - suggested->left, suggested->bottom - suggested->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            PlaceControls(HIWORD(wParam));
            return 0;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        case WM_CLOSE:
            CloseRequested();
            return 0;
        case WM_DESTROY:
            KillTimer(hwnd_, kTimer1Id);
            RemovePropA(hwnd_, "PraxFocus");
            if (hooks_.quitOnDestroy) PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            hwnd_ = nullptr;
            controls_.fill(nullptr);
            return 0;
        default:
            return DefWindowProcA(hwnd_, message, wParam, lParam);
    }
}

LRESULT MainWindow::ControlColour(HDC dc, HWND control) {
    const std::optional<ControlId> id = IdOf(control);
    TextColour colour = id ? EntryOf(*id).font.colour : TextColour::Window;
    // The layout's black is the system's text colour on the button face, which a dark theme
    // makes light; only red is a fixed colour.
    SetTextColor(dc, colour == TextColour::Red ? RGB(255, 0, 0) : GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void MainWindow::DrawButton(const DRAWITEMSTRUCT& item) {
    RECT r = item.rcItem;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    DrawFrameControl(item.hDC, &r, DFC_BUTTON,
                     DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0) | (disabled ? DFCS_INACTIVE : 0));
    const std::optional<ControlId> id = IdOf(item.hwndItem);
    if (!id) return;
    const std::string caption = WindowText(item.hwndItem);
    HGDIOBJ before = SelectObject(item.hDC, FontFor(EntryOf(*id).font));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : RGB(255, 0, 0));
    DrawTextA(item.hDC, caption.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(item.hDC, before);
    if (item.itemState & ODS_FOCUS) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(item.hDC, &r);
    }
}

void MainWindow::CloseRequested() {
    // The core says whether the window may close now (not while a transfer greys Close).
    if (!core_.FormCloseQuery()) return;
    form2_.reset();
    DestroyWindow(hwnd_);
}

std::string MainWindow::StatusText() const {
    HWND bar = Control(ControlId::StatusBar1);
    const LRESULT length = SendMessageA(bar, SB_GETTEXTLENGTHA, 0, 0);
    std::string text(static_cast<std::size_t>(LOWORD(length)) + 1, '\0');
    SendMessageA(bar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(LOWORD(length)));
    return text;
}

// --- FormView: the controls -----------------------------------------------------------------

void MainWindow::SetVisible(ControlId id, bool visible) {
    ShowWindow(Control(id), visible ? SW_SHOWNA : SW_HIDE);
}

void MainWindow::SetEnabled(ControlId id, bool enabled) { EnableWindow(Control(id), enabled); }

void MainWindow::SetCaption(ControlId id, const std::string& caption) {
    SetWindowTextA(Control(id), caption.c_str());
    InvalidateRect(Control(id), nullptr, TRUE);
}

std::string MainWindow::Text(ControlId id) {
    if (id == ControlId::StatusBar1) return StatusText();
    return WindowText(Control(id));
}

void MainWindow::SelectIndex(ControlId id, int index) {
    SendMessageA(Control(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

std::optional<ControlId> MainWindow::Focused() {
    HWND focus = GetFocus();
    if (focus == nullptr || hwnd_ == nullptr || !IsChild(hwnd_, focus)) return std::nullopt;
    return IdOf(focus);
}

void MainWindow::SetFocus(ControlId id) { ::SetFocus(Control(id)); }

protocol::LineSource MainWindow::MemoLines() {
    HWND memo = Control(ControlId::Memo1);
    protocol::LineSource lines;
    lines.count = [memo] { return static_cast<int>(SendMessageA(memo, EM_GETLINECOUNT, 0, 0)); };
    lines.line = [memo](int index) {
        const LRESULT start = SendMessageA(memo, EM_LINEINDEX, static_cast<WPARAM>(index), 0);
        if (start < 0) return std::string();
        const LRESULT length = SendMessageA(memo, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
        // EM_GETLINE reads the buffer's size from its first word, so it is at least that big.
        std::string text(static_cast<std::size_t>(std::max<LRESULT>(length, 1)) + 1, '\0');
        *reinterpret_cast<WORD*>(text.data()) = static_cast<WORD>(text.size());
        const LRESULT copied = SendMessageA(memo, EM_GETLINE, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
        return text;
    };
    return lines;
}

// --- FormView: the window -------------------------------------------------------------------

void MainWindow::SetTitle(const std::string& title) {
    // Also the caption of every box the program shows.
    title_ = title;
    SetWindowTextA(hwnd_, title.c_str());
}

void MainWindow::SetClientHeight(int height) {
    RECT outer{};
    RECT client{};
    GetWindowRect(hwnd_, &outer);
    GetClientRect(hwnd_, &client);
    const int frame = (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left, Scale(height) + frame,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::PostClose() { PostMessageA(hwnd_, WM_CLOSE, 0, 0); }

void MainWindow::StartTimer(int intervalMs) {
    SetTimer(hwnd_, kTimer1Id, static_cast<UINT>(intervalMs), nullptr);
}

void MainWindow::StopTimer() { KillTimer(hwnd_, kTimer1Id); }

void MainWindow::DestroyProgress() { progress_.reset(); }

std::string MainWindow::ProgramDirectory() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// --- FormView: the font window --------------------------------------------------------------

bool MainWindow::OpenFontDialog() {
    if (!form2_) return false;
    form2_->Show();
    form2_->CentreOnDesktop();
    return true;
}

FormView::FontDialogState MainWindow::PollFontDialog() {
    if (!form2_) return {};
    return {form2_->Visible(), form2_->Active()};
}

void MainWindow::DrawFontRows() {
    if (form2_) form2_->DrawRows();
}

// --- boxes ----------------------------------------------------------------------------------

void MainWindow::ShowError(const std::string& text) {
    MessageBoxA(hwnd_, text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

int MainWindow::AskQuestion(const std::string& text, const std::string& caption,
                            std::uint32_t type) {
    const int answer = MessageBoxA(hwnd_, text.c_str(), caption.c_str(), type);
    return answer == IDYES || answer == IDNO ? answer : 1;
}

void MainWindow::ShowMessage(const std::string& text) {
    MessageBoxA(hwnd_, text.c_str(), title_.c_str(), MB_OK);
}

void MainWindow::ShowWarning(const std::string& text) {
    // The box sizes itself to the text, line for line, and wraps a line too wide for it.
    MessageBoxA(hwnd_, text.c_str(), title_.c_str(), MB_OK | MB_ICONWARNING);
}

std::string MainWindow::ChooseFile(const protocol::FileDialogSetup& setup) {
    if (hooks_.openFile) return hooks_.openFile(setup);
    // "description|pattern|..." becomes the dialog's NUL-separated pairs, ended by two NULs.
    std::string filter = setup.filter;
    std::replace(filter.begin(), filter.end(), '|', '\0');
    filter.append(2, '\0');
    std::string file(32768, '\0');
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd_;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = setup.initialDirectory.c_str();
    ofn.Flags = OFN_EXPLORER;
    if (!GetOpenFileNameA(&ofn)) return {};
    file.resize(file.find('\0'));
    return file;
}

// --- the progress dialog and the status line -----------------------------------------------

void MainWindow::ShowProgress() {
    if (progress_) progress_->Show();
}

void MainWindow::HideProgress() {
    if (progress_) progress_->Hide();
}

void MainWindow::RepaintGauge() {
    if (progress_) progress_->RepaintGauge();
}

void MainWindow::SetStatusText(const std::string& text) {
    SendMessageA(Control(ControlId::StatusBar1), SB_SETTEXTA, SB_SIMPLEID,
                 reinterpret_cast<LPARAM>(text.c_str()));
}

void MainWindow::ProcessEvents() {
    MSG msg{};
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // For the loop that is waiting for it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        Deliver(msg);
    }
    if (hooks_.processEvents) hooks_.processEvents();
}

void MainWindow::SetCloseEnabled(bool enabled) {
    // The close box goes with the item; WM_CLOSE itself is refused by the core meanwhile.
    EnableMenuItem(GetSystemMenu(hwnd_, FALSE), SC_CLOSE,
                   MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

}  // namespace prax::app::win32
