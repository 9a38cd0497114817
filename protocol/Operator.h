// What an operation may ask of a person or a screen. The window core implements it for both
// windows (its views only draw), praxdl's reporters with the terminal or JSON, and the tests with
// a recorder that answers from a script.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/Rgb.h"

namespace prax::protocol {

// A font picked for the TrueType download: its entry name as the font list shows it (sent in the
// header unchanged) and its bare file name in the fonts folder. Both empty: no choice.
struct FontChoice {
    std::string name;
    std::string file;
    bool empty() const { return name.empty() || file.empty(); }
};

struct FileDialogSetup {
    std::string filter;            // "*.bin (binary file)|*.bin|*.* |*.*"
    std::string initialDirectory;  // the folder of the program's own executable
};

class Operator {
public:
    virtual ~Operator() = default;

    // A message box with an OK button and the application's title as its caption.
    virtual void ShowMessage(const std::string& text) = 0;
    // The chosen file's path, or an empty text when the operator cancelled.
    virtual std::string ChooseFile(const FileDialogSetup& setup) = 0;
    // The font selection: the installed fonts listed, the operator's pick returned once made. An
    // empty choice when the operator cancelled or turned away; front ends without a list choose
    // nothing.
    virtual FontChoice ChooseFont() { return {}; }

    // The progress dialog and its gauge.
    virtual void ShowProgress() = 0;
    virtual void HideProgress() = 0;
    virtual void SetProgressColor(Rgb colour) = 0;
    virtual void SetProgressMax(std::int32_t max) = 0;
    virtual void SetProgressPosition(std::int32_t position) = 0;
    virtual std::int32_t ProgressPosition() = 0;

    // Told when a transfer's link has opened, and after every step of a body how many of its
    // bytes went (the gauge shows one more, clamped to its maximum). For front ends that report
    // more than the window shows.
    virtual void ConnectionOpened() {}
    virtual void BodySent(std::int64_t /*sent*/) {}

    // The main window's status line.
    virtual void SetStatusText(const std::string& text) = 0;
    // Let pending window events run once (repaints, timer ticks, clicks).
    virtual void ProcessEvents() = 0;
    // Grey or enable the main window's Close command.
    virtual void SetCloseEnabled(bool enabled) = 0;
    // The red five-second countdown on the progress dialog after a download-mode image: the
    // printer restarts meanwhile. It runs on by itself; the operation does not wait for it.
    virtual void StartCountdown() {}
    // True once the operator wants the running operation to end (the window is closing, praxdl
    // got SIGINT or SIGTERM): nothing more is sent, queued output is discarded, the link closes.
    virtual bool StopRequested() { return false; }
};

}  // namespace prax::protocol
