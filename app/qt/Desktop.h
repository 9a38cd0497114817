// Where the program's windows are placed.
#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include "app/core/DialogGeometry.h"
#include "app/core/Placement.h"

namespace prax::app::qt {

// A rectangle of the control table, and one of Qt's as the core's.
inline QRect QtRect(const app::Rect& r) { return {r.left, r.top, r.width, r.height}; }
inline app::Rect CoreRect(const QRect& r) { return {r.x(), r.y(), r.width(), r.height()}; }

// Centres the window, `outer` being its size, in `area`.
inline void CentreIn(QWidget& window, const QRect& area, const QSize& outer) {
    const app::Rect place = app::CentredIn(CoreRect(area), outer.width(), outer.height());
    window.move(place.left, place.top);
}

// Centres the window, frame included, on the whole desktop (all screens as one).
inline void CentreOnDesktop(QWidget& window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    CentreIn(window, screen->virtualGeometry(), window.frameGeometry().size());
}

}  // namespace prax::app::qt
