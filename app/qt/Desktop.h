// Where the program's windows are placed.
#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include "app/core/DialogGeometry.h"

namespace prax::app::qt {

// A rectangle of the layout table.
inline QRect QtRect(const app::Rect& r) { return {r.left, r.top, r.width, r.height}; }

// Centres the window, frame included, on the whole desktop (all screens as one).
inline void CentreOnDesktop(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect desktop = screen->virtualGeometry();
    const QSize outer = window.frameGeometry().size();
    window.move(desktop.x() + (desktop.width() - outer.width()) / 2,
                desktop.y() + (desktop.height() - outer.height()) / 2);
}

}  // namespace prax::app::qt
