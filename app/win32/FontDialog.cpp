#include "app/win32/FontDialog.h"

#include <algorithm>
#include <cstring>

#include "app/core/DialogGeometry.h"
#include "app/core/Placement.h"

namespace prax::app::win32 {

namespace {

namespace layout = app::fontdialog;

const char* const kWindowClass = "PraxSelectFont";
constexpr int kColumns = FontChooser::kColumns;
// Neither IDOK nor IDCANCEL: the dialog manager's Enter and Escape send those, and must press
// neither button.
constexpr int kGridId = 100;
constexpr int kOkId = 101;
constexpr int kCancelId = 102;

HMENU Id(int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); }

void Place(HWND control, const app::Rect& r) { ::MoveWindow(control, r.left, r.top, r.width, r.height, TRUE); }

HWND Control(const char* windowClass, const char* text, DWORD style, DWORD exStyle, const app::Rect& r,
             HWND parent, int id, HFONT font) {
    HWND control = ::CreateWindowExA(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                     r.width, r.height, parent, Id(id), detail::ProgramInstance(), nullptr);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

LRESULT Grid(HWND grid, UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return ::SendMessageA(grid, msg, wp, lp); }

// Restores the flag however the block is left.
class Quiet {
public:
    explicit Quiet(bool& flag) : flag_(flag), was_(flag) { flag_ = true; }
    ~Quiet() { flag_ = was_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    bool& flag_;
    bool was_;
};

}  // namespace

namespace detail {
void RegisterFontDialogClass(HINSTANCE instance) {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExA(instance, kWindowClass, &existing)) return;
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &TForm2::WindowProc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = kWindowClass;
    ::RegisterClassExA(&wc);
}
}  // namespace detail

TForm2::TForm2(FontChooser& chooser, HWND owner)
    : chooser_(chooser),
      windowFont_(MakeFont(layout::kFace, layout::kFontPixels)),
      buttonFont_(MakeFont(layout::kFace, layout::kButtonPixels)),
      previewFont_(MakeFont(layout::kFace, layout::kPreviewPixels)) {
    RegisterClasses(detail::ProgramInstance());
    // An ordinary resizable window with the close box; its outer size is the stored one, in
    // pixels, and stays as it is: only the controls are put back on each activation. Its
    // children are not clipped from its background: the group box draws only its frame and
    // caption, and relies on the window having painted what lies beneath.
    window_ = ::CreateWindowExA(0, kWindowClass, layout::kCaption, WS_OVERLAPPEDWINDOW,
                                CW_USEDEFAULT, CW_USEDEFAULT, layout::kOuterWidth, layout::kOuterHeight, owner,
                                nullptr, detail::ProgramInstance(), this);

    // The grid: three columns without headings, whole rows selected one at a time, nothing
    // edited in place. Its cells come from the registry as bytes of the system's code page.
    // The headings stay hidden: the grid's own lines are the handles that size its columns and
    // rows (GridProc). The image list that sets the rows' height is the dialog's to free.
    grid_ = Control(WC_LISTVIEWA, "",
                    WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                        LVS_SHAREIMAGELISTS,
                    WS_EX_CLIENTEDGE, layout::kGrid, window_, kGridId, windowFont_.get());
    ::SetWindowSubclass(grid_, &TForm2::GridProc, 0, reinterpret_cast<DWORD_PTR>(this));
    Grid(grid_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP);
    for (int c = 0; c < kColumns; ++c) {
        LVCOLUMNA column{};
        column.mask = LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = layout::kColumnWidthBeforeFill;
        column.iSubItem = c;
        Grid(grid_, LVM_INSERTCOLUMNA, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column));
    }
    // A grid always has a row, and starts on it, as OK expects, without a preview of it yet.
    SetRowCount(1);
    QuietlySelect(0);

    group_ = Control("BUTTON", layout::kGroupCaption, BS_GROUPBOX | WS_CLIPCHILDREN, 0, layout::kGroupBox, window_,
                     0, windowFont_.get());
    preview_ = Control("STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0, layout::kPreview, group_, 0,
                       previewFont_.get());
    ok_ = Control("BUTTON", layout::kOkCaption, WS_TABSTOP | BS_PUSHBUTTON, 0, layout::kOk, window_, kOkId,
                  buttonFont_.get());
    cancel_ = Control("BUTTON", layout::kCancelCaption, WS_TABSTOP | BS_PUSHBUTTON, 0, layout::kCancel, window_,
                      kCancelId, buttonFont_.get());
}

TForm2::~TForm2() {
    if (window_ != nullptr) ::DestroyWindow(window_);
    if (rowSizer_ != nullptr) ::ImageList_Destroy(rowSizer_);
}

void TForm2::ApplyGeometry() {
    Place(grid_, layout::kGrid);
    Place(group_, layout::kGroupBox);
    Place(preview_, layout::kPreview);
    Place(ok_, layout::kOk);
    Place(cancel_, layout::kCancel);
}

int TForm2::RowCount() const { return static_cast<int>(Grid(grid_, LVM_GETITEMCOUNT)); }

int TForm2::CurrentRow() const {
    // The selected row; while none is (the operator can clear the selection), the one with the
    // focus rectangle, where the keys go on from.
    const auto selected = static_cast<int>(Grid(grid_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (selected >= 0) return selected;
    return static_cast<int>(Grid(grid_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
}

std::string TForm2::Cell(int row, int column) const {
    return row < RowCount() ? chooser_.Cell(row, column) : std::string();
}

std::string TForm2::PreviewCaption() const { return WindowText(preview_); }

std::string TForm2::PreviewFace() const {
    LOGFONTA font{};
    ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(preview_, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfFaceName;
}

void TForm2::SetRowCount(int rows) {
    const Quiet quiet(quiet_);
    // A grid that refuses a row (out of memory) ends the loop rather than spinning on it.
    while (RowCount() < rows) {
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = RowCount();
        item.pszText = const_cast<char*>("");
        if (Grid(grid_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)) < 0) break;
    }
    while (RowCount() > rows)
        if (Grid(grid_, LVM_DELETEITEM, static_cast<WPARAM>(RowCount() - 1)) == FALSE) break;
}

void TForm2::SetCell(int row, int column, const std::string& text) {
    std::string shown = text;
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = shown.data();
    Grid(grid_, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void TForm2::QuietlySelect(int row) {
    const Quiet quiet(quiet_);
    LVITEMA item{};
    item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
    Grid(grid_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void TForm2::Preview(int row) {
    const protocol::FontPreview preview = chooser_.Preview(row);
    ::SetWindowTextA(preview_, preview.caption.c_str());
    if (preview.face.empty()) return;
    HFONT font = MakeFont(preview.face.c_str(), layout::kPreviewPixels);
    ::SendMessageA(preview_, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    previewFont_.Reset(font);
}

void TForm2::StringGrid1SelectCell(int, int ARow, bool& CanSelect) {
    Preview(ARow);
    CanSelect = true;
}

void TForm2::FormShow() { Preview(CurrentRow()); }

void TForm2::FormActivate() { ApplyGeometry(); }

void TForm2::CentreOnDesktop() {
    RECT outer;
    ::GetWindowRect(window_, &outer);
    const Rect place = CentredIn(VirtualDesktop(), outer.right - outer.left, outer.bottom - outer.top);
    ::SetWindowPos(window_, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm2::DrawRows() {
    // A font that can't be sent is drawn greyed, saying why (Notify): choosing it ends in that
    // message, nothing sent.
    const int rows = chooser_.RowCount();
    if (RowCount() < rows) SetRowCount(rows);
    for (int r = 0; r < std::min(rows, RowCount()); ++r)
        for (int c = 0; c < kColumns; ++c) SetCell(r, c, chooser_.Cell(r, c));
    for (int c = 0; c < kColumns; ++c)
        Grid(grid_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(c), MAKELPARAM(layout::kColumnWidths[c], 0));

    // Cutting the grid down moves its current row without a selection by the operator: the
    // preview stays as it is.
    const int current = CurrentRow();
    SetRowCount(std::max(rows, 1));
    if (current < 0 || current >= RowCount()) QuietlySelect(std::clamp(current, 0, RowCount() - 1));
    ::InvalidateRect(grid_, nullptr, TRUE);
}

std::vector<GridSizing::Line> TForm2::ColumnLines() const {
    // The first row's left edge is where the columns start, scrolled or not.
    RECT first{};
    first.left = LVIR_BOUNDS;
    Grid(grid_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    std::vector<GridSizing::Line> lines;
    int right = first.left;
    for (int c = 0; c < kColumns; ++c) {
        const auto width = static_cast<int>(Grid(grid_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(c)));
        right += width;
        lines.push_back({right - 1, c, width});
    }
    return lines;
}

std::vector<GridSizing::Line> TForm2::RowLines() const {
    // The rows on screen only: a long list has thousands.
    std::vector<GridSizing::Line> lines;
    const auto top = static_cast<int>(Grid(grid_, LVM_GETTOPINDEX));
    const auto shown = static_cast<int>(Grid(grid_, LVM_GETCOUNTPERPAGE)) + 1;
    for (int r = std::max(top, 0); r < std::min(RowCount(), top + shown); ++r) {
        RECT row{};
        row.left = LVIR_BOUNDS;
        if (Grid(grid_, LVM_GETITEMRECT, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&row)) == FALSE) break;
        lines.push_back({static_cast<int>(row.bottom) - 1, r, static_cast<int>(row.bottom - row.top)});
    }
    return lines;
}

void TForm2::SetRowHeight(int height) {
    // A list view makes its rows as high as its small images (never lower than its font): an
    // image list of that height, one pixel wide, sets them. What the grid adds to the images'
    // height is measured and taken off once.
    const auto rowHeight = [this] {
        RECT row{};
        row.left = LVIR_BOUNDS;
        Grid(grid_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
        return static_cast<int>(row.bottom - row.top);
    };
    const auto images = [this](int imageHeight) {
        HIMAGELIST list = ::ImageList_Create(1, std::max(imageHeight, 1), ILC_COLOR, 1, 0);
        if (list == nullptr) return;
        Grid(grid_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(list));
        if (rowSizer_ != nullptr) ::ImageList_Destroy(rowSizer_);
        rowSizer_ = list;
    };
    images(height);
    const int extra = rowHeight() - height;
    if (extra > 0 && height - extra >= 1) images(height - extra);
    ::InvalidateRect(grid_, nullptr, TRUE);
}

bool TForm2::GridMouse(UINT msg, LPARAM lp) {
    // Signed: a drag goes on left of or above the grid.
    const int x = static_cast<short>(LOWORD(lp));
    const int y = static_cast<short>(HIWORD(lp));
    const auto shapeFor = [](const GridSizing::Target& over) -> LPCSTR {
        if (over.axis == GridSizing::Axis::Column) return reinterpret_cast<LPCSTR>(IDC_SIZEWE);
        if (over.axis == GridSizing::Axis::Row) return reinterpret_cast<LPCSTR>(IDC_SIZENS);
        return nullptr;
    };
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!sizing_.Press(ColumnLines(), RowLines(), x, y)) return false;
        // A line taken: no row is selected by it, and the mouse is the grid's until let go.
        ::SetFocus(grid_);
        ::SetCapture(grid_);
        return true;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
        if (!sizing_.Dragging()) return false;
        const int size = sizing_.SizeAt(x, y);
        // The mouse is captured: no WM_SETCURSOR comes meanwhile.
        ::SetCursor(::LoadCursorA(nullptr, shapeFor(sizing_.Dragged())));
        if (sizing_.Dragged().axis == GridSizing::Axis::Column)
            Grid(grid_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(sizing_.Dragged().index), MAKELPARAM(size, 0));
        else
            SetRowHeight(size);
        if (msg == WM_LBUTTONUP) {
            sizing_.Release();
            ::ReleaseCapture();
        }
        return true;
    }
    case WM_CAPTURECHANGED:
        sizing_.Release();
        return false;
    case WM_SETCURSOR: {
        if (LOWORD(lp) != HTCLIENT) return false;
        POINT at{};
        ::GetCursorPos(&at);
        ::ScreenToClient(grid_, &at);
        const GridSizing::Target over =
            sizing_.Dragging() ? sizing_.Dragged() : GridSizing::HitTest(ColumnLines(), RowLines(), at.x, at.y);
        const LPCSTR shape = shapeFor(over);
        if (shape == nullptr) return false;
        ::SetCursor(::LoadCursorA(nullptr, shape));
        return true;
    }
    default:
        return false;
    }
}

void TForm2::DrawNotice(HDC dc) const {
    // Under the empty row, greyed, as wide as the grid shows.
    constexpr int kMargin = 6;
    RECT area{};
    ::GetClientRect(grid_, &area);
    RECT first{};
    first.left = LVIR_BOUNDS;
    Grid(grid_, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    RECT text = {area.left + kMargin, first.bottom + kMargin, area.right - kMargin, area.bottom - kMargin};
    const auto font = reinterpret_cast<HFONT>(Grid(grid_, WM_GETFONT));
    const HGDIOBJ oldFont = ::SelectObject(dc, font);
    const int oldMode = ::SetBkMode(dc, TRANSPARENT);
    const COLORREF oldColour = ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    constexpr UINT kFormat = DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX;
    // The grid draws its lines through the empty space too: the text gets a clear ground.
    RECT ground = text;
    ::DrawTextA(dc, chooser_.EmptyListNotice().c_str(), -1, &ground, kFormat | DT_CALCRECT);
    ground = {text.left - 1, text.top - 1, std::min(ground.right, text.right) + 1, std::min(ground.bottom, text.bottom) + 1};
    ::FillRect(dc, &ground, ::GetSysColorBrush(COLOR_WINDOW));
    ::DrawTextA(dc, chooser_.EmptyListNotice().c_str(), -1, &text, kFormat);
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
    ::SelectObject(dc, oldFont);
}

LRESULT CALLBACK TForm2::GridProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self) {
    if (msg == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, &TForm2::GridProc, id);
        return ::DefSubclassProc(hwnd, msg, wp, lp);
    }
    auto* dialog = reinterpret_cast<TForm2*>(self);
    if (dialog != nullptr && dialog->GridMouse(msg, lp)) return msg == WM_SETCURSOR ? TRUE : 0;
    return ::DefSubclassProc(hwnd, msg, wp, lp);
}

void TForm2::Button1Click() {
    chooser_.Choose(CurrentRow());
    ::ShowWindow(window_, SW_HIDE);
}

void TForm2::Button2Click() {
    chooser_.Cancel();
    ::ShowWindow(window_, SW_HIDE);
}

void TForm2::Show() {
    ::ShowWindow(window_, SW_SHOW);
    ::BringWindowToTop(window_);
    ::SetForegroundWindow(window_);
    ::SetActiveWindow(window_);
}

bool TForm2::Visible() const { return window_ != nullptr && ::IsWindowVisible(window_); }

bool TForm2::Active() const { return window_ != nullptr && ::GetActiveWindow() == window_; }

bool TForm2::PreTranslate(MSG& msg) {
    if (window_ == nullptr || (msg.hwnd != window_ && !::IsChild(window_, msg.hwnd))) return false;
    const bool key = msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR;
    // The dialog manager would turn Enter into OK and Escape into Cancel: they go to the
    // control with the focus instead, which makes nothing of them.
    if (key && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) return false;
    return ::IsDialogMessageA(window_, &msg) != FALSE;
}

LRESULT TForm2::Notify(const NMHDR& header, LPARAM lp) {
    if (header.hwndFrom != grid_) return 0;
    switch (header.code) {
    case LVN_ITEMCHANGING: {
        // A row about to be selected, by the mouse or a key: the preview follows it.
        const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lp);
        const bool selecting = (change.uChanged & LVIF_STATE) != 0 && (change.uNewState & LVIS_SELECTED) != 0 &&
                               (change.uOldState & LVIS_SELECTED) == 0;
        if (quiet_ || !selecting || change.iItem < 0) return FALSE;
        bool canSelect = true;
        StringGrid1SelectCell(0, change.iItem, canSelect);
        return canSelect ? FALSE : TRUE;
    }
    case NM_CUSTOMDRAW: {
        auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(lp);
        if (draw.nmcd.dwDrawStage == CDDS_PREPAINT)
            return CDRF_NOTIFYITEMDRAW | (chooser_.EmptyListNotice().empty() ? 0 : CDRF_NOTIFYPOSTPAINT);
        if (draw.nmcd.dwDrawStage == CDDS_POSTPAINT) {
            // After the rows and the grid's lines.
            if (!chooser_.EmptyListNotice().empty()) DrawNotice(draw.nmcd.hdc);
            return CDRF_DODEFAULT;
        }
        if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
        const auto row = static_cast<int>(draw.nmcd.dwItemSpec);
        if (row >= RowCount() || chooser_.Problem(row).empty()) return CDRF_DODEFAULT;
        draw.clrText = ::GetSysColor(COLOR_GRAYTEXT);
        return CDRF_NEWFONT;
    }
    case LVN_GETINFOTIPA: {
        auto& tip = *reinterpret_cast<NMLVGETINFOTIPA*>(lp);
        if (tip.iItem < 0 || tip.iItem >= RowCount() || tip.cchTextMax <= 0) return 0;
        const std::string problem = chooser_.Problem(tip.iItem);
        if (problem.empty()) return 0;
        ::lstrcpynA(tip.pszText, problem.c_str(), tip.cchTextMax);
        return 0;
    }
    case LVN_GETINFOTIPW: {
        auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lp);
        if (tip.iItem < 0 || tip.iItem >= RowCount() || tip.cchTextMax <= 0) return 0;
        const std::string problem = chooser_.Problem(tip.iItem);
        if (problem.empty()) return 0;
        const int n = ::MultiByteToWideChar(CP_ACP, 0, problem.c_str(), -1, tip.pszText, tip.cchTextMax);
        if (n == 0) tip.pszText[tip.cchTextMax - 1] = L'\0';
        return 0;
    }
    default:
        return 0;
    }
}

LRESULT TForm2::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_ACTIVATE:
        if (LOWORD(wp) == WA_INACTIVE) {
            // Where the focus was comes back with the next activation.
            if (HWND focus = ::GetFocus(); focus != nullptr && ::IsChild(window_, focus)) lastFocus_ = focus;
            return 0;
        }
        FormActivate();
        if (HIWORD(wp) == 0)
            ::SetFocus(lastFocus_ != nullptr && ::IsChild(window_, lastFocus_) ? lastFocus_ : grid_);
        return 0;
    case WM_SHOWWINDOW:
        // Shown by a call, not along with the owner coming back.
        if (wp != FALSE && lp == 0) FormShow();
        break;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            const auto from = reinterpret_cast<HWND>(lp);
            if (LOWORD(wp) == kOkId && from == ok_) Button1Click();
            else if (LOWORD(wp) == kCancelId && from == cancel_) Button2Click();
        }
        return 0;
    case WM_NOTIFY:
        return Notify(*reinterpret_cast<const NMHDR*>(lp), lp);
    case WM_CLOSE:
        // The close box hides the window; it lives as long as the program.
        ::ShowWindow(window_, SW_HIDE);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcA(window_, msg, wp, lp);
}

LRESULT CALLBACK TForm2::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<TForm2*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
        self->window_ = hwnd;
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TForm2*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return ::DefWindowProcA(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->window_ = self->grid_ = self->group_ = self->preview_ = self->ok_ = self->cancel_ = nullptr;
        self->lastFocus_ = nullptr;
        return ::DefWindowProcA(hwnd, msg, wp, lp);
    }
    return self->Dispatch(msg, wp, lp);
}

}  // namespace prax::app::win32
