#include "app/qt/MainWindow.h"

#include <utility>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "app/qt/Desktop.h"
#include "app/qt/MemoText.h"

namespace prax::app::qt {

namespace {

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString PathText(const std::string& path) { return QFile::decodeName(path.c_str()); }

std::vector<std::string> ArgumentBytes(const QStringList& arguments) {
    std::vector<std::string> bytes;
    for (const QString& argument : arguments) bytes.push_back(QFile::encodeName(argument).toStdString());
    return bytes;
}

}  // namespace

MainWindow::MainWindow(platform::Platform& host, QStringList arguments, TForm1Hooks hooks_,
                       QWidget* parent)
    : QMainWindow(parent), hooks(std::move(hooks_)) {
    BuildWidgets(*this);
    core_ = std::make_unique<TForm1>(host, *this, ArgumentBytes(arguments));
    ConnectHandlers();
    ApplyStartSize();
    frmProgress = new TfrmProgress(this, core_->Gauge());
    frmProgress->escapePressed = [this] { core_->EscapePressed(); };
    Form2 = new TForm2(core_->Fonts(), this);
    core_->FormCreate();
}

MainWindow::~MainWindow() = default;

void MainWindow::ConnectHandlers() {
    for (const ControlEntry& entry : Controls()) {
        auto* button = qobject_cast<QPushButton*>(Widget(entry.id));
        if (button == nullptr) continue;
        button->installEventFilter(this);
        const ControlId id = entry.id;
        connect(button, &QPushButton::clicked, this, [this, id] { core_->Click(id); });
    }
    connect(Timer1, &QTimer::timeout, this, [this] { core_->Timer1Timer(); });

    // Escape anywhere in the window, whatever has the focus, goes to the core, which asks
    // whether to stop a running operation. As a shortcut it comes before the control with the
    // focus sees the key, so it never counts as typed into "Download Firmware"; a list's open
    // drop-down and the boxes and dialogs over the window keep their own Escape.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("EscapeShortcut"));
    escape->setContext(Qt::WindowShortcut);
    escape->setAutoRepeat(false);
    connect(escape, &QShortcut::activated, this, [this] { core_->EscapePressed(); });
}

void MainWindow::ApplyStartSize() {
    // The layout is wider than the window: only its left part, the operator panel, is meant
    // to be on screen.
    resize(width(), kStartClientHeight);
    SetOuterSize(kStartOuterWidth, kStartOuterHeight);
    CentreOnDesktop(*this);
}

void MainWindow::showEvent(QShowEvent* event) {
    // Only now does the window system know how thick the frame is; the outer size and the
    // centring are measured again with it, unless a key sequence has resized the window since.
    if (startSizePending_) {
        startSizePending_ = false;
        ApplyStartSize();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::SetOuterSize(int width, int height) {
    // Before the window is on screen the frame is unknown and counts as nothing.
    const QSize frame = frameGeometry().size() - size();
    resize(width - frame.width(), height - frame.height());
}

QString MainWindow::TypedKeys() const {
    const std::u32string& keys = core_->TypedKeys();
    return QString::fromUcs4(keys.data(), static_cast<qsizetype>(keys.size()));
}

QString MainWindow::StatusText() const { return StatusBar1Text->text(); }

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers held = key->modifiers();
    const KeyModifiers modifiers{held.testFlag(Qt::ShiftModifier), held.testFlag(Qt::ControlModifier),
                                 held.testFlag(Qt::AltModifier)};
    if (button == Button1) {
        // Every key with a character counts, control characters (Backspace, Ctrl+letter) too;
        // a key without one (Shift alone, an arrow, F5) has no text. The core leaves out the
        // keys that move around the window.
        const QString text = key->text();
        const Qt::KeyboardModifiers chord = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (chord == Qt::ControlModifier && text.size() == 1 && text[0].isLetter() &&
            text[0].unicode() < 0x80) {
            // Some window systems give Ctrl+letter the letter itself; it types its control
            // character, as it does everywhere else.
            core_->Button1KeyPress(static_cast<char32_t>(text[0].unicode() & 0x1F), modifiers);
        } else {
            for (const char32_t c : text.toUcs4()) core_->Button1KeyPress(c, modifiers);
        }
    }
    // Enter presses the button with the focus, as on any dialog; Space already does.
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (EnterPressesButton(modifiers)) button->click();
        return true;
    }
    // Any other key goes on to the button as usual.
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (core_->FormCloseQuery()) {
        event->accept();
    } else {
        event->ignore();
    }
}

// --- FormView -----------------------------------------------------------------------------



QString QtFileFilter(const std::string& pairs) {
    const QStringList parts = QString::fromLatin1(pairs.c_str()).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters << parts[i].trimmed() + QStringLiteral(" (") + parts[i + 1].trimmed() +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

void MainWindow::OkBox(int icon, const BoxHook& hook, const std::string& text, Qt::TextFormat format) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hook) return hook(caption, qText);
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, qText, QMessageBox::Ok, this);
    box.setTextFormat(format);
    box.exec();
}

void MainWindow::ShowMessage(const std::string& text) {
    OkBox(QMessageBox::NoIcon, hooks.message, text, Qt::AutoText);
}

// Line for line as given: the program's own text, then the host's reason, which may hold
// anything a path can, markup-like text included. The box grows to hold both lines and breaks
// one that is wider than the screen allows.
void MainWindow::ShowWarning(const std::string& text) {
    OkBox(QMessageBox::Warning, hooks.warning ? hooks.warning : hooks.message, text, Qt::PlainText);
}

void MainWindow::ShowError(const std::string& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hooks.error) {
        hooks.error(caption, qText);
        return;
    }
    QMessageBox::critical(this, caption, qText);
}

int MainWindow::AskQuestion(const std::string& text, const std::string& caption,
                                std::uint32_t type) {
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

std::string MainWindow::ChooseFile(const protocol::FileDialogSetup& setup) {
    const QString filter = QtFileFilter(setup.filter);
    const QString directory = PathText(setup.initialDirectory);
    if (hooks.openFile) return PathBytes(hooks.openFile(filter, directory));

    QFileDialog* dialog = dlOpenBin();
    // Each operation sets the dialog up afresh: its filter, no options, its start folder.
    dialog->setOptions({});
    dialog->setNameFilter(filter);
    dialog->setDirectory(directory);
    const int result = dialog->exec();
    // A name typed and confirmed with Enter can leave the name completer's list standing after the
    // dialog is gone, over whatever the operation shows next.
    for (QCompleter* completer : dialog->findChildren<QCompleter*>()) {
        if (completer->popup()) completer->popup()->hide();
    }
    if (result != QDialog::Accepted) return {};
    const QStringList chosen = dialog->selectedFiles();
    return chosen.isEmpty() ? std::string() : PathBytes(chosen.front());
}

bool MainWindow::OpenFontDialog() {
    if (!Form2) return false;
    Form2->show();
    Form2->raise();
    Form2->activateWindow();
    CentreOnDesktop(*Form2);
    return true;
}

FormView::FontDialogState MainWindow::PollFontDialog() {
    if (!Form2) return {};
    return {Form2->isVisible(), Form2->isActiveWindow()};
}

void MainWindow::DrawFontRows() {
    if (Form2) Form2->DrawRows();
}

void MainWindow::ShowProgress() {
    if (frmProgress) frmProgress->show();
}

void MainWindow::HideProgress() {
    if (frmProgress) frmProgress->hide();
}

void MainWindow::RepaintGauge() {
    if (frmProgress) frmProgress->ggProgress->Repaint();
}

void MainWindow::SetStatusText(const std::string& text) {
    StatusBar1Text->setText(FromBytes(text));
}

void MainWindow::ProcessEvents() { QCoreApplication::processEvents(); }

void MainWindow::SetCloseEnabled(bool enabled) {
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
    if (QWindow* handle = windowHandle()) handle->setFlags(flags);
}

// --- the controls ---------------------------------------------------------------------------

void MainWindow::SetVisible(ControlId id, bool visible) { Widget(id)->setVisible(visible); }

void MainWindow::SetEnabled(ControlId id, bool enabled) { Widget(id)->setEnabled(enabled); }

void MainWindow::SetCaption(ControlId id, const std::string& caption) {
    if (auto* button = qobject_cast<QPushButton*>(Widget(id))) button->setText(FromBytes(caption));
}

std::string MainWindow::Text(ControlId id) {
    auto* combo = qobject_cast<QComboBox*>(Widget(id));
    return combo ? combo->currentText().toLocal8Bit().toStdString() : std::string();
}

void MainWindow::SelectIndex(ControlId id, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(Widget(id))) combo->setCurrentIndex(index);
}

std::optional<ControlId> MainWindow::Focused() {
    QWidget* focus = focusWidget();
    for (const ControlEntry& entry : Controls())
        if (Widget(entry.id) == focus) return entry.id;
    return std::nullopt;
}

void MainWindow::SetFocus(ControlId id) { Widget(id)->setFocus(Qt::OtherFocusReason); }

protocol::LineSource MainWindow::MemoLines() { return qt::MemoLines(*Memo1); }

// --- the window -----------------------------------------------------------------------------

void MainWindow::SetTitle(const std::string& title) {
    const QString text = FromBytes(title);
    setWindowTitle(text);
    QCoreApplication::setApplicationName(text);
    QGuiApplication::setApplicationDisplayName(text);
}

void MainWindow::SetClientHeight(int height) {
    // The start size is settled then and is not measured again when the window first shows.
    startSizePending_ = false;
    resize(width(), height);
}

void MainWindow::PostClose() { QMetaObject::invokeMethod(this, "close", Qt::QueuedConnection); }

void MainWindow::StartTimer(int intervalMs) {
    Timer1->setInterval(intervalMs);
    Timer1->start();
}

void MainWindow::StopTimer() { Timer1->stop(); }

void MainWindow::DestroyProgress() {
    if (!frmProgress) return;
    TfrmProgress* dialog = frmProgress.data();
    frmProgress = nullptr;
    dialog->hide();
    delete dialog;
}

std::string MainWindow::ProgramDirectory() {
    return PathBytes(QCoreApplication::applicationDirPath());
}

}  // namespace prax::app::qt
