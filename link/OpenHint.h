// Why a connection did not open, in words an operator can act on: the line the window's failure
// box and praxdl show under "Open port failed". Asked right after the failed open, while the
// host still holds its reason.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Platform.h"

namespace prax::link {

struct NetworkTarget;

// For the connection `portCode` (or the network printer, or an output file when `toFile`); empty
// when the host gave no reason.
std::string OpenFailureHint(platform::Platform& host, std::int32_t portCode, const NetworkTarget* network,
                            bool toFile);
// Why the "USB" connection did not open.
std::string UsbOpenHint(platform::Platform& host);
// Why "USB" opens none of the `attached` printers of an accepted make that a whole look finds.
std::string UnseenUsbPrinters(std::size_t attached);
// The host's reason for a USB printer node that would not open, with what the operator can do.
std::string UsbReasonText(platform::HostReason reason, const std::string& detail);

}  // namespace prax::link
