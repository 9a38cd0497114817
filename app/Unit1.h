// The main window: the connection choice, the operator panel, the hidden service controls, and
// the screen side of every operation (message boxes, the file dialog, the progress dialog, the
// status line). The operations themselves live in protocol/; this class only wires them up.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "dialogs/qt/Progress.h"
#include "platform/Platform.h"
#include "protocol/Commands.h"
#include "protocol/Context.h"
#include "protocol/Operator.h"

class QComboBox;
class QFileDialog;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;

namespace prax::link {
class UsbDiscovery;
}

namespace prax::app {

inline constexpr const char* kStartTitle = "PRAX Download Tool  1.3";
inline constexpr const char* kWindowTitle = "PRAX FW Download Tool V1.6";

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

class TForm1 final : public QMainWindow, public protocol::Operator {
    Q_OBJECT

public:
    // `arguments` are the program's arguments without the program name: one (an image path) or
    // two (an image path and a connection) start the firmware download at once. `usb` finds
    // the attached USB printer for the "USB" connection; without one, USB opens fail.
    TForm1(platform::Platform& host, QStringList arguments, TForm1Hooks hooks = {},
           link::UsbDiscovery* usb = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The connection chosen in ComboBox1, as the printer link numbers it.
    std::int32_t SelectedPortCode() const;
    // The red five-second countdown on the progress dialog after a download-mode transfer.
    void StartCountdown() override;

    // What the tests look at.
    const QString& TypedKeys() const { return typedKeys_; }
    QString StatusText() const;
    bool CloseEnabled() const { return closeEnabled_; }
    bool Busy() const { return busy_; }
    bool CommandLineMode() const { return commandLineMode_; }

    TForm1Hooks hooks;

    // Controls, named as on the layout.
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button11 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button15 = nullptr;
    QPushButton* SendButton = nullptr;
    QPushButton* Btn_WakeUpFw = nullptr;
    QPushButton* Btn_DownloadBootLoader = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* cbDownloadTTFont = nullptr;
    QComboBox* cbDownloadTable = nullptr;
    QComboBox* Combo_delay01 = nullptr;
    QComboBox* Combo_delay02 = nullptr;
    QComboBox* Combo_delay03 = nullptr;
    QComboBox* Combo_size = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr;
    QPointer<dialogs::TfrmProgress> frmProgress;

    // The operator's side of every operation.
    void ShowMessage(const std::string& text) override;
    std::string ChooseFile(const protocol::FileDialogSetup& setup) override;
    void ShowProgress() override;
    void HideProgress() override;
    void SetProgressColor(protocol::Rgb colour) override;
    void SetProgressMax(std::int32_t max) override;
    void SetProgressPosition(std::int32_t position) override;
    std::int32_t ProgressPosition() override;
    void SetStatusText(const std::string& text) override;
    void ProcessEvents() override;
    void SetCloseEnabled(bool enabled) override;
    // True once the window was asked to close while an operation ran.
    bool StopRequested() override;

public slots:
    void Button1Click();
    void Timer1Timer();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button1KeyPress(QChar key);
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

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class BusyScope;

    void BuildLayout();
    void FormCreate();
    void SetClientHeight(int height);
    void SetOuterSize(int width, int height);
    void CentreOnDesktop();
    void ApplyStartSize();
    void ShowServiceRow();
    void ChannelClick(QPushButton* button, protocol::Channel channel);
    protocol::Context MakeContext();
    // Runs one operation: refused while another one runs, the operation buttons disabled until
    // it ends, and any exception it lets out shown in an error box.
    void RunOperation(const std::function<void()>& body);
    void ShowError(const QString& text);
    int AskQuestion(const std::string& text, const std::string& caption, std::uint32_t type);

    platform::Platform& host_;
    link::UsbDiscovery* usb_;
    QStringList arguments_;
    bool commandLineMode_ = false;
    QString typedKeys_;
    std::string statusText_;
    bool closeEnabled_ = true;
    Qt::WindowFlags openFlags_;  // the window's flags while Close is enabled
    bool stopRequested_ = false;
    bool busy_ = false;
    bool startSizePending_ = true;
    QLabel* simpleText_ = nullptr;
    QPointer<QFileDialog> dlOpenBin;
    std::vector<QPushButton*> operationButtons_;
};

}  // namespace prax::app
