// The Windows main window in-process under Wine's null graphics driver: its controls against the
// control table, the keyboard, the boxes, the close guard, the countdown and command-line mode.
// The Com3 case needs a pty behind COM3 and a registered font: tests/win/window.sh sets them up
// and compares what COM3 received with the Linux praxdl's streams.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/win32/MainWindow.h"
#include "app/win32/FontDialog.h"
#include "app/win32/ProgressDialog.h"
#include "platform/Native.h"
#include "protocol/Commands.h"

namespace prax::app::win32 {
namespace {

std::string TextOf(HWND hwnd) {
    char buffer[512] = "";
    GetWindowTextA(hwnd, buffer, sizeof buffer);
    return buffer;
}

// A box's own text: its first line; the host's reason may follow.
std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string ClassOf(HWND hwnd) {
    char buffer[64] = "";
    GetClassNameA(hwnd, buffer, sizeof buffer);
    return buffer;
}

// Answers every message box the thread shows, with `answer`, and keeps what each one said.
class BoxAnswerer {
public:
    struct Box {
        std::string caption, text;
        HICON icon = nullptr;   // the icon beside the text, if any
        bool textFits = false;  // every line of the text has room in full
        HWND owner = nullptr;
        // Whether a progress dialog, which stays above the other windows, was on screen.
        bool progressVisible = false;
    };
    explicit BoxAnswerer(int answer = IDOK) : answer_(answer) {
        current_ = this;
        hook_ = SetWindowsHookExA(WH_CBT, &BoxAnswerer::Hook, nullptr, GetCurrentThreadId());
    }
    ~BoxAnswerer() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    std::vector<Box> boxes;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
        auto* box = reinterpret_cast<HWND>(wParam);
        // A message box is a dialog whose text is item 0xFFFF.
        if (code == HCBT_ACTIVATE && current_ != nullptr && ClassOf(box) == "#32770" &&
            GetDlgItem(box, 0xFFFF) != nullptr && current_->seen_.insert(box).second) {
            HWND progress = FindWindowExA(nullptr, nullptr, "PraxProgress", nullptr);
            current_->boxes.push_back({TextOf(box), TextOf(GetDlgItem(box, 0xFFFF)), IconOf(box),
                                       TextFits(GetDlgItem(box, 0xFFFF)), GetWindow(box, GW_OWNER),
                                       progress != nullptr && IsWindowVisible(progress) != FALSE});
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(current_->answer_, BN_CLICKED), 0);
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static HICON IconOf(HWND box) {
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (ClassOf(child) == "Static" && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
                return reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        }
        return nullptr;
    }
    static bool TextFits(HWND text) {
        RECT room{};
        GetClientRect(text, &room);
        RECT needed{0, 0, room.right, 0};
        HDC dc = GetDC(text);
        HGDIOBJ before = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(text, WM_GETFONT, 0, 0)));
        const std::string shown = TextOf(text);
        DrawTextA(dc, shown.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
        SelectObject(dc, before);
        ReleaseDC(text, dc);
        return needed.right <= room.right && needed.bottom <= room.bottom;
    }
    static inline BoxAnswerer* current_ = nullptr;
    int answer_;
    HHOOK hook_ = nullptr;
    std::set<HWND> seen_;
};

class WindowTest : public ::testing::Test {
protected:
    void Open(std::vector<std::string> arguments = {}, WindowHooks hooks = {}) {
        hooks.quitOnDestroy = false;
        window = std::make_unique<MainWindow>(host, std::move(arguments), std::move(hooks));
        window->Show(SW_SHOWNORMAL);
    }
    HWND Main() { return window->Handle(); }
    // Controls are found by their IDs, as any tool that drives the window would.
    HWND Ctl(ControlId id) { return GetDlgItem(Main(), ControlIdOf(id)); }
    int Scale(int pixels) { return MulDiv(pixels, static_cast<int>(window->Dpi()), 96); }
    RECT ClientRectOf(HWND control) {
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    int ClientHeight() {
        RECT r{};
        GetClientRect(Main(), &r);
        return r.bottom;
    }
    // Lets the window's queue run, as its message loop would, until `done` (bounded).
    bool PumpUntil(const std::function<bool()>& done) {
        const ULONGLONG deadline = GetTickCount64() + 20000;
        for (;;) {
            MSG msg{};
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) continue;
                if (window && window->PreTranslate(msg)) continue;
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (done()) return true;
            if (GetTickCount64() > deadline) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
    // A key pressed while `control` has the focus, through the message loop.
    // A key pressed with the given modifier keys held.
    void PressKey(WPARAM key, std::initializer_list<int> held = {}) {
        Hold(held, true);
        PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
        PumpUntil([] { return true; });
        Hold(held, false);
    }
    static void Hold(std::initializer_list<int> keysHeld, bool down) {
        BYTE keys[256] = {};
        GetKeyboardState(keys);
        for (int key : keysHeld) keys[key] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    void Type(const std::string& text) {
        for (char c : text) SendMessageA(GetFocus(), WM_CHAR, static_cast<unsigned char>(c), 1);
    }

    platform::NativePlatform host;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowTest, ControlsMatchTheLayoutTable) {
    Open();
    const char* const classes[] = {"Button", "Static", "ComboBox", "Edit", STATUSCLASSNAMEA};
    for (const ControlEntry& entry : Controls()) {
        SCOPED_TRACE(entry.name);
        HWND control = Ctl(entry.id);
        ASSERT_NE(control, nullptr);
        EXPECT_STRCASEEQ(ClassOf(control).c_str(), classes[static_cast<int>(entry.kind)]);
        EXPECT_EQ(IsWindowVisible(control) != FALSE, entry.visible);
        EXPECT_EQ((GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) != 0, entry.tab >= 0);

        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -Scale(entry.font.pixels));
        EXPECT_EQ(font.lfWeight, entry.font.bold ? FW_BOLD : FW_NORMAL);

        const RECT r = ClientRectOf(control);
        if (entry.kind == ControlKind::StatusBar) {
            RECT client{};
            GetClientRect(Main(), &client);
            EXPECT_EQ(r.left, 0);
            EXPECT_EQ(r.right, client.right);
            EXPECT_EQ(r.bottom, client.bottom);
            EXPECT_EQ(r.bottom - r.top, Scale(kStatusBarHeight));
            EXPECT_EQ(window->StatusText(), "");
            continue;
        }
        const Rect& g = entry.geometry;
        EXPECT_EQ(r.left, Scale(g.left));
        EXPECT_EQ(r.top, Scale(g.top));
        if (entry.kind == ControlKind::Label) {
            // At least the layout's box, and wide enough for its text.
            EXPECT_GE(r.right - r.left, Scale(g.width));
            EXPECT_GE(r.bottom - r.top, Scale(g.height));
        } else {
            EXPECT_EQ(r.right - r.left, Scale(g.width));
            EXPECT_EQ(r.bottom - r.top, Scale(g.height));
        }
        if (entry.kind == ControlKind::Button || entry.kind == ControlKind::Label) {
            EXPECT_EQ(TextOf(control), entry.caption);
        }
        if (entry.kind == ControlKind::ComboBox) {
            ASSERT_EQ(SendMessageA(control, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(entry.items.size()));
            for (std::size_t i = 0; i < entry.items.size(); ++i) {
                char item[64] = "";
                SendMessageA(control, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                EXPECT_STREQ(item, entry.items[i]);
            }
            EXPECT_EQ(TextOf(control), entry.items[static_cast<std::size_t>(entry.selected)]);
            EXPECT_EQ(window->Core().SelectedIndex(entry.id), entry.selected);
        }
    }
}

TEST_F(WindowTest, Label8LiesUnderButton1) {
    Open();
    HWND below = Ctl(ControlId::Button1);
    while (below != nullptr && below != Ctl(ControlId::Label8)) below = GetWindow(below, GW_HWNDNEXT);
    EXPECT_NE(below, nullptr);
}

TEST_F(WindowTest, StartsCentredAtItsStartSizeWithTheWindowTitle) {
    Open();
    RECT outer{};
    GetWindowRect(Main(), &outer);
    EXPECT_EQ(outer.right - outer.left, Scale(kStartOuterWidth));
    EXPECT_EQ(outer.bottom - outer.top, Scale(kStartOuterHeight));
    EXPECT_EQ(outer.left, (GetSystemMetrics(SM_CXVIRTUALSCREEN) - Scale(kStartOuterWidth)) / 2);
    EXPECT_EQ(outer.top, (GetSystemMetrics(SM_CYVIRTUALSCREEN) - Scale(kStartOuterHeight)) / 2);
    EXPECT_EQ(TextOf(Main()), kWindowTitle);
    EXPECT_EQ(window->Title(), kWindowTitle);
    const LONG style = GetWindowLongA(Main(), GWL_STYLE);
    EXPECT_TRUE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & (WS_HSCROLL | WS_VSCROLL));
    // Controls keep their places when the window is resized; the status bar follows the bottom.
    SetWindowPos(Main(), nullptr, 0, 0, Scale(600), Scale(400), SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(ClientRectOf(Ctl(ControlId::Button14)).top, Scale(EntryOf(ControlId::Button14).geometry.top));
    EXPECT_EQ(ClientRectOf(Ctl(ControlId::StatusBar1)).bottom, ClientHeight());
}

TEST_F(WindowTest, MovedToAScreenOfAnotherDpiTheLayoutScales) {
    Open();
    RECT suggested{100, 100, 100 + 600, 100 + 390};
    SendMessageA(Main(), WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ASSERT_EQ(window->Dpi(), 144u);
    for (ControlId id : {ControlId::Button1, ControlId::Button14, ControlId::ComboBox1}) {
        SCOPED_TRACE(EntryOf(id).name);
        const Rect& g = EntryOf(id).geometry;
        const RECT r = ClientRectOf(Ctl(id));
        EXPECT_EQ(r.left, MulDiv(g.left, 3, 2));
        EXPECT_EQ(r.top, MulDiv(g.top, 3, 2));
        EXPECT_EQ(r.right - r.left, MulDiv(g.width, 3, 2));
        EXPECT_EQ(r.bottom - r.top, MulDiv(g.height, 3, 2));
        LOGFONTA font{};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Ctl(id), WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_EQ(font.lfHeight, -MulDiv(EntryOf(id).font.pixels, 3, 2));
    }
    RECT outer{};
    GetWindowRect(Main(), &outer);
    EXPECT_EQ(outer.right - outer.left, 600);
    EXPECT_EQ(ClientRectOf(Ctl(ControlId::StatusBar1)).bottom, ClientHeight());
    EXPECT_EQ(ClientRectOf(Ctl(ControlId::StatusBar1)).bottom - ClientRectOf(Ctl(ControlId::StatusBar1)).top, 30);
}

TEST_F(WindowTest, TabMovesTheFocusInTabOrderAndEnterPressesTheFocusedButton) {
    BoxAnswerer boxes;
    Open();
    std::vector<ControlId> visible;
    for (ControlId id : TabOrder())
        if (EntryOf(id).visible) visible.push_back(id);
    ASSERT_EQ(window->Focused(), ControlId::Button1);
    for (std::size_t i = 1; i <= visible.size(); ++i) {
        PressKey(VK_TAB);
        EXPECT_EQ(window->Focused(), visible[i % visible.size()]) << "after " << i << " Tab";
    }
    PressKey(VK_TAB, {VK_SHIFT});
    EXPECT_EQ(window->Focused(), visible.back());
    ASSERT_EQ(window->Focused(), ControlId::Button14);
    // Enter with Shift or Ctrl presses nothing.
    PressKey(VK_RETURN, {VK_SHIFT});
    PressKey(VK_RETURN, {VK_CONTROL});
    EXPECT_TRUE(boxes.boxes.empty());
    // "Initialize the Printer" over USB, where there is no printer: its box, and no other.
    PressKey(VK_RETURN);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_TRUE(protocol::IsOpenFailureMessage(FirstLine(boxes.boxes[0].text))) << boxes.boxes[0].text;
    EXPECT_EQ(boxes.boxes[0].caption, kWindowTitle);
    EXPECT_TRUE(window->Core().TypedKeys().empty());
    // Enter in a list presses nothing.
    window->SetFocus(ControlId::ComboBox1);
    PressKey(VK_RETURN);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

struct SequenceCase {
    const char* typed;
    std::vector<ControlId> shown;
    std::vector<ControlId> hidden;
    bool taller;
};

TEST_F(WindowTest, KeySequencesTypedIntoDownloadFirmware) {
    const SequenceCase cases[] = {
        {"qxvmra", {ControlId::Button2}, {ControlId::Button9, ControlId::Button8}, true},
        {"prownelkast", {ControlId::Button8}, {ControlId::Button2, ControlId::Button9}, true},
        {"zulb", {ControlId::Button9}, {ControlId::Button2, ControlId::Button8}, true},
        // Tab, Enter and Escape never count; every other character does.
        {"q\txv\rm\x1bra", {ControlId::Button2}, {ControlId::Button9}, true},
        {"QXVMRA", {}, {ControlId::Button2, ControlId::Button8, ControlId::Button9}, false},
        {"xqxvmra", {}, {ControlId::Button2, ControlId::Button9}, false},
    };
    for (const SequenceCase& c : cases) {
        SCOPED_TRACE(c.typed);
        Open();
        const int startHeight = ClientHeight();
        ASSERT_EQ(window->Focused(), ControlId::Button1);
        Type(c.typed);
        for (ControlId id : c.shown) EXPECT_TRUE(IsWindowVisible(Ctl(id))) << EntryOf(id).name;
        for (ControlId id : c.hidden) EXPECT_FALSE(IsWindowVisible(Ctl(id))) << EntryOf(id).name;
        EXPECT_EQ(ClientHeight(), c.taller ? Scale(kServiceClientHeight) : startHeight);
        EXPECT_EQ(window->Core().TypedKeys().empty(), c.taller);
        EXPECT_EQ(window->Focused(), ControlId::Button1);
        window.reset();
    }
    // An Alt chord comes as WM_SYSCHAR and is not typed; AltGr (Ctrl with Alt) types.
    Open();
    for (char c : std::string("zulb")) SendMessageA(GetFocus(), WM_SYSCHAR, static_cast<unsigned char>(c), 1 << 29);
    Hold({VK_CONTROL, VK_MENU}, true);
    Type("@");
    Hold({VK_CONTROL, VK_MENU}, false);
    EXPECT_FALSE(IsWindowVisible(Ctl(ControlId::Button9)));
    EXPECT_EQ(window->Core().TypedKeys(), U"@");
}

TEST_F(WindowTest, TypedConnectionSelectsTheEntryItNamesIgnoringCase) {
    Open();
    const struct {
        const char* typed;
        int index;
        std::int32_t portCode;
    } cases[] = {{"com3 115200", 4, 3}, {"LPT1", 1, 0}, {"usb", 0, 300}, {"COM9 115200", -1, -1},
                 {"COM3", -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        SetWindowTextA(Ctl(ControlId::ComboBox1), c.typed);
        EXPECT_EQ(window->Core().SelectedIndex(ControlId::ComboBox1), c.index);
        EXPECT_EQ(window->Core().SelectedPortCode(), c.portCode);
        EXPECT_EQ(window->Text(ControlId::ComboBox1), c.typed);
    }
    window->SelectIndex(ControlId::ComboBox1, 2);
    EXPECT_EQ(window->Text(ControlId::ComboBox1), "COM1 115200");
    window->SelectIndex(ControlId::ComboBox1, -1);
    EXPECT_EQ(window->Text(ControlId::ComboBox1), "");
    EXPECT_EQ(window->Core().SelectedPortCode(), -1);
}

TEST_F(WindowTest, BoxesCarryTheTitleAndHandBackTheAnswer) {
    Open();
    {
        BoxAnswerer boxes(IDNO);
        window->ShowError("Broken");
        EXPECT_EQ(window->AskQuestion("Try again?", "Printer", MB_YESNO | MB_ICONEXCLAMATION), IDNO);
        ASSERT_EQ(boxes.boxes.size(), 2u);
        EXPECT_EQ(boxes.boxes[0].caption, kWindowTitle);
        EXPECT_EQ(boxes.boxes[0].text, "Broken");
        EXPECT_EQ(boxes.boxes[1].caption, "Printer");
        EXPECT_EQ(boxes.boxes[1].text, "Try again?");
    }
    BoxAnswerer boxes(IDOK);
    // The link's questions reach the same boxes through the host.
    EXPECT_EQ(host.MessageBoxA("Done", "Printer", MB_OK), 1);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Done");
}

TEST_F(WindowTest, AWarningHasTheWarningIconAndBothLinesInFull) {
    Open();
    BoxAnswerer boxes;
    const std::string text =
        "Open port failed\nCOM3: Access is denied. (Another program has the port open: close it, then try "
        "again.)";
    window->ShowWarning(text);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, kWindowTitle);
    EXPECT_EQ(boxes.boxes[0].text, text);
    EXPECT_EQ(boxes.boxes[0].icon, LoadIconA(nullptr, IDI_WARNING));
    EXPECT_TRUE(boxes.boxes[0].textFits);
}

// Under a dark theme the captions the layout calls black take the system's text colour, light
// now, on its button face; "Continue" stays red.
TEST_F(WindowTest, BlackCaptionsTakeTheSystemTextColourAndRedStaysRed) {
    Open();
    const INT elements[] = {COLOR_BTNTEXT, COLOR_BTNFACE};
    struct Restore {
        COLORREF saved[2] = {GetSysColor(COLOR_BTNTEXT), GetSysColor(COLOR_BTNFACE)};
        ~Restore() {
            const INT restored[] = {COLOR_BTNTEXT, COLOR_BTNFACE};
            SetSysColors(2, restored, saved);
        }
    } restore;
    const COLORREF dark[] = {RGB(230, 230, 230), RGB(53, 53, 53)};
    ASSERT_TRUE(SetSysColors(2, elements, dark));
    HDC dc = CreateCompatibleDC(nullptr);
    for (ControlId id : {ControlId::Button1, ControlId::Button14, ControlId::Button9, ControlId::Label1,
                         ControlId::Button5}) {
        SCOPED_TRACE(EntryOf(id).name);
        const UINT message = EntryOf(id).kind == ControlKind::Label ? WM_CTLCOLORSTATIC : WM_CTLCOLORBTN;
        SendMessageA(Main(), message, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(Ctl(id)));
        EXPECT_EQ(GetTextColor(dc), id == ControlId::Button5 ? RGB(255, 0, 0) : dark[0]);
        EXPECT_EQ(GetBkColor(dc), dark[1]);
    }
    DeleteDC(dc);
}

// Escape, with the focus anywhere in the window or on the progress dialog, asks whether to stop
// the transfer, with the dialog still up; Yes ends it part-way, No lets it run on.
TEST_F(WindowTest, EscapeAsksWhetherToStopTheTransfer) {
    const std::string image(512 * 40, 'x');
    std::ofstream("escape.bin", std::ios::binary) << image;
    const struct {
        const char* where;
        int answer;
    } cases[] = {{"Button1", IDYES}, {"ComboBox1", IDYES}, {"progress", IDNO}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const bool onProgress = std::string(c.where) == "progress";
        // No entry of the list: the link writes to the file "a", which must be there.
        std::ofstream("a", std::ios::binary | std::ios::trunc).close();
        BoxAnswerer boxes(c.answer);
        bool pressed = false;
        bool shownAfterAsking = false;
        WindowHooks hooks;
        hooks.openFile = [](const protocol::FileDialogSetup&) { return std::string("escape.bin"); };
        // Pressed between two chunks, as the transfer lets events through.
        hooks.processEvents = [&] {
            if (std::exchange(pressed, true)) return;
            if (!onProgress) {
                PostMessageA(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1);
                return;
            }
            SendMessageA(window->Progress()->Handle(), WM_KEYDOWN, VK_ESCAPE, 1);
            shownAfterAsking = window->Progress()->Visible();
        };
        Open({}, hooks);
        SetWindowTextA(Ctl(ControlId::ComboBox1), "nowhere");
        if (!onProgress) window->SetFocus(FindControl(c.where)->id);
        window->Core().Button1Click();
        std::size_t asked = 0;
        for (const BoxAnswerer::Box& box : boxes.boxes) {
            if (box.text != "Stop the transfer?") continue;
            ++asked;
            // Over the main window, and the progress dialog out of its way while it is up.
            EXPECT_EQ(box.owner, window->Handle());
            EXPECT_FALSE(box.progressVisible);
        }
        EXPECT_EQ(asked, 1u);
        if (onProgress) {
            EXPECT_TRUE(shownAfterAsking);  // and back once the answer was No
        }
        EXPECT_TRUE(window->Core().TypedKeys().empty());
        EXPECT_FALSE(window->Progress()->Visible());
        const auto sent = static_cast<std::size_t>(std::filesystem::file_size("a"));
        EXPECT_EQ(sent < image.size(), c.answer == IDYES) << sent;
        window.reset();
    }
}

// The edit control counts the place after a final break, and an empty memo, as a line of its
// own; neither goes out.
TEST_F(WindowTest, SendWritesTheMemosLinesEachWithItsLineBreak) {
    const struct {
        const char* text;
        const char* sent;
    } cases[] = {{"first\r\n\r\nthird\r\n", "first\r\n\r\nthird\r\n"}, {"last", "last\r\n"}, {"", ""}};
    Open();
    SetWindowTextA(Ctl(ControlId::ComboBox1), "nowhere");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // No entry of the list: the link writes to the file "a", which must be there.
        std::ofstream("a", std::ios::binary | std::ios::trunc).close();
        SetWindowTextA(Ctl(ControlId::Memo1), c.text);
        window->Core().SendButtonClick();
        std::ifstream in("a", std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.sent);
    }
}

TEST_F(WindowTest, CountdownHidesTheProgressDialogOnItsFifthTick) {
    Open();
    window->Core().Screen().StartCountdown();
    app::win32::TfrmProgress* progress = window->Progress();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->Visible());
    EXPECT_EQ(progress->Gauge().MaxValue(), kCountdownTicks);
    EXPECT_EQ(progress->Gauge().ForeColor(), protocol::kRed);
    for (int tick = 1; tick <= kCountdownTicks; ++tick) {
        SendMessageA(Main(), WM_TIMER, kTimer1Id, 0);
        EXPECT_EQ(progress->Gauge().Progress(), tick);
        EXPECT_EQ(progress->Visible(), tick < kCountdownTicks) << "tick " << tick;
    }
    // The timer was stopped with it: there is none left to kill.
    EXPECT_FALSE(KillTimer(Main(), kTimer1Id));
}

TEST_F(WindowTest, OneArgumentSendsAtOnceAndAFailedOpenLeavesTheWindowOpen) {
    std::ofstream("cmdline.bin", std::ios::binary) << std::string(100, 'x');
    BoxAnswerer boxes;
    Open({"cmdline.bin"});
    EXPECT_TRUE(window->Core().CommandLineMode());
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(FirstLine(boxes.boxes[0].text), protocol::kOpenPortFailed);
    EXPECT_EQ(boxes.boxes[0].icon, LoadIconA(nullptr, IDI_WARNING));
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, Main(), WM_CLOSE, WM_CLOSE, PM_NOREMOVE));
    PumpUntil([] { return true; });
    EXPECT_TRUE(IsWindow(Main()));
    // Closed by the operator it goes, and the progress dialog with it.
    HWND progress = window->Progress()->Handle();
    SendMessageA(Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window->Handle(), nullptr);
    EXPECT_FALSE(IsWindow(progress));
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Every button the operator can reach, each over COM3; tests/win/window.sh compares what
// arrived, in this order, with the Linux praxdl's streams.
TEST_F(WindowTest, Com3ButtonsSendTheirStreams) {
    const std::string image = Env("PRAX_TEST_IMAGE");
    const std::string font = Env("PRAX_TEST_FONT");
    ASSERT_FALSE(image.empty() || font.empty() || Env("PRAX_TEST_COM3").empty())
        << "run by tests/win/window.sh, which puts a pty behind COM3";
    BoxAnswerer boxes;
    int greyed = 0, closesRefused = 0;
    std::vector<std::string> chosen;
    WindowHooks hooks;
    hooks.openFile = [&](const protocol::FileDialogSetup& setup) {
        chosen.push_back(setup.filter);
        EXPECT_EQ(setup.initialDirectory, window->ProgramDirectory());
        return image;
    };
    hooks.processEvents = [&] {
        if (window->Core().Busy() &&
            (GetMenuState(GetSystemMenu(Main(), FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED)) {
            ++greyed;
            // Neither the close box's message nor Alt+F4's command closes it now.
            SendMessageA(Main(), WM_CLOSE, 0, 0);
            SendMessageA(Main(), WM_SYSCOMMAND, SC_CLOSE, 0);
            if (IsWindow(Main())) ++closesRefused;
        }
        // The font window: the fixture's font, then OK.
        app::win32::TForm2* form2 = window->Form2();
        if (form2->Visible() && !window->Core().Fonts().Chosen()) {
            int row = form2->RowCount() - 1;
            while (row >= 0 && form2->Cell(row, 0) != font) --row;
            if (row < 0) {
                ADD_FAILURE() << "the font window does not list " << font;
                SendMessageA(form2->Button2(), BM_CLICK, 0, 0);
                return;
            }
            ListView_SetItemState(form2->StringGrid1(), row, LVIS_SELECTED | LVIS_FOCUSED,
                                  LVIS_SELECTED | LVIS_FOCUSED);
            SendMessageA(form2->Button1(), BM_CLICK, 0, 0);
        }
    };
    Open({}, hooks);
    // Typed, in other letters than the list's.
    SetWindowTextA(Ctl(ControlId::ComboBox1), "com3 115200");
    const auto click = [&](ControlId id) {
        SCOPED_TRACE(EntryOf(id).name);
        ASSERT_TRUE(IsWindowVisible(Ctl(id)));
        SendMessageA(Ctl(id), BM_CLICK, 0, 0);
        EXPECT_FALSE(window->Core().Busy());
    };
    click(ControlId::Button1);
    EXPECT_GT(greyed, 0);
    EXPECT_EQ(closesRefused, greyed);
    EXPECT_EQ(GetMenuState(GetSystemMenu(Main(), FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_NE(window->StatusText().find(" Bytes  CRC="), std::string::npos) << window->StatusText();
    click(ControlId::Button14);
    click(ControlId::Button3);
    EXPECT_FALSE(window->Form2()->Visible());
    const auto reveal = [&](const char* sequence) {
        window->SetFocus(ControlId::Button1);
        Type(sequence);
    };
    reveal("qxvmra");
    click(ControlId::Button2);
    reveal("prownelkast");
    click(ControlId::Button8);
    reveal("zulb");
    click(ControlId::Button9);
    EXPECT_EQ(chosen.size(), 3u);
    // The raw file's "ok" before it goes; nothing else asked or failed.
    std::string said;
    for (const BoxAnswerer::Box& box : boxes.boxes) said += "\"" + box.text + "\" ";
    EXPECT_EQ(said, "\"ok\" ");
    EXPECT_TRUE(IsWindow(Main()));
}

}  // namespace
}  // namespace prax::app::win32
