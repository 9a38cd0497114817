// The native dialogs, in this process, under Wine's null graphics driver: the progress window
// and its painted gauge, and the font selection on the fake platform's registry.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "app/core/DialogGeometry.h"
#include "app/win32/FontDialog.h"
#include "app/win32/Gauge.h"
#include "app/win32/ProgressDialog.h"
#include "platform/fake/FakePlatform.h"
#include "tests/support/SampleFonts.h"
#include "protocol/FontList.h"

namespace prax::app {
void PrintTo(const Rect& r, std::ostream* os) { *os << r.left << "," << r.top << " " << r.width << "x" << r.height; }
}  // namespace prax::app

namespace {

using prax::protocol::kBlue;
using prax::protocol::kRed;
using prax::protocol::kWhite;
using prax::protocol::GaugeModel;
using prax::protocol::Rgb;
using namespace prax::app::win32;
namespace app = prax::app;
namespace layout = prax::app::fontdialog;
using prax::platform::fake::FakePlatform;

// Every pending message handled as the main window's loop does: the font window's first.
void Pump(TForm2* form = nullptr) {
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (form != nullptr && form->PreTranslate(msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
}

// Stands in for the main window: the dialogs' owner, active before they show.
struct Owner {
    Owner() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.lpszClassName = "PraxTestOwner";
        ::RegisterClassExA(&wc);
        hwnd = ::CreateWindowExA(0, wc.lpszClassName, app::kWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 400, 260,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        Activate();
    }
    ~Owner() { ::DestroyWindow(hwnd); }
    void Activate() const {
        ::ShowWindow(hwnd, SW_SHOW);
        ::SetForegroundWindow(hwnd);
        Pump();
    }
    HWND hwnd = nullptr;
};

// A child's place in its parent's client area; a top-level window's on the screen.
app::Rect Place(HWND window) {
    RECT r;
    ::GetWindowRect(window, &r);
    if (::GetWindowLongPtrA(window, GWL_STYLE) & WS_CHILD)
        ::MapWindowPoints(HWND_DESKTOP, ::GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// ---------------------------------------------------------------------------------------------
// Progress

TEST(Progress, IsABorderlessPopupCentredOnTheScreenWithThePanelAndTheGauge) {
    namespace layout = app::progress;
    Owner owner;
    GaugeModel gauge;
    TfrmProgress progress(owner.hwnd, gauge);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrA(progress.Handle(), GWL_STYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME | WS_SYSMENU));
    EXPECT_EQ(::GetWindow(progress.Handle(), GW_OWNER), owner.hwnd);
    EXPECT_EQ(WindowText(progress.Handle()), layout::kCaption);
    EXPECT_FALSE(progress.Visible());
    // No frame: the window is its client area.
    EXPECT_EQ(Place(progress.Handle()), (app::Rect{(::GetSystemMetrics(SM_CXSCREEN) - layout::kClientWidth) / 2,
                                                   (::GetSystemMetrics(SM_CYSCREEN) - layout::kClientHeight) / 2,
                                                   layout::kClientWidth, layout::kClientHeight}));
    RECT client;
    ::GetClientRect(progress.Handle(), &client);
    EXPECT_EQ(client.right * 1000 + client.bottom, layout::kClientWidth * 1000 + layout::kClientHeight);
    EXPECT_EQ(::GetParent(progress.Panel1()), progress.Handle());
    EXPECT_EQ(Place(progress.Panel1()), layout::kPanel1);
    EXPECT_EQ(::GetParent(progress.ggProgress()), progress.Panel1());
    EXPECT_EQ(Place(progress.ggProgress()), layout::kGauge);
    // It paints the model it was given, the core's.
    EXPECT_EQ(&progress.Gauge(), &gauge);
}

TEST(Progress, ShowsWithoutTakingTheActivationAndGoesOnlyWithItsOwner) {
    auto owner = std::make_unique<Owner>();
    GaugeModel gauge;
    TfrmProgress progress(owner->hwnd, gauge);
    ASSERT_EQ(::GetActiveWindow(), owner->hwnd);
    progress.Show();
    Pump();
    EXPECT_TRUE(progress.Visible());
    EXPECT_EQ(::GetActiveWindow(), owner->hwnd);
    progress.Hide();
    EXPECT_FALSE(progress.Visible());
    ::SendMessageA(progress.Handle(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(::IsWindow(progress.Handle()));
    // The owner takes it along; what is left does nothing.
    const HWND window = progress.Handle();
    owner.reset();
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(progress.Handle(), nullptr);
    progress.Show();
    EXPECT_FALSE(progress.Visible());
}

// When to repaint is the core's rule (tests/app/core/WindowCoreTest.cpp); each request paints the
// gauge on screen once, and nothing else does.
TEST(Progress, EachRepaintRequestPaintsTheGaugeOnce) {
    Owner owner;
    GaugeModel gauge;
    TfrmProgress progress(owner.hwnd, gauge);
    progress.Show();
    const auto settle = [&] {
        Pump();
        ::UpdateWindow(progress.ggProgress());
    };
    settle();
    const int before = progress.Repaints();
    for (int request = 1; request <= 100; ++request) {
        progress.RepaintGauge();
        settle();
    }
    EXPECT_EQ(progress.Repaints() - before, 100);
    settle();
    EXPECT_EQ(progress.Repaints() - before, 100);
}

struct PaintCase {
    int percent = 0;
    Rgb fore = kBlue;
};
void PrintTo(const PaintCase& c, std::ostream* os) { *os << (c.fore == kRed ? "red " : "blue ") << c.percent << "%"; }

class GaugePicture : public ::testing::TestWithParam<PaintCase> {};

// The bar as the gauge paints it, into a bitmap of its own: rows of pixels.
std::vector<std::vector<COLORREF>> Render(HWND gauge) {
    RECT bar;
    ::GetClientRect(gauge, &bar);
    HDC dc = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, bar.right, -bar.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ::SendMessageA(gauge, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
    std::vector<std::vector<COLORREF>> pixels(static_cast<std::size_t>(bar.bottom));
    for (int y = 0; y < bar.bottom; ++y)
        for (int x = 0; x < bar.right; ++x) pixels[static_cast<std::size_t>(y)].push_back(::GetPixel(dc, x, y));
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
}

TEST_P(GaugePicture, FillsThePercentageInTheForeColourAndXorsTheTextOverBoth) {
    const PaintCase c = GetParam();
    Owner owner;
    GaugeModel gauge;
    TfrmProgress progress(owner.hwnd, gauge);
    gauge.SetForeColor(c.fore);
    gauge.SetProgress(c.percent);
    const auto pixels = Render(progress.ggProgress());
    const auto width = static_cast<std::size_t>(app::progress::kGauge.width);
    ASSERT_EQ(pixels.size(), static_cast<std::size_t>(app::progress::kGauge.height));
    ASSERT_EQ(pixels[0].size(), width);

    const COLORREF fore = ToColorRef(c.fore);
    const COLORREF back = ToColorRef(kWhite);
    // The top rows lie above the text: the boundary is exactly where the percentage puts it.
    const std::size_t filled = width * static_cast<std::size_t>(c.percent) / 100;
    for (std::size_t x = 0; x < width; ++x) ASSERT_EQ(pixels[1][x], x < filled ? fore : back) << x;

    // Every other pixel is one of the two inverted: the text, white xor-ed into the bar.
    std::set<COLORREF> text;
    for (const auto& row : pixels)
        for (COLORREF p : row) {
            if (p == fore || p == back) continue;
            EXPECT_TRUE(p == (fore ^ 0xFFFFFFu) || p == (back ^ 0xFFFFFFu)) << std::hex << p;
            text.insert(p);
        }
    // Half way, the centred text lies over both parts.
    EXPECT_EQ(text.size(), c.percent == 50 ? 2u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Progress, GaugePicture,
                         ::testing::Values(PaintCase{0, kBlue}, PaintCase{50, kBlue}, PaintCase{100, kBlue},
                                           PaintCase{0, kRed}, PaintCase{50, kRed}, PaintCase{100, kRed}),
                         [](const auto& info) {
                             return (info.param.fore == kRed ? "red" : "blue") + std::to_string(info.param.percent);
                         });

// ---------------------------------------------------------------------------------------------
// Select Font

using prax::testing::kFontsKey;

class FontDialog : public ::testing::Test {
protected:
    FontDialog() {
        host.hostWindowsFolder = ::testing::TempDir() + "win32-dialogs-windows";
        std::filesystem::create_directories(host.hostWindowsFolder + "/Fonts");
        std::ofstream(host.hostWindowsFolder + "/Fonts/ARIAL.TTF", std::ios::binary) << std::string(1300, 'f');
        std::ofstream(host.hostWindowsFolder + "/Fonts/FACE.TTF", std::ios::binary) << "seven!!";
    }

    void InstallFonts() { prax::testing::InstallSampleFonts(host); }
    // The fonts listed into the chooser and drawn, as the core's FillFontList does.
    void FillFontList() {
        chooser.ClearChoice();
        chooser.Fill(prax::protocol::ReadInstalledFonts(host));
        form.DrawRows();
    }
    void ShowFilled() {
        InstallFonts();
        FillFontList();
        form.Show();
        Pump(&form);
    }
    std::string ItemText(int row, int column) const {
        char text[512] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        const auto n = ::SendMessageA(form.StringGrid1(), LVM_GETITEMTEXTA, static_cast<WPARAM>(row),
                                      reinterpret_cast<LPARAM>(&item));
        return {text, static_cast<std::size_t>(n)};
    }
    int ColumnWidth(int column) const {
        return static_cast<int>(::SendMessageA(form.StringGrid1(), LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
    }
    void SelectRow(int row) const {
        LVITEMA item{};
        item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageA(form.StringGrid1(), LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    // A key as the keyboard brings it to the control with the focus, through the message loop.
    void Key(WPARAM vk, bool shift = false) {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_SHIFT] = shift ? 0x80 : 0;
        ::SetKeyboardState(keys);
        HWND focus = ::GetFocus();
        ::PostMessageA(focus, WM_KEYDOWN, vk, 1);
        if (vk == VK_RETURN || vk == VK_ESCAPE) ::PostMessageA(focus, WM_CHAR, vk, 1);
        ::PostMessageA(focus, WM_KEYUP, vk, 0xC0000001);
        Pump(&form);
        keys[VK_SHIFT] = 0;
        ::SetKeyboardState(keys);
    }

    FakePlatform host;
    Owner owner;
    app::FontChooser chooser;
    TForm2 form{chooser, owner.hwnd};
};

// The chooser's rows, as listed (tests/app/core/FontChooserTest.cpp), in the grid at their widths;
// the window centred on the desktop when it opens.
TEST_F(FontDialog, DrawsTheRowsAtTheirWidthsCentred) {
    EXPECT_EQ(form.RowCount(), 1);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(ColumnWidth(c), layout::kColumnWidthBeforeFill);
    InstallFonts();
    FillFontList();
    form.CentreOnDesktop();

    const std::vector<std::vector<std::string>> expected = {
        {"Arial (TrueType)", "ARIAL.TTF", "1300 Bytes"},
        {"Face (TrueType)", "FACE.TTF", "7 Bytes"},
        {"Zeta TrueType", "zeta.ttf", "-1 Bytes"},
        {"Zeta, Bold (TrueType)", "ZETA.TTF", "-1 Bytes"},
    };
    ASSERT_EQ(form.RowCount(), static_cast<int>(expected.size()));
    for (int r = 0; r < form.RowCount(); ++r)
        for (int c = 0; c < 3; ++c) {
            EXPECT_EQ(form.Cell(r, c), expected[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
            EXPECT_EQ(ItemText(r, c), form.Cell(r, c));
        }
    for (int c = 0; c < 3; ++c) EXPECT_EQ(ColumnWidth(c), layout::kColumnWidths[c]);
    EXPECT_EQ(form.CurrentRow(), 0);
    // Centred on the desktop, the frame included, at its stored outer size.
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int height = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    EXPECT_EQ(Place(form.Handle()), (app::Rect{left + (width - layout::kOuterWidth) / 2,
                                               top + (height - layout::kOuterHeight) / 2, layout::kOuterWidth,
                                               layout::kOuterHeight}));
}

TEST_F(FontDialog, GreysAFontWhoseNameCantBeSentAndSaysWhy) {
    InstallFonts();
    FillFontList();
    for (int row = 0; row < form.RowCount(); ++row) {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = {form.StringGrid1(), 0, static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
        draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(row);
        draw.clrText = CLR_DEFAULT;
        ::SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw));
        char tipText[512] = {};
        NMLVGETINFOTIPA tip{{form.StringGrid1(), 0, static_cast<UINT>(LVN_GETINFOTIPA)}, 0, tipText,
                            int{sizeof tipText}, row, 0, 0};
        ::SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&tip));

        const bool refused = form.Cell(row, 0) == "Zeta, Bold (TrueType)";
        EXPECT_EQ(draw.clrText, refused ? ::GetSysColor(COLOR_GRAYTEXT) : CLR_DEFAULT) << row;
        EXPECT_EQ(std::string(tipText).find("can't be sent") != std::string::npos, refused) << tipText;
    }
}

struct SelectCase {
    const char* how = "";  // "" shows the window and selects nothing
    int row = 0;
    const char* caption = "";
    const char* face = "";
};
void PrintTo(const SelectCase& c, std::ostream* os) { *os << "row " << c.row << " by " << c.how; }

class FontSelect : public FontDialog, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(FontSelect, SelectingARowPreviewsItAndOkHandsItOver) {
    const SelectCase c = GetParam();
    EXPECT_EQ(form.PreviewFace(), layout::kFace);
    ShowFilled();
    EXPECT_TRUE(form.Active());
    if (std::string(c.how) == "keys") {
        for (int i = 0; i < c.row; ++i) Key(VK_DOWN);
    } else if (std::string(c.how) == "state") {
        SelectRow(c.row);
    }
    EXPECT_EQ(form.CurrentRow(), c.row);
    EXPECT_EQ(form.PreviewCaption(), c.caption);
    EXPECT_EQ(form.PreviewFace(), c.face);

    ::SendMessageA(form.Button1(), BM_CLICK, 0, 0);
    const prax::protocol::FontChoice choice = chooser.Take();
    EXPECT_EQ(choice.name, form.Cell(c.row, 0));
    EXPECT_EQ(choice.file, form.Cell(c.row, 1));
    EXPECT_FALSE(form.Visible());
    EXPECT_TRUE(::IsWindow(form.Handle()));
}

INSTANTIATE_TEST_SUITE_P(FontDialog, FontSelect,
                         ::testing::Values(SelectCase{"", 0, "Arial ", "Arial"},  // the show previews row 0
                                           SelectCase{"state", 1, "Face ", "Face"},
                                           SelectCase{"keys", 1, "Face ", "Face"},
                                           // Nothing to preview by: an empty caption, the face as it was.
                                           SelectCase{"state", 2, "", "Arial"},
                                           SelectCase{"keys", 3, "Zeta, Bold ", "Zeta, Bold"}),
                         [](const auto& info) {
                             return (*info.param.how ? info.param.how : "show") + std::to_string(info.param.row);
                         });

TEST_F(FontDialog, CancelEmptiesTheChoiceAndTheCloseBoxHidesAndKeepsTheWindow) {
    struct Ending {
        UINT msg;
        WPARAM wp;
        bool keptAfter;  // the choice made before
    };
    const Ending endings[] = {{WM_CLOSE, 0, true}, {WM_SYSCOMMAND, SC_CLOSE, true}, {BM_CLICK, 0, false}};
    InstallFonts();
    FillFontList();
    for (const Ending& e : endings) {
        form.Show();
        Pump(&form);
        ASSERT_TRUE(form.Visible());
        chooser.Choose(1);
        ::SendMessageA(e.msg == BM_CLICK ? form.Button2() : form.Handle(), e.msg, e.wp, 0);
        Pump(&form);
        EXPECT_FALSE(form.Visible()) << e.msg;
        EXPECT_FALSE(form.Active()) << e.msg;
        EXPECT_TRUE(::IsWindow(form.Handle())) << e.msg;
        EXPECT_EQ(chooser.Take().name, e.keptAfter ? "Face (TrueType)" : "") << e.msg;
    }
    // Only the owner ends it; what is left does nothing.
    ::DestroyWindow(owner.hwnd);
    EXPECT_EQ(form.Handle(), nullptr);
    form.Show();
    EXPECT_FALSE(form.Visible());
    MSG msg{};
    EXPECT_FALSE(form.PreTranslate(msg));
}

// The grid follows the chooser's rows, one at least; a current row cut away moves to what is left.
TEST_F(FontDialog, NothingListedLeavesOneRowHoldingWhatTheFirstHeld) {
    host.SetRegString(kFontsKey, "Cambria (TrueType)", "cambria.ttc");
    FillFontList();
    EXPECT_EQ(form.RowCount(), 1);
    EXPECT_EQ(ItemText(0, 0), "");

    InstallFonts();
    FillFontList();
    ASSERT_EQ(form.RowCount(), 4);
    // The current row is cut away: the grid moves to what is left, without a preview.
    SelectRow(3);
    const std::string preview = form.PreviewCaption();
    for (const char* name : {"Arial (TrueType)", "Face (TrueType)", "Zeta TrueType", "Zeta, Bold (TrueType)"})
        host.SetRegString(kFontsKey, name, "C:\\Elsewhere\\font.ttf");
    FillFontList();
    EXPECT_EQ(form.RowCount(), 1);
    EXPECT_EQ(ItemText(0, 0), "Arial (TrueType)");
    EXPECT_EQ(form.CurrentRow(), 0);
    EXPECT_EQ(form.PreviewCaption(), preview);
}

// With nothing listed the grid says why under its empty row (drawn after the grid's own
// painting); a list with a font takes the notice away.
TEST_F(FontDialog, AnEmptyListSaysWhyUnderItsRow) {
    const auto prepaint = [this] {
        NMLVCUSTOMDRAW draw{};
        draw.nmcd.hdr = {form.StringGrid1(), 0, static_cast<UINT>(NM_CUSTOMDRAW)};
        draw.nmcd.dwDrawStage = CDDS_PREPAINT;
        return ::SendMessageA(form.Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&draw));
    };
    EXPECT_EQ(form.EmptyListNotice(), "");
    host.SetRegString(kFontsKey, "Cambria (TrueType)", "cambria.ttc");
    FillFontList();
    form.Show();
    Pump(&form);
    EXPECT_EQ(form.EmptyListNotice(), chooser.EmptyListNotice());
    EXPECT_NE(form.EmptyListNotice().find("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"),
              std::string::npos);
    EXPECT_EQ(prepaint() & CDRF_NOTIFYPOSTPAINT, CDRF_NOTIFYPOSTPAINT);
    ::UpdateWindow(form.StringGrid1());
    EXPECT_EQ(form.RowCount(), 1);
    EXPECT_EQ(ItemText(0, 0), "");

    InstallFonts();
    FillFontList();
    EXPECT_EQ(form.EmptyListNotice(), "");
    EXPECT_EQ(prepaint() & CDRF_NOTIFYPOSTPAINT, 0);
}

// The grid's lines are its handles: dragging a column's right line sets its width, a row's
// bottom line the rows' height (a list view's rows are all as high), and neither press selects
// a row.
TEST_F(FontDialog, GridLinesSizeColumnsAndRows) {
    ShowFilled();
    HWND grid = form.StringGrid1();
    const auto rowRect = [grid](int row) {
        RECT r{};
        r.left = LVIR_BOUNDS;
        ::SendMessageA(grid, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
        return r;
    };
    const auto mouse = [grid](UINT msg, int x, int y) {
        ::SendMessageA(grid, msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    };
    const RECT first = rowRect(0);
    const int height = first.bottom - first.top;
    const int line = first.left + ColumnWidth(0) - 1;
    const int y = rowRect(2).top + height / 2;

    mouse(WM_LBUTTONDOWN, line + 1, y);
    mouse(WM_MOUSEMOVE, line + 21, y + 7);
    mouse(WM_MOUSEMOVE, line + 41, y + 9);
    EXPECT_EQ(ColumnWidth(0), 320) << "the width follows the mouse";
    mouse(WM_LBUTTONUP, line + 31, y);
    EXPECT_EQ(ColumnWidth(0), 310);
    EXPECT_EQ(ColumnWidth(1), 150);
    mouse(WM_MOUSEMOVE, line + 200, y);
    EXPECT_EQ(ColumnWidth(0), 310) << "the drag ended with the button";
    EXPECT_EQ(form.CurrentRow(), 0);

    mouse(WM_LBUTTONDOWN, 100, first.bottom - 1);
    mouse(WM_LBUTTONUP, 100, first.bottom - 1 + 12);
    const RECT second = rowRect(1);
    EXPECT_EQ(rowRect(0).bottom - rowRect(0).top, height + 12);
    EXPECT_EQ(second.bottom - second.top, height + 12);
    EXPECT_EQ(form.CurrentRow(), 0);
    EXPECT_EQ(ColumnWidth(0), 310);
    EXPECT_EQ(ItemText(1, 0), "Face (TrueType)");
}

TEST_F(FontDialog, EveryActivationPutsTheControlsBack) {
    form.Show();
    Pump(&form);
    const std::pair<HWND, app::Rect> controls[] = {
        {form.StringGrid1(), layout::kGrid}, {form.GroupBox1(), layout::kGroupBox}, {form.Label1(), layout::kPreview},
        {form.Button1(), layout::kOk},       {form.Button2(), layout::kCancel},
    };
    for (const auto& [control, place] : controls) ::MoveWindow(control, 1, 1, 5, 5, FALSE);
    owner.Activate();
    ASSERT_FALSE(form.Active());
    form.Show();
    Pump(&form);
    ASSERT_TRUE(form.Active());
    for (const auto& [control, place] : controls) EXPECT_EQ(Place(control), place);
    EXPECT_EQ(::GetParent(form.Label1()), form.GroupBox1());
    EXPECT_EQ(WindowText(form.Handle()), layout::kCaption);
    EXPECT_EQ(WindowText(form.GroupBox1()), layout::kGroupCaption);
}

TEST_F(FontDialog, TabMovesTheFocusAroundAndEnterAndEscapePressNeitherButton) {
    ShowFilled();
    ASSERT_EQ(::GetFocus(), form.StringGrid1());
    // A button that the focus reached by Tab is drawn as the default one; the dialog manager
    // would press it on Enter.
    for (HWND next : {form.Button1(), form.Button2(), form.StringGrid1()}) {
        for (WPARAM vk : {VK_RETURN, VK_ESCAPE}) {
            chooser.Choose(1);
            Key(vk);
            EXPECT_TRUE(form.Visible()) << vk;
            EXPECT_EQ(chooser.Take().name, "Face (TrueType)") << vk;
        }
        Key(VK_TAB);
        EXPECT_EQ(::GetFocus(), next);
    }
}

TEST_F(FontDialog, TabAndShiftTabLeaveTheRowAsItWasAndTheArrowsMoveIt) {
    ShowFilled();
    ASSERT_EQ(::GetFocus(), form.StringGrid1());
    ASSERT_EQ(form.CurrentRow(), 0);
    Key(VK_TAB);
    EXPECT_EQ(::GetFocus(), form.Button1());
    Key(VK_TAB, true);
    EXPECT_EQ(::GetFocus(), form.StringGrid1());
    EXPECT_EQ(form.CurrentRow(), 0);
    Key(VK_DOWN);
    EXPECT_EQ(form.CurrentRow(), 1);
}

}  // namespace
