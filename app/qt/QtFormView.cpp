#include "app/qt/QtFormView.h"

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
#include "app/qt/FormWidgets.h"
#include "app/qt/Desktop.h"

namespace prax::app::qt {

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

QtFormView::QtFormView(QMainWindow& window, FormWidgets& layout,
                               QPointer<TfrmProgress>& progress,
                               QPointer<TForm2>& fonts, TForm1Hooks& hooks)
    : window_(window), layout_(layout), progress_(progress), fonts_(fonts), hooks_(hooks) {}

void QtFormView::OkBox(int icon, const BoxHook& hook, const std::string& text, Qt::TextFormat format) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hook) return hook(caption, qText);
    QMessageBox box(static_cast<QMessageBox::Icon>(icon), caption, qText, QMessageBox::Ok, &window_);
    box.setTextFormat(format);
    box.exec();
}

void QtFormView::ShowMessage(const std::string& text) {
    OkBox(QMessageBox::NoIcon, hooks_.message, text, Qt::AutoText);
}

// Line for line as given: the program's own text, then the host's reason, which may hold
// anything a path can, markup-like text included. The box grows to hold both lines and breaks
// one that is wider than the screen allows.
void QtFormView::ShowWarning(const std::string& text) {
    OkBox(QMessageBox::Warning, hooks_.warning ? hooks_.warning : hooks_.message, text, Qt::PlainText);
}

void QtFormView::ShowError(const std::string& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hooks_.error) {
        hooks_.error(caption, qText);
        return;
    }
    QMessageBox::critical(&window_, caption, qText);
}

int QtFormView::AskQuestion(const std::string& text, const std::string& caption,
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

std::string QtFormView::ChooseFile(const protocol::FileDialogSetup& setup) {
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

bool QtFormView::OpenFontDialog() {
    if (!fonts_) return false;
    fonts_->show();
    fonts_->raise();
    fonts_->activateWindow();
    CentreOnDesktop(*fonts_);
    return true;
}

FormView::FontDialogState QtFormView::PollFontDialog() {
    if (!fonts_) return {};
    return {fonts_->isVisible(), fonts_->isActiveWindow()};
}

void QtFormView::DrawFontRows() {
    if (fonts_) fonts_->DrawRows();
}

void QtFormView::ShowProgress() {
    if (progress_) progress_->show();
}

void QtFormView::HideProgress() {
    if (progress_) progress_->hide();
}

void QtFormView::RepaintGauge() {
    if (progress_) progress_->ggProgress->Repaint();
}

void QtFormView::SetStatusText(const std::string& text) {
    layout_.StatusBar1Text->setText(FromBytes(text));
}

void QtFormView::ProcessEvents() { QCoreApplication::processEvents(); }

void QtFormView::SetCloseEnabled(bool enabled) {
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

void QtFormView::SetVisible(ControlId id, bool visible) { layout_.Widget(id)->setVisible(visible); }

void QtFormView::SetEnabled(ControlId id, bool enabled) { layout_.Widget(id)->setEnabled(enabled); }

void QtFormView::SetCaption(ControlId id, const std::string& caption) {
    if (auto* button = qobject_cast<QPushButton*>(layout_.Widget(id))) button->setText(FromBytes(caption));
}

std::string QtFormView::Text(ControlId id) {
    auto* combo = qobject_cast<QComboBox*>(layout_.Widget(id));
    return combo ? combo->currentText().toLocal8Bit().toStdString() : std::string();
}

void QtFormView::SelectIndex(ControlId id, int index) {
    if (auto* combo = qobject_cast<QComboBox*>(layout_.Widget(id))) combo->setCurrentIndex(index);
}

std::optional<ControlId> QtFormView::Focused() {
    QWidget* focus = window_.focusWidget();
    for (const ControlEntry& entry : Controls())
        if (layout_.Widget(entry.id) == focus) return entry.id;
    return std::nullopt;
}

void QtFormView::SetFocus(ControlId id) { layout_.Widget(id)->setFocus(Qt::OtherFocusReason); }

protocol::LineSource QtFormView::MemoLines() { return qt::MemoLines(*layout_.Memo1); }

// --- the window -----------------------------------------------------------------------------

void QtFormView::SetTitle(const std::string& title) {
    const QString text = FromBytes(title);
    window_.setWindowTitle(text);
    QCoreApplication::setApplicationName(text);
    QGuiApplication::setApplicationDisplayName(text);
}

void QtFormView::SetClientHeight(int height) {
    // The start size is settled then and is not measured again when the window first shows.
    startSizePending = false;
    window_.resize(window_.width(), height);
}

void QtFormView::PostClose() { QMetaObject::invokeMethod(&window_, "close", Qt::QueuedConnection); }

void QtFormView::StartTimer(int intervalMs) {
    layout_.Timer1->setInterval(intervalMs);
    layout_.Timer1->start();
}

void QtFormView::StopTimer() { layout_.Timer1->stop(); }

void QtFormView::DestroyProgress() {
    if (!progress_) return;
    TfrmProgress* dialog = progress_.data();
    progress_ = nullptr;
    dialog->hide();
    delete dialog;
}

std::string QtFormView::ProgramDirectory() {
    return PathBytes(QCoreApplication::applicationDirPath());
}

}  // namespace prax::app::qt
