#include "app/qt/ProgressDialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include "app/qt/Desktop.h"

namespace prax::app::qt {

TfrmProgress::TfrmProgress(QWidget* owner, const protocol::GaugeModel& gauge)
    : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QString::fromLatin1(app::progress::kCaption));
    // Showing the gauge must not pull the keyboard focus away from the main window: the
    // operator may still be typing into it.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowModality(Qt::NonModal);

    QFont windowFont = font();
    windowFont.setPixelSize(app::progress::kFontPixels);
    setFont(windowFont);
    // The button face of whatever theme is in use, also one changed while the program runs.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    // Fixed pixels, not scaled for the screen's density: the gauge is only a bar and a number.
    setFixedSize(kClientWidth, kClientHeight);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    // A one-pixel frame plus a one-pixel lowered bevel: two pixels on every side, which is
    // exactly where the gauge begins.
    Panel1->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    Panel1->setGeometry(QtRect(app::progress::kPanel1));

    ggProgress = new TGauge(gauge, Panel1);
    ggProgress->setObjectName(QStringLiteral("ggProgress"));
    ggProgress->setGeometry(QtRect(app::progress::kGauge));

    CentreOnScreen();
}

void TfrmProgress::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) return QWidget::keyPressEvent(event);
    // Whoever owns the transfer decides what Escape does.
    event->accept();
    if (escapePressed) escapePressed();
}

void TfrmProgress::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    CentreIn(*this, screen->geometry(), size());
}

}  // namespace prax::app::qt
