// A colour as the gauge and the operator interface name it: the progress dialog's bar is blue
// for a transfer and red for the countdown, on white.
#pragma once

#include <cstdint>

namespace prax::protocol {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};

}  // namespace prax::protocol
