// The command lines `praxdl send` takes from standard input when none is given.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace prax::cli {

// The lines of `in`, each without its line end; the reason they can't be taken, or nothing.
std::string ReadLines(std::istream& in, std::vector<std::string>& lines);

}  // namespace prax::cli
