// The installed-fonts list as Windows keeps it in its registry, built from what fontconfig knows:
// one entry per font file, named the way Windows names it, holding the bare file name.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace prax::platform::posix {

// One face fontconfig reports.
struct FontFace {
    std::string file;      // full path
    int index = 0;         // face in a collection in the low 16 bits, named instance above
    std::string fullName;  // the English full name
    std::string format;    // fontconfig's font format: "TrueType", "CFF", "Type 1", "PCF" ...
    bool scalable = false;
};

struct FontView {
    // Entry name ("DejaVu Sans (TrueType)") and bare file name ("DejaVuSans.ttf"), one per file.
    std::vector<std::pair<std::string, std::string>> entries;
    // Upper-cased bare file name -> the file's path, for the entries listed.
    std::map<std::string, std::string> paths;
    // The fonts of the user's own folder, as Windows lists a font installed for one user: entry
    // name and the file's full path.
    std::vector<std::pair<std::string, std::string>> userEntries;
};

// Groups the faces by file and names each file as Windows would: the full names of its faces
// joined with " & ", then " (TrueType)" for glyph outlines or " (OpenType)" for CFF ones. Named
// instances of variable fonts, bitmap and Type 1 fonts are left out. Entry names and bare file
// names are unique (letter case ignored), the first file in path order keeping them. Files below
// `userFolder` (when given) are the user's own: they go to `userEntries`, unique by entry name.
FontView ViewOfFaces(std::vector<FontFace> faces, const std::string& userFolder = {});

// The faces of the installed fonts, from a fontconfig configuration loaded afresh (so fonts
// installed meanwhile count, and FONTCONFIG_FILE chooses another configuration). False when
// fontconfig could not be set up.
bool InstalledFaces(std::vector<FontFace>& faces);

}  // namespace prax::platform::posix
