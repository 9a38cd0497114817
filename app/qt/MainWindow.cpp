#include "app/qt/MainWindow.h"

#include <utility>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include "app/qt/Desktop.h"

namespace prax::app::qt {

namespace {

std::vector<std::string> ArgumentBytes(const QStringList& arguments) {
    std::vector<std::string> bytes;
    for (const QString& argument : arguments) bytes.push_back(QFile::encodeName(argument).toStdString());
    return bytes;
}

}  // namespace

MainWindow::MainWindow(platform::Platform& host, QStringList arguments, TForm1Hooks hooks_,
                       QWidget* parent)
    : QMainWindow(parent), hooks(std::move(hooks_)), ui_(*this, *this, frmProgress, Form2, hooks) {
    BuildWidgets(*this);
    core_ = std::make_unique<TForm1>(host, ui_, ArgumentBytes(arguments));
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
    if (ui_.startSizePending) {
        ui_.startSizePending = false;
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
            core_->Button1KeyPress(static_cast<char32_t>(text[0].unicode() & 0x1F));
        } else {
            for (const char32_t c : text.toUcs4()) core_->Button1KeyPress(c);
        }
    }
    // Enter presses the button with the focus, as on any dialog; Space already does.
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
        button->click();
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

}  // namespace prax::app::qt
