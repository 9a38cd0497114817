// The result object of one link: how its run ended, as a script reads it from standard output.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/Run.h"

namespace prax::cli {

class JsonObject;

// The result object of a run (or, with another `event`, of one of its recipe's steps).
JsonObject ResultObject(const std::string& operation, const Ending& e, const char* event = "result");
void WriteResult(std::ostream& out, const std::string& operation, const Ending& e);

// The status line's checksum with all four hex digits; empty when the line has none.
std::string ChecksumOf(const std::string& status);

}  // namespace prax::cli
