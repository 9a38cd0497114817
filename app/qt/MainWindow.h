// The Qt main window, the window core's view: the widgets built from the control table, the
// toolkit calls the core makes (FormView) in Qt's terms, and each click, key, timer tick and
// close request handed to the core, which decides what happens.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/core/FormView.h"
#include "app/core/Unit1.h"
#include "app/qt/FormWidgets.h"
#include "app/qt/FontDialog.h"
#include "app/qt/ProgressDialog.h"
#include "platform/Platform.h"

namespace prax::app::qt {

// Whoever answers what the window would otherwise ask a person in a modal box. An empty member
// means the real box or dialog; the tests fill them in so nothing blocks without a screen.
struct TForm1Hooks {
    // An OK-only message, captioned with the application's title.
    std::function<void(const QString& caption, const QString& text)> message;
    // The same box with the warning icon; `message` answers it too when this is empty.
    std::function<void(const QString& caption, const QString& text)> warning;
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

class MainWindow final : public QMainWindow, public FormWidgets, public FormView {
    Q_OBJECT

public:
    // `arguments` are the program's arguments without the program name: one (an image path) or
    // two (an image path and a connection) start the firmware download at once.
    MainWindow(platform::Platform& host, QStringList arguments, TForm1Hooks hooks = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    TForm1& Core() { return *core_; }
    // What the tests look at.
    QString TypedKeys() const;
    QString StatusText() const;

    TForm1Hooks hooks;
    QPointer<TfrmProgress> frmProgress;
    QPointer<TForm2> Form2;

    // FormView: the toolkit calls of the core.
    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override;
    void ShowProgress() override;
    void HideProgress() override;
    void RepaintGauge() override;
    void SetStatusText(const std::string& text) override;
    void ProcessEvents() override;
    void SetCloseEnabled(bool enabled) override;
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


protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ConnectHandlers();
    void SetOuterSize(int width, int height);
    void ApplyStartSize();
    using BoxHook = std::function<void(const QString& caption, const QString& text)>;
    // An OK-only box with `icon`, captioned with the application's title; `hook`, when set,
    // stands in for it.
    void OkBox(int icon, const BoxHook& hook, const std::string& text, Qt::TextFormat format);


    std::unique_ptr<TForm1> core_;
    // Set once the window has its first real size, so a key sequence's height is not undone.
    bool startSizePending_ = true;
    bool closeEnabled_ = true;
    Qt::WindowFlags openFlags_;  // the window's flags while Close is enabled
};

}  // namespace prax::app::qt
