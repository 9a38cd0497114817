#include "app/Unit1.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <utility>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include "app/MemoText.h"
#include "link/TCom.h"
#include "protocol/Commands.h"
#include "protocol/Connections.h"
#include "protocol/Firmware.h"
#include "protocol/RawFile.h"
#include "protocol/StreamPieces.h"

namespace prax::app {

namespace {

// The layout was drawn with a small sans face; where it is missing, the narrower faces come
// first so the captions still fit their buttons.
QFont LayoutFont(int pixelSize, bool bold = false) {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Tahoma"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QStringList SlotNames() {
    QStringList names;
    for (char c = 'A'; c <= 'Z'; ++c) names << QStringLiteral("T") + QLatin1Char(c);
    return names;
}

// A typed text selects the entry it names (letter case ignored, as for the command line) and
// selects nothing when it names none, so an operation reading the index sees -1 then. The text
// itself stays as the operator typed it.
void FollowTypedText(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchFixedString);
    if (index == combo->currentIndex()) return;
    QLineEdit* edit = combo->lineEdit();
    const int cursor = edit->cursorPosition();
    combo->setCurrentIndex(index);
    if (edit->text() != text) {
        edit->setText(text);
        edit->setCursorPosition(cursor);
    }
}

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString PathText(const std::string& path) { return QFile::decodeName(path.c_str()); }
// Where the file dialogs start: the folder of the program's own executable.
std::string ProgramDirectory() { return PathBytes(QCoreApplication::applicationDirPath()); }

}  // namespace

QString QtFileFilter(const std::string& pairs) {
    const QStringList parts = QString::fromLatin1(pairs.c_str()).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters << parts[i].trimmed() + QStringLiteral(" (") + parts[i + 1].trimmed() +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

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
        for (QPushButton* button : form_.operationButtons_) {
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
               link::UsbDiscovery* usb, QWidget* parent)
    : QMainWindow(parent),
      hooks(std::move(hooks_)),
      host_(host),
      usb_(usb),
      arguments_(std::move(arguments)) {
    commandLineMode_ = arguments_.size() == 1 || arguments_.size() == 2;
    host_.SetMessageBoxHandler(
        [this](const std::string& text, const std::string& caption, std::uint32_t type) {
            return AskQuestion(text, caption, type);
        });

    BuildLayout();

    ApplyStartSize();
    FormCreate();
}

TForm1::~TForm1() {
    // The host outlives the window; it must not call back into a window that is gone.
    host_.SetMessageBoxHandler(nullptr);
}

void TForm1::BuildLayout() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("KAVL Download Tool  1.7.0.0g"));
    setFont(LayoutFont(10));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("Form1Client"));
    client->setAutoFillBackground(true);
    QPalette face = client->palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    client->setPalette(face);
    setCentralWidget(client);

    const QColor black(0, 0, 0);
    auto button = [&](QPushButton*& member, const char* name, const char* caption, QRect geometry,
                      int pixels, bool bold, std::optional<QColor> colour, bool visible) {
        member = new QPushButton(QString::fromLatin1(caption), client);
        member->setObjectName(QString::fromLatin1(name));
        member->setGeometry(geometry);
        member->setFont(LayoutFont(pixels, bold));
        if (colour) SetTextColour(member, *colour);
        member->setVisible(visible);
        operationButtons_.push_back(member);
    };
    auto label = [&](QLabel*& member, const char* name, const char* caption, QRect geometry,
                     bool visible) {
        member = new QLabel(QString::fromLatin1(caption), client);
        member->setObjectName(QString::fromLatin1(name));
        member->setFont(LayoutFont(15));
        // Labels size themselves to their text, as the layout's labels do; the given box is
        // the least they take.
        const QSize needed = member->sizeHint();
        member->setGeometry(geometry.x(), geometry.y(), std::max(geometry.width(), needed.width()),
                            std::max(geometry.height(), needed.height()));
        member->setVisible(visible);
    };
    auto list = [&](QComboBox*& member, const char* name, const QStringList& items, int selected,
                    QRect geometry, bool visible) {
        member = new QComboBox(client);
        member->setObjectName(QString::fromLatin1(name));
        member->setEditable(true);
        member->setInsertPolicy(QComboBox::NoInsert);
        // No completion: the entry in use must be exactly the text the operator sees.
        member->setCompleter(nullptr);
        member->addItems(items);
        member->setCurrentIndex(selected);
        member->setGeometry(geometry);
        member->setFont(LayoutFont(10));
        QComboBox* combo = member;
        connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                [combo](const QString& text) { FollowTypedText(combo, text); });
        member->setVisible(visible);
    };

    // Created before Button1, so that the button lies over it and hides it.
    label(Label8, "Label8", "Input Command", {8, 15, 93, 16}, true);

    // The operator panel.
    button(Button1, "Button1", "Download Firmware", {0, 11, 177, 33}, 15, true, black, true);
    button(Button3, "Button3", "Download True Type Font", {0, 54, 177, 33}, 11, true, {}, true);
    button(Button14, "Button14", "Initialize the Printer", {0, 96, 177, 33}, 11, true, black,
           true);
    label(Label1, "Label1", "Connection Port", {182, 7, 94, 16}, true);
    QStringList connections;
    for (std::string_view name : protocol::kConnectionNames)
        connections << QString::fromLatin1(name.data(), static_cast<int>(name.size()));
    list(ComboBox1, "ComboBox1", connections, 0, {181, 24, 119, 21}, true);
    label(Label2, "Label2", "Font  Number", {182, 51, 80, 16}, true);
    list(cbDownloadTTFont, "cbDownloadTTFont", SlotNames(), 0, {182, 67, 118, 21}, true);

    // Service buttons, hidden; the key sequences typed into Button1 reveal a few of them.
    button(Button2, "Button2", "Download DL Firmware", {0, 135, 176, 32}, 15, true, {}, false);
    button(Button4, "Button4", "Download Font Code Table", {0, 211, 176, 33}, 11, true, {},
           false);
    button(Button5, "Button5", "Continue", {0, 182, 98, 14}, 11, true, QColor(255, 0, 0), false);
    button(Button6, "Button6", "Button6", {0, 202, 59, 13}, 10, false, {}, false);
    button(Button7, "Button7", "Button7", {65, 202, 59, 13}, 10, false, {}, false);
    button(Button8, "Button8", "Change Mode", {182, 143, 118, 33}, 15, true, {}, false);
    button(Button9, "Button9", "Download Binary File", {0, 170, 176, 33}, 15, true, black, false);
    button(Button10, "Button10", "Channel00", {0, 245, 66, 27}, 10, false, {}, false);
    button(Button11, "Button11", "Channel25", {72, 245, 65, 27}, 10, false, {}, false);
    button(Button12, "Button12", "Channel49", {143, 245, 66, 27}, 10, false, {}, false);
    button(Button13, "Button13", "continue read", {221, 117, 72, 27}, 10, false, {}, false);
    button(SendButton, "SendButton", "SEND", {182, 111, 118, 33}, 10, false, {}, false);
    button(Button15, "Button15", "Initializing the Cutter", {408, 210, 177, 33}, 11, true, black,
           false);
    button(Btn_WakeUpFw, "Btn_WakeUpFw", "Wake Up Firmware", {456, 47, 176, 32}, 15, true, {},
           false);
    button(Btn_DownloadBootLoader, "Btn_DownloadBootLoader", "Download DL Firmware",
           {456, 7, 176, 32}, 15, true, {}, false);

    // Service settings, hidden.
    label(Label3, "Label3", "Table Number", {182, 96, 87, 16}, false);
    list(cbDownloadTable, "cbDownloadTable", SlotNames(), 0, {182, 112, 118, 21}, false);
    label(Label4, "Label4", "command delay", {319, 6, 97, 16}, false);
    list(Combo_delay01, "Combo_delay01", {"0", "10", "50", "100", "200", "500"}, 0,
         {319, 23, 72, 21}, false);
    label(Label5, "Label5", "wait delay", {319, 51, 60, 16}, false);
    list(Combo_delay02, "Combo_delay02", {"0", "50", "100", "500", "1000", "2000"}, 0,
         {319, 67, 72, 21}, false);
    label(Label7, "Label7", "package delay", {319, 97, 91, 16}, false);
    list(Combo_delay03, "Combo_delay03", {"0", "2", "5", "10", "20", "50", "100"}, 0,
         {319, 112, 72, 21}, false);
    label(Label6, "Label6", "package size", {319, 142, 81, 16}, false);
    list(Combo_size, "Combo_size", {"4", "8", "16", "32", "64", "128", "256", "512", "1024"}, 7,
         {319, 158, 72, 21}, false);

    Memo1 = new QPlainTextEdit(client);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(247, 176, 169, 120);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVisible(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(20);
    // One simple text across the whole bar; a label keeps it even where something would post
    // a passing status tip.
    simpleText_ = new QLabel(StatusBar1);
    simpleText_->setObjectName(QStringLiteral("StatusBar1SimpleText"));
    StatusBar1->addWidget(simpleText_, 1);
    setStatusBar(StatusBar1);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    // Keyboard order as laid out; Button1 comes first and so starts with the focus.
    const QList<QWidget*> tabOrder = {
        Button1,       Button2,       Button3,       Button4,       ComboBox1,
        cbDownloadTTFont, cbDownloadTable, Button5,  Button6,       Button7,
        Combo_delay01, Combo_delay02, Combo_size,    Combo_delay03, Button8,
        Button9,       Button10,      Button11,      Button12,      Button13,
        Memo1,         SendButton,    Button14,      Button15,      Btn_WakeUpFw,
        Btn_DownloadBootLoader};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i], tabOrder[i + 1]);
    Button1->setFocus(Qt::OtherFocusReason);

    Button1->installEventFilter(this);

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
    CentreOnDesktop();
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

void TForm1::CentreOnDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect desktop = screen->virtualGeometry();
    const QSize outer = frameGeometry().size();
    move(desktop.x() + (desktop.width() - outer.width()) / 2,
         desktop.y() + (desktop.height() - outer.height()) / 2);
}

std::int32_t TForm1::SelectedPortCode() const {
    return protocol::PortCodeForConnection(ComboBox1->currentIndex());
}

QString TForm1::StatusText() const { return simpleText_->text(); }

protocol::Context TForm1::MakeContext() {
    return protocol::Context{host_, *this, [this] { return SelectedPortCode(); }, statusText_,
                             usb_};
}

void TForm1::RunOperation(const std::function<void()>& body) {
    // Nothing new starts inside a running operation, nor once the window is on its way out.
    if (busy_ || stopRequested_) return;
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
    if (failure) ShowError(*failure);
    // A close asked for while the operation ran waited for it to unwind; it happens now, once
    // the event loop is back, with nothing of the operation left on the stack.
    if (stopRequested_) QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection);
}

void TForm1::ShowError(const QString& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    if (hooks.error) {
        hooks.error(caption, text);
        return;
    }
    QMessageBox::critical(this, caption, text);
}

int TForm1::AskQuestion(const std::string& text, const std::string& caption,
                        std::uint32_t type) {
    // The window is closing: the link's question is answered No, so the write gives up, and no
    // box is left standing for a window that is going away.
    if (stopRequested_) return (type & platform::MB_YESNO_) != 0 ? platform::IDNO_ : 1;
    const QString qCaption = FromBytes(caption);
    const QString qText = FromBytes(text);
    if (hooks.question) return hooks.question(qCaption, qText, type);
    const bool yesNo = (type & platform::MB_YESNO_) != 0;
    QMessageBox box(this);
    box.setIcon((type & platform::MB_ICONEXCLAMATION_) == platform::MB_ICONEXCLAMATION_
                    ? QMessageBox::Warning
                    : QMessageBox::NoIcon);
    box.setWindowTitle(qCaption);
    box.setText(qText);
    if (!yesNo) {
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return 1;
    }
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes ? platform::IDYES_ : platform::IDNO_;
}

// --- the operator's side of the operations -------------------------------------------------

void TForm1::ShowMessage(const std::string& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hooks.message) {
        hooks.message(caption, qText);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, qText, QMessageBox::Ok, this);
    box.exec();
}

std::string TForm1::ChooseFile(const protocol::FileDialogSetup& setup) {
    const QString filter = QtFileFilter(setup.filter);
    const QString directory = PathText(setup.initialDirectory);
    if (hooks.openFile) return PathBytes(hooks.openFile(filter, directory));

    if (!dlOpenBin) {
        dlOpenBin = new QFileDialog(this);
        dlOpenBin->setObjectName(QStringLiteral("dlOpenBin"));
        dlOpenBin->setAcceptMode(QFileDialog::AcceptOpen);
        dlOpenBin->setFileMode(QFileDialog::ExistingFile);
    }
    // Each operation sets the dialog up afresh: its filter, no options, its start folder.
    dlOpenBin->setOptions({});
    dlOpenBin->setNameFilter(filter);
    dlOpenBin->setDirectory(directory);
    if (dlOpenBin->exec() != QDialog::Accepted) return {};
    const QStringList chosen = dlOpenBin->selectedFiles();
    return chosen.isEmpty() ? std::string() : PathBytes(chosen.front());
}

void TForm1::ShowProgress() {
    // A transfer that starts while a countdown still runs takes the dialog over: the countdown's
    // ticks would otherwise step the new transfer's gauge, and hide the dialog under it.
    Timer1->stop();
    if (frmProgress) frmProgress->show();
}

void TForm1::HideProgress() {
    if (frmProgress) frmProgress->hide();
}

void TForm1::SetProgressColor(protocol::Rgb colour) {
    if (frmProgress) frmProgress->ggProgress->SetForeColor(colour);
}

void TForm1::SetProgressMax(std::int32_t max) {
    if (frmProgress) frmProgress->ggProgress->SetMaxValue(max);
}

void TForm1::SetProgressPosition(std::int32_t position) {
    if (frmProgress) frmProgress->ggProgress->SetProgress(position);
}

std::int32_t TForm1::ProgressPosition() {
    return frmProgress ? frmProgress->ggProgress->Progress() : 0;
}

void TForm1::SetStatusText(const std::string& text) { simpleText_->setText(FromBytes(text)); }

void TForm1::ProcessEvents() { QCoreApplication::processEvents(); }

void TForm1::SetCloseEnabled(bool enabled) {
    if (enabled == closeEnabled_) return;
    closeEnabled_ = enabled;
    // The close box goes with the Close command. The new flags go straight to the window
    // system's window: setWindowFlags would create that window afresh, and so hide it.
    Qt::WindowFlags flags = openFlags_;
    if (!enabled) {
        openFlags_ = windowFlags();
        flags = openFlags_;
        // Without this hint the window system picks the buttons itself, the close box among
        // them; with it, the frame keeps what is named here.
        if (!(flags & Qt::CustomizeWindowHint)) {
            flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                     Qt::WindowMinMaxButtonsHint;
        }
        flags &= ~Qt::WindowCloseButtonHint;
    }
    overrideWindowFlags(flags);
    if (QWindow* window = windowHandle()) window->setFlags(flags);
}

bool TForm1::StopRequested() { return stopRequested_; }

// --- countdown ------------------------------------------------------------------------------

void TForm1::StartCountdown() {
    if (!frmProgress) return;
    dialogs::TGauge* gauge = frmProgress->ggProgress;
    gauge->SetProgress(0);
    gauge->SetMaxValue(5);
    gauge->SetForeColor(dialogs::kRed);
    Timer1->setInterval(1000);
    frmProgress->show();
    Timer1->start();
}

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
    if (!closeEnabled_) {
        event->ignore();
        return;
    }
    // An operation that leaves Close enabled (the Continue series) is asked to stop; the window
    // closes once it has unwound (RunOperation), not from under it.
    if (busy_) {
        stopRequested_ = true;
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
    RunOperation([this] { ShowMessage(protocol::SerialCrcCheckText()); });
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

// The font downloads arrive with their own part of the program.
void TForm1::Button3Click() {}
void TForm1::Button4Click() {}

}  // namespace prax::app
