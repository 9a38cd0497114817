// The package size text: accepted exactly when it is a whole number from 1 to 2048, blanks
// around it and one sign allowed; checked against std::from_chars on the trimmed text.
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "protocol/Firmware.h"

namespace {

bool Expected(std::string_view text, long long& value) {
    constexpr std::string_view blanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return false;
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    if (text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-') return false;  // from_chars takes a minus itself
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc{} && end == text.data() + text.size() && value >= 1 && value <= 2048;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const prax::protocol::PackageSize parsed = prax::protocol::ParsePackageSize(text);
    long long value = 0;
    const bool ok = Expected(text, value);
    if (parsed.ok() != ok) std::abort();
    if (ok && parsed.value != value) std::abort();
    if (!ok && parsed.error.empty()) std::abort();
    return 0;
}
