// The screen side of every operation run from the main window: message boxes, the open-file
// dialog, the progress dialog and its countdown, the status line, the window's Close command,
// and the printer link's questions.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <QPointer>
#include <QString>

#include "dialogs/qt/FontDialog.h"
#include "dialogs/qt/Progress.h"
#include "platform/Platform.h"
#include "protocol/Operator.h"

class QMainWindow;

namespace prax::app {

struct TForm1Layout;

// Whoever answers what the window would otherwise ask a person in a modal box. An empty member
// means the real box or dialog; the tests fill them in so nothing blocks without a screen.
struct TForm1Hooks {
    // An OK-only message, captioned with the application's title.
    std::function<void(const QString& caption, const QString& text)> message;
    // A question of the printer link; returns IDYES_ or IDNO_ (1 for a box with OK only).
    std::function<int(const QString& caption, const QString& text, std::uint32_t type)> question;
    // An exception that escaped an operation, with its message.
    std::function<void(const QString& caption, const QString& text)> error;
    // The open-file dialog: the Qt filter and the start folder in, the chosen path (or empty)
    // out.
    std::function<QString(const QString& filter, const QString& directory)> openFile;
};

// A filter of "description|pattern" pairs, as the operations give it, in Qt's
// "description (pattern);;description (pattern)" form.
QString QtFileFilter(const std::string& pairs);

class WindowOperator final : public protocol::Operator {
public:
    // Answers the host's questions for as long as it lives. `progress` and `fonts` are the
    // window's progress dialog and font selection window, which may be gone; `hooks` may be
    // changed at any time.
    WindowOperator(QMainWindow& window, TForm1Layout& layout,
                   QPointer<dialogs::TfrmProgress>& progress, QPointer<dialogs::TForm2>& fonts,
                   TForm1Hooks& hooks, platform::Platform& host);
    ~WindowOperator() override;
    WindowOperator(const WindowOperator&) = delete;
    WindowOperator& operator=(const WindowOperator&) = delete;

    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override;
    // Shows the font selection window, lists the fonts, and waits for OK. Cancel, the close box,
    // turning to another window and closing the main window end the wait with no choice.
    protocol::FontChoice ChooseFont() override;
    void ShowProgress() override;
    void HideProgress() override;
    void SetProgressColor(protocol::Rgb colour) override;
    void SetProgressMax(std::int32_t max) override;
    void SetProgressPosition(std::int32_t position) override;
    std::int32_t ProgressPosition() override;
    void SetStatusText(const std::string& text) override;
    void ProcessEvents() override;
    void SetCloseEnabled(bool enabled) override;
    void StartCountdown() override;
    // True once the window was asked to close while an operation ran.
    bool StopRequested() override { return stopRequested_; }

    bool CloseEnabled() const { return closeEnabled_; }
    // The window wants to close: the running operation ends, the link's questions are answered
    // No, and nothing new starts.
    void RequestStop() { stopRequested_ = true; }
    // An exception that escaped an operation, in an error box.
    void ShowError(const QString& text);
    // A question of the printer link; IDYES_ or IDNO_, or 1 for a box with OK only.
    int AskQuestion(const std::string& text, const std::string& caption, std::uint32_t type);

private:
    QMainWindow& window_;
    TForm1Layout& layout_;
    QPointer<dialogs::TfrmProgress>& progress_;
    QPointer<dialogs::TForm2>& fonts_;
    TForm1Hooks& hooks_;
    platform::Platform& host_;
    bool closeEnabled_ = true;
    Qt::WindowFlags openFlags_;  // the window's flags while Close is enabled
    bool stopRequested_ = false;
};

}  // namespace prax::app
