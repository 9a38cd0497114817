// Any file to the printer byte for byte, exactly as stored: nothing before it, nothing after it.
#pragma once

#include "protocol/Context.h"
#include "protocol/Transfer.h"

namespace prax::protocol {

inline constexpr const char* kRawFileFilter = "*.* |*.*";
inline constexpr const char* kRawFileReady = "ok";

// Opens the link, loads the file, says "ok", then sends the file in 1024-byte writes with the
// tail one byte per write. The gauge keeps the colour and position the last transfer left.
Result DownloadRawFile(Context& ctx, const FileSource& source);

}  // namespace prax::protocol
