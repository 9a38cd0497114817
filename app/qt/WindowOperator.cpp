#include "app/qt/WindowOperator.h"

#include <utility>

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>
#include <QApplication>
#include <QCompleter>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include "app/qt/MemoText.h"
#include "app/qt/QtLayout.h"
#include "dialogs/qt/Desktop.h"

namespace prax::app {

namespace {

QString FromBytes(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }
std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString PathText(const std::string& path) { return QFile::decodeName(path.c_str()); }

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

WindowOperator::WindowOperator(QMainWindow& window, TForm1Layout& layout,
                               QPointer<dialogs::TfrmProgress>& progress,
                               QPointer<dialogs::TForm2>& fonts, TForm1Hooks& hooks)
    : window_(window), layout_(layout), progress_(progress), fonts_(fonts), hooks_(hooks) {}

void WindowOperator::OkBox(int icon, const BoxHook& hook, const std::string& text, Qt::TextFormat format) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hook) return hook(caption, qText);
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, qText, QMessageBox::Ok, &window_);
    box.setTextFormat(format);
    box.exec();
}

void WindowOperator::ShowMessage(const std::string& text) {
    OkBox(QMessageBox::NoIcon, hooks_.message, text, Qt::AutoText);
}

// Line for line as given: the program's own text, then the host's reason, which may hold
// anything a path can, markup-like text included. The box grows to hold both lines and breaks
// one that is wider than the screen allows.
void WindowOperator::ShowWarning(const std::string& text) {
    OkBox(QMessageBox::Warning, hooks_.warning ? hooks_.warning : hooks_.message, text, Qt::PlainText);
}

void WindowOperator::ShowError(const std::string& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hooks_.error) {
        hooks_.error(caption, qText);
        return;
    }
    QMessageBox::critical(&window_, caption, qText);
}

int WindowOperator::AskQuestion(const std::string& text, const std::string& caption,
                                std::uint32_t type) {
    const QString qCaption = FromBytes(caption);
    const QString qText = FromBytes(text);
    if (hooks_.question) return hooks_.question(qCaption, qText, type);
    const bool yesNo = (type & platform::MB_YESNO_) != 0;
    QMessageBox box(&window_);
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

std::string WindowOperator::ChooseFile(const protocol::FileDialogSetup& setup) {
    const QString filter = QtFileFilter(setup.filter);
    const QString directory = PathText(setup.initialDirectory);
    if (hooks_.openFile) return PathBytes(hooks_.openFile(filter, directory));

    QFileDialog* dialog = layout_.dlOpenBin();
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

bool WindowOperator::OpenFontList() {
    if (!fonts_) return false;
    fonts_->show();
    fonts_->raise();
    fonts_->activateWindow();
    fonts_->FillFontList();
    return true;
}

FormView::FontListState WindowOperator::FontList() {
    if (!fonts_) return {};
    return {fonts_->isVisible(), fonts_->isActiveWindow(),
            !fonts_->selectedFontName.empty() && !fonts_->selectedFontFile.empty()};
}

protocol::FontChoice WindowOperator::TakeFontChoice() {
    if (!fonts_) return {};
    return {std::exchange(fonts_->selectedFontName, {}), std::exchange(fonts_->selectedFontFile, {})};
}

void WindowOperator::ShowProgress() {
    if (progress_) progress_->show();
}

void WindowOperator::HideProgress() {
    if (progress_) progress_->hide();
}

void WindowOperator::SetProgressColor(protocol::Rgb colour) {
    if (progress_) progress_->ggProgress->SetForeColor(colour);
}

void WindowOperator::SetProgressMax(std::int32_t max) {
    if (progress_) progress_->ggProgress->SetMaxValue(max);
}

void WindowOperator::SetProgressPosition(std::int32_t position) {
    if (progress_) progress_->ggProgress->SetProgress(position);
}

std::int32_t WindowOperator::ProgressPosition() {
    return progress_ ? progress_->ggProgress->Progress() : 0;
}

void WindowOperator::SetStatusText(const std::string& text) {
    layout_.StatusBar1Text->setText(FromBytes(text));
}

void WindowOperator::ProcessEvents() { QCoreApplication::processEvents(); }

void WindowOperator::SetCloseEnabled(bool enabled) {
    if (enabled == closeEnabled_) return;
    closeEnabled_ = enabled;
    // The close box goes with the Close command. The new flags go straight to the window
    // system's window: setWindowFlags would create that window afresh, and so hide it.
    Qt::WindowFlags flags = openFlags_;
    if (!enabled) {
        openFlags_ = window_.windowFlags();
        flags = openFlags_;
        // Without this hint the window system picks the buttons itself, the close box among
        // them; with it, the frame keeps what is named here.
        if (!(flags & Qt::CustomizeWindowHint)) {
            flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                     Qt::WindowMinMaxButtonsHint;
        }
        flags &= ~Qt::WindowCloseButtonHint;
    }
    window_.overrideWindowFlags(flags);
    if (QWindow* handle = window_.windowHandle()) handle->setFlags(flags);
}

// --- the controls ---------------------------------------------------------------------------

void WindowOperator::SetVisible(ControlId id, bool visible) { layout_.Widget(id)->setVisible(visible); }

void WindowOperator::SetEnabled(ControlId id, bool enabled) { layout_.Widget(id)->setEnabled(enabled); }

void WindowOperator::SetCaption(ControlId id, const std::string& caption) {
    if (auto* button = qobject_cast<QPushButton*>(layout_.Widget(id))) button->setText(FromBytes(caption));
}

int WindowOperator::SelectedIndex(ControlId id) {
    auto* combo = qobject_cast<QComboBox*>(layout_.Widget(id));
    return combo ? combo->currentIndex() : -1;
}

std::string WindowOperator::Text(ControlId id) {
    auto* combo = qobject_cast<QComboBox*>(layout_.Widget(id));
    return combo ? combo->currentText().toLocal8Bit().toStdString() : std::string();
}

void WindowOperator::SelectIndex(ControlId id, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(layout_.Widget(id))) combo->setCurrentIndex(index);
}

std::optional<ControlId> WindowOperator::Focused() {
    QWidget* focus = window_.focusWidget();
    for (const ControlLayout& entry : Controls())
        if (layout_.Widget(entry.id) == focus) return entry.id;
    return std::nullopt;
}

void WindowOperator::SetFocus(ControlId id) { layout_.Widget(id)->setFocus(Qt::OtherFocusReason); }

protocol::LineSource WindowOperator::MemoLines() { return app::MemoLines(*layout_.Memo1); }

// --- the window -----------------------------------------------------------------------------

void WindowOperator::SetTitle(const std::string& title) {
    const QString text = FromBytes(title);
    window_.setWindowTitle(text);
    QCoreApplication::setApplicationName(text);
    QGuiApplication::setApplicationDisplayName(text);
}

void WindowOperator::SetClientHeight(int height) {
    // The start size is settled then and is not measured again when the window first shows.
    startSizePending = false;
    window_.resize(window_.width(), height);
}

void WindowOperator::PostClose() { QMetaObject::invokeMethod(&window_, "close", Qt::QueuedConnection); }

void WindowOperator::StartTimer(int intervalMs) {
    layout_.Timer1->setInterval(intervalMs);
    layout_.Timer1->start();
}

void WindowOperator::StopTimer() { layout_.Timer1->stop(); }

void WindowOperator::DestroyProgress() {
    if (!progress_) return;
    dialogs::TfrmProgress* dialog = progress_.data();
    progress_ = nullptr;
    dialog->hide();
    delete dialog;
}

std::string WindowOperator::ProgramDirectory() {
    return PathBytes(QCoreApplication::applicationDirPath());
}

}  // namespace prax::app
