// What the window core asks of a view: toolkit calls only. The controls built from the control
// table, the main window's frame, and the screen side of the operations (message boxes, the
// open-file and font dialogs, the progress dialog and its gauge, the status line, the Close
// command). The Qt view implements it with widgets, the Win32 view with windows of its own, the
// core's tests with a recorder on the fake platform. A view decides nothing: every rule is in
// the core, which is the window's only protocol::Operator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/ControlTable.h"
#include "protocol/Commands.h"
#include "protocol/GaugeModel.h"
#include "protocol/Operator.h"

namespace prax::app {

class FormView {
public:
    virtual ~FormView() = default;

    // --- the controls ---
    virtual void SetVisible(ControlId id, bool visible) = 0;
    virtual void SetEnabled(ControlId id, bool enabled) = 0;
    virtual void SetCaption(ControlId id, const std::string& caption) = 0;
    // A list's text as the operator sees it, picked from the list or typed.
    virtual std::string Text(ControlId id) = 0;
    virtual void SelectIndex(ControlId id, int index) = 0;
    // The control with the keyboard focus, if it is one of the table's.
    virtual std::optional<ControlId> Focused() = 0;
    virtual void SetFocus(ControlId id) = 0;
    // Every line the memo shows at its width, as it counts them: the empty line after a final
    // break, and the one line of an empty memo, included. The core decides which are sent.
    virtual protocol::LineSource MemoLines() = 0;

    // --- the window ---
    virtual void SetTitle(const std::string& title) = 0;
    virtual void SetClientHeight(int height) = 0;
    // Asks the window to close once the event loop is back; the close then goes through the
    // core's FormCloseQuery like any other.
    virtual void PostClose() = 0;
    virtual void StartTimer(int intervalMs) = 0;
    virtual void StopTimer() = 0;
    // The progress dialog goes with the main window.
    virtual void DestroyProgress() = 0;
    // The folder of the program's own executable, where the file dialogs start.
    virtual std::string ProgramDirectory() = 0;

    // --- the font selection window (its rows and choice: the core's FontChooser) ---
    // Shows it in front, active, centred on the whole desktop; false when the window is gone.
    virtual bool OpenFontDialog() = 0;
    struct FontDialogState {
        bool open = false;    // shown
        bool active = false;  // the active window
    };
    virtual FontDialogState PollFontDialog() = 0;
    // Draws the chooser's rows (TForm1::Fonts) into the window's grid.
    virtual void DrawFontRows() = 0;

    // --- the screen side of the operations ---
    // A message box with an OK button and the window's title as its caption.
    virtual void ShowMessage(const std::string& text) = 0;
    // The open-file dialog: the chosen file's path, or an empty text for Cancel.
    virtual std::string ChooseFile(const protocol::FileDialogSetup& setup) = 0;
    virtual void ShowProgress() = 0;
    virtual void HideProgress() = 0;
    // Paints the progress gauge afresh from the core's model (TForm1::Gauge); asked only when
    // what it shows changed.
    virtual void RepaintGauge() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Lets pending window events run once.
    virtual void ProcessEvents() = 0;
    // Greys or enables the window's Close command.
    virtual void SetCloseEnabled(bool enabled) = 0;

    // --- boxes ---
    // An exception that escaped an operation, in the error box.
    virtual void ShowError(const std::string& text) = 0;
    // A failure the operator has to act on: the message box with the warning icon. Its first
    // line is the program's own text, the lines below say why.
    virtual void ShowWarning(const std::string& text) { ShowMessage(text); }
    // A question of the printer link: IDYES_ or IDNO_, or 1 for a box with OK only.
    virtual int AskQuestion(const std::string& text, const std::string& caption,
                            std::uint32_t type) = 0;
};

}  // namespace prax::app
