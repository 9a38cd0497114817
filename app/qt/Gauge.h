// The progress gauge as a widget: it paints the window core's gauge model and nothing else. The
// core holds the only model, with its clamping and percentage rules, and asks for a repaint only
// when what the gauge shows changed.
#pragma once

#include <cstdint>

#include <QWidget>

#include "protocol/GaugeModel.h"

namespace prax::app::qt {

class TGauge : public QWidget {
    Q_OBJECT

public:
    // `model` outlives the widget.
    explicit TGauge(const protocol::GaugeModel& model, QWidget* parent = nullptr);

    const protocol::GaugeModel& Model() const { return model_; }
    std::int32_t MinValue() const { return model_.MinValue(); }
    std::int32_t MaxValue() const { return model_.MaxValue(); }
    std::int32_t Progress() const { return model_.Progress(); }
    protocol::Rgb ForeColor() const { return model_.ForeColor(); }
    protocol::Rgb BackColor() const { return model_.BackColor(); }
    int Percent() const { return model_.Percent(); }

    // Paints the model afresh.
    void Repaint();
    // How many repaints were asked for since the gauge was made.
    int RepaintRequests() const { return repaintRequests_; }

    QSize sizeHint() const override { return {662, 67}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const protocol::GaugeModel& model_;
    int repaintRequests_ = 0;
};

}  // namespace prax::app::qt
