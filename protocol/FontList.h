// The installed TrueType fonts as the font selection lists them, read from the host's font
// registry. No Qt: the dialog and praxdl show the same list from here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace prax::protocol {

inline constexpr const char* kCantOpenFont = "Can't open font";

struct FontRow {
    std::string name, file;
    std::int64_t size = -1;  // -1: the file can't be opened
    // Why the name can't go into a font's header line (see HeaderNameProblem); empty when it
    // can. Such a font is listed all the same, marked, so the operator sees why it is refused.
    std::string problem;
};
struct FontList {
    bool opened = false;  // false: neither fonts key could be opened
    std::vector<FontRow> rows;
};

// The listed fonts in case-insensitive order of their entry names. Throws std::runtime_error
// when an entry's value is not text.
FontList ReadInstalledFonts(platform::Platform& host);
// Where the host keeps `file` of the fonts folder.
std::string FontFilePath(platform::Platform& host, const std::string& file);
// "1300 Bytes", "-1 Bytes".
std::string SizeText(std::int64_t size);

// What the preview shows for an entry: the caption, and the face to draw it in (empty: leave
// the font as it is).
struct FontPreview {
    std::string caption;
    std::string face;
};
FontPreview PreviewOf(const std::string& entryName);

}  // namespace prax::protocol
