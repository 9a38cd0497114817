// The firmware downloads: the firmware image behind its header, its Continue series, and the
// small image behind the download-mode command.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "protocol/Context.h"
#include "protocol/Transfer.h"

namespace prax::protocol {

inline constexpr const char* kFirmwareFilter = "*.bin (binary file)|*.bin|*.* |*.*";
inline constexpr const char* kDownloadModeFilter = "*.* |*.*|";
// The largest image the printer's download mode takes: 128 KiB.
inline constexpr std::int32_t kDownloadModeMaxSize = 131072;
inline constexpr const char* kDownloadModeTooLarge = "DL MODE SHOW LESS THEN 128KByte";

struct FirmwareRequest : FileSource {
    std::string packageSizeText = "512";  // the text of the package size list
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

// The download-mode command, the image in whole 512-byte chunks, trailer and ramp each in one
// write, then the countdown while the printer restarts. The image is loaded and its size tested
// before anything is opened.
Result DownloadModeFirmware(Context& ctx, const FileSource& source);

}  // namespace prax::protocol
