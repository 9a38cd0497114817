// Placeholder until the terminal bar lands: the rate since Start.
#pragma once

#include <chrono>
#include <cstdint>

namespace prax::cli {

class RateMeter {
public:
    using Clock = std::chrono::steady_clock;
    void Start(Clock::time_point now, std::int64_t position) {
        start_ = now;
        first_ = last_ = position;
        lastAt_ = now;
    }
    void Add(Clock::time_point now, std::int64_t position) {
        last_ = position;
        lastAt_ = now;
    }
    double BytesPerSecond() const {
        const double s = std::chrono::duration<double>(lastAt_ - start_).count();
        return s > 0 ? static_cast<double>(last_ - first_) / s : 0.0;
    }

private:
    Clock::time_point start_, lastAt_;
    std::int64_t first_ = 0, last_ = 0;
};

}  // namespace prax::cli
