// SHA-256 of an input file, for the run log: a factory can tell later which image went into
// which printer, without keeping the image. Written here so praxdl needs no crypto library on
// either host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace prax::cli {

// Fed piece by piece, so a large image is hashed as it is read.
class Sha256 {
public:
    void Update(const void* data, std::size_t length);
    // The digest in lower-case hex, 64 characters. Ends the hash: asked again, it gives the same
    // digest, and later Updates are ignored.
    std::string HexDigest();

private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_ = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                           0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> pending_ = {};
    std::size_t pendingLength_ = 0;
    std::uint64_t length_ = 0;  // bytes fed so far
    std::string digest_;        // set once the hash is ended
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace prax::cli
