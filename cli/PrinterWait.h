// A recipe's wait = "printer": the firmware it was sent makes the printer restart, and the next
// step must not go out before it is back.
#pragma once

#include <cstdint>
#include <string>

#include "cli/Praxdl.h"
#include "cli/Targets.h"

namespace prax::cli {

// How the wait ended.
struct PrinterBack {
    bool back = false;
    bool interrupted = false;
    std::string why;  // when it is not back
};

// Waits at most `ms` for the printer of `target` to restart and come back. A USB printer: until
// one of the same serial number (`serial`, the one the last step opened) is attached again, maybe
// under another node than `opened`, the one the last step wrote to; `target` then names it. A network printer: until it refused a
// connection and then accepts one again. A serial or parallel port or a device can't tell: it is
// a pause of `ms`. --output has no printer to wait for.
PrinterBack WaitForPrinter(Host& host, Target& target, const std::string& serial, const std::string& opened,
                           std::uint32_t ms);

}  // namespace prax::cli
