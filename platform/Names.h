// Windows compares registry key and value names, and file names, with letter case ignored; these
// give every backend and the font list one way to compare them.
#pragma once

#include <string>

namespace prax::platform {

// Letters a-z as A-Z, every other byte as it is: the same in every locale.
inline std::string UpperAscii(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// A key path without surrounding backslashes, so "\SOFTWARE\X" and "SOFTWARE\X" name one key.
inline std::string TrimmedKeyPath(const std::string& path) {
    const auto first = path.find_first_not_of('\\');
    if (first == std::string::npos) return {};
    return path.substr(first, path.find_last_not_of('\\') - first + 1);
}

// "host:port", an IPv6 address in brackets so its own colons can't be taken for the port's.
inline std::string HostAndPort(const std::string& host, unsigned port) {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace prax::platform
