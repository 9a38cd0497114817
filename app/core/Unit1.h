// The main window's behaviour, with no toolkit: the start-up, the connection choice, the hidden
// key sequences, the countdown, closing, the busy guard, and one handler per button, each a call
// into protocol/. Its controls are in the control table (ControlTable.h); it reaches them, and the
// screen side of the operations, through its view (FormView.h).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/FormView.h"
#include "app/core/ControlTable.h"
#include "app/core/FontChooser.h"
#include "protocol/GaugeModel.h"
#include "platform/Platform.h"
#include "protocol/Context.h"

namespace prax::app {

// Keys that move around a dialog rather than type: they never count towards a key sequence.
bool IsNavigationKey(char32_t key);

// The modifier keys held down with a key, as the view saw them.
struct KeyModifiers {
    bool shift = false;
    bool control = false;
    bool alt = false;
};
// Whether a character that came with these modifiers was typed. Alt without Ctrl is a chord (a
// menu's access key), not typing; Ctrl with Alt is how Windows reports AltGr, which types.
bool TypesCharacter(KeyModifiers modifiers);
// Enter presses the button with the focus only on its own: with Shift, Ctrl or Alt it presses
// nothing, as on the standard dialogs.
bool EnterPressesButton(KeyModifiers modifiers);

// SEND's lines from the lines the memo shows: the last shown line, when it is empty, is only
// the place after a final line break (or the whole of an empty memo) and is not sent. The
// count is asked again before every line, as the memo's own is.
protocol::LineSource SentMemoLines(protocol::LineSource shown);

class TForm1 {
public:
    // `arguments` are the program's arguments without the program name: one (an image path) or
    // two (an image path and a connection) start the firmware download in FormCreate.
    TForm1(platform::Platform& host, FormView& view, std::vector<std::string> arguments);
    ~TForm1();
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // Called by the view once its controls and dialogs exist, before the window is first shown.
    void FormCreate();
    // The window is asked to close (close box, Alt+F4, a posted close): true when it may, in
    // which case FormClose has run. While a transfer greys the Close command it may not; while
    // any other operation runs, that operation is asked to stop and the window closes once it
    // has unwound.
    bool FormCloseQuery();

    // The connection chosen in ComboBox1, as the printer link numbers it.
    std::int32_t SelectedPortCode();
    // The entry of list `id` that its text names, letter case ignored, whether picked from the
    // list or typed; -1 when the text names none.
    int SelectedIndex(ControlId id);
    // The click handler of `id`, if it has one.
    using Handler = void (TForm1::*)();
    static Handler ClickHandler(ControlId id);
    void Click(ControlId id);

    void Button1Click();
    void Timer1Timer();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    // A character typed into Button1, with the modifiers held when it was typed.
    void Button1KeyPress(char32_t key, KeyModifiers modifiers = {});
    // Escape, in the main window or the progress dialog: while an operation runs, the operator
    // is asked whether to stop it; Yes ends it as an interrupt does.
    void EscapePressed();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void Button10Click();
    void Button11Click();
    void Button12Click();
    void Button13Click();
    void SendButtonClick();
    void Button14Click();
    void Button15Click();
    void Btn_WakeUpFwClick();
    void Btn_DownloadBootLoaderClick();

    // What the views and the tests look at.
    const std::u32string& TypedKeys() const { return typedKeys_; }
    bool Busy() const { return busy_; }
    bool CommandLineMode() const { return commandLineMode_; }
    bool CloseEnabled() const { return closeEnabled_; }
    bool StopRequested() const { return stopRequested_; }
    // The window wants to close: the running operation ends, the link's questions are answered
    // No, and nothing new starts.
    void RequestStop() { stopRequested_ = true; }
    bool Enabled(ControlId id) const { return enabled_[Index(id)]; }
    // What the operations talk to: the view, with the core's rules in front of it.
    protocol::Operator& Screen();
    // The progress gauge: the only model of it, which the view's gauge paints.
    const protocol::GaugeModel& Gauge() const { return gauge_; }
    // The font selection's rows and choice, which the view's font window draws and fills in.
    FontChooser& Fonts() { return fonts_; }
    // Empties the choice and lists the installed fonts in the font window; "Can't open font"
    // when neither fonts key opens, the rows left as they were. What the registry read throws
    // (a value that is not text) goes through.
    void FillFontList();

private:
    class BusyScope;
    class BoxScope;
    class CoreScreen;

    // Every box and dialog the window shows over a transfer goes through here: the progress
    // dialog stays above every other window on some window systems (a popup without a caption
    // under an X window manager), so it steps aside while the box is up and comes back after,
    // unless the transfer or the countdown hid it meanwhile.
    template <class ShowBox>
    auto OverProgress(ShowBox&& showBox);
    void SetProgressShown(bool shown);

    void ShowServiceRow();
    void SetEnabled(ControlId id, bool enabled);
    void ChannelClick(ControlId button, protocol::Channel channel);
    protocol::Context MakeContext();
    // Runs one operation: refused while another one runs, the operation buttons disabled until
    // it ends, and any exception it lets out shown in the error box. An operation the operator
    // stopped tells how far it got.
    void RunOperation(const std::function<protocol::Result()>& body);
    // Whether the running operation is to end: the window closes, or the operator stopped it.
    bool OperationEnds() const { return stopRequested_ || stopOperation_; }

    platform::Platform& host_;
    FormView& view_;
    std::vector<std::string> arguments_;
    bool commandLineMode_ = false;
    std::u32string typedKeys_;
    std::string statusText_;
    std::string button13Caption_;
    bool busy_ = false;
    bool closeEnabled_ = true;
    bool stopRequested_ = false;
    bool stopOperation_ = false;
    bool askingStop_ = false;
    bool progressAlive_ = false;
    bool progressShown_ = false;  // what the transfer or the countdown asked for
    int boxesUp_ = 0;             // boxes standing, one inside another's event loop included
    std::array<bool, kControlCount> enabled_{};
    // The progress gauge the view paints: every change goes through the core, which asks the
    // view for a repaint when what it shows changed.
    protocol::GaugeModel gauge_;
    FontChooser fonts_;
    std::unique_ptr<CoreScreen> screen_;
};

}  // namespace prax::app
