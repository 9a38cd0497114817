// The font downloads: a TrueType font installed on this host, and any file as a font code table.
// Each goes behind one header line that names the slot, the font or table and the size; no
// answer is read and no checksum is sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Files.h"
#include "protocol/Context.h"
#include "protocol/Operator.h"
#include "protocol/Transfer.h"

namespace prax::protocol {

inline constexpr const char* kCodeTableFilter = "*.bin (Font Code Table)|*.bin|*.* |*.*";

// The printer keeps its header lines in small fixed buffers: the TrueType line (CR LF to CR) may
// be at most 71 characters, a code table's name at most 71, and the path it is taken from at
// most 127.
inline constexpr std::size_t kTrueTypeHeaderMax = 71;
inline constexpr std::size_t kTableNameMax = 71;
inline constexpr std::size_t kTablePathMax = 127;

// The printer's slot letter for the slot list's selected index: "TA" is A, "TZ" Z, and no
// selection (-1) the character before A.
char SlotLetter(int slotIndex);
// CR LF "~H,TTF," slot name "," size CR.
std::string TrueTypeHeader(char slot, const std::string& name, std::int32_t size);
// CR LF "~H,TTF_TABLE," slot name "," size CR.
std::string CodeTableHeader(char slot, const std::string& name, std::int32_t size);
// The table's name: the file name without its folder and without its last extension
// ("big5.table.bin" gives "big5.table"); a dot in a folder name is never reached.
std::string TableNameFromPath(const std::string& path, char separator = platform::kPathSeparator);

// Why a font's or table's name can't go into a header line, or nothing: a control character
// would end the line early (what follows it runs as a printer command) and a comma would forge
// the size field. `what` names the name in the message: "font", "code table".
std::string HeaderNameProblem(const std::string& name, const char* what);
// The name with each control character shown as '?', for lists and messages.
std::string PrintableName(const std::string& name);
// The name as the header line carries it: one byte per character (see HostText.h).
std::string HeaderNameBytes(const std::string& name);

// The font named in advance (a command line) or picked by the operator in the font list.
using FontSource = std::optional<FontChoice>;

// The font from the fonts folder behind its header, in 512-byte writes with the tail one byte per
// write. The font is read and the header checked before anything is opened; an incomplete choice
// ends it silently.
Result DownloadTrueTypeFont(Context& ctx, const FontSource& source, int slotIndex);

// Any file as a code table, in 1024-byte writes with the tail one byte per write. The path, the
// file and the table name are checked before anything is opened.
Result DownloadCodeTable(Context& ctx, const FileSource& source, int slotIndex);

}  // namespace prax::protocol
