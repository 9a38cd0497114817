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

// The package size in the list's text: an integer from 1 to 2048. On a refusal `error` holds the
// text to show ("'x' is not a valid integer value", or the allowed range).
struct PackageSize {
    int value = 0;
    std::string error;
    bool ok() const { return error.empty(); }
};
PackageSize ParsePackageSize(const std::string& text);

// The result text of the status line after a firmware download: "N Bytes  CRC=XXXX".
std::string FirmwareStatusLine(const std::string& statusText, std::uint16_t reg);

// Header, body in chunks of the package size, checksum trailer, closing ramp.
Result DownloadFirmware(Context& ctx, const FirmwareRequest& request);

// The same image again and again, one printer after another, until a connection can't be opened.
// `setCaption` receives "Continue 2", "Continue 3", ... as each pass starts.
Result ContinueSeries(Context& ctx, const std::string& programDirectory,
                      const std::function<void(const std::string&)>& setCaption);

}  // namespace prax::protocol
