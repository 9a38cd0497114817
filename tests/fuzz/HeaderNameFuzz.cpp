// A font's or table's name in its header line: either refused, or the line it makes holds
// exactly the frame's own control characters and commas, so nothing of the name can end the line
// or move the size field.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "protocol/Fonts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string problem = prax::protocol::HeaderNameProblem(name, "font");
    const bool bad = std::any_of(name.begin(), name.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || c == ',';
    });
    if (bad != !problem.empty()) std::abort();
    if (bad) return 0;
    for (const std::string& header : {prax::protocol::TrueTypeHeader('A', prax::protocol::HeaderNameBytes(name), 123),
                                      prax::protocol::CodeTableHeader('Z', prax::protocol::HeaderNameBytes(name), 0)}) {
        const auto count = [&](char c) { return std::count(header.begin(), header.end(), c); };
        if (count('\r') != 2 || count('\n') != 1 || count(',') != 3 || header.back() != '\r') std::abort();
        for (char c : header) {
            const auto b = static_cast<unsigned char>(c);
            if ((b < 0x20 && c != '\r' && c != '\n') || b == 0x7F) std::abort();
        }
    }
    return 0;
}
