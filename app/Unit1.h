// The main window: the start-up, the connection choice, the hidden key sequences, the countdown,
// closing, and one handler per button, each a call into protocol/. The controls are in
// Layout.h; the screen side of the operations (boxes, dialogs, status line) in WindowOperator.h.
#pragma once

#include <cstdint>
#include <functional>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/Layout.h"
#include "app/WindowOperator.h"
#include "dialogs/qt/Progress.h"
#include "platform/Platform.h"
#include "protocol/Commands.h"
#include "protocol/Context.h"

class QPushButton;

namespace prax::app {

inline constexpr const char* kStartTitle = "PRAX Download Tool  1.3";
inline constexpr const char* kWindowTitle = "PRAX FW Download Tool V1.6";

class TForm1 final : public QMainWindow, public TForm1Layout {
    Q_OBJECT

public:
    // `arguments` are the program's arguments without the program name: one (an image path) or
    // two (an image path and a connection) start the firmware download at once.
    TForm1(platform::Platform& host, QStringList arguments, TForm1Hooks hooks = {},
           QWidget* parent = nullptr);
    ~TForm1() override;

    // The connection chosen in ComboBox1, as the printer link numbers it.
    std::int32_t SelectedPortCode() const;

    // What the tests look at.
    const QString& TypedKeys() const { return typedKeys_; }
    QString StatusText() const;
    bool Busy() const { return busy_; }
    bool CommandLineMode() const { return commandLineMode_; }
    WindowOperator& Ui() { return ui_; }

    TForm1Hooks hooks;
    QPointer<dialogs::TfrmProgress> frmProgress;
    QPointer<dialogs::TForm2> Form2;

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

    void ConnectHandlers();
    void FormCreate();
    void SetClientHeight(int height);
    void SetOuterSize(int width, int height);
    void ApplyStartSize();
    void ShowServiceRow();
    void ChannelClick(QPushButton* button, protocol::Channel channel);
    protocol::Context MakeContext();
    // Runs one operation: refused while another one runs, the operation buttons disabled until
    // it ends, and any exception it lets out shown in an error box.
    void RunOperation(const std::function<void()>& body);

    platform::Platform& host_;
    QStringList arguments_;
    bool commandLineMode_ = false;
    QString typedKeys_;
    std::string statusText_;
    bool busy_ = false;
    bool startSizePending_ = true;
    WindowOperator ui_;
};

}  // namespace prax::app
