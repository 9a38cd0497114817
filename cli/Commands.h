// praxdl's commands as one table: each command's name, what it needs before a link opens, and how
// it runs. Every operation is the window's own, through the same code as its button.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "cli/Arguments.h"
#include "cli/Run.h"
#include "protocol/Context.h"

namespace prax::cli {

struct Command {
    std::string_view name;
    // It sends a file (a firmware image, a font, a table, a raw file): its input is read and checked
    // before any link of a line opens, and the window's status line ends its run.
    bool sendsFile = false;
    // The installed fonts are read and the font it names found among them before any link opens.
    bool needsFont = false;
    // The lines it sends: those given, else standard input's.
    bool needsLines = false;
    // The operation on one link; null for a list. `err` takes what praxdl adds to its messages.
    protocol::Result (*operation)(protocol::Context& ctx, const Invocation& inv, Prepared& prepared,
                                  std::ostream& err) = nullptr;
    // A list of this host's own, which opens no link; null for an operation. The reason it could
    // not be made, or nothing.
    std::string (*list)(Host& host, bool json, Streams& io) = nullptr;
};

// The command of that name; the parser lets through no other.
const Command& CommandNamed(std::string_view name);

// Whether the command sends a file: its input is read and checked before any link of a run to
// several printers opens.
bool TakesFileInput(const std::string& command);

}  // namespace prax::cli
