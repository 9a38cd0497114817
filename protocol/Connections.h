// The connections an operator can choose, in the order the window lists them, and the port code
// each one stands for.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "link/TCom.h"

namespace prax::protocol {

inline constexpr std::array<std::string_view, 10> kConnectionNames = {
    "USB",         "LPT1",        "COM1 115200", "COM2 115200", "COM3 115200",
    "COM4 115200", "COM5 115200", "COM6 115200", "COM7 115200", "COM8 115200"};

// "USB" is 300, "LPT1" 0, "COMn 115200" n; any other index (-1 when nothing is chosen) is
// passed on as it is.
constexpr std::int32_t PortCodeForConnection(int index) {
    if (index == 0) return link::kUsbPortCode;
    if (index == 1) return link::kLpt1PortCode;
    if (index >= 2 && index <= 9) return index - 1;
    return index;
}

}  // namespace prax::protocol
