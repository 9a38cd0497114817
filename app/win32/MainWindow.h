// The main window on Windows: its controls made with CreateWindowExA from the control table, and
// the screen side of the window core (FormView) in Win32 calls. Clicks, the characters typed into
// "Download Firmware", timer ticks and close requests go to the core; the window decides nothing.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/FormView.h"
#include "app/core/ControlTable.h"
#include "app/core/Unit1.h"
#include "platform/Platform.h"
#include "platform/win32/WindowsApi.h"

namespace prax::app::win32 {

class TfrmProgress;
class TForm2;

// Control IDs: 1000 + the control's place in the control table.
inline constexpr int kFirstControlId = 1000;
inline constexpr int ControlIdOf(ControlId id) { return kFirstControlId + static_cast<int>(Index(id)); }
inline constexpr UINT_PTR kTimer1Id = 1;

// What a test puts in place of a dialog the operator would answer.
struct WindowHooks {
    // Answers the open-file dialog: the chosen path, or "" for Cancel.
    std::function<std::string(const protocol::FileDialogSetup&)> openFile;
    // Runs each time the core lets pending events through (between a transfer's chunks).
    std::function<void()> processEvents;
    // The program ends with its window; a test keeps its message loop for the next window.
    bool quitOnDestroy = true;
};

class MainWindow final : public FormView {
public:
    // Makes the window, its controls, the progress dialog and the font window, then runs the
    // core's FormCreate (which, with arguments, sends the image at once). Not yet shown.
    MainWindow(platform::Platform& host, std::vector<std::string> arguments, WindowHooks hooks = {});
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    void Show(int showCommand);
    // The message loop, until the window is gone: the program's exit status.
    int Run();
    // Keyboard navigation for the main window and the font window; true when the message was
    // used up.
    bool PreTranslate(MSG& msg);
    // One message through the keyboard navigation, else to its window: for the loop and for
    // the events an operation lets through.
    void Deliver(MSG& msg);

    // What the tests look at.
    HWND Handle() const { return hwnd_; }
    HWND Control(ControlId id) const { return controls_[Index(id)]; }
    TForm1& Core() { return core_; }
    TfrmProgress* Progress() { return progress_.get(); }
    TForm2* Form2() { return form2_.get(); }
    std::string StatusText() const;
    const std::string& Title() const { return title_; }
    UINT Dpi() const { return dpi_; }
    WindowHooks& Hooks() { return hooks_; }

    // FormView.
    void SetVisible(ControlId id, bool visible) override;
    void SetEnabled(ControlId id, bool enabled) override;
    void SetCaption(ControlId id, const std::string& caption) override;
    std::string Text(ControlId id) override;
    void SelectIndex(ControlId id, int index) override;
    std::optional<ControlId> Focused() override;
    void SetFocus(ControlId id) override;
    protocol::LineSource MemoLines() override;
    void SetTitle(const std::string& title) override;
    void SetClientHeight(int height) override;
    void PostClose() override;
    void StartTimer(int intervalMs) override;
    void StopTimer() override;
    void DestroyProgress() override;
    std::string ProgramDirectory() override;
    bool OpenFontDialog() override;
    FontDialogState PollFontDialog() override;
    void DrawFontRows() override;
    void ShowError(const std::string& text) override;
    void ShowWarning(const std::string& text) override;
    int AskQuestion(const std::string& text, const std::string& caption,
                    std::uint32_t type) override;
    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override;
    void ShowProgress() override;
    void HideProgress() override;
    void RepaintGauge() override;
    void SetStatusText(const std::string& text) override;
    void ProcessEvents() override;
    void SetCloseEnabled(bool enabled) override;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK Button1Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void CreateControls();
    void ApplyStartSize();
    // Fonts, positions and sizes for `dpi`; the controls keep their places on a resize.
    void PlaceControls(UINT dpi);
    void PlaceStatusBar();
    int Scale(int pixels) const;
    HFONT FontFor(const FontStyle& font);
    std::optional<ControlId> IdOf(HWND control) const;
    // Whether `control` is (in) a list whose drop-down is open.
    bool ListDroppedDown(HWND control) const;
    void CloseRequested();
    LRESULT ControlColour(HDC dc, HWND control);
    void DrawButton(const DRAWITEMSTRUCT& item);

    platform::Platform& host_;
    WindowHooks hooks_;
    TForm1 core_;
    HWND hwnd_ = nullptr;
    std::array<HWND, kControlCount> controls_{};
    WNDPROC button1Proc_ = nullptr;
    UINT dpi_ = 96;
    std::string title_ = kStartTitle;
    std::string faceName_;
    struct FontKey {
        int pixels = 0;
        bool bold = false;
        HFONT font = nullptr;
    };
    std::vector<FontKey> fonts_;
    std::unique_ptr<TfrmProgress> progress_;
    std::unique_ptr<TForm2> form2_;
};

}  // namespace prax::app::win32
