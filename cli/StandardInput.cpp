#include "cli/StandardInput.h"

#include <cerrno>
#include <cstring>
#include <istream>

namespace prax::cli {

namespace {

// No printer command is anywhere near this long; a longer line is no command but a stream (say
// /dev/zero), and must not grow memory without bound.
constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr std::size_t kMaxInputBytes = 16 * 1024 * 1024;

}  // namespace

std::string ReadLines(std::istream& in, std::vector<std::string>& lines) {
    std::string line;
    // A CR before the line end is part of the end.
    const auto endLine = [&] {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        line.clear();
    };
    std::size_t total = 0;
    for (int c; (c = in.get()) != std::char_traits<char>::eof();) {
        if (++total > kMaxInputBytes)
            return "standard input is longer than " + std::to_string(kMaxInputBytes) + " bytes; nothing was sent";
        if (c == '\n') {
            endLine();
            continue;
        }
        line += static_cast<char>(c);
        if (line.size() > kMaxLineBytes)
            return "line " + std::to_string(lines.size() + 1) + " of standard input is longer than " +
                   std::to_string(kMaxLineBytes) + " bytes, which no printer command is; nothing was sent";
    }
    if (in.bad()) return std::string("cannot read standard input: ") + std::strerror(errno);
    // A last line without its line end still counts; a final line end adds no empty line.
    if (!line.empty()) endLine();
    return {};
}

}  // namespace prax::cli
