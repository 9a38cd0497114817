// praxdl fonts, and the font `praxdl font NAME` names: the installed fonts as the font selection
// dialog lists them.
#pragma once

#include <optional>
#include <string>

#include "cli/Praxdl.h"
#include "protocol/Operator.h"

namespace prax::cli {

// Each font, its file and size: tab-separated lines, or one JSON object each with `json`. The
// reason the list can't be read, or nothing.
std::string PrintFonts(platform::Platform& host, bool json, Streams& io);

// The listed font of that name in `font`; the reason there is none, or nothing.
std::string FindFont(platform::Platform& host, const std::string& name, std::optional<protocol::FontChoice>& font);

// A TrueType file sent under `name`, as the font list would give a user's font: by its full path.
protocol::FontChoice FontFromFile(const std::string& path, const std::string& name);

}  // namespace prax::cli
