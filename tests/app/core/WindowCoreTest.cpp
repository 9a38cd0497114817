// The window core on the fake platform, through a view that only records: the control table, the
// key sequences, the connection mapping, the busy guard, command-line mode, the countdown and
// closing. What each view does with these calls is tested with the view.
#include <cstdio>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "app/core/FormView.h"
#include "app/core/ControlTable.h"
#include "app/core/Unit1.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/Connections.h"
#include "protocol/Transfer.h"

namespace prax::app {
namespace {

class FakeView final : public FormView {
public:
    std::vector<std::string> log;
    std::map<ControlId, bool> visible, enabled;
    std::map<ControlId, std::string> captions;
    std::map<ControlId, int> selected;
    std::string comboText = "512";
    int clientHeight = kStartClientHeight;
    int closesPosted = 0;
    int timerInterval = 0;  // 0: stopped
    bool progressShown = false, progressAlive = true;
    std::string status;
    std::vector<std::string> messages, errors, questions, warnings;
    int answer = platform::IDYES_;
    std::function<void()> onEvents;
    std::vector<std::string> fileAnswers;  // popped from the back; none left: cancelled
    std::function<void()> onMessage;
    std::optional<ControlId> focus = ControlId::Button1;
    int fontListPolls = 0;
    int gaugeRepaints = 0;
    int fontDraws = 0;
    // The font window as the view shows it; `chosen` stands for OK on its first row.
    struct FontWindow {
        bool open = false, active = false, chosen = false;
    } fontState{};
    std::function<void(FakeView&)> onFontPoll;
    FontChooser* fonts = nullptr;  // the core's
    std::vector<std::string> memo = {"a", "b"};  // the lines the memo shows
    // Whether the progress dialog was on screen as each box came up; `onBox` runs inside it.
    std::vector<bool> progressUnderBox;
    std::function<void()> onBox;
    void Box() {
        progressUnderBox.push_back(progressShown);
        if (const auto hook = onBox) hook();
    }

    FakeView() {
        for (const ControlEntry& entry : Controls()) {
            visible[entry.id] = entry.visible;
            selected[entry.id] = entry.selected;
        }
    }

    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        Box();
        // A copy: the hook may replace itself.
        if (const auto hook = onMessage) hook();
    }
    std::string ChooseFile(const protocol::FileDialogSetup&) override {
        if (fileAnswers.empty()) return {};
        std::string path = fileAnswers.back();
        fileAnswers.pop_back();
        if (path == "!throw") throw std::runtime_error("disk on fire");
        return path;
    }
    void ShowProgress() override { progressShown = true; }
    void HideProgress() override { progressShown = false; }
    void RepaintGauge() override { ++gaugeRepaints; }
    void SetStatusText(const std::string& text) override { status = text; }
    void ProcessEvents() override {
        if (onEvents) onEvents();
    }
    void SetCloseEnabled(bool on) override { log.push_back(on ? "close on" : "close off"); }

    void SetVisible(ControlId id, bool on) override { visible[id] = on; }
    void SetEnabled(ControlId id, bool on) override { enabled[id] = on; }
    void SetCaption(ControlId id, const std::string& text) override { captions[id] = text; }
    // The package size as typed; a list's entry as picked, or a text that names none.
    std::string Text(ControlId id) override {
        if (id == ControlId::Combo_size) return comboText;
        const auto items = EntryOf(id).items;
        const int index = selected[id];
        return index >= 0 && index < static_cast<int>(items.size()) ? items[static_cast<std::size_t>(index)]
                                                                     : "no such entry";
    }
    void SelectIndex(ControlId id, int index) override { selected[id] = index; }
    std::optional<ControlId> Focused() override { return focus; }
    void SetFocus(ControlId id) override { focus = id; }
    protocol::LineSource MemoLines() override { return protocol::LineSource::Of(memo); }
    void SetTitle(const std::string& title) override { log.push_back("title " + title); }
    void SetClientHeight(int height) override { clientHeight = height; }
    void PostClose() override { ++closesPosted; }
    void StartTimer(int ms) override { timerInterval = ms; }
    void StopTimer() override { timerInterval = 0; }
    void DestroyProgress() override { progressAlive = false; }
    std::string ProgramDirectory() override { return "/opt/prax"; }
    bool OpenFontDialog() override {
        fontState = {true, false, false};
        return true;
    }
    FontDialogState PollFontDialog() override {
        ++fontListPolls;
        if (onFontPoll) onFontPoll(*this);
        if (fontState.chosen && fonts != nullptr) fonts->Choose(0);
        return {fontState.open, fontState.active};
    }
    void DrawFontRows() override { ++fontDraws; }
    void ShowError(const std::string& text) override {
        errors.push_back(text);
        Box();
    }
    void ShowWarning(const std::string& text) override {
        warnings.push_back(text);
        Box();
    }
    int AskQuestion(const std::string& text, const std::string&, std::uint32_t) override {
        questions.push_back(text);
        Box();
        return answer;
    }
};

// The link's questions go to whoever the front end installed, as on the real hosts.
struct AskingHost final : platform::fake::FakePlatform {
    int MessageBoxA(const std::string& text, const std::string& caption, std::uint32_t type) override {
        return AskHandler(text, caption, type);
    }
    // Neither fonts key opens.
    bool fontKeysGone = false;
    long RegOpenKeyExA(platform::HKey root, const std::string& sub, std::uint32_t access,
                       platform::HKey& out) override {
        if (fontKeysGone) return static_cast<long>(platform::ERROR_FILE_NOT_FOUND_);
        return FakePlatform::RegOpenKeyExA(root, sub, access, out);
    }
};

const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

struct CoreTest : ::testing::Test {
    AskingHost host;
    FakeView view;
    std::unique_ptr<TForm1> form;

    TForm1& Open(std::vector<std::string> arguments = {}) {
        form.reset();
        form = std::make_unique<TForm1>(host, view, std::move(arguments));
        view.fonts = &form->Fonts();
        form->FormCreate();
        return *form;
    }
    std::string WriteImage(std::size_t size) {
        // ctest runs each case in a process of its own, side by side: the name carries the process.
        const std::string path = ::testing::TempDir() + "core-image-" + std::to_string(::getpid()) + ".bin";
        std::ofstream(path, std::ios::binary) << std::string(size, 'x');
        return path;
    }
    std::vector<std::string> Opened() const {
        std::vector<std::string> names;
        for (const auto& call : host.calls)
            if (call.name == "CreateFileA") names.push_back(call.text);
        return names;
    }
};

TEST(LayoutTable, EveryControlIsWhereItsIdSaysAndTheTabOrderHasNoGaps) {
    ASSERT_EQ(Controls().size(), kControlCount);
    for (std::size_t i = 0; i < kControlCount; ++i) {
        const ControlEntry& entry = Controls()[i];
        EXPECT_EQ(Index(entry.id), i) << entry.name;
        EXPECT_EQ(FindControl(entry.name), &entry);
        EXPECT_EQ(TForm1::ClickHandler(entry.id) != nullptr, entry.kind == ControlKind::Button) << entry.name;
        if (entry.kind == ControlKind::ComboBox) {
            EXPECT_LT(entry.selected, static_cast<int>(entry.items.size())) << entry.name;
            EXPECT_GE(entry.selected, 0) << entry.name;
        }
    }
    std::vector<std::string> order;
    for (ControlId id : TabOrder()) order.push_back(EntryOf(id).name);
    const std::vector<std::string> expected = {
        "Button1",       "Button2",       "Button3",         "Button4",       "ComboBox1",
        "cbDownloadTTFont", "cbDownloadTable", "Button5",    "Button6",       "Button7",
        "Combo_delay01", "Combo_delay02", "Combo_size",      "Combo_delay03", "Button8",
        "Button9",       "Button10",      "Button11",        "Button12",      "Button13",
        "Memo1",         "SendButton",    "Button14",        "Button15",      "Btn_WakeUpFw",
        "Btn_DownloadBootLoader"};
    EXPECT_EQ(order, expected);
    // Label8 comes before Button1, so the button covers it.
    EXPECT_LT(Index(ControlId::Label8), Index(ControlId::Button1));
    EXPECT_EQ(FindItem(ControlId::ComboBox1, "com3 115200"), 4);
    EXPECT_EQ(FindItem(ControlId::ComboBox1, "COM3 11520"), -1);
    EXPECT_EQ(FindItem(ControlId::Combo_size, "512"), 7);
    EXPECT_EQ(FindControl("Nothing"), nullptr);
}

TEST_F(CoreTest, StartsWithItsTitleAndWaitsForTheOperator) {
    TForm1& f = Open();
    EXPECT_EQ(view.log, std::vector<std::string>{"title PRAX FW Download Tool V1.6"});
    EXPECT_FALSE(f.CommandLineMode());
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(CoreTest, KeySequences) {
    using V = std::vector<std::pair<ControlId, bool>>;
    const struct {
        const char* name;
        std::u32string keys;
        V shown;  // the service buttons' visibility afterwards
        int height;
        std::size_t left;  // characters left in the buffer
    } cases[] = {
        {"qxvmra", U"qxvmra", {{ControlId::Button2, true}, {ControlId::Button9, false}}, 240, 0},
        {"prownelkast", U"prownelkast", {{ControlId::Button8, true}}, 240, 0},
        {"zulb", U"zulb", {{ControlId::Button2, false}, {ControlId::Button9, true}}, 240, 0},
        {"swapped back", U"qxvmrazulbqxvmra", {{ControlId::Button2, true}, {ControlId::Button9, false}}, 240, 0},
        {"capitals", U"QXVMRA", {{ControlId::Button2, false}}, 200, 6},
        {"one before", U"xqxvmra", {{ControlId::Button2, false}}, 200, 7},
        {"20 kept", U"xqxvmraqxvmraqxvmraz", {{ControlId::Button2, false}}, 200, 20},
        {"21st empties", U"xqxvmraqxvmraqxvmrazz", {{ControlId::Button2, false}}, 200, 0},
        {"after the overflow", U"xqxvmraqxvmraqxvmrazzqxvmra", {{ControlId::Button2, true}}, 240, 0},
        // Keys that move around the window are not typed; control characters are.
        {"navigation keys", U"\tqx\rvm\x1bra\n", {{ControlId::Button2, true}}, 240, 0},
        {"control characters", U"\bqxvmra", {{ControlId::Button2, false}}, 200, 7},
    };
    for (const auto& c : cases) {
        view = FakeView{};
        TForm1& f = Open();
        for (char32_t key : c.keys) f.Button1KeyPress(key);
        for (const auto& [id, on] : c.shown) EXPECT_EQ(view.visible[id], on) << c.name << " " << EntryOf(id).name;
        EXPECT_EQ(view.clientHeight, c.height) << c.name;
        EXPECT_EQ(f.TypedKeys().size(), c.left) << c.name;
    }
}

// Alt chords are not typing (AltGr, Ctrl with Alt, is); Enter presses only on its own.
TEST_F(CoreTest, WhichKeysTypeAndWhichPressTheButton) {
    const struct {
        KeyModifiers held;
        bool types, presses;
    } cases[] = {
        {{}, true, true},
        {{true, false, false}, true, false},
        {{false, true, false}, true, false},
        {{false, false, true}, false, false},
        {{true, false, true}, false, false},
        {{false, true, true}, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.held.shift) + std::to_string(c.held.control) + std::to_string(c.held.alt));
        EXPECT_EQ(TypesCharacter(c.held), c.types);
        EXPECT_EQ(EnterPressesButton(c.held), c.presses);
        view = FakeView{};
        TForm1& f = Open();
        for (char32_t key : std::u32string(U"zulb")) f.Button1KeyPress(key, c.held);
        EXPECT_EQ(view.visible[ControlId::Button9], c.types);
    }
}

// The memo counts the place after a final break, and the whole of an empty memo, as a line:
// neither is sent.
TEST_F(CoreTest, SendWritesTheMemosLinesButNotItsFinalEmptyOne) {
    using Lines = std::vector<std::string>;
    const struct {
        Lines shown;
        std::string sent;
    } cases[] = {
        {{}, ""},
        {{""}, ""},
        {{"a", ""}, "a\r\n"},
        {{"a", "", "b"}, "a\r\n\r\nb\r\n"},
        {{"a", "", ""}, "a\r\n\r\n"},
        {{"last"}, "last\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.shown));
        view = FakeView{};
        host.delivered.clear();
        host.calls.clear();
        view.memo = c.shown;
        TForm1& f = Open();
        view.selected[ControlId::ComboBox1] = 2;
        f.SendButtonClick();
        EXPECT_EQ(host.DeliveredText(), c.sent);
        EXPECT_EQ(host.Count("CreateFileA"), 1u);
        EXPECT_TRUE(host.OpenHandles().empty());
    }
}

TEST_F(CoreTest, ConnectionEntriesMapToPortCodes) {
    TForm1& f = Open();
    const int codes[] = {300, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    for (int i = 0; i < 10; ++i) {
        view.selected[ControlId::ComboBox1] = i;
        EXPECT_EQ(f.SelectedPortCode(), codes[i]);
    }
    // A text that names no entry; and any other index as the link numbers it.
    view.selected[ControlId::ComboBox1] = -1;
    EXPECT_EQ(f.SelectedPortCode(), -1);
    for (int other : {-1, 10, 77}) EXPECT_EQ(protocol::PortCodeForConnection(other), other);
}

TEST_F(CoreTest, CommandLineMode) {
    const std::string image = WriteImage(100);
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        int index;                       // ComboBox1 afterwards
        std::vector<std::string> opened;  // what the download tried to open
    } cases[] = {
        {"one argument", {image}, 0, {}},
        {"two, case ignored", {image, "com7 115200"}, 8, {"\\\\.\\COM7"}},
        {"two, no entry", {image, "COM9 115200"}, -1, {"a"}},
        {"three", {image, "b", "c"}, 0, {}},
    };
    for (const auto& c : cases) {
        host.calls.clear();
        view = FakeView{};
        host.failAllOpens = true;
        TForm1& f = Open(c.arguments);
        EXPECT_EQ(f.CommandLineMode(), c.arguments.size() <= 2) << c.name;
        EXPECT_EQ(view.selected[ControlId::ComboBox1], c.index) << c.name;
        if (c.arguments.size() <= 2) {
            ASSERT_EQ(view.warnings.size(), 1u) << c.name;
            EXPECT_EQ(view.warnings[0].substr(0, view.warnings[0].find('\n')), "Open port failed") << c.name;
            if (!c.opened.empty()) {
                EXPECT_EQ(Opened(), c.opened) << c.name;
            }
        } else {
            EXPECT_TRUE(view.messages.empty()) << c.name;
        }
        // A failed download leaves the program running.
        EXPECT_EQ(view.closesPosted, 0) << c.name;
    }
}

TEST_F(CoreTest, CommandLineDownloadEndsTheProgramAndLaterPressesSendTheSameImage) {
    const std::string image = WriteImage(1000);
    view.selected[ControlId::ComboBox1] = 4;
    TForm1& f = Open({image});
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(view.closesPosted, 1);
    EXPECT_EQ(view.status.substr(0, 15), "1000 Bytes  CRC");
    EXPECT_EQ(view.log, (std::vector<std::string>{"title PRAX FW Download Tool V1.6", "close off",
                                                  "close on"}));
    const std::size_t sent = host.delivered.size();
    f.Button1Click();
    EXPECT_EQ(host.delivered.size(), 2 * sent);
    EXPECT_EQ(view.closesPosted, 2);
}

TEST_F(CoreTest, ASecondOperationCannotStartInsideTheFirst) {
    TForm1& f = Open();
    view.focus = ControlId::Button6;
    std::map<ControlId, bool> inside;
    bool busyInside = false;
    view.onMessage = [&] {
        busyInside = f.Busy();
        inside = view.enabled;
        view.onMessage = nullptr;
        // Clicks that slip through the event processing of a running operation.
        f.Button14Click();
        f.Click(ControlId::Button6);
    };
    f.Button6Click();
    EXPECT_EQ(view.messages, std::vector<std::string>{"1275"});
    EXPECT_TRUE(busyInside);
    EXPECT_TRUE(host.calls.empty());
    // Every button and the connection list were disabled, but the one with the focus.
    for (const ControlEntry& entry : Controls()) {
        const bool guarded = entry.kind == ControlKind::Button || entry.id == ControlId::ComboBox1;
        if (entry.id == ControlId::Button6 || !guarded) {
            EXPECT_EQ(inside.count(entry.id), 0u) << entry.name;
        } else {
            EXPECT_FALSE(inside[entry.id]) << entry.name;
            EXPECT_TRUE(view.enabled[entry.id]) << entry.name;
        }
    }
    EXPECT_FALSE(f.Busy());
    EXPECT_EQ(view.focus, ControlId::Button6);
}

TEST_F(CoreTest, AnExceptionIsShownAndTheGuardIsPutBack) {
    TForm1& f = Open();
    view.fileAnswers = {"!throw"};
    f.Button1Click();
    EXPECT_EQ(view.errors, std::vector<std::string>{"disk on fire"});
    EXPECT_FALSE(f.Busy());
    EXPECT_TRUE(view.enabled[ControlId::Button14]);
    f.Button6Click();
    EXPECT_EQ(view.messages.back(), "1275");
}

TEST_F(CoreTest, CountdownHidesOnTheFifthTickAndATransferTakesTheDialogOver) {
    TForm1& f = Open();
    protocol::Operator& screen = f.Screen();
    screen.SetProgressMax(1000);
    screen.SetProgressPosition(700);
    screen.StartCountdown();
    EXPECT_EQ(screen.ProgressPosition(), 0);
    EXPECT_EQ(view.timerInterval, 1000);
    EXPECT_TRUE(view.progressShown);
    for (int tick = 1; tick <= 4; ++tick) {
        f.Timer1Timer();
        EXPECT_EQ(screen.ProgressPosition(), tick);
        EXPECT_TRUE(view.progressShown);
        EXPECT_EQ(view.timerInterval, 1000);
    }
    f.Timer1Timer();
    EXPECT_FALSE(view.progressShown);
    EXPECT_EQ(view.timerInterval, 0);

    // At its maximum already: the first tick ends it.
    screen.StartCountdown();
    screen.SetProgressPosition(5);
    f.Timer1Timer();
    EXPECT_EQ(view.timerInterval, 0);
    // A transfer started meanwhile stops the countdown.
    screen.StartCountdown();
    screen.ShowProgress();
    EXPECT_EQ(view.timerInterval, 0);
}

// The view paints the core's gauge, and is asked to only when what it shows changed: a transfer
// of thousands of blocks costs about a hundred repaints.
TEST_F(CoreTest, TheGaugeIsRepaintedOnlyWhenThePercentageChanges) {
    TForm1& f = Open();
    protocol::Operator& screen = f.Screen();
    screen.SetProgressMax(10000);
    const int before = view.gaugeRepaints;
    for (int i = 1; i <= 99; ++i) screen.SetProgressPosition(i);  // still 0 %
    EXPECT_EQ(view.gaugeRepaints, before);
    screen.SetProgressPosition(100);  // 1 %
    EXPECT_EQ(view.gaugeRepaints, before + 1);
    for (int i = 101; i <= 10000; ++i) screen.SetProgressPosition(i);  // 2 % .. 100 %
    EXPECT_EQ(view.gaugeRepaints, before + 100);
    screen.SetProgressColor(protocol::kBlue);  // unchanged
    EXPECT_EQ(view.gaugeRepaints, before + 100);
    screen.SetProgressColor(protocol::kRed);
    EXPECT_EQ(view.gaugeRepaints, before + 101);
    EXPECT_EQ(f.Gauge().Progress(), 10000);
}

TEST_F(CoreTest, CloseIsRefusedWhileGreyedAndTakesTheDialogWithIt) {
    TForm1& f = Open();
    f.Screen().SetCloseEnabled(false);
    EXPECT_FALSE(f.FormCloseQuery());
    EXPECT_TRUE(view.progressAlive);
    EXPECT_FALSE(f.StopRequested());
    f.Screen().SetCloseEnabled(true);
    view.timerInterval = 1000;
    EXPECT_TRUE(f.FormCloseQuery());
    EXPECT_FALSE(view.progressAlive);
    EXPECT_EQ(view.timerInterval, 0);
    // Nothing the operations do on the dialog after that reaches a destroyed window.
    f.Screen().ShowProgress();
    f.Screen().SetProgressPosition(3);
    EXPECT_FALSE(view.progressShown);
    EXPECT_EQ(f.Screen().ProgressPosition(), 0);
    f.Timer1Timer();
    EXPECT_EQ(view.timerInterval, 0);
}

TEST_F(CoreTest, ClosingDuringAnOperationStopsItAndClosesOnceItUnwound) {
    TForm1& f = Open();
    bool closedAtOnce = true;
    int answer = 0;
    view.onMessage = [&] {
        view.onMessage = nullptr;
        closedAtOnce = f.FormCloseQuery();
        // The link's questions are answered No without a box, and nothing new starts.
        answer = host.MessageBoxA("Continue ?", "", platform::MB_YESNO_);
        f.Button14Click();
    };
    f.Button6Click();
    EXPECT_FALSE(closedAtOnce);
    EXPECT_EQ(answer, platform::IDNO_);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_TRUE(host.calls.empty());
    EXPECT_EQ(view.closesPosted, 1);
    EXPECT_TRUE(f.FormCloseQuery());
    // Until then the link's questions go to the view.
    view = FakeView{};
    TForm1& g = Open();
    EXPECT_EQ(host.MessageBoxA("Retry again?", "Time-out", platform::MB_YESNO_), platform::IDYES_);
    EXPECT_EQ(view.questions, std::vector<std::string>{"Retry again?"});
    (void)g;
}

TEST_F(CoreTest, FontListWait) {
    // A choice goes on to the download, which finds no such file in the fonts folder and says
    // so; no choice ends the operation quietly.
    host.SetRegString(kFontsKey, "Face (TrueType)", "FACE.TTF");
    const struct {
        const char* name;
        std::function<void(FakeView&)> poll;
        bool chosen;
    } cases[] = {
        {"OK", [](FakeView& v) { v.fontState = {true, true, v.fontListPolls > 3}; }, true},
        {"never active, then closed", [](FakeView& v) { v.fontState = {v.fontListPolls < 5, false, false}; }, false},
        {"turned away", [](FakeView& v) { v.fontState = {true, v.fontListPolls < 3, false}; }, false},
    };
    for (const auto& c : cases) {
        view = FakeView{};
        host.calls.clear();
        host.failAllOpens = true;
        TForm1& f = Open();
        view.onFontPoll = c.poll;
        f.Button3Click();
        EXPECT_EQ(view.messages.size(), c.chosen ? 1u : 0u) << c.name;
        EXPECT_GT(view.fontListPolls, 1) << c.name;
    }
    // The window closing while the list waits: no transfer starts.
    view = FakeView{};
    host.calls.clear();
    TForm1& f = Open();
    view.onFontPoll = [&](FakeView& v) {
        v.fontState = {true, true, v.fontListPolls > 2};
        if (v.fontListPolls == 2) f.RequestStop();
    };
    f.Button3Click();
    EXPECT_TRUE(view.messages.empty());
}

// Every listing empties the choice first; with neither fonts key, "Can't open font", and the
// window keeps what it showed.
TEST_F(CoreTest, FillingTheFontListEmptiesTheChoiceAndSaysSoWhenTheKeysAreGone) {
    host.SetRegString(kFontsKey, "Face (TrueType)", "FACE.TTF");
    TForm1& f = Open();
    f.FillFontList();
    EXPECT_EQ(view.fontDraws, 1);
    ASSERT_EQ(f.Fonts().RowCount(), 1);
    f.Fonts().Choose(0);
    ASSERT_TRUE(f.Fonts().Chosen());
    f.FillFontList();
    EXPECT_FALSE(f.Fonts().Chosen());
    EXPECT_EQ(view.fontDraws, 2);
    EXPECT_TRUE(view.messages.empty());

    f.Fonts().Choose(0);
    host.fontKeysGone = true;
    f.FillFontList();
    EXPECT_EQ(view.messages, std::vector<std::string>{"Can't open font"});
    EXPECT_FALSE(f.Fonts().Chosen());
    EXPECT_EQ(view.fontDraws, 2);
    EXPECT_EQ(f.Fonts().Cell(0, 0), "Face (TrueType)");
}

TEST_F(CoreTest, AFailedOpenIsAWarningWithTheHostsReasonBeneath) {
    using platform::HostReason;
    const struct {
        int entry;  // ComboBox1
        HostReason reason;
        const char* detail;
        const char* box;
    } cases[] = {
        {3, HostReason::Busy, "COM2: in use", "Open port failed\nCOM2: in use (another program holds the port)"},
        {3, HostReason::None, "", "Open port failed"},
        {0, HostReason::None, "", "Open port failed\nno USB printer of an accepted make is attached (see praxdl ports)"},
    };
    for (const auto& c : cases) {
        view = FakeView{};
        host.failAllOpens = true;
        host.openReason = c.reason;
        host.openDetail = c.detail;
        TForm1& f = Open();
        view.selected[ControlId::ComboBox1] = c.entry;
        view.fileAnswers = {WriteImage(10)};
        f.Button1Click();
        EXPECT_EQ(view.warnings, std::vector<std::string>{c.box});
        EXPECT_TRUE(view.messages.empty());
    }
}

// Escape while a transfer runs asks whether to stop it; Yes ends it as an interrupt does, says
// how far it got and that the printer waits for the rest, and the window goes on as before.
TEST_F(CoreTest, EscapeStopsARunningTransferOnlyWhenTheOperatorSaysYes) {
    const std::string image = WriteImage(3000);
    for (const int answer : {platform::IDYES_, platform::IDNO_}) {
        view = FakeView{};
        host.calls.clear();
        host.delivered.clear();
        host.failAllOpens = false;
        TForm1& f = Open();
        view.selected[ControlId::ComboBox1] = 2;
        f.EscapePressed();  // nothing runs: nothing is asked
        EXPECT_TRUE(view.questions.empty());
        view.answer = answer;
        view.fileAnswers = {image};
        int events = 0;
        view.onEvents = [&] {
            if (++events == 3) f.EscapePressed();
        };
        f.Button1Click();
        EXPECT_EQ(view.questions, std::vector<std::string>{"Stop the transfer?"});
        EXPECT_EQ(view.closesPosted, 0);
        if (answer == platform::IDNO_) {
            EXPECT_TRUE(view.warnings.empty());
            EXPECT_EQ(view.status.substr(0, 15), "3000 Bytes  CRC");
            continue;
        }
        EXPECT_EQ(host.Count("PurgeComm"), 1u);
        EXPECT_TRUE(host.OpenHandles().empty());
        // The header (58 bytes) went, then three chunks of 512: nothing after the third step.
        EXPECT_EQ(host.delivered.size(), 58u + 1536u);
        EXPECT_EQ(view.warnings, std::vector<std::string>{
                                     "Interrupted: 1536 of the image's 3000 bytes were delivered. The transfer "
                                     "was ended.\n" + protocol::PrinterMidImageText("image")});
        // The stop was for that transfer only: the next one goes through.
        view.fileAnswers = {image};
        view.onEvents = {};
        f.Button1Click();
        EXPECT_EQ(view.status.substr(0, 15), "3000 Bytes  CRC");
    }
}

// Some window systems keep the progress dialog above every other window: each box shown while it
// is up finds it out of the way, a box inside another's event loop too, and it comes back once
// the last box is gone, unless it was hidden meanwhile (the countdown ran out).
TEST_F(CoreTest, BoxesOverATransferFindTheProgressDialogOutOfTheWay) {
    const std::string image = WriteImage(3000);
    const struct {
        const char* name;
        std::function<void(TForm1&)> box;
        std::size_t boxes;
    } cases[] = {
        {"the stop question", [](TForm1& f) { f.EscapePressed(); }, 1},
        {"the link's question",
         [this](TForm1&) { host.MessageBoxA("No answer.", "Printer", platform::MB_YESNO_); }, 1},
        {"a box over a box", [](TForm1& f) { f.Screen().ShowMessage("outer"); }, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view = FakeView{};
        TForm1& f = Open();
        view.selected[ControlId::ComboBox1] = 2;
        view.answer = platform::IDNO_;
        view.fileAnswers = {image};
        view.onBox = [&] {
            view.onBox = {};
            if (c.boxes == 2) f.Screen().ShowMessage("inner");
        };
        int events = 0;
        bool shownAfter = false;
        view.onEvents = [&] {
            ++events;
            if (events == 3) c.box(f);
            if (events == 4) shownAfter = view.progressShown;
        };
        f.Button1Click();
        EXPECT_EQ(view.progressUnderBox, std::vector<bool>(c.boxes, false));
        EXPECT_TRUE(shownAfter);
        EXPECT_FALSE(view.progressShown);
        EXPECT_EQ(view.status.substr(0, 15), "3000 Bytes  CRC");
    }

    view = FakeView{};
    TForm1& f = Open();
    f.Screen().StartCountdown();
    view.onBox = [&] {
        for (int tick = 0; tick < 5; ++tick) f.Timer1Timer();
    };
    f.Screen().ShowMessage("while counting down");
    EXPECT_EQ(view.progressUnderBox, std::vector<bool>{false});
    EXPECT_FALSE(view.progressShown);
    EXPECT_EQ(view.timerInterval, 0);
}

}  // namespace
}  // namespace prax::app
