// The firmware download and its Continue series.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "protocol/Context.h"

namespace prax::protocol {

inline constexpr const char* kFirmwareFilter = "*.bin (binary file)|*.bin|*.* |*.*";

struct FirmwareRequest {
    std::string packageSizeText = "512";    // the text of the package size list
    std::optional<std::string> imagePath;   // set in command-line mode: no file dialog then
    std::string programDirectory;           // where the file dialog starts
};

// The result text of the status line after a firmware download: "N Bytes  CRC=XXXX".
std::string FirmwareStatusLine(const std::string& statusText, std::uint16_t reg);

// Header, body in chunks of the package size, checksum trailer, closing ramp.
Result DownloadFirmware(Context& ctx, const FirmwareRequest& request);

// The same image again and again, one printer after another, until a connection can't be opened.
// `setCaption` receives "Continue 2", "Continue 3", ... as each pass starts.
Result ContinueSeries(Context& ctx, const std::string& programDirectory,
                      const std::function<void(const std::string&)>& setCaption);

}  // namespace prax::protocol
