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
    // `file` is a bare file name of the fonts folder, or the full path of a font installed for
    // this user alone.
    std::string name, file;
    std::int64_t size = -1;  // -1: the file can't be opened
    // Why the name can't go into a font's header line (see HeaderNameProblem); empty when it
    // can. Such a font is listed all the same, marked, so the operator sees why it is refused.
    std::string problem;
};
struct FontList {
    bool opened = false;  // false: neither of the machine's fonts keys could be opened
    std::vector<FontRow> rows;
    // Where the list was read, in words for the operator: the machine's fonts, then this user's.
    std::vector<std::string> places;
};

// The machine's fonts in case-insensitive order of their entry names, then, in the same order,
// the TrueType fonts installed for the current user alone (a full path as the value). Throws
// std::runtime_error when a value of the machine's key is not text.
FontList ReadInstalledFonts(platform::Platform& host);
// Where the host keeps a listed font's `file`: a bare name lies in the fonts folder, a full
// path where it says.
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
