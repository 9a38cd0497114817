#include "cli/Sha256.h"

#include <algorithm>
#include <cstring>

namespace prax::cli {

namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

}  // namespace

void Sha256::Block(const std::uint8_t* block) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t* p = block + 4 * i;
        w[i] = std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
    }
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
    state_[5] += f;
    state_[6] += g;
    state_[7] += h;
}

void Sha256::Update(const void* data, std::size_t length) {
    if (!digest_.empty()) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    length_ += length;
    if (pendingLength_ > 0) {
        const std::size_t take = std::min(length, pending_.size() - pendingLength_);
        std::memcpy(pending_.data() + pendingLength_, bytes, take);
        pendingLength_ += take;
        bytes += take;
        length -= take;
        if (pendingLength_ < pending_.size()) return;
        Block(pending_.data());
        pendingLength_ = 0;
    }
    // Whole blocks straight from the caller's bytes: no copy for the bulk of a large image.
    for (; length >= pending_.size(); bytes += pending_.size(), length -= pending_.size()) Block(bytes);
    if (length > 0) std::memcpy(pending_.data(), bytes, length);
    pendingLength_ = length;
}

std::string Sha256::HexDigest() {
    if (!digest_.empty()) return digest_;
    const std::uint64_t bits = length_ * 8;
    // A one bit, zeros up to 8 bytes short of a block's end, then the length in bits.
    static constexpr std::uint8_t kPad[64] = {0x80};
    Update(kPad, 1 + (pending_.size() * 2 - 9 - pendingLength_) % pending_.size());
    std::uint8_t tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
    Update(tail, sizeof tail);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const std::uint32_t word : state_) {
        for (int shift = 28; shift >= 0; shift -= 4) text += kHex[(word >> shift) & 0xF];
    }
    digest_ = text;
    return digest_;
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.HexDigest();
}

}  // namespace prax::cli
