// The rules of the progress gauge, without any widget: every front end keeps its position here,
// so the window, praxdl and the tests all report the same clamped counts.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "protocol/Rgb.h"

namespace prax::protocol {

class GaugeModel {
public:
    GaugeModel() = default;

    std::int32_t MinValue() const { return min_; }
    std::int32_t MaxValue() const { return max_; }
    std::int32_t Progress() const { return progress_; }
    Rgb ForeColor() const { return fore_; }
    Rgb BackColor() const { return back_; }

    // Each setter returns true when what the gauge shows changed, so a widget knows to repaint.
    bool SetProgress(std::int32_t v);
    // A maximum of 0 is ignored; one below the minimum is refused with std::out_of_range.
    bool SetMaxValue(std::int32_t v);
    // A minimum above the maximum is refused with std::out_of_range.
    bool SetMinValue(std::int32_t v);
    bool SetForeColor(Rgb c);
    bool SetBackColor(Rgb c);

    // Whole-number percentage done, rounded down; 0 for an empty range.
    int Percent() const;

private:
    std::int32_t min_ = 0;
    std::int32_t max_ = 100;
    std::int32_t progress_ = 0;
    Rgb fore_ = kBlue;
    Rgb back_ = kWhite;
};

}  // namespace prax::protocol
