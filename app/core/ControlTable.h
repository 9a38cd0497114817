// The main window's controls as one table of plain data, with no toolkit: every control with its
// name, kind, caption or items, default entry, position and size, font, tab order and visibility
// at start, plus the window's own sizes. The Qt view and the Win32 view both build their controls
// from here, so no caption, size or position is written twice; which handler a click runs is the
// core's business (TForm1::Click).
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

namespace prax::app {

// Every control of the main window, in the order the views create them: Label8 comes before
// Button1, so that the button lies over it and hides it.
enum class ControlId {
    Label8,
    Button1,
    Button3,
    Button14,
    Label1,
    ComboBox1,
    Label2,
    cbDownloadTTFont,
    Button2,
    Button4,
    Button5,
    Button6,
    Button7,
    Button8,
    Button9,
    Button10,
    Button11,
    Button12,
    Button13,
    SendButton,
    Button15,
    Btn_WakeUpFw,
    Btn_DownloadBootLoader,
    Label3,
    cbDownloadTable,
    Label4,
    Combo_delay01,
    Label5,
    Combo_delay02,
    Label7,
    Combo_delay03,
    Label6,
    Combo_size,
    Memo1,
    StatusBar1,
};
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(ControlId::StatusBar1) + 1;
inline constexpr std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }

enum class ControlKind {
    Button,     // push button
    Label,      // text; sizes itself to its text, the given box being the least it takes
    ComboBox,   // editable drop-down list
    Memo,       // multi-line text with a vertical scroll bar
    StatusBar,  // one simple text across the bottom edge
};

// "Black" is the colour the layout names; "window" leaves the window's own text colour.
enum class TextColour { Window, Black, Red };

struct Rect {
    int left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct FontStyle {
    int pixels = 10;  // character height in pixels at 96 DPI
    bool bold = false;
    TextColour colour = TextColour::Window;
};

struct ControlEntry {
    ControlId id = ControlId::Label8;
    ControlKind kind = ControlKind::Label;
    const char* name = "";
    const char* caption = "";                // buttons and labels
    std::span<const char* const> items = {}; // lists
    int selected = -1;                       // the list entry selected at start
    Rect geometry = {};                      // client coordinates; the status bar's is unused
    FontStyle font = {};
    int tab = -1;                            // place in the tab order; -1: takes no focus
    bool visible = false;                    // at start
};

// All controls, in creation order; EntryOf(id) is entry Index(id).
std::span<const ControlEntry> Controls();
inline const ControlEntry& EntryOf(ControlId id) { return Controls()[Index(id)]; }
// The controls that take the focus, in the order the Tab key visits them.
std::vector<ControlId> TabOrder();
// The control by its name ("Button1"), or nullptr.
const ControlEntry* FindControl(std::string_view name);
// The list's exact-text search, as typed text and the command line use it: the entry of `id`
// whose text is `text` with letter case ignored, -1 when there is none.
int FindItem(ControlId id, std::string_view text);

// The window itself.
inline constexpr const char* kLayoutCaption = "KAVL Download Tool  1.7.0.0g";
inline constexpr const char* kStartTitle = "PRAX Download Tool  1.3";
inline constexpr const char* kWindowTitle = "PRAX FW Download Tool V1.6";
inline constexpr int kLayoutClientWidth = 772;
inline constexpr int kLayoutClientHeight = 288;
inline constexpr int kStartClientHeight = 200;
inline constexpr int kStartOuterWidth = 400;
inline constexpr int kStartOuterHeight = 260;
inline constexpr int kServiceClientHeight = 240;  // once a key sequence revealed a button
inline constexpr int kStatusBarHeight = 20;
inline constexpr int kWindowFontPixels = 10;
inline constexpr int kTimer1Interval = 2000;      // as laid out; never used as it stands
inline constexpr int kCountdownInterval = 1000;
inline constexpr int kCountdownTicks = 5;

// The faces asked for, in order. The layout was drawn with "MS Sans Serif", which is seldom
// installed outside Windows; the faces after it are as wide or narrower, so every caption still
// fits its button where one of them stands in.
std::span<const char* const> LayoutFaces();


}  // namespace prax::app
