#include "protocol/GaugeModel.h"

#include <cmath>

namespace prax::protocol {

bool GaugeModel::SetProgress(std::int32_t v) {
    const int before = Percent();
    if (v < min_) v = min_;
    if (v > max_) v = max_;
    progress_ = v;
    return Percent() != before;
}

bool GaugeModel::SetMaxValue(std::int32_t v) {
    if (v == 0) return false;
    if (v < min_) throw std::out_of_range("Gauge maximum below its minimum");
    max_ = v;
    if (progress_ > max_) progress_ = max_;
    return true;
}

bool GaugeModel::SetMinValue(std::int32_t v) {
    if (v > max_) throw std::out_of_range("Gauge minimum above its maximum");
    min_ = v;
    if (progress_ < min_) progress_ = min_;
    return true;
}

bool GaugeModel::SetForeColor(Rgb c) {
    if (c == fore_) return false;
    fore_ = c;
    return true;
}

bool GaugeModel::SetBackColor(Rgb c) {
    if (c == back_) return false;
    back_ = c;
    return true;
}

int GaugeModel::Percent() const {
    if (max_ == min_) return 0;
    // Computed in double: the range of two 32-bit values times 100 overflows an int.
    const double done = (static_cast<double>(progress_) - min_) * 100.0 /
                        (static_cast<double>(max_) - min_);
    return static_cast<int>(std::floor(done));
}

}  // namespace prax::protocol
