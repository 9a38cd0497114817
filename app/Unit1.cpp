#include "app/Unit1.h"

#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "app/MemoText.h"
#include "dialogs/qt/Desktop.h"
#include "protocol/Commands.h"
#include "protocol/Connections.h"
#include "protocol/Firmware.h"
#include "protocol/Fonts.h"
#include "protocol/RawFile.h"
#include "protocol/StreamPieces.h"

namespace prax::app {

namespace {

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
// Where the file dialogs start: the folder of the program's own executable.
std::string ProgramDirectory() { return PathBytes(QCoreApplication::applicationDirPath()); }

}  // namespace

// Keeps a second operation from starting inside a running one, for as long as the first runs: a
// click that the event processing between chunks lets through is turned away by the busy flag,
// and the operation buttons are disabled, except the one with the keyboard focus. Disabling that
// one would pass the focus on along the tab order, into the connection list, and what the
// operator types during a transfer would then change the connection. The connection list itself
// is disabled: an operation may read it again while it runs. Everything is put back on every way
// out.
class TForm1::BusyScope {
public:
    explicit BusyScope(TForm1& form) : form_(form), focus_(form.focusWidget()) {
        form_.busy_ = true;
        for (QPushButton* button : form_.Buttons()) {
            if (button != focus_) Disable(button);
        }
        Disable(form_.ComboBox1);
    }
    ~BusyScope() {
        for (QWidget* widget : disabled_) widget->setEnabled(true);
        // Should the focus have moved all the same, give it back, so the keys typed into
        // "Download Firmware" keep reaching it.
        if (focus_ && focus_->isEnabled()) focus_->setFocus(Qt::OtherFocusReason);
        form_.busy_ = false;
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    void Disable(QWidget* widget) {
        if (!widget->isEnabled()) return;
        widget->setEnabled(false);
        disabled_.push_back(widget);
    }

    TForm1& form_;
    QPointer<QWidget> focus_;
    std::vector<QWidget*> disabled_;
};

TForm1::TForm1(platform::Platform& host, QStringList arguments, TForm1Hooks hooks_,
               QWidget* parent)
    : QMainWindow(parent),
      hooks(std::move(hooks_)),
      host_(host),
      arguments_(std::move(arguments)),
      ui_(*this, *this, frmProgress, Form2, hooks, host) {
    commandLineMode_ = arguments_.size() == 1 || arguments_.size() == 2;
    BuildLayout(*this);
    ConnectHandlers();
    ApplyStartSize();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::ConnectHandlers() {
    Button1->installEventFilter(this);

    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TForm1::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
    connect(Button8, &QPushButton::clicked, this, &TForm1::Button8Click);
    connect(Button9, &QPushButton::clicked, this, &TForm1::Button9Click);
    connect(Button10, &QPushButton::clicked, this, &TForm1::Button10Click);
    connect(Button11, &QPushButton::clicked, this, &TForm1::Button11Click);
    connect(Button12, &QPushButton::clicked, this, &TForm1::Button12Click);
    connect(Button13, &QPushButton::clicked, this, &TForm1::Button13Click);
    connect(SendButton, &QPushButton::clicked, this, &TForm1::SendButtonClick);
    connect(Button14, &QPushButton::clicked, this, &TForm1::Button14Click);
    connect(Button15, &QPushButton::clicked, this, &TForm1::Button15Click);
    connect(Btn_WakeUpFw, &QPushButton::clicked, this, &TForm1::Btn_WakeUpFwClick);
    connect(Btn_DownloadBootLoader, &QPushButton::clicked, this,
            &TForm1::Btn_DownloadBootLoaderClick);
}

void TForm1::FormCreate() {
    const QString title = QString::fromLatin1(kWindowTitle);
    setWindowTitle(title);
    QCoreApplication::setApplicationName(title);
    QGuiApplication::setApplicationDisplayName(title);

    frmProgress = new dialogs::TfrmProgress(this, 0, 0, 0);
    Form2 = new dialogs::TForm2(host_, this);
    Form2->message = [this](const QString& text) { ui_.ShowMessage(text.toLocal8Bit().toStdString()); };

    // The command-line download runs here, before the window is first shown.
    if (arguments_.size() == 1) {
        Button1Click();
    } else if (arguments_.size() == 2) {
        ComboBox1->setCurrentIndex(ComboBox1->findText(arguments_[1], Qt::MatchFixedString));
        Button1Click();
    }
}

void TForm1::ApplyStartSize() {
    // The layout is wider than the window: only its left part, the operator panel, is meant
    // to be on screen.
    SetClientHeight(200);
    SetOuterSize(400, 260);
    dialogs::CentreOnDesktop(*this);
}

void TForm1::showEvent(QShowEvent* event) {
    // Only now does the window system know how thick the frame is; the outer size and the
    // centring are measured again with it, unless a key sequence has resized the window since.
    if (startSizePending_) {
        startSizePending_ = false;
        ApplyStartSize();
    }
    QMainWindow::showEvent(event);
}

void TForm1::SetClientHeight(int height) { resize(width(), height); }

void TForm1::ShowServiceRow() {
    // Taller, so the revealed service button is on screen; the start size is settled then and
    // is not measured again when the window first shows.
    startSizePending_ = false;
    SetClientHeight(240);
}

void TForm1::SetOuterSize(int width, int height) {
    // Before the window is on screen the frame is unknown and counts as nothing.
    const QSize frame = frameGeometry().size() - size();
    resize(width - frame.width(), height - frame.height());
}

std::int32_t TForm1::SelectedPortCode() const {
    return protocol::PortCodeForConnection(ComboBox1->currentIndex());
}

QString TForm1::StatusText() const { return StatusBar1Text->text(); }

protocol::Context TForm1::MakeContext() {
    return protocol::Context{host_, ui_, [this] { return SelectedPortCode(); }, statusText_};
}

void TForm1::RunOperation(const std::function<void()>& body) {
    // Nothing new starts inside a running operation, nor once the window is on its way out.
    if (busy_ || ui_.StopRequested()) return;
    std::optional<QString> failure;
    {
        BusyScope busy(*this);
        try {
            body();
        } catch (const std::exception& e) {
            failure = QString::fromLocal8Bit(e.what());
        } catch (...) {
            failure = QString();
        }
    }
    if (failure) ui_.ShowError(*failure);
    // A close asked for while the operation ran waited for it to unwind; it happens now, once
    // the event loop is back, with nothing of the operation left on the stack.
    if (ui_.StopRequested()) QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection);
}

// --- countdown ------------------------------------------------------------------------------

void TForm1::Timer1Timer() {
    if (!frmProgress) {
        Timer1->stop();
        return;
    }
    dialogs::TGauge* gauge = frmProgress->ggProgress;
    gauge->SetProgress(gauge->Progress() + 1);
    if (gauge->Progress() >= gauge->MaxValue()) {
        Timer1->stop();
        frmProgress->hide();
    }
}

// --- keys and closing -----------------------------------------------------------------------

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Button1 && event->type() == QEvent::KeyPress) {
        // Every key with a character counts, control characters (Backspace, Enter, Escape,
        // Ctrl+letter) too; a key without one (Shift alone, an arrow, F5) has no text.
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        const Qt::KeyboardModifiers chord =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (chord == Qt::ControlModifier && text.size() == 1 && text[0].isLetter() &&
            text[0].unicode() < 0x80) {
            // Some window systems give Ctrl+letter the letter itself; it types its control
            // character, as it does everywhere else.
            Button1KeyPress(QChar(text[0].unicode() & 0x1F));
        } else {
            for (const QChar c : text) Button1KeyPress(c);
        }
    }
    // The key goes on to the button as usual.
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::Button1KeyPress(QChar key) {
    typedKeys_ += key;
    if (typedKeys_.size() > 20) typedKeys_.clear();

    if (typedKeys_ == QLatin1String("qxvmra")) {
        ShowServiceRow();
        Button9->hide();
        Button2->show();
        typedKeys_.clear();
    } else if (typedKeys_ == QLatin1String("prownelkast")) {
        ShowServiceRow();
        Button8->show();
        typedKeys_.clear();
    } else if (typedKeys_ == QLatin1String("zulb")) {
        ShowServiceRow();
        Button2->hide();
        Button9->show();
        typedKeys_.clear();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A transfer that must not be cut off greys the Close command; until it ends the window
    // stays.
    if (!ui_.CloseEnabled()) {
        event->ignore();
        return;
    }
    // An operation that leaves Close enabled (the Continue series) is asked to stop; the window
    // closes once it has unwound (RunOperation), not from under it.
    if (busy_) {
        ui_.RequestStop();
        event->ignore();
        return;
    }
    // FormClose: the progress dialog goes with the window.
    Timer1->stop();
    if (frmProgress) {
        dialogs::TfrmProgress* dialog = frmProgress.data();
        frmProgress = nullptr;
        dialog->hide();
        delete dialog;
    }
    event->accept();
}

// --- the buttons ----------------------------------------------------------------------------

void TForm1::Button1Click() {
    RunOperation([this] {
        protocol::FirmwareRequest request;
        request.packageSizeText = Combo_size->currentText().toStdString();
        // With arguments on the command line, every press sends the image named first.
        if (commandLineMode_) request.imagePath = PathBytes(arguments_.front());
        request.programDirectory = ProgramDirectory();
        protocol::Context ctx = MakeContext();
        const protocol::Result result = protocol::DownloadFirmware(ctx, request);
        // Unattended: once the image is through, the program ends by itself when the event loop
        // gets to the close request.
        if (commandLineMode_ && result.ok())
            QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection);
    });
}

void TForm1::Button5Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::ContinueSeries(ctx, ProgramDirectory(),
                                 [this](const std::string& caption) {
                                     Button5->setText(FromBytes(caption));
                                 });
    });
}

void TForm1::Button6Click() {
    RunOperation([this] { ui_.ShowMessage(protocol::SerialCrcCheckText()); });
}

void TForm1::Button7Click() {}
void TForm1::Btn_WakeUpFwClick() {}
void TForm1::Btn_DownloadBootLoaderClick() {}

void TForm1::Button8Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::SendPrinterCommand(ctx, protocol::PrinterCommand::ChangeMode);
    });
}

void TForm1::Button14Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::SendPrinterCommand(ctx, protocol::PrinterCommand::InitializePrinter);
    });
}

void TForm1::Button15Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::SendPrinterCommand(ctx, protocol::PrinterCommand::InitializeCutter);
    });
}

void TForm1::SendButtonClick() {
    RunOperation([this] {
        // One line for each line the memo shows at its width.
        const protocol::LineSource lines = MemoLines(*Memo1);
        protocol::Context ctx = MakeContext();
        protocol::SendLines(ctx, lines);
    });
}

void TForm1::Button2Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::DownloadModeFirmware(ctx, {std::nullopt, ProgramDirectory()});
    });
}

void TForm1::Button9Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::DownloadRawFile(ctx, {std::nullopt, ProgramDirectory()});
    });
}

void TForm1::ChannelClick(QPushButton* button, protocol::Channel channel) {
    RunOperation([this, button, channel] {
        protocol::Context ctx = MakeContext();
        protocol::SendChannelSetup(ctx, channel, [button](bool on) { button->setEnabled(on); });
    });
}

void TForm1::Button10Click() { ChannelClick(Button10, protocol::Channel::Ch00); }
void TForm1::Button11Click() { ChannelClick(Button11, protocol::Channel::Ch25); }
void TForm1::Button12Click() { ChannelClick(Button12, protocol::Channel::Ch49); }

void TForm1::Button13Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        const protocol::ReadToggle toggle =
            protocol::ToggleRead(ctx, Button13->text().toStdString(),
                                 [this](bool on) { Button13->setEnabled(on); });
        Button13->setText(QString::fromStdString(toggle.caption));
    });
}

void TForm1::Button3Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::DownloadTrueTypeFont(ctx, std::nullopt, cbDownloadTTFont->currentIndex());
    });
}

void TForm1::Button4Click() {
    RunOperation([this] {
        protocol::Context ctx = MakeContext();
        protocol::DownloadCodeTable(ctx, {std::nullopt, ProgramDirectory()}, cbDownloadTable->currentIndex());
    });
}

}  // namespace prax::app
