#include "app/core/ControlTable.h"

#include <array>

#include "protocol/Connections.h"

namespace prax::app {

namespace {

constexpr std::array<const char*, 26> kSlots = {
    "TA", "TB", "TC", "TD", "TE", "TF", "TG", "TH", "TI", "TJ", "TK", "TL", "TM",
    "TN", "TO", "TP", "TQ", "TR", "TS", "TT", "TU", "TV", "TW", "TX", "TY", "TZ"};
constexpr std::array<const char*, 6> kDelay01 = {"0", "10", "50", "100", "200", "500"};
constexpr std::array<const char*, 6> kDelay02 = {"0", "50", "100", "500", "1000", "2000"};
constexpr std::array<const char*, 7> kDelay03 = {"0", "2", "5", "10", "20", "50", "100"};
constexpr std::array<const char*, 9> kSizes = {"4",   "8",   "16",  "32",  "64",
                                               "128", "256", "512", "1024"};

std::array<const char*, protocol::kConnectionNames.size()> ConnectionItems() {
    std::array<const char*, protocol::kConnectionNames.size()> items{};
    for (std::size_t i = 0; i < items.size(); ++i) items[i] = protocol::kConnectionNames[i].data();
    return items;
}
const auto kConnections = ConnectionItems();

using K = ControlKind;
using C = ControlId;
constexpr FontStyle Plain(int pixels) { return {pixels, false, TextColour::Window}; }
constexpr FontStyle Bold(int pixels, TextColour colour = TextColour::Window) {
    return {pixels, true, colour};
}
constexpr TextColour kBlack = TextColour::Black;

ControlEntry ButtonEntry(C id, const char* name, const char* caption, Rect r, FontStyle font, int tab,
                         bool visible) {
    return {id, K::Button, name, caption, {}, -1, r, font, tab, visible};
}
ControlEntry LabelEntry(C id, const char* name, const char* caption, Rect r, bool visible) {
    return {id, K::Label, name, caption, {}, -1, r, Plain(15), -1, visible};
}
ControlEntry ListEntry(C id, const char* name, std::span<const char* const> items, int selected,
                     Rect r, int tab, bool visible) {
    return {id, K::ComboBox, name, "", items, selected, r, Plain(10), tab, visible};
}

const std::array<ControlEntry, kControlCount> kControls = {{
    LabelEntry(C::Label8, "Label8", "Input Command", {8, 15, 93, 16}, true),
    // The operator panel.
    ButtonEntry(C::Button1, "Button1", "Download Firmware", {0, 11, 177, 33}, Bold(15, kBlack), 0,
               true),
    ButtonEntry(C::Button3, "Button3", "Download True Type Font", {0, 54, 177, 33}, Bold(11), 2,
               true),
    ButtonEntry(C::Button14, "Button14", "Initialize the Printer", {0, 96, 177, 33},
               Bold(11, kBlack), 23, true),
    LabelEntry(C::Label1, "Label1", "Connection Port", {182, 7, 94, 16}, true),
    ListEntry(C::ComboBox1, "ComboBox1", kConnections, 0, {181, 24, 119, 21}, 4, true),
    LabelEntry(C::Label2, "Label2", "Font  Number", {182, 51, 80, 16}, true),
    ListEntry(C::cbDownloadTTFont, "cbDownloadTTFont", kSlots, 0, {182, 67, 118, 21}, 5, true),
    // Service buttons, hidden; the key sequences typed into Button1 reveal a few of them.
    ButtonEntry(C::Button2, "Button2", "Download DL Firmware", {0, 135, 176, 32}, Bold(15), 1,
               false),
    ButtonEntry(C::Button4, "Button4", "Download Font Code Table", {0, 211, 176, 33}, Bold(11), 3,
               false),
    ButtonEntry(C::Button5, "Button5", "Continue", {0, 182, 98, 14}, Bold(11, TextColour::Red), 8,
               false),
    ButtonEntry(C::Button6, "Button6", "Button6", {0, 202, 59, 13}, Plain(10), 9, false),
    ButtonEntry(C::Button7, "Button7", "Button7", {65, 202, 59, 13}, Plain(10), 10, false),
    ButtonEntry(C::Button8, "Button8", "Change Mode", {182, 143, 118, 33}, Bold(15), 15, false),
    ButtonEntry(C::Button9, "Button9", "Download Binary File", {0, 170, 176, 33}, Bold(15, kBlack),
               16, false),
    ButtonEntry(C::Button10, "Button10", "Channel00", {0, 245, 66, 27}, Plain(10), 17, false),
    ButtonEntry(C::Button11, "Button11", "Channel25", {72, 245, 65, 27}, Plain(10), 18, false),
    ButtonEntry(C::Button12, "Button12", "Channel49", {143, 245, 66, 27}, Plain(10), 19, false),
    ButtonEntry(C::Button13, "Button13", "continue read", {221, 117, 72, 27}, Plain(10), 20, false),
    ButtonEntry(C::SendButton, "SendButton", "SEND", {182, 111, 118, 33}, Plain(10), 22, false),
    ButtonEntry(C::Button15, "Button15", "Initializing the Cutter", {408, 210, 177, 33},
               Bold(11, kBlack), 24, false),
    ButtonEntry(C::Btn_WakeUpFw, "Btn_WakeUpFw", "Wake Up Firmware", {456, 47, 176, 32}, Bold(15),
               25, false),
    ButtonEntry(C::Btn_DownloadBootLoader, "Btn_DownloadBootLoader", "Download DL Firmware",
               {456, 7, 176, 32}, Bold(15), 26, false),
    // Service settings, hidden.
    LabelEntry(C::Label3, "Label3", "Table Number", {182, 96, 87, 16}, false),
    ListEntry(C::cbDownloadTable, "cbDownloadTable", kSlots, 0, {182, 112, 118, 21}, 6, false),
    LabelEntry(C::Label4, "Label4", "command delay", {319, 6, 97, 16}, false),
    ListEntry(C::Combo_delay01, "Combo_delay01", kDelay01, 0, {319, 23, 72, 21}, 11, false),
    LabelEntry(C::Label5, "Label5", "wait delay", {319, 51, 60, 16}, false),
    ListEntry(C::Combo_delay02, "Combo_delay02", kDelay02, 0, {319, 67, 72, 21}, 12, false),
    LabelEntry(C::Label7, "Label7", "package delay", {319, 97, 91, 16}, false),
    ListEntry(C::Combo_delay03, "Combo_delay03", kDelay03, 0, {319, 112, 72, 21}, 14, false),
    LabelEntry(C::Label6, "Label6", "package size", {319, 142, 81, 16}, false),
    ListEntry(C::Combo_size, "Combo_size", kSizes, 7, {319, 158, 72, 21}, 13, false),
    {C::Memo1, K::Memo, "Memo1", "", {}, -1, {247, 176, 169, 120}, Plain(10), 21, false},
    {C::StatusBar1, K::StatusBar, "StatusBar1", "", {}, -1, {0, 0, 0, kStatusBarHeight},
     Plain(10), -1, true},
}};

constexpr std::array<const char*, 6> kFaces = {
    // Liberation Sans has Arial's metrics and fits every caption at these sizes. Without it,
    // DejaVu Sans Condensed comes nearest (only "Download DL Firmware" runs two pixels over);
    // plain DejaVu Sans, the usual default, is too wide for the 15-pixel bold captions. Tahoma
    // is left out: it too runs over on "Download DL Firmware".
    "MS Sans Serif", "Microsoft Sans Serif", "Arial", "Liberation Sans", "DejaVu Sans Condensed",
    "DejaVu Sans"};

}  // namespace

std::span<const ControlEntry> Controls() { return kControls; }

std::vector<ControlId> TabOrder() {
    std::vector<ControlId> order;
    for (int tab = 0; tab < static_cast<int>(kControlCount); ++tab)
        for (const ControlEntry& entry : kControls)
            if (entry.tab == tab) order.push_back(entry.id);
    return order;
}

const ControlEntry* FindControl(std::string_view name) {
    for (const ControlEntry& entry : kControls)
        if (name == entry.name) return &entry;
    return nullptr;
}

int FindItem(ControlId id, std::string_view text) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
    const std::span<const char* const> items = EntryOf(id).items;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string_view item = items[i];
        if (item.size() != text.size()) continue;
        std::size_t k = 0;
        while (k < item.size() && lower(static_cast<unsigned char>(item[k])) ==
                                      lower(static_cast<unsigned char>(text[k])))
            ++k;
        if (k == item.size()) return static_cast<int>(i);
    }
    return -1;
}

std::span<const char* const> LayoutFaces() { return kFaces; }

}  // namespace prax::app
