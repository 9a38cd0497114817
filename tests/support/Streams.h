// What the end-to-end tests send and what they expect to arrive: images made from a seed, the
// files they are read from, and the firmware stream as the format describes it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "protocol/StreamPieces.h"

namespace prax::testing {

inline std::string ImageOf(std::size_t size, unsigned seed = 1) {
    std::string s(size, '\0');
    unsigned x = seed;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

inline std::string Temp(const std::string& name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

inline std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::uint16_t Reg(const std::string& image) {
    return protocol::DataCrc(reinterpret_cast<const std::uint8_t*>(image.data()), image.size());
}

// The firmware stream as the format describes it.
inline std::string FirmwareStream(const std::string& image) {
    std::string s(20, '\r');
    s += protocol::BuildFirmwareHeader(static_cast<std::int32_t>(image.size()));
    s += "\r\r";
    s += image;
    const std::uint16_t reg = Reg(image);
    s += static_cast<char>(reg >> 8);
    s += static_cast<char>(reg & 0xFF);
    for (int i = 0; i < 128; ++i) s += static_cast<char>(i);
    return s;
}

}  // namespace prax::testing
