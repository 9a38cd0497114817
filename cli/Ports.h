// praxdl ports: each connection the window lists, what it opens on the host praxdl runs on, and
// whether it is there; the USB printers below "USB".
#pragma once

#include <iosfwd>

#include "cli/Praxdl.h"

namespace prax::cli {

// The person's lines on `human`, or one JSON object each on `json` (each USB printer below "USB"
// too); either may be null.
void PrintPorts(Host& host, std::ostream* human, std::ostream* json);

}  // namespace prax::cli
