// The small borderless window that shows how far a transfer has got, and that doubles as the
// red countdown after a download-mode transfer. It takes no input and is never modal: the main
// window stays usable while it is up.
#pragma once

#include <cstdint>
#include <functional>

#include <QFrame>
#include <QWidget>

#include "app/core/DialogGeometry.h"
#include "app/qt/Gauge.h"

namespace prax::app::qt {

class TfrmProgress : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = app::progress::kClientWidth;
    static constexpr int kClientHeight = app::progress::kClientHeight;

    // The owner keeps the window above itself and destroys it along with itself; the gauge
    // paints `gauge`, which outlives the window.
    TfrmProgress(QWidget* owner, const protocol::GaugeModel& gauge);

    QFrame* Panel1 = nullptr;
    TGauge* ggProgress = nullptr;

    // Told of Escape pressed while the window has the keyboard; the window itself stays up.
    std::function<void()> escapePressed;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CentreOnScreen();
};

}  // namespace prax::app::qt
