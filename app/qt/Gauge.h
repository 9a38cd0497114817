// The progress gauge as a widget: it paints a GaugeModel and nothing else, so the clamping and
// percentage rules stay in the one plain class every front end shares.
#pragma once

#include <cstdint>

#include <QWidget>

#include "protocol/GaugeModel.h"

namespace prax::app::qt {

class TGauge : public QWidget {
    Q_OBJECT

public:
    explicit TGauge(QWidget* parent = nullptr);

    const protocol::GaugeModel& Model() const { return model_; }
    std::int32_t MinValue() const { return model_.MinValue(); }
    std::int32_t MaxValue() const { return model_.MaxValue(); }
    std::int32_t Progress() const { return model_.Progress(); }
    protocol::Rgb ForeColor() const { return model_.ForeColor(); }
    protocol::Rgb BackColor() const { return model_.BackColor(); }
    int Percent() const { return model_.Percent(); }

    // The setters repaint only when what the gauge shows changed; a transfer of thousands of
    // blocks then costs about a hundred repaints. The range setters throw std::out_of_range
    // like the model does.
    void SetProgress(std::int32_t v);
    void SetMaxValue(std::int32_t v);
    void SetMinValue(std::int32_t v);
    void SetForeColor(protocol::Rgb c);
    void SetBackColor(protocol::Rgb c);

    // How many repaints the setters have asked for since the gauge was made.
    int RepaintRequests() const { return repaintRequests_; }

    QSize sizeHint() const override { return {662, 67}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void RepaintIf(bool changed);

    protocol::GaugeModel model_;
    int repaintRequests_ = 0;
};

}  // namespace prax::app::qt
