// praxdl: the window's operations for scripts and factory lines, with exit codes.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace prax::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct Streams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false;  // draw a one-line bar instead of plain progress lines
    bool canAsk = false;         // a person can answer questions on the terminal
};

// Runs one command line (without the program name) and returns the exit status.
int RunPraxdl(const std::vector<std::string>& args, Streams& io);

std::string UsageText();

}  // namespace prax::cli
