#include "app/core/Unit1.h"

#include <exception>
#include <optional>
#include <utility>

#include "link/OpenHint.h"
#include "protocol/Commands.h"
#include "protocol/Connections.h"
#include "protocol/Firmware.h"
#include "protocol/FontList.h"
#include "protocol/Fonts.h"
#include "protocol/RawFile.h"
#include "protocol/StreamPieces.h"

namespace prax::app {

namespace {
constexpr const char* kStopQuestion = "Stop the transfer?";
}  // namespace

bool IsNavigationKey(char32_t key) {
    return key == U'\t' || key == U'\r' || key == U'\n' || key == 0x1B;
}

bool TypesCharacter(KeyModifiers modifiers) { return !modifiers.alt || modifiers.control; }

bool EnterPressesButton(KeyModifiers modifiers) {
    return !modifiers.shift && !modifiers.control && !modifiers.alt;
}

protocol::LineSource SentMemoLines(protocol::LineSource shown) {
    auto count = [shown] {
        const int lines = shown.count();
        return lines > 0 && shown.line(lines - 1).empty() ? lines - 1 : lines;
    };
    return protocol::LineSource{count, shown.line};
}

// Puts the progress dialog back once the last box over it is gone.
class TForm1::BoxScope {
public:
    explicit BoxScope(TForm1& form) : form_(form) {
        if (form_.boxesUp_++ == 0 && form_.progressShown_ && form_.progressAlive_) form_.view_.HideProgress();
    }
    ~BoxScope() {
        if (--form_.boxesUp_ == 0 && form_.progressShown_ && form_.progressAlive_) form_.view_.ShowProgress();
    }
    BoxScope(const BoxScope&) = delete;
    BoxScope& operator=(const BoxScope&) = delete;

private:
    TForm1& form_;
};

template <class ShowBox>
auto TForm1::OverProgress(ShowBox&& showBox) {
    BoxScope scope(*this);
    return showBox();
}

void TForm1::SetProgressShown(bool shown) {
    progressShown_ = shown;
    if (!progressAlive_ || boxesUp_ > 0) return;
    if (shown) view_.ShowProgress();
    else view_.HideProgress();
}

// The operations' screen: the view, with the window's rules in front of it. The gauge's model is
// the core's, and the view repaints it only when what it shows changed; nothing reaches a
// progress dialog the window has already destroyed; a transfer takes the dialog over from a
// running countdown.
class TForm1::CoreScreen final : public protocol::Operator {
public:
    explicit CoreScreen(TForm1& form) : form_(form), view_(form.view_) {}

    // A connection that would not open is a warning, with the host's reason beneath: the
    // operator has a group to join or a program to close.
    void ShowMessage(const std::string& text) override {
        if (!protocol::IsOpenFailureMessage(text)) return form_.OverProgress([&] { view_.ShowMessage(text); });
        const std::string why = link::OpenFailureHint(form_.host_, form_.SelectedPortCode(), nullptr, false);
        form_.OverProgress([&] { view_.ShowWarning(why.empty() ? text : text + "\n" + why); });
    }
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override {
        return form_.OverProgress([&] { return view_.ChooseFile(setup); });
    }
    // Shows the font selection window, lists the fonts, and waits for OK. Cancel, the close
    // box, turning to another window and closing the main window end the wait with no choice.
    protocol::FontChoice ChooseFont() override {
        if (form_.OperationEnds()) return {};
        return form_.OverProgress([&] { return WaitForFont(); });
    }
    void ShowProgress() override {
        // The countdown's ticks would otherwise step the new transfer's gauge, and hide the
        // dialog under it.
        view_.StopTimer();
        form_.SetProgressShown(true);
    }
    void HideProgress() override { form_.SetProgressShown(false); }
    void SetProgressColor(protocol::Rgb colour) override {
        if (form_.progressAlive_ && form_.gauge_.SetForeColor(colour)) view_.RepaintGauge();
    }
    void SetProgressMax(std::int32_t max) override {
        if (form_.progressAlive_ && form_.gauge_.SetMaxValue(max)) view_.RepaintGauge();
    }
    void SetProgressPosition(std::int32_t position) override {
        if (form_.progressAlive_ && form_.gauge_.SetProgress(position)) view_.RepaintGauge();
    }
    std::int32_t ProgressPosition() override {
        return form_.progressAlive_ ? form_.gauge_.Progress() : 0;
    }
    void SetStatusText(const std::string& text) override { view_.SetStatusText(text); }
    void ProcessEvents() override { view_.ProcessEvents(); }
    void SetCloseEnabled(bool enabled) override {
        form_.closeEnabled_ = enabled;
        view_.SetCloseEnabled(enabled);
    }
    void StartCountdown() override {
        if (!form_.progressAlive_) return;
        SetProgressPosition(0);
        SetProgressMax(kCountdownTicks);
        SetProgressColor(protocol::kRed);
        form_.SetProgressShown(true);
        view_.StartTimer(kCountdownInterval);
    }
    bool StopRequested() override { return form_.OperationEnds(); }

private:
    protocol::FontChoice WaitForFont() {
        if (!view_.OpenFontDialog()) return {};
        form_.FillFontList();
        // The window system makes the window active a moment after it is shown; once it has
        // been active, turning to any other window ends the wait. Should the window system
        // never make it active, OK, Cancel and the close box still end it.
        bool wasActive = false;
        for (;;) {
            const FormView::FontDialogState state = view_.PollFontDialog();
            if (!state.open || form_.fonts_.Chosen() || form_.OperationEnds()) break;
            wasActive = wasActive || state.active;
            if (wasActive && !state.active) break;
            view_.ProcessEvents();
            form_.host_.Sleep(1);
        }
        // The choice is taken once: a later OK, with no download waiting, hands over nothing.
        protocol::FontChoice choice = form_.fonts_.Take();
        // The main window is closing, or the operator stopped the operation: no transfer starts.
        if (form_.OperationEnds()) return {};
        return choice;
    }

    TForm1& form_;
    FormView& view_;
};

// Keeps a second operation from starting inside a running one, for as long as the first runs: a
// click that the event processing between chunks lets through is turned away by the busy flag,
// and the operation buttons are disabled, except the one with the keyboard focus. Disabling that
// one would pass the focus on along the tab order, into the connection list, and what the
// operator types during a transfer would then change the connection. The connection list itself
// is disabled: an operation may read it again while it runs. Everything is put back on every way
// out.
class TForm1::BusyScope {
public:
    explicit BusyScope(TForm1& form) : form_(form), focus_(form.view_.Focused()) {
        form_.busy_ = true;
        for (const ControlEntry& entry : Controls()) {
            const bool guarded =
                entry.kind == ControlKind::Button || entry.id == ControlId::ComboBox1;
            if (!guarded || entry.id == focus_ || !form_.Enabled(entry.id)) continue;
            form_.SetEnabled(entry.id, false);
            disabled_.push_back(entry.id);
        }
    }
    ~BusyScope() {
        for (ControlId id : disabled_) form_.SetEnabled(id, true);
        // Should the focus have moved all the same, give it back, so the keys typed into
        // "Download Firmware" keep reaching it.
        if (focus_ && form_.Enabled(*focus_)) form_.view_.SetFocus(*focus_);
        form_.busy_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    TForm1& form_;
    std::optional<ControlId> focus_;
    std::vector<ControlId> disabled_;
};

TForm1::TForm1(platform::Platform& host, FormView& view, std::vector<std::string> arguments)
    : host_(host),
      view_(view),
      arguments_(std::move(arguments)),
      button13Caption_(EntryOf(ControlId::Button13).caption),
      screen_(std::make_unique<CoreScreen>(*this)) {
    commandLineMode_ = arguments_.size() == 1 || arguments_.size() == 2;
    enabled_.fill(true);
    host_.SetMessageBoxHandler(
        [this](const std::string& text, const std::string& caption, std::uint32_t type) {
            // The window is closing, or the operator stopped the operation: the link's question
            // is answered No, so the write gives up, and no box is left standing.
            if (OperationEnds()) return (type & platform::MB_YESNO_) != 0 ? platform::IDNO_ : 1;
            return OverProgress([&] { return view_.AskQuestion(text, caption, type); });
        });
}

TForm1::~TForm1() {
    // The host outlives the window; it must not call back into a window that is gone.
    host_.SetMessageBoxHandler(nullptr);
}

protocol::Operator& TForm1::Screen() { return *screen_; }

void TForm1::FormCreate() {
    view_.SetTitle(kWindowTitle);
    progressAlive_ = true;
    // The command-line download runs here, before the window is first shown.
    if (arguments_.size() == 2) {
        view_.SelectIndex(ControlId::ComboBox1, FindItem(ControlId::ComboBox1, arguments_[1]));
    }
    if (commandLineMode_) Button1Click();
}

bool TForm1::FormCloseQuery() {
    // A transfer that must not be cut off greys the Close command; until it ends the window
    // stays, whatever asked (the close box, Alt+F4, a posted close).
    if (!closeEnabled_) return false;
    // An operation that leaves Close enabled (the Continue series) is asked to stop; the window
    // closes once it has unwound (RunOperation), not from under it.
    if (busy_) {
        RequestStop();
        return false;
    }
    // FormClose: the progress dialog goes with the window.
    view_.StopTimer();
    if (progressAlive_) {
        progressAlive_ = false;
        view_.DestroyProgress();
    }
    return true;
}

std::int32_t TForm1::SelectedPortCode() {
    return protocol::PortCodeForConnection(SelectedIndex(ControlId::ComboBox1));
}

int TForm1::SelectedIndex(ControlId id) { return FindItem(id, view_.Text(id)); }

// Which handler a button's click runs: the table holds only what the views draw.
TForm1::Handler TForm1::ClickHandler(ControlId id) {
    using C = ControlId;
    switch (id) {
        case C::Button1: return &TForm1::Button1Click;
        case C::Button2: return &TForm1::Button2Click;
        case C::Button3: return &TForm1::Button3Click;
        case C::Button4: return &TForm1::Button4Click;
        case C::Button5: return &TForm1::Button5Click;
        case C::Button6: return &TForm1::Button6Click;
        case C::Button7: return &TForm1::Button7Click;
        case C::Button8: return &TForm1::Button8Click;
        case C::Button9: return &TForm1::Button9Click;
        case C::Button10: return &TForm1::Button10Click;
        case C::Button11: return &TForm1::Button11Click;
        case C::Button12: return &TForm1::Button12Click;
        case C::Button13: return &TForm1::Button13Click;
        case C::SendButton: return &TForm1::SendButtonClick;
        case C::Button14: return &TForm1::Button14Click;
        case C::Button15: return &TForm1::Button15Click;
        case C::Btn_WakeUpFw: return &TForm1::Btn_WakeUpFwClick;
        case C::Btn_DownloadBootLoader: return &TForm1::Btn_DownloadBootLoaderClick;
        default: return nullptr;
    }
}

void TForm1::Click(ControlId id) {
    if (const Handler handler = ClickHandler(id)) (this->*handler)();
}

void TForm1::SetEnabled(ControlId id, bool enabled) {
    enabled_[Index(id)] = enabled;
    view_.SetEnabled(id, enabled);
}

protocol::Context TForm1::MakeContext() {
    return protocol::Context{host_, *screen_, [this] { return SelectedPortCode(); }, statusText_};
}

void TForm1::RunOperation(const std::function<protocol::Result()>& body) {
    // Nothing new starts inside a running operation, nor once the window is on its way out.
    if (busy_ || stopRequested_) return;
    std::optional<std::string> failure;
    protocol::Result result;
    {
        BusyScope busy(*this);
        try {
            result = body();
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = std::string();
        }
    }
    // Stopped by the operator: how far it got, and whether the printer is left inside an image.
    // A window on its way out tells nothing.
    const bool stopped = stopOperation_;
    stopOperation_ = false;
    if (stopped && !stopRequested_ && result.outcome == protocol::Outcome::Interrupted && !result.shown &&
        !result.message.empty()) {
        OverProgress([&] {
            if (result.printerMidImage) view_.ShowWarning(result.message);
            else view_.ShowMessage(result.message);
        });
    }
    if (failure) OverProgress([&] { view_.ShowError(*failure); });
    // A close asked for while the operation ran waited for it to unwind; it happens now, once
    // the event loop is back, with nothing of the operation left on the stack.
    if (stopRequested_) view_.PostClose();
}

void TForm1::FillFontList() {
    fonts_.ClearChoice();
    const protocol::FontList list = protocol::ReadInstalledFonts(host_);
    if (!list.opened) {
        OverProgress([&] { view_.ShowMessage(protocol::kCantOpenFont); });
        return;
    }
    fonts_.Fill(list);
    view_.DrawFontRows();
}

// --- countdown ------------------------------------------------------------------------------

void TForm1::Timer1Timer() {
    if (!progressAlive_) {
        view_.StopTimer();
        return;
    }
    screen_->SetProgressPosition(gauge_.Progress() + 1);
    if (gauge_.Progress() >= gauge_.MaxValue()) {
        view_.StopTimer();
        SetProgressShown(false);
    }
}

// --- keys -----------------------------------------------------------------------------------

void TForm1::ShowServiceRow() { view_.SetClientHeight(kServiceClientHeight); }

void TForm1::Button1KeyPress(char32_t key, KeyModifiers modifiers) {
    if (IsNavigationKey(key) || !TypesCharacter(modifiers)) return;
    typedKeys_ += key;
    if (typedKeys_.size() > 20) typedKeys_.clear();

    if (typedKeys_ == U"qxvmra") {
        ShowServiceRow();
        view_.SetVisible(ControlId::Button9, false);
        view_.SetVisible(ControlId::Button2, true);
        typedKeys_.clear();
    } else if (typedKeys_ == U"prownelkast") {
        ShowServiceRow();
        view_.SetVisible(ControlId::Button8, true);
        typedKeys_.clear();
    } else if (typedKeys_ == U"zulb") {
        ShowServiceRow();
        view_.SetVisible(ControlId::Button2, false);
        view_.SetVisible(ControlId::Button9, true);
        typedKeys_.clear();
    }
}

void TForm1::EscapePressed() {
    // Only a running operation can be stopped, once; a closing window stops it anyway.
    if (!busy_ || askingStop_ || OperationEnds()) return;
    askingStop_ = true;
    // The operation waits while the question is open: its next write comes after the answer.
    const int answer = OverProgress([&] {
        return view_.AskQuestion(kStopQuestion, kWindowTitle, platform::MB_YESNO_ | platform::MB_ICONQUESTION_);
    });
    askingStop_ = false;
    if (answer == platform::IDYES_ && busy_) stopOperation_ = true;
}

// --- the buttons ----------------------------------------------------------------------------

void TForm1::Button1Click() {
    RunOperation([this] {
        protocol::FirmwareRequest request;
        request.packageSizeText = view_.Text(ControlId::Combo_size);
        // With arguments on the command line, every press sends the image named first.
        if (commandLineMode_) request.imagePath = arguments_.front();
        request.programDirectory = view_.ProgramDirectory();
        protocol::Context ctx = MakeContext();
        const protocol::Result result = protocol::DownloadFirmware(ctx, request);
        // Unattended: once the image is through, the program ends by itself when the event loop
        // gets to the close request.
        if (commandLineMode_ && result.ok()) view_.PostClose();
        return result;
    });
}

void TForm1::Button5Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::ContinueSeries(ctx, view_.ProgramDirectory(), [this](const std::string& caption) {
            view_.SetCaption(ControlId::Button5, caption);
        });
    });
}

void TForm1::Button6Click() {
    RunOperation([this] {
        OverProgress([&] { view_.ShowMessage(protocol::SerialCrcCheckText()); });
        return protocol::Result{};
    });
}

void TForm1::Button7Click() {}
void TForm1::Btn_WakeUpFwClick() {}
void TForm1::Btn_DownloadBootLoaderClick() {}

void TForm1::Button8Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::SendPrinterCommand(ctx, protocol::PrinterCommand::ChangeMode);
    });
}

void TForm1::Button14Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::SendPrinterCommand(ctx, protocol::PrinterCommand::InitializePrinter);
    });
}

void TForm1::Button15Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::SendPrinterCommand(ctx, protocol::PrinterCommand::InitializeCutter);
    });
}

void TForm1::SendButtonClick() {
    RunOperation([this] {
        // One line for each line the memo shows at its width.
        const protocol::LineSource lines = SentMemoLines(view_.MemoLines());
        protocol::Context ctx = MakeContext();
        return protocol::SendLines(ctx, lines);
    });
}

void TForm1::Button2Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::DownloadModeFirmware(ctx, {std::nullopt, view_.ProgramDirectory()});
    });
}

void TForm1::Button9Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::DownloadRawFile(ctx, {std::nullopt, view_.ProgramDirectory()});
    });
}

void TForm1::ChannelClick(ControlId button, protocol::Channel channel) {
    RunOperation([this, button, channel] {
        protocol::Context ctx = MakeContext();
        return protocol::SendChannelSetup(ctx, channel, [this, button](bool on) { SetEnabled(button, on); });
    });
}

void TForm1::Button10Click() { ChannelClick(ControlId::Button10, protocol::Channel::Ch00); }
void TForm1::Button11Click() { ChannelClick(ControlId::Button11, protocol::Channel::Ch25); }
void TForm1::Button12Click() { ChannelClick(ControlId::Button12, protocol::Channel::Ch49); }

void TForm1::Button13Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        const protocol::ReadToggle toggle = protocol::ToggleRead(
            ctx, button13Caption_, [this](bool on) { SetEnabled(ControlId::Button13, on); });
        button13Caption_ = toggle.caption;
        view_.SetCaption(ControlId::Button13, button13Caption_);
        return toggle.result;
    });
}

void TForm1::Button3Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::DownloadTrueTypeFont(ctx, std::nullopt,
                                       SelectedIndex(ControlId::cbDownloadTTFont));
    });
}

void TForm1::Button4Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        return protocol::DownloadCodeTable(ctx, {std::nullopt, view_.ProgramDirectory()},
                                    SelectedIndex(ControlId::cbDownloadTable));
    });
}

}  // namespace prax::app
