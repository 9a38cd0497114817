#include "protocol/StreamPieces.h"

#include <cstdio>

namespace prax::protocol {

std::string BuildFirmwareHeader(std::int32_t size) {
    char buf[96];
    const int n = std::snprintf(buf, sizeof buf, "~O%c%cZENTA_FW_MARK_STRING,%c%cD%d,%d%c%c", CR,
                                LF, CR, LF, 0, size, CR, LF);
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string BuildDownloadModeCommand(std::int32_t size) {
    char buf[96];
    const int n = std::snprintf(buf, sizeof buf, "%c%c~~INTERNALCOMMANDU,UPDATADLMODE,%d%c", CR,
                                LF, size, CR);
    return std::string(buf, static_cast<std::size_t>(n));
}

const std::array<std::uint8_t, kRampLength>& ClosingRamp() {
    static const auto ramp = [] {
        std::array<std::uint8_t, kRampLength> r{};
        for (int i = 0; i < kRampLength; ++i) r[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
        return r;
    }();
    return ramp;
}

namespace {

// Eight bytes at a time ("slicing by 8"): table k holds what a byte becomes after k further
// byte steps, so the eight lookups of a block are independent of each other. Over a whole image
// this runs several times faster than one table step per byte, which would otherwise cost more
// than sending the bytes over a network.
using SliceTables = std::array<std::array<std::uint16_t, 256>, 8>;
constexpr SliceTables MakeSliceTables() {
    SliceTables t{};
    for (unsigned i = 0; i < 256; ++i) t[0][i] = static_cast<std::uint16_t>((TableB[i] << 8) | TableA[i]);
    for (std::size_t k = 1; k < 8; ++k)
        for (unsigned i = 0; i < 256; ++i)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}
constexpr SliceTables kSlices = MakeSliceTables();

}  // namespace

std::uint16_t DataCrc(const std::uint8_t* data, std::size_t length, std::uint16_t reg) {
    // The plain CRC is the register with its bytes swapped back.
    std::uint16_t crc = static_cast<std::uint16_t>((reg << 8) | (reg >> 8));
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        const std::uint8_t* b = data + i;
        const unsigned x = crc ^ (b[0] | (b[1] << 8));
        crc = static_cast<std::uint16_t>(kSlices[7][x & 0xFF] ^ kSlices[6][x >> 8] ^ kSlices[5][b[2]] ^
                                         kSlices[4][b[3]] ^ kSlices[3][b[4]] ^ kSlices[2][b[5]] ^
                                         kSlices[1][b[6]] ^ kSlices[0][b[7]]);
    }
    reg = static_cast<std::uint16_t>((crc << 8) | (crc >> 8));
    for (; i < length; ++i) reg = DataCrcUpdate(reg, data[i]);
    return reg;
}

std::string RegisterHex(std::uint16_t reg) {
    char buf[8];
    const int n = std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(reg));
    return std::string(buf, static_cast<std::size_t>(n));
}

std::uint16_t SerialCrc16(const std::uint8_t* bytes, std::int32_t count) {
    if (count < 0 || count > 65534) return 0;
    std::uint16_t reg = 0xFFFF;
    for (std::int32_t p = 0; p <= count; ++p) {
        std::uint16_t v = (p == count) ? 0 : bytes[p];
        for (int step = 0; step < 16; ++step) {
            const bool t = (reg & 0x8000u) != 0;
            const std::uint16_t d = (v & 0x8000u) ? 1u : 0u;
            reg = static_cast<std::uint16_t>((reg << 1) | d);
            v = static_cast<std::uint16_t>(v << 1);
            if (t) reg ^= 0x1021u;
        }
    }
    return reg;
}

std::string SerialCrcCheckText() {
    const std::uint8_t probe[3] = {0x10, 0x01, 0x01};
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(SerialCrc16(probe, 3)));
    return buf;
}

}  // namespace prax::protocol
