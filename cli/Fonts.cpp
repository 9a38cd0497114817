#include "cli/Fonts.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "cli/Json.h"
#include "protocol/FontList.h"
#include "protocol/Fonts.h"

namespace prax::cli {

namespace {

// The fonts as the font selection dialog lists them; the reason they can't be read, or nothing.
std::string ReadFonts(platform::Platform& host, protocol::FontList& list) {
    try {
        list = protocol::ReadInstalledFonts(host);
    } catch (const std::exception& e) {
        return e.what();
    }
    return list.opened ? std::string() : std::string(protocol::kCantOpenFont);
}

}  // namespace

std::string PrintFonts(platform::Platform& host, bool json, Streams& io) {
    protocol::FontList list;
    if (const std::string error = ReadFonts(host, list); !error.empty()) return error;
    for (const protocol::FontRow& row : list.rows) {
        if (json) {
            JsonObject entry("font");
            entry.Add("name", row.name).Add("file", row.file).Add("size", row.size).Add("sendable", row.problem.empty());
            if (!row.problem.empty()) entry.Add("problem", row.problem);
            io.out << entry.Line();
            continue;
        }
        // A name that can't be sent is marked, and never printed with its control characters.
        io.out << protocol::PrintableName(row.name) << '\t' << row.file << '\t' << protocol::SizeText(row.size)
               << (row.problem.empty() ? "" : "\tnot sendable: " + row.problem) << '\n';
    }
    // An empty list is no failure, but a person should not wonder why nothing came.
    if (list.rows.empty())
        io.err << "praxdl: no font is listed: the list takes TrueType fonts (.ttf files), and none is "
                  "installed\n";
    return {};
}

std::string FindFont(platform::Platform& host, const std::string& name, std::optional<protocol::FontChoice>& font) {
    protocol::FontList list;
    if (const std::string error = ReadFonts(host, list); !error.empty()) return error;
    const auto it = std::find_if(list.rows.begin(), list.rows.end(),
                                 [&](const protocol::FontRow& row) { return row.name == name; });
    if (it == list.rows.end()) return "no font named \"" + name + "\" is listed (see praxdl fonts)";
    font = protocol::FontChoice{it->name, it->file};
    return {};
}

}  // namespace prax::cli

namespace prax::cli {

protocol::FontChoice FontFromFile(const std::string& path, const std::string& name) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    return protocol::FontChoice{name, ec ? path : full.lexically_normal().string()};
}

}  // namespace prax::cli
