#include "app/WindowOperator.h"

#include <utility>

#include <QAbstractItemView>
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

#include "app/Layout.h"

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
                               QPointer<dialogs::TForm2>& fonts, TForm1Hooks& hooks,
                               platform::Platform& host)
    : window_(window),
      layout_(layout),
      progress_(progress),
      fonts_(fonts),
      hooks_(hooks),
      host_(host) {
    host_.SetMessageBoxHandler(
        [this](const std::string& text, const std::string& caption, std::uint32_t type) {
            return AskQuestion(text, caption, type);
        });
}

WindowOperator::~WindowOperator() {
    // The host outlives the window; it must not call back into a window that is gone.
    host_.SetMessageBoxHandler(nullptr);
}

void WindowOperator::ShowMessage(const std::string& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString qText = FromBytes(text);
    if (hooks_.message) {
        hooks_.message(caption, qText);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, caption, qText, QMessageBox::Ok, &window_);
    box.exec();
}

void WindowOperator::ShowError(const QString& text) {
    const QString caption = QGuiApplication::applicationDisplayName();
    if (hooks_.error) {
        hooks_.error(caption, text);
        return;
    }
    QMessageBox::critical(&window_, caption, text);
}

int WindowOperator::AskQuestion(const std::string& text, const std::string& caption,
                                std::uint32_t type) {
    // The window is closing: the link's question is answered No, so the write gives up, and no
    // box is left standing for a window that is going away.
    if (stopRequested_) return (type & platform::MB_YESNO_) != 0 ? platform::IDNO_ : 1;
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

protocol::FontChoice WindowOperator::ChooseFont() {
    if (!fonts_) return {};
    fonts_->show();
    fonts_->raise();
    fonts_->activateWindow();
    fonts_->FillFontList();
    // The window system makes the window active a moment after it is shown; once it has been
    // active, turning to any other window ends the wait. Should the window system never make it
    // active, OK, Cancel and the close box still end it.
    bool wasActive = false;
    auto waiting = [&] {
        if (!fonts_ || !fonts_->isVisible() || stopRequested_) return false;
        if (!fonts_->selectedFontName.empty() && !fonts_->selectedFontFile.empty()) return false;
        const bool active = fonts_->isActiveWindow();
        wasActive = wasActive || active;
        return active || !wasActive;
    };
    while (waiting()) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    if (!fonts_) return {};
    // The choice is taken once: a later OK, with no download waiting, hands over nothing.
    protocol::FontChoice choice{std::exchange(fonts_->selectedFontName, {}),
                                std::exchange(fonts_->selectedFontFile, {})};
    // The main window is closing: no transfer starts.
    if (stopRequested_) return {};
    return choice;
}

void WindowOperator::ShowProgress() {
    // A transfer that starts while a countdown still runs takes the dialog over: the countdown's
    // ticks would otherwise step the new transfer's gauge, and hide the dialog under it.
    layout_.Timer1->stop();
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

void WindowOperator::StartCountdown() {
    if (!progress_) return;
    dialogs::TGauge* gauge = progress_->ggProgress;
    gauge->SetProgress(0);
    gauge->SetMaxValue(5);
    gauge->SetForeColor(dialogs::kRed);
    layout_.Timer1->setInterval(1000);
    progress_->show();
    layout_.Timer1->start();
}

}  // namespace prax::app
